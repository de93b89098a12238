#include "SimExpiry.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

namespace tlacpi {

namespace {

// The whole of an open file, read from its start.
std::string ReadAll(int fd)
{
    std::string text;
    char chunk[4096];
    for (off_t offset = 0;;) {
        const ssize_t got = ::pread(fd, chunk, sizeof chunk, offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return text;
        text.append(chunk, static_cast<std::size_t>(got));
        offset += got;
    }
}

std::optional<SimExpiry> LastRecord(std::string_view text)
{
    std::optional<SimExpiry> last;
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        if (auto record = ParseSimExpiry(text.substr(0, newline)))
            last = record;
        text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
    }
    return last;
}

std::int64_t UnixSecondsAt(std::int64_t monotonicMs, std::int64_t nowMs)
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return std::int64_t(now.tv_sec) - (nowMs - monotonicMs) / 1000;
}

} // namespace

std::optional<SimExpiry> ParseSimExpiry(std::string_view line)
{
    SimExpiry expiry;
    unsigned seen = 0;
    while (!line.empty()) {
        const std::size_t space = line.find(' ');
        const std::string_view field = line.substr(0, space);
        line = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
        const std::size_t equals = field.find('=');
        const std::string_view key = field.substr(0, equals);
        const std::string_view value = equals == std::string_view::npos ? "" : field.substr(equals + 1);
        bool ok = true;
        if (key == "expired_ms") {
            ok = ParseSimNumber(value, expiry.expiredMs);
            seen |= 1;
        } else if (key == "timeout") {
            ok = ParseSimNumber(value, expiry.timeout);
            seen |= 2;
        } else if (key == "written_ms") {
            ok = ParseSimNumber(value, expiry.writtenMs);
            seen |= 4;
        } else if (key == "writes") {
            ok = ParseSimNumber(value, expiry.writes);
            seen |= 8;
        } else if (key == "expired_at") {
            ok = ParseSimNumber(value, expiry.expiredAt);
        }
        if (!ok)
            return std::nullopt;
    }
    if (seen != 15)
        return std::nullopt;
    return expiry;
}

std::string FormatSimExpiry(const SimExpiry& expiry)
{
    return "expired_ms=" + std::to_string(expiry.expiredMs) + " timeout="
        + std::to_string(expiry.timeout) + " written_ms=" + std::to_string(expiry.writtenMs)
        + " writes=" + std::to_string(expiry.writes) + " expired_at="
        + std::to_string(expiry.expiredAt) + "\n";
}

std::optional<SimExpiry> LastSimExpiry(const std::filesystem::path& folder)
{
    const int fd = ::open((folder / SimExpiryLogName).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    const std::string text = ReadAll(fd);
    ::close(fd);
    return LastRecord(text);
}

std::optional<std::int64_t> SimTimeLeftMs(const SimState& state, std::int64_t nowMs)
{
    if (!state.armed || state.writtenMs > nowMs)
        return std::nullopt;
    const std::int64_t left = std::int64_t(state.timeout) * 1000 - (nowMs - state.writtenMs);
    return left > 0 ? left : 0;
}

bool RecordSimExpiry(const std::filesystem::path& folder, const SimState& state, std::int64_t nowMs)
{
    if (SimTimeLeftMs(state, nowMs) != 0)
        return false;
    const int fd = ::open((folder / SimExpiryLogName).c_str(),
                          O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    // The lock keeps the monitor and a starting program from both recording the same expiry.
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    const auto last = LastRecord(ReadAll(fd));
    bool recorded = true;
    if (!last || last->writes != state.writes || last->writtenMs != state.writtenMs) {
        SimExpiry expiry{state.writtenMs + std::int64_t(state.timeout) * 1000, state.timeout,
                         state.writtenMs, state.writes, 0};
        expiry.expiredAt = UnixSecondsAt(expiry.expiredMs, nowMs);
        const std::string line = FormatSimExpiry(expiry);
        recorded = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    }
    ::close(fd);
    return recorded;
}

} // namespace tlacpi
