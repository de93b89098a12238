#include "system/common.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <future>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::timespec g_FakeNow{};

std::timespec FakeClock()
{
    return g_FakeNow;
}

// A moment of today's local date at the given time of day (midday hours stay clear of
// daylight-saving changes).
std::timespec LocalTime(int hour, int minute, int second, int millisecond)
{
    std::time_t today = std::time(nullptr);
    std::tm parts{};
    localtime_r(&today, &parts);
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    parts.tm_isdst = -1;
    std::timespec at{};
    at.tv_sec = std::mktime(&parts);
    at.tv_nsec = static_cast<long>(millisecond) * 1000000 + 123456; // sub-millisecond part is cut
    return at;
}

std::filesystem::path LogFile()
{
    return testsupport::Root() / "var/lib/TOLV/TolvWatchDogTimer/trace.log";
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// "HH:MM:SS.mmm " (two-digit fields in range, three-digit milliseconds) followed by `rest`.
bool IsStamped(const std::string& line, const std::string& rest)
{
    if (line.size() != 13 + rest.size() || line.substr(13) != rest)
        return false;
    const std::string pattern = "dd:dd:dd.ddd ";
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const bool digit = line[i] >= '0' && line[i] <= '9';
        if ((pattern[i] == 'd') != digit || (!digit && line[i] != pattern[i]))
            return false;
    }
    return std::stoi(line.substr(0, 2)) < 24 && std::stoi(line.substr(3, 2)) < 60 &&
           std::stoi(line.substr(6, 2)) < 61;
}

class TraceLogTest : public testing::Test {
protected:
    void SetUp() override { ResetTraceLogPathForTesting(); }
    void TearDown() override
    {
        SetTraceLogClockForTesting(nullptr);
        ResetTraceLogPathForTesting();
    }
};

TEST_F(TraceLogTest, FirstCallCreatesTheFolderAndTheFile)
{
    ASSERT_FALSE(std::filesystem::exists(testsupport::Root() / "var/lib/TOLV"));
    TraceLog("Entering sleep");
    const std::string text = testsupport::ReadFile(LogFile());
    EXPECT_TRUE(IsStamped(text, "Entering sleep\n")) << text;
}

TEST_F(TraceLogTest, LogFolderEndsWithSlashAndExists)
{
    const std::string folder = GetLogFolder();
    EXPECT_EQ(folder, (testsupport::Root() / "var/lib/TOLV/TolvWatchDogTimer/").string());
    EXPECT_TRUE(std::filesystem::is_directory(folder));
}

TEST_F(TraceLogTest, LinesAreAppendedAndArgumentsFormatted)
{
    SetTraceLogClockForTesting(&FakeClock);
    g_FakeNow = LocalTime(1, 2, 3, 4);
    TraceLog("first");
    g_FakeNow = LocalTime(23, 59, 59, 999);
    TraceLog("%s %d%%", "second", 50);
    EXPECT_EQ(testsupport::ReadFile(LogFile()), "01:02:03.004 first\n23:59:59.999 second 50%\n");
}

TEST_F(TraceLogTest, TwoLinesInOneSecondDifferOnlyInMilliseconds)
{
    SetTraceLogClockForTesting(&FakeClock);
    g_FakeNow = LocalTime(12, 0, 9, 0);
    TraceLog("resume");
    g_FakeNow = LocalTime(12, 0, 9, 870);
    TraceLog("resume");
    const auto lines = Lines(testsupport::ReadFile(LogFile()));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "12:00:09.000 resume");
    EXPECT_EQ(lines[1], "12:00:09.870 resume");
}

TEST_F(TraceLogTest, LongMessageIsCutToTheBuffer)
{
    const std::string message(5000, 'x');
    TraceLog("%s", message.c_str());
    const auto lines = Lines(testsupport::ReadFile(LogFile()));
    ASSERT_EQ(lines.size(), 1u);
    // "HH:MM:SS.mmm " then 1023 bytes of the message.
    EXPECT_EQ(lines[0].size(), 13u + 1023u);
    EXPECT_EQ(lines[0].substr(13), std::string(1023, 'x'));
}

TEST_F(TraceLogTest, PathIsKeptForTheRestOfTheRun)
{
    TraceLog("one");
    const std::filesystem::path elsewhere = testsupport::Root() / "elsewhere";
    const std::string root = testsupport::Root().string();
    setenv("TOLV_ROOT", elsewhere.c_str(), 1);
    TraceLog("two");
    setenv("TOLV_ROOT", root.c_str(), 1);
    EXPECT_EQ(Lines(testsupport::ReadFile(LogFile())).size(), 2u);
    EXPECT_FALSE(std::filesystem::exists(elsewhere));
}

TEST_F(TraceLogTest, UnwritableLogWritesNothing)
{
    // A file where the log folder should be: the folder cannot be made, the open fails.
    testsupport::WriteFile(testsupport::Root() / "var/lib/TOLV", "not a folder");
    TraceLog("lost");
    TraceLog("lost again");
    EXPECT_EQ(testsupport::ReadFile(testsupport::Root() / "var/lib/TOLV"), "not a folder");
    EXPECT_FALSE(std::filesystem::exists(LogFile()));
}

