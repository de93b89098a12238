#include "SimState.h"

#include "platform/FileIo.h"

#include <charconv>
#include <fstream>
#include <sstream>
#include <string>
#include <time.h>

namespace tlacpi {

std::string FormatSimState(const SimState& state)
{
    return "armed=" + std::to_string(state.armed ? 1 : 0) + "\ntimeout="
        + std::to_string(state.timeout) + "\nwritten_ms=" + std::to_string(state.writtenMs)
        + "\nwrites=" + std::to_string(state.writes) + "\n"
        + (state.pid > 0 ? "pid=" + std::to_string(state.pid) + "\n" : std::string());
}

std::optional<SimState> ParseSimState(std::string_view text)
{
    SimState state;
    unsigned seen = 0;
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        const std::string_view key = line.substr(0, equals);
        const std::string_view value = line.substr(equals + 1);
        unsigned bit = 0;
        bool ok = true;
        if (key == "armed") {
            bit = 1;
            unsigned armed = 0;
            ok = ParseSimNumber(value, armed) && armed <= 1;
            state.armed = armed == 1;
        } else if (key == "timeout") {
            bit = 2;
            ok = ParseSimNumber(value, state.timeout);
        } else if (key == "written_ms") {
            bit = 4;
            ok = ParseSimNumber(value, state.writtenMs);
        } else if (key == "writes") {
            bit = 8;
            ok = ParseSimNumber(value, state.writes);
        } else if (key == "pid") {
            bit = 16;
            ok = ParseSimNumber(value, state.pid) && state.pid > 0;
        } else {
            continue;
        }
        if (!ok || (seen & bit))
            return std::nullopt;
        seen |= bit;
    }
    if ((seen & 15) != 15)
        return std::nullopt;
    return state;
}

std::optional<SimState> ReadSimState(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return ParseSimState(text.str());
}

bool WriteFileAtomically(const std::filesystem::path& file, const std::string& text)
{
    // The monitor reads the state after the rename; a failed flush of the folder does not
    // change what it reads.
    const platform::FileResult result = platform::ReplaceFile(file, text);
    return result.Ok() || result.step == platform::FileStep::SyncFolder;
}

std::int64_t MonotonicMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

} // namespace tlacpi
