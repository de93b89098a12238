#include "SimMonitor.h"

#include "SimExpiry.h"

#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <string>

namespace tlacpi {

namespace {

std::string Seconds(std::int64_t ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%" PRId64 ".%01d", ms / 1000, static_cast<int>(ms % 1000 / 100));
    return text;
}

int CountLines(const std::filesystem::path& file)
{
    std::ifstream in(file);
    int lines = 0;
    for (std::string line; std::getline(in, line);)
        ++lines;
    return lines;
}

} // namespace

SimMonitor::SimMonitor(std::filesystem::path folder)
    : m_Folder(std::move(folder))
    , m_Expiries(CountLines(m_Folder / SimExpiryLogName))
{
    WriteMonitorState(false);
}

SimMonitor::Look SimMonitor::Check(std::int64_t nowMs)
{
    const auto state = ReadSimState(m_Folder / SimStateFileName);
    if (!state)
        return {"no watchdog state in " + m_Folder.string() + " yet"};
    const std::pair<std::uint64_t, std::int64_t> write{state->writes, state->writtenMs};
    if (m_Expired && m_ExpiredWrite != write) {
        m_Expired = false;
        WriteMonitorState(false);
    }
    const std::string writes = " (write " + std::to_string(state->writes) + ")";
    if (!state->armed)
        return {"disarmed" + writes};
    const auto remaining = SimTimeLeftMs(*state, nowMs);
    if (!remaining)
        return {"armed by an earlier boot, not counting" + writes};
    if (*remaining > 0)
        return {"armed: " + Seconds(*remaining) + " s of " + std::to_string(state->timeout)
                + " s left" + writes};
    if (m_ExpiredWrite == write)
        return {"ran out; waiting for a new write" + writes};
    m_ExpiredWrite = write;
    m_Expired = true;
    Record(*state, nowMs);
    return {"EXPIRED: the countdown of " + std::to_string(state->timeout)
                + " s ran out; a real machine would restart now" + writes,
            true};
}

void SimMonitor::Record(const SimState& state, std::int64_t nowMs)
{
    // A program that started after the countdown ran out may have recorded it already.
    if (!RecordSimExpiry(m_Folder, state, nowMs))
        std::fprintf(stderr, "cannot append to %s\n", (m_Folder / SimExpiryLogName).c_str());
    m_Expiries = CountLines(m_Folder / SimExpiryLogName);
    WriteMonitorState(true);
}

void SimMonitor::WriteMonitorState(bool expired)
{
    const std::string text = "expired=" + std::to_string(expired ? 1 : 0)
        + "\nexpiries=" + std::to_string(m_Expiries) + "\n";
    if (!WriteFileAtomically(m_Folder / "monitor.state", text))
        std::fprintf(stderr, "cannot write %s\n", (m_Folder / "monitor.state").c_str());
}

} // namespace tlacpi