TEST_F(TraceLogTest, ClockOutOfRangeStillGivesThreeDigits)
{
    SetTraceLogClockForTesting(&FakeClock);
    g_FakeNow = LocalTime(7, 8, 9, 0);
    g_FakeNow.tv_nsec = 5'000'000'000;
    TraceLog("odd clock");
    const auto lines = Lines(testsupport::ReadFile(LogFile()));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "07:08:09.000 odd clock");
}

TEST_F(TraceLogTest, ALinkAtTheLogIsNotFollowed)
{
    const std::filesystem::path other = testsupport::Root() / "other.txt";
    testsupport::WriteFile(other, "kept\n");
    std::filesystem::create_directories(LogFile().parent_path());
    std::filesystem::create_symlink(other, LogFile());
    TraceLog("lost");
    EXPECT_EQ(testsupport::ReadFile(other), "kept\n");
    EXPECT_TRUE(std::filesystem::is_symlink(LogFile()));
}

// The log's folders may be shared with other members of the group, who may put a link there,
// to a folder of the user writing the log, say: neither the log nor anything else is made there.
TEST_F(TraceLogTest, ALinkInPlaceOfTheLogFolderIsNotFollowed)
{
    const std::filesystem::path theirs = testsupport::Root() / "theirs";
    std::filesystem::create_directories(theirs);
    std::filesystem::create_directories(LogFile().parent_path().parent_path());
    std::filesystem::create_directory_symlink(theirs, LogFile().parent_path());
    TraceLog("lost");
    EXPECT_TRUE(std::filesystem::is_empty(theirs));
    EXPECT_TRUE(std::filesystem::is_symlink(LogFile().parent_path()));
}

// A FIFO nobody reads at the log's place once blocked the user-interface thread for ever. The
// line is logged on a thread of its own, so that a regression fails instead of hanging.
TEST_F(TraceLogTest, AFifoAtTheLogDoesNotBlock)
{
    std::filesystem::create_directories(LogFile().parent_path());
    ASSERT_EQ(::mkfifo(LogFile().c_str(), 0644), 0);
    std::promise<void> logged;
    std::future<void> done = logged.get_future();
    std::thread logging([&] {
        TraceLog("into a fifo");
        logged.set_value();
    });
    const bool returned = done.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    // Let a blocked open go, so that the thread can be joined.
    const int reader = returned ? -1 : ::open(LogFile().c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    logging.join();
    if (reader >= 0)
        ::close(reader);
    EXPECT_TRUE(returned) << "TraceLog blocked on a FIFO";
}

// The stamps follow a change of the time zone made while the program runs.
TEST_F(TraceLogTest, AChangedTimeZoneShowsInTheStamps)
{
    const char* saved = std::getenv("TZ");
    const std::string savedZone = saved ? saved : "";
    SetTraceLogClockForTesting(&FakeClock);
    g_FakeNow = {12 * 3600 + 34 * 60, 0}; // 12:34 UTC on the first day of 1970
    setenv("TZ", "UTC0", 1);
    tzset();
    TraceLog("utc");
    setenv("TZ", "<+03>-3", 1);
    TraceLog("three hours east");
    if (saved)
        setenv("TZ", savedZone.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
    EXPECT_EQ(testsupport::ReadFile(LogFile()), "12:34:00.000 utc\n15:34:00.000 three hours east\n");
}

mode_t ModeOf(const std::filesystem::path& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

struct LogFolderRow {
    const char* name;
    const char* prepared; // a shared folder the package made, below the test root, or nullptr
    mode_t folderMode;    // of the log folder, made here or prepared
    mode_t fileMode;
};

class TraceLogModes : public TraceLogTest, public testing::WithParamInterface<LogFolderRow> {
protected:
    void SetUp() override
    {
        TraceLogTest::SetUp();
        m_SavedUmask = ::umask(022);
    }
    void TearDown() override
    {
        ::umask(m_SavedUmask);
        TraceLogTest::TearDown();
    }

private:
    mode_t m_SavedUmask = 022;
};

// In the package's shared log folder every member of the group appends to the one log, so the
// folders and the file made there are the group's, and nobody else's, whatever the umask;
// elsewhere the umask decides.
TEST_P(TraceLogModes, FollowTheFolderTheLogIsMadeIn)
{
    const LogFolderRow& row = GetParam();
    if (row.prepared) {
        const auto prepared = testsupport::Root() / row.prepared;
        std::filesystem::create_directories(prepared);
        ASSERT_EQ(::chmod(prepared.c_str(), 02770), 0);
    }
    TraceLog("first line");
    EXPECT_EQ(ModeOf(LogFile().parent_path()), row.folderMode);
    EXPECT_EQ(ModeOf(LogFile()), row.fileMode);
    EXPECT_EQ(Lines(testsupport::ReadFile(LogFile())).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TraceLogModes,
    testing::Values(LogFolderRow{"PreparedLogFolder", "var/lib/TOLV/TolvWatchDogTimer", 02770, 0660},
                    LogFolderRow{"PreparedParent", "var/lib/TOLV", 02770, 0660},
                    LogFolderRow{"NothingPrepared", nullptr, 0755, 0644}),
    [](const testing::TestParamInfo<LogFolderRow>& info) { return std::string(info.param.name); });

} // namespace
