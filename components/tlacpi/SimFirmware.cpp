#include "SimFirmware.h"

#include <cerrno>
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

bool SimFirmware::WriteWatchdog(std::uint32_t seconds)
{
    if (!m_Writes) {
        const auto previous = ReadSimState(m_Folder / SimStateFileName);
        m_Writes = previous ? previous->writes : 0;
    }
    std::error_code ec;
    std::filesystem::create_directories(m_Folder, ec);
    SimState state;
    state.armed = seconds > 0;
    state.timeout = seconds;
    state.writtenMs = MonotonicMs();
    state.writes = *m_Writes + 1;
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

} // namespace tlacpi
