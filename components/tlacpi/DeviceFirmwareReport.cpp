// What the watchdog device tells of itself, for the report beside the firmware item.

#include "DeviceFirmware.h"
#include "DeviceHolder.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <linux/watchdog.h>

namespace tlacpi {

namespace {

std::int32_t Known(int ioctlResult, int value)
{
    return ioctlResult >= 0 && value >= 0 ? value : TLACPI_UNKNOWN;
}

// The kernel's id of this boot: it names a restart by the watchdog, which it tells all boot long.
std::string BootId(const std::filesystem::path& root)
{
    std::ifstream in(root / "proc/sys/kernel/random/boot_id");
    std::string id;
    std::getline(in, id);
    return id;
}

} // namespace

std::string DeviceFirmware::BusyText(const std::string& holder) const
{
    return "Watchdog device " + m_Path + " is held by another program (" + std::strerror(EBUSY)
        + ")" + (holder.empty() ? "" : ": " + holder) + "; the watchdog item is absent";
}

std::int32_t DeviceFirmware::ReadNumber(dev_t node, const char* name, int base)
{
    std::string text;
    if (m_Device->Attribute(node, name, text) < 0)
        return TLACPI_UNKNOWN;
    std::string_view digits = text;
    if (base == 16 && (digits.starts_with("0x") || digits.starts_with("0X")))
        digits.remove_prefix(2);
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (ec != std::errc() || end != digits.data() + digits.size() || digits.empty()
        || (base == 10 && value > INT32_MAX))
        return TLACPI_UNKNOWN;
    return static_cast<std::int32_t>(value);
}

std::int32_t DeviceFirmware::AskDriver(unsigned long request, dev_t node, const char* name)
{
    int value = 0;
    const int result = m_Device->Ioctl(m_Fd, request, &value);
    return result >= 0 ? Known(result, value) : ReadNumber(node, name);
}

void DeviceFirmware::ReportHeld(TlAcpiWatchdogReport& report, dev_t node)
{
    report.running = 1;
    report.held = 1;
    watchdog_info info{};
    if (m_Device->Ioctl(m_Fd, WDIOC_GETSUPPORT, &info) >= 0) {
        SetText(report.identity, std::string_view(reinterpret_cast<const char*>(info.identity),
                                                  strnlen(reinterpret_cast<const char*>(info.identity),
                                                          sizeof info.identity)));
        report.options = info.options;
        report.firmwareVersion = info.firmware_version;
    } else {
        ReportUnheld(report, node);  // what sysfs tells, then what the driver answers
        report.running = 1;
        report.held = 1;
    }
    report.timeout = AskDriver(WDIOC_GETTIMEOUT, node, "timeout");
    report.timeLeft = AskDriver(WDIOC_GETTIMELEFT, node, "timeleft");
    report.bootStatus = AskDriver(WDIOC_GETBOOTSTATUS, node, "bootstatus");
    const int noWayOut = m_Device->NoWayOut(m_Fd);
    report.noWayOut = noWayOut < 0 ? TLACPI_UNKNOWN : noWayOut;
}

void DeviceFirmware::ReportUnheld(TlAcpiWatchdogReport& report, dev_t node)
{
    if (std::string identity; m_Device->Attribute(node, "identity", identity) == 0)
        SetText(report.identity, identity);
    if (std::string state; m_Device->Attribute(node, "state", state) == 0)
        report.running = state == "active" ? 1 : state == "inactive" ? 0 : TLACPI_UNKNOWN;
    report.timeout = ReadNumber(node, "timeout");
    // A stopped countdown has no time left, whatever the attribute says.
    report.timeLeft = report.running == 0 ? TLACPI_UNKNOWN : ReadNumber(node, "timeleft");
    report.bootStatus = ReadNumber(node, "bootstatus");
    report.noWayOut = ReadNumber(node, "nowayout");
    const std::int32_t version = ReadNumber(node, "fw_version");
    report.firmwareVersion = version < 0 ? 0 : static_cast<std::uint32_t>(version);
    const std::int32_t options = ReadNumber(node, "options", 16);
    report.options = options < 0 ? 0 : static_cast<std::uint32_t>(options);
}

void DeviceFirmware::Report(TlAcpiWatchdogReport& report)
{
    dev_t node = 0;
    bool busy = false;
    {
        std::lock_guard lock(m_Mutex);
        SetText(report.path, m_Path);
        const int found = m_Device->Node(m_Path.c_str(), node);
        if (m_Fd < 0 && (found == -ENOENT || found == -ENODEV)) {
            report.present = 0;
            SetText(report.problem, NoDriverText(m_Path));
            return;
        }
        report.present = 1;
        if (m_Fd < 0 && found < 0) {
            SetText(report.problem, "Watchdog device " + m_Path + " cannot be examined: "
                                        + std::strerror(-found));
            return;
        }
        if (m_Fd >= 0)
            ReportHeld(report, node);
        else
            ReportUnheld(report, node);
        busy = m_Busy;
    }
    // The rest may take a while (every process is looked at) and the kick thread must not wait
    // for it.
    if (report.bootStatus > 0 && (report.bootStatus & WDIOF_CARDRESET))
        SetText(report.restartId, BootId(m_Root));
    if (!report.held && report.running == 1) {
        const DeviceHolder holder = FindDeviceHolder(m_Root, node);
        report.holderPid = holder.pid;
        SetText(report.holder, holder.text);
    }
    if (busy)
        SetText(report.problem, BusyText(report.holder));
    else if (!report.held && m_Device->Writable(m_Path.c_str()) == -EACCES)
        SetText(report.problem, "Watchdog device " + m_Path + " cannot be opened by this user ("
                                    + std::strerror(EACCES)
                                    + "); members of the group tolv-watchdog may use it.");
}

} // namespace tlacpi
