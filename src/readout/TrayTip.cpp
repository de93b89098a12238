#include "readout/TrayTip.h"

namespace readout {

std::string TrayTip(bool on, std::uint32_t restartSeconds, std::uint32_t reloadSeconds,
                    const std::optional<TlAcpiWatchdogReport>& report)
{
    if (!on)
        return "TOLV Watchdog Timer: off";
    std::string tip = "TOLV Watchdog Timer: on, restart after " + std::to_string(restartSeconds)
        + " s, reload every " + std::to_string(reloadSeconds) + " s";
    std::string device;
    if (report && report->timeLeft >= 0)
        device = std::to_string(report->timeLeft) + " s left";
    if (report && report->noWayOut == 1)
        device += std::string(device.empty() ? "" : "; ") + "cannot be switched off (nowayout)";
    if (!device.empty())
        tip += "\n" + device;
    // Every part is ASCII, so a cut never splits a character.
    return tip.substr(0, kMaxTrayTipLength);
}

} // namespace readout
