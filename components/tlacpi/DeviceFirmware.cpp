#include "DeviceFirmware.h"

#include "DeviceHolder.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <linux/watchdog.h>

namespace tlacpi {

namespace {

std::string Reason(int negativeErrno)
{
    return std::strerror(-negativeErrno);
}

// What WatchdogDevice::Running answers when there is no watchdog at the path: nothing there can
// be running, and opening it only tells why it is absent.
bool NoDevice(int state)
{
    return state == -ENOENT || state == -ENODEV;
}

// EINTR can repeat while signals arrive; a bound keeps a broken device from spinning forever.
constexpr int MaxInterruptedWrites = 1000;

} // namespace

std::string NoDriverText(const std::string& path)
{
    return "No watchdog driver is loaded: nothing is at " + path
        + ". `wdctl` lists the watchdogs the kernel knows and `lsmod` the modules loaded; load "
          "the driver for this mainboard's chip with modprobe (for example iTCO_wdt on Intel "
          "chipsets, sp5100_tco on AMD, or the Super I/O chip's, such as it87_wdt).";
}

DeviceFirmware::DeviceFirmware(std::string path, std::unique_ptr<WatchdogDevice> device,
                               LogSink log, std::filesystem::path root)
    : m_Path(std::move(path))
    , m_Device(std::move(device))
    , m_Log(std::move(log))
    , m_Root(std::move(root))
{
}

std::optional<std::vector<std::uint32_t>> DeviceFirmware::ListGroup(std::uint32_t group)
{
    if (group != WatchdogGroup)
        return std::nullopt;
    std::lock_guard lock(m_Mutex);
    if (m_Fd < 0) {
        // Hazard: opening the device starts its countdown, and the write that follows a listing
        // may be a 0. Only a running device (where another holder then shows as an absent
        // item) or a missing one (whose open tells why) is opened here; any other is listed
        // unopened, and the first countdown written opens it.
        const int state = m_Device->Running(m_Path.c_str());
        if (state != 1 && !NoDevice(state))
            return std::vector<std::uint32_t>{WatchdogItem};
    }
    if (!EnsureOpen())
        return std::vector<std::uint32_t>{};
    return std::vector<std::uint32_t>{WatchdogItem};
}

bool DeviceFirmware::Write(std::uint32_t item, std::uint32_t value, std::uint32_t mode)
{
    if (item != WatchdogItem || mode != SetValueMode)
        return false;
    std::lock_guard lock(m_Mutex);
    return value > 0 ? Arm(value) : SwitchOff();
}

bool DeviceFirmware::IsOpen() const
{
    std::lock_guard lock(m_Mutex);
    return m_Fd >= 0;
}

bool DeviceFirmware::EnsureOpen()
{
    if (m_Fd >= 0)
        return true;
    // Hazard: opening the device starts its countdown with the driver's current timeout. It is
    // opened to arm it, or when it runs already (to list it or to switch it off).
    const int fd = m_Device->Open(m_Path.c_str());
    if (fd < 0) {
        if (fd == -EBUSY && !m_Busy) {
            // Looked up once per spell of busy opens: the kick thread may retry every second.
            dev_t node = 0;
            const std::string holder = m_Device->Node(m_Path.c_str(), node) == 0
                ? FindDeviceHolder(m_Root, node).text
                : std::string();
            Fail("busy", BusyText(holder));
        } else if (NoDevice(fd)) {
            Fail("missing", NoDriverText(m_Path));
        } else if (fd != -EBUSY) {
            Fail("open" + std::to_string(fd),
                    "Watchdog device " + m_Path + " cannot be opened: " + Reason(fd));
        }
        m_Busy = fd == -EBUSY;
        return false;
    }
    m_Busy = false;
    m_Fd = fd;
    m_Timeout = 0;
    m_HeldTimeout = 0;

    watchdog_info info{};
    const int support = m_Device->Ioctl(fd, WDIOC_GETSUPPORT, &info);
    m_MagicClose = support >= 0 && (info.options & WDIOF_MAGICCLOSE);
    if (support < 0)
        LogOnce("support", "Watchdog device " + m_Path + " does not tell its capabilities: "
                               + Reason(support));

    int bootStatus = 0;
    m_BootStatus = m_Device->Ioctl(fd, WDIOC_GETBOOTSTATUS, &bootStatus) >= 0 ? bootStatus : 0;
    if (m_BootStatus & WDIOF_CARDRESET)
        LogOnce("cardreset", "Watchdog device " + m_Path
                                 + ": the last restart of this machine came from the watchdog");
    return true;
}

bool DeviceFirmware::Arm(std::uint32_t seconds)
{
    if (!EnsureOpen())
        return false;
    if (seconds != m_Timeout) {
        int timeout = seconds > INT_MAX ? INT_MAX : static_cast<int>(seconds);
        const int result = m_Device->Ioctl(m_Fd, WDIOC_SETTIMEOUT, &timeout);
        if (result < 0) {
            Fail("", "Watchdog device " + m_Path + " refused a countdown of "
                + std::to_string(seconds) + " s: " + Reason(result));
            if (m_Timeout == 0) {
                // Nothing of ours was armed: do not leave the countdown that the open
                // started running with nobody to kick it.
                (void)Disarm();
            } else {
                // The countdown armed before keeps running; kick it so it stays alive.
                (void)Ping();
            }
            return false;
        }
        if (timeout != static_cast<int>(seconds))
            Log("Watchdog device " + m_Path + " runs a countdown of " + std::to_string(timeout)
                + " s instead of the " + std::to_string(seconds) + " s asked for");
        m_Timeout = seconds;
        m_HeldTimeout = timeout;
    }
    return Ping();
}

bool DeviceFirmware::SwitchOff()
{
    if (m_Fd < 0) {
        const int state = m_Device->Running(m_Path.c_str());
        if (state != 1) {
            if (state < 0 && !NoDevice(state))
                LogOnce("state", "Watchdog device " + m_Path + " does not tell whether it runs ("
                                     + Reason(state) + "); it is not opened to switch it off, "
                                     + "since opening would start it");
            // Nothing of ours is armed, and a stopped device must not be started to stop it.
            return true;
        }
        // A countdown that an earlier holder left running (a program killed while armed):
        // nobody kicks it, so it is switched off like one of ours.
        if (!EnsureOpen())
            return false;
    }
    return Disarm();
}

bool DeviceFirmware::Disarm()
{
    if (m_Fd < 0)
        return true;  // nothing of ours is armed
    if (!m_MagicClose) {
        // Hazard: closing a device without magic close support may leave it counting down
        // with nobody to kick it. Keep it open and kicked, and say that it is not off.
        Fail("nomagic", "Watchdog device " + m_Path
                               + " cannot be switched off (no magic close); it stays armed");
        (void)Ping();
        return false;
    }
    const int noWayOut = m_Device->NoWayOut(m_Fd);
    if (noWayOut == 1) {
        // Hazard: with "nowayout" the driver keeps counting after any close; closing would
        // leave the countdown running with nobody to kick it.
        Fail("nowayout", "Watchdog device " + m_Path
                                + " cannot be switched off (nowayout is set); it stays armed");
        (void)Ping();
        return false;
    }
    if (noWayOut < 0 && !StopCard(noWayOut))
        return false;
    // Hazard: an opened watchdog has to be closed with the magic character or the machine
    // restarts when the countdown runs out. Retry interrupted writes.
    long written = -EINTR;
    for (int attempt = 0; attempt < MaxInterruptedWrites && written == -EINTR; ++attempt)
        written = m_Device->Write(m_Fd, "V", 1);
    if (written != 1) {
        Fail("", "Watchdog device " + m_Path + " did not take the magic close ("
            + (written < 0 ? Reason(static_cast<int>(written)) : std::string("nothing written"))
            + "); it stays armed");
        (void)Ping();
        return false;
    }
    const int closed = m_Device->Close(m_Fd);
    // Linux releases the descriptor even when close reports an error; never close it twice.
    m_Fd = -1;
    m_Timeout = 0;
    m_HeldTimeout = 0;
    if (closed < 0) {
        Fail("", "Watchdog device " + m_Path + " reported an error on close: " + Reason(closed));
        return false;
    }
    return true;
}

bool DeviceFirmware::StopCard(int noWayOut)
{
    // Hazard: whether the driver keeps counting after a close ("nowayout") is unknown. Asking
    // the driver to stop the card first tells: a driver with nowayout set refuses it, and then
    // closing would leave the countdown running with nobody to kick it.
    int options = WDIOS_DISABLECARD;
    const int stopped = m_Device->Ioctl(m_Fd, WDIOC_SETOPTIONS, &options);
    if (stopped >= 0)
        return true;
    Fail("nowayout", "Watchdog device " + m_Path + " cannot be switched off (nowayout unknown: "
                         + Reason(noWayOut) + "; stopping refused: " + Reason(stopped)
                         + "); it stays armed");
    (void)Ping();
    return false;
}

bool DeviceFirmware::Ping()
{
    int unused = 0;
    if (m_Device->Ioctl(m_Fd, WDIOC_KEEPALIVE, &unused) >= 0)
        return true;
    // Some drivers lack the keep-alive call; any write other than the magic character kicks.
    long written = -EINTR;
    for (int attempt = 0; attempt < MaxInterruptedWrites && written == -EINTR; ++attempt)
        written = m_Device->Write(m_Fd, "k", 1);
    if (written == 1)
        return true;
    // The write's failure is the one that counts: the keep-alive call is only the first try.
    Fail("ping", "Watchdog device " + m_Path + " cannot be kicked: "
                     + (written < 0 ? Reason(static_cast<int>(written)) : std::string("nothing written")));
    return false;
}

void DeviceFirmware::Log(const std::string& text)
{
    if (m_Log)
        m_Log(text);
    else
        std::fprintf(stderr, "%s\n", text.c_str());
}

void DeviceFirmware::Fail(const std::string& onceKey, const std::string& text)
{
    m_LastError = text;
    if (onceKey.empty())
        Log(text);
    else
        LogOnce(onceKey, text);
}

std::string DeviceFirmware::LastError() const
{
    std::lock_guard lock(m_Mutex);
    return m_LastError;
}

std::optional<Firmware::WatchdogStatus> DeviceFirmware::Status() const
{
    std::lock_guard lock(m_Mutex);
    if (m_Fd < 0)
        return std::nullopt;
    return WatchdogStatus{m_HeldTimeout, m_BootStatus};
}

void DeviceFirmware::LogOnce(const std::string& key, const std::string& text)
{
    if (m_Logged.insert(key).second)
        Log(text);
}

} // namespace tlacpi
