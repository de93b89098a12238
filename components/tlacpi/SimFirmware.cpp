#include "SimFirmware.h"

#include "DeviceHolder.h"
#include "SimExpiry.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <linux/watchdog.h>
#include <unistd.h>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace tlacpi {

namespace {

const std::map<std::uint32_t, std::vector<std::uint32_t>>& Groups()
{
    static const std::map<std::uint32_t, std::vector<std::uint32_t>> groups{
        {0x11, {0x11010001, WatchdogItem, 0x11070002}},
        {0x12, {0x12000001, 0x12000002}},
    };
    return groups;
}

bool IsListed(std::uint32_t item)
{
    const auto group = Groups().find(item >> 24);
    if (group == Groups().end())
        return false;
    for (std::uint32_t listed : group->second)
        if (listed == item)
            return true;
    return false;
}

} // namespace

SimFirmware::SimFirmware(std::filesystem::path folder)
    : m_Folder(std::move(folder))
{
}

std::optional<std::vector<std::uint32_t>> SimFirmware::ListGroup(std::uint32_t group)
{
    const auto found = Groups().find(group);
    if (found == Groups().end())
        return std::nullopt;
    return found->second;
}

bool SimFirmware::Write(std::uint32_t item, std::uint32_t value, std::uint32_t mode)
{
    if (mode != SetValueMode || !IsListed(item))
        return false;
    std::lock_guard lock(m_Mutex);
    if (item == WatchdogItem)
        return WriteWatchdog(value);
    m_Values[item] = value;
    return true;
}

std::string SimFirmware::LastError() const
{
    std::lock_guard lock(m_ErrorMutex);
    return m_LastError;
}

std::optional<SimState> SimFirmware::Settle(std::int64_t nowMs)
{
    auto state = ReadSimState(m_Folder / SimStateFileName);
    if (state && SimTimeLeftMs(*state, nowMs) == 0 && !RecordSimExpiry(m_Folder, *state, nowMs))
        std::fprintf(stderr, "Simulated firmware: cannot record an expiry in %s\n",
                     (m_Folder / SimExpiryLogName).c_str());
    return state;
}

bool SimFirmware::WriteWatchdog(std::uint32_t seconds)
{
    const std::int64_t now = MonotonicMs();
    if (!m_Writes) {
        // The first write must not erase a countdown that ran out before this program started.
        const auto previous = Settle(now);
        m_Writes = previous ? previous->writes : 0;
    }
    std::error_code ec;
    std::filesystem::create_directories(m_Folder, ec);
    SimState state;
    state.armed = seconds > 0;
    state.timeout = seconds;
    state.writtenMs = now;
    state.writes = *m_Writes + 1;
    state.pid = ::getpid();
    if (!WriteFileAtomically(m_Folder / SimStateFileName, FormatSimState(state))) {
        const int reason = errno;
        std::lock_guard lock(m_ErrorMutex);
        m_LastError = "Simulated firmware: cannot write " + (m_Folder / SimStateFileName).string()
            + ": " + std::strerror(reason);
        std::fprintf(stderr, "%s\n", m_LastError.c_str());
        return false;
    }
    m_Writes = state.writes;
    return true;
}

void SimFirmware::Report(TlAcpiWatchdogReport& report)
{
    // Without the write lock: a write flushes the state to disk, which can take long, and the
    // program asks for a report from its user-interface thread. The state file is replaced
    // whole and the expiry record is kept under a lock of its own.
    const std::int64_t now = MonotonicMs();
    const auto state = Settle(now);
    SetText(report.path, (m_Folder / SimStateFileName).string());
    SetText(report.identity, "Simulated watchdog");
    report.present = 1;
    report.options = WDIOF_SETTIMEOUT | WDIOF_MAGICCLOSE | WDIOF_KEEPALIVEPING | WDIOF_CARDRESET;
    report.noWayOut = 0;
    report.running = 0;
    report.held = 0;
    if (state) {
        const auto left = SimTimeLeftMs(*state, now);
        report.running = left > 0 ? 1 : 0;
        report.timeout = static_cast<std::int32_t>(std::min<std::uint32_t>(state->timeout, INT32_MAX));
        if (report.running)
            report.timeLeft = static_cast<std::int32_t>(std::min<std::int64_t>((*left + 999) / 1000, INT32_MAX));
        report.held = report.running && state->pid == ::getpid();
        const bool alive = state->pid > 0 && (::kill(state->pid, 0) == 0 || errno == EPERM);
        if (report.running && !report.held && alive) {
            report.holderPid = state->pid;
            SetText(report.holder, DescribeProcess("/", state->pid));
        }
    }
    const auto expiry = LastSimExpiry(m_Folder);
    report.bootStatus = expiry ? WDIOF_CARDRESET : 0;
    if (expiry) {
        SetText(report.restartId, "sim-" + std::to_string(expiry->writes) + "-" + std::to_string(expiry->expiredMs));
        report.restartAt = expiry->expiredAt;
    }
}

} // namespace tlacpi
