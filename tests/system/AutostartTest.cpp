#include "system/autostart.h"

#include "TestSupport.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "system/common.h"

#include <gtest/gtest.h>

#include <csignal>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>
#include <pthread.h>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Shown {
    std::string text;
    std::string caption;
};

// Every case records the message boxes it causes and gets its working folder and helper folder
// back afterwards (RunProgram changes the process's current directory on purpose).
class AutostartTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_SavedDirectory = fs::current_path();
        m_SavedHook = platform::SetMessageBoxHook(
            [this](const std::string& text, const std::string& caption, unsigned) {
                m_Shown.push_back({text, caption});
                return platform::IDOK;
            });
    }
    void TearDown() override
    {
        platform::SetMessageBoxHook(m_SavedHook);
        SetTaskHelperFolderForTesting({});
        SetAutostartProgramForTesting({});
        UnloadTaskProbe();
        fs::current_path(m_SavedDirectory);
    }

    // A shell script that records its arguments (one per line) and its working folder.
    fs::path WriteRecorder(const fs::path& folder, const std::string& tail = "exit 0")
    {
        const fs::path script = folder / "record args";
        testsupport::WriteFile(script, "#!/bin/sh\n"
                                       "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > args.out\n"
                                       "pwd -P > cwd.out\n" +
                                           tail + "\n");
        fs::permissions(script, fs::perms::owner_all);
        return script;
    }

    fs::path EntryFile() const
    {
        return testsupport::Root() / "etc/xdg/autostart/TOLV-WatchDog-Timer.desktop";
    }

    std::vector<Shown> m_Shown;

private:
    fs::path m_SavedDirectory;
    platform::MessageBoxHook m_SavedHook;
};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return lines;
}

// --- Argument splitting --------------------------------------------------------------------

struct SplitRow {
    const char* name;
    const char* text;
    std::vector<std::string> expected;
};

class SplitCommandLineTest : public testing::TestWithParam<SplitRow> {};

TEST_P(SplitCommandLineTest, GivesTheArguments)
{
    EXPECT_EQ(SplitCommandLine(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SplitCommandLineTest,
    testing::Values(
        SplitRow{"Empty", "", {}},
        SplitRow{"OnlyBlanks", " \t  ", {}},
        SplitRow{"BlanksSeparate", " a  b\tc ", {"a", "b", "c"}},
        SplitRow{"QuotesGroup", R"("a b" c)", {"a b", "c"}},
        SplitRow{"QuotedPartInsideAWord", R"(-T:"TOLV WatchDog Timer")", {"-T:TOLV WatchDog Timer"}},
        SplitRow{"QuotedValueKeepsBlanks", R"( -A:" -h ")", {"-A: -h "}},
        SplitRow{"CreateCommand",
                 R"( -R -T:"TOLV WatchDog Timer" -P:"/opt/tolv/Tolv WDT" -A:" -h ")",
                 {"-R", "-T:TOLV WatchDog Timer", "-P:/opt/tolv/Tolv WDT", "-A: -h "}},
        SplitRow{"EmptyQuotesAreAnArgument", R"(a "" b)", {"a", "", "b"}},
        SplitRow{"EscapedQuoteIsLiteral", R"(a\"b)", {"a\"b"}},
        SplitRow{"EscapedQuoteInsideQuotes", R"("a \"b\" c")", {"a \"b\" c"}},
        SplitRow{"BackslashesWithoutQuoteAreLiteral", R"(a\\b\c)", {"a\\\\b\\c"}},
        SplitRow{"EvenBackslashesBeforeQuoteHalveAndQuote", R"("a\\" b)", {"a\\", "b"}},
        SplitRow{"OddBackslashesBeforeQuoteHalveAndEscape", R"(a\\\"b)", {"a\\\"b"}},
        SplitRow{"DoubledQuoteInsideQuotesIsLiteral", R"("a""b" c)", {"a\"b", "c"}},
        SplitRow{"UnterminatedQuoteRunsToTheEnd", R"("a b)", {"a b"}},
        SplitRow{"TrailingBackslash", R"(a\)", {"a\\"}}),
    [](const testing::TestParamInfo<SplitRow>& info) { return std::string(info.param.name); });

struct QuoteRow {
    const char* name;
    const char* argument;
};

class QuoteCommandLineArgumentTest : public testing::TestWithParam<QuoteRow> {};

TEST_P(QuoteCommandLineArgumentTest, SplitsBackUnchanged)
{
    const std::string argument = GetParam().argument;
    const std::string quoted = QuoteCommandLineArgument(argument);
    EXPECT_EQ(SplitCommandLine(" x " + quoted + " y"),
              (std::vector<std::string>{"x", argument, "y"}))
        << quoted;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, QuoteCommandLineArgumentTest,
    testing::Values(QuoteRow{"Plain", "/opt/tolv/tolv-wdt"}, QuoteRow{"Empty", ""},
                    QuoteRow{"Blanks", " -h "}, QuoteRow{"Quote", "a\"b"},
                    QuoteRow{"BackslashBeforeQuote", "a\\\"b"},
                    QuoteRow{"TrailingBackslashes", "dir\\\\"},
                    QuoteRow{"Mixed", "/tmp/we\"ird $dir\\ `x` %1"}),
    [](const testing::TestParamInfo<QuoteRow>& info) { return std::string(info.param.name); });

TEST(QuoteCommandLineArgument, PlainValueIsOnlyEnclosed)
{
    EXPECT_EQ(QuoteCommandLineArgument("TOLV WatchDog Timer"), "\"TOLV WatchDog Timer\"");
    EXPECT_EQ(QuoteCommandLineArgument(" -h "), "\" -h \"");
}

// --- Starting programs -----------------------------------------------------------------------

TEST_F(AutostartTest, MissingExecutableShowsCreateProcessFailed)
{
    const fs::path folder = testsupport::Root() / "bin";
    fs::create_directories(folder);
    int status = 99;
    EXPECT_EQ(RunProgram(folder / "no-such-program", " -x", true, false, &status), 1);
    ASSERT_EQ(m_Shown.size(), 1u);
    EXPECT_EQ(m_Shown[0].text, "CreateProcess failed (2).\n");
    EXPECT_EQ(m_Shown[0].caption, "Error");
    EXPECT_EQ(status, -1);
}

TEST_F(AutostartTest, AFailedStartIsTracedWithTheProgramAndTheReason)
{
    ResetTraceLogPathForTesting(); // the log of this test's root
    const fs::path program = testsupport::Root() / "bin" / "no-such-program";
    fs::create_directories(program.parent_path());
    EXPECT_EQ(RunProgram(program, "", true, false), 1);
    const std::string log = testsupport::ReadFile(GetLogFolder() + "trace.log");
    ResetTraceLogPathForTesting();
    EXPECT_NE(log.find(" Cannot start " + program.string() + ": No such file or directory\n"),
              std::string::npos)
        << log;
}

TEST_F(AutostartTest, ArgumentsArriveSplitAndTheFolderIsCurrent)
{
    const fs::path folder = testsupport::Root() / "Program Files" / "it's here";
    const fs::path script = WriteRecorder(folder);
    int status = -1;
    ASSERT_EQ(RunProgram(script, R"( -R -T:"TOLV WatchDog Timer" -A:" -h " "" x\"y)", true, true,
                         &status),
              0);
    EXPECT_TRUE(m_Shown.empty());
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Lines(testsupport::ReadFile(folder / "args.out")),
              (std::vector<std::string>{"-R", "-T:TOLV WatchDog Timer", "-A: -h ", "", "x\"y"}));
    EXPECT_EQ(fs::canonical(fs::current_path()), fs::canonical(folder));
    EXPECT_EQ(testsupport::ReadFile(folder / "cwd.out"), fs::canonical(folder).string() + "\n");
}

TEST_F(AutostartTest, CurrentFolderChangesEvenWhenTheStartFails)
{
    const fs::path folder = testsupport::Root() / "tools";
    fs::create_directories(folder);
    EXPECT_EQ(RunProgram(folder / "missing", "", false, false), 1);
    EXPECT_EQ(fs::canonical(fs::current_path()), fs::canonical(folder));
}

TEST_F(AutostartTest, RelativePathNamesTheSameProgramAfterTheFolderChange)
{
    const fs::path folder = testsupport::Root() / "sub";
    WriteRecorder(folder);
    fs::current_path(testsupport::Root());
    int status = -1;
    ASSERT_EQ(RunProgram("sub/record args", " one", true, false, &status), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(testsupport::ReadFile(folder / "args.out"), "one\n");
}

TEST_F(AutostartTest, ExitStatusIsReportedAfterAWait)
{
    const fs::path folder = testsupport::Root() / "exits";
    int status = -1;
    EXPECT_EQ(RunProgram(WriteRecorder(folder, "exit 7"), "", true, false, &status), 0);
    EXPECT_EQ(status, 7);
    EXPECT_EQ(RunProgram(WriteRecorder(folder, "kill -TERM $$"), "", true, false, &status), 0);
    EXPECT_EQ(status, 128 + 15);
}

TEST_F(AutostartTest, StartedProgramDoesNotInheritBlockedOrIgnoredSignals)
{
    const fs::path folder = testsupport::Root() / "signals";
    const fs::path script = WriteRecorder(folder, "kill -TERM $$; exit 0");
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    sigset_t saved;
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &term, &saved), 0);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction previous {};
    ASSERT_EQ(sigaction(SIGINT, &ignore, &previous), 0);
    int termStatus = -1;
    const int started = RunProgram(script, "", true, false, &termStatus);
    ASSERT_EQ(pthread_sigmask(SIG_SETMASK, &saved, nullptr), 0);

    const fs::path interrupted = WriteRecorder(folder, "kill -INT $$; exit 0");
    ASSERT_EQ(sigaction(SIGINT, &ignore, nullptr), 0);
    int intStatus = -1;
    const int startedAgain = RunProgram(interrupted, "", true, false, &intStatus);
    ASSERT_EQ(sigaction(SIGINT, &previous, nullptr), 0);

    EXPECT_EQ(started, 0);
    EXPECT_EQ(termStatus, 128 + SIGTERM);
    EXPECT_EQ(startedAgain, 0);
    EXPECT_EQ(intStatus, 128 + SIGINT);
}

TEST_F(AutostartTest, StartedProgramGetsNoDescriptorsOfThisProcess)
{
    const int fd = open("/dev/null", O_RDONLY); // deliberately inheritable
    ASSERT_GE(fd, 3);
    const fs::path script = WriteRecorder(testsupport::Root() / "fds",
                                          "[ -e /dev/fd/" + std::to_string(fd) + " ] && exit 9; exit 0");
    int status = -1;
    const int started = RunProgram(script, "", true, false, &status);
    close(fd);
    EXPECT_EQ(started, 0);
    EXPECT_EQ(status, 0);
}

TEST_F(AutostartTest, NoWaitLeavesTheStatusUnknown)
{
    const fs::path folder = testsupport::Root() / "nowait";
    int status = 5;
    EXPECT_EQ(RunProgram(WriteRecorder(folder, "exit 3"), "", false, false, &status), 0);
    EXPECT_EQ(status, -1);
    EXPECT_TRUE(m_Shown.empty());
}

TEST_F(AutostartTest, NonExecutableFileFailsWithItsErrorNumber)
{
    const fs::path file = testsupport::Root() / "plain" / "data";
    testsupport::WriteFile(file, "not a program");
    EXPECT_EQ(RunProgram(file, "", true, false), 1);
    ASSERT_EQ(m_Shown.size(), 1u);
    EXPECT_EQ(m_Shown[0].text, "CreateProcess failed (13).\n");
}

// --- The task probe ----------------------------------------------------------------------------

TEST_F(AutostartTest, MissingProbeReadsAsNotRegisteredAndShowsNothing)
{
    SetTaskHelperFolderForTesting(testsupport::Root() / "empty");
    EXPECT_FALSE(LoadTaskProbe());
    EXPECT_FALSE(IsAutostartTaskRegistered());
    EXPECT_TRUE(m_Shown.empty());
}

TEST_F(AutostartTest, BrokenProbeReadsAsNotRegistered)
{
    const fs::path folder = testsupport::Root() / "broken";
    testsupport::WriteFile(folder / "libTaskProbe.so", "this is no library");
    SetTaskHelperFolderForTesting(folder);
    EXPECT_FALSE(IsAutostartTaskRegistered());
    EXPECT_TRUE(m_Shown.empty());
}

TEST_F(AutostartTest, ProbeIsFreedAfterEveryQuery)
{
    const fs::path probe = platform::ProgramFolder() / "libTaskProbe.so";
    ASSERT_TRUE(fs::exists(probe)) << "the probe is built beside the tests";
    for (int query = 0; query < 2; ++query) {
        EXPECT_FALSE(IsAutostartTaskRegistered());
        EXPECT_EQ(dlopen(probe.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
    }
    EXPECT_TRUE(LoadTaskProbe());
    EXPECT_TRUE(LoadTaskProbe()); // held: answers at once
    void* held = dlopen(probe.c_str(), RTLD_NOW | RTLD_NOLOAD);
    EXPECT_NE(held, nullptr);
    if (held)
        dlclose(held);
    EXPECT_TRUE(UnloadTaskProbe());
    EXPECT_TRUE(UnloadTaskProbe());
    EXPECT_EQ(dlopen(probe.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
}

// --- Registration through the real helpers -------------------------------------------------------

TEST_F(AutostartTest, RegisterAndRemoveRoundTrip)
{
    EXPECT_FALSE(IsAutostartTaskRegistered());
    ASSERT_TRUE(RegisterAutostartTask());
    EXPECT_TRUE(IsAutostartTaskRegistered());

    const std::string entry = testsupport::ReadFile(EntryFile());
    EXPECT_NE(entry.find("Name=TOLV WatchDog Timer\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("Exec=\"" + platform::ProgramFile().string() + "\" -h\n"),
              std::string::npos)
        << entry;
    EXPECT_EQ(fs::canonical(fs::current_path()), fs::canonical(platform::ProgramFolder()));

    ASSERT_TRUE(RemoveAutostartTask());
    EXPECT_FALSE(IsAutostartTaskRegistered());
    EXPECT_FALSE(fs::exists(EntryFile()));
    EXPECT_TRUE(RemoveAutostartTask()) << "deleting a missing task is not an error";
    EXPECT_TRUE(m_Shown.empty());
}

TEST_F(AutostartTest, ToolInAFolderWithBlanksStillRuns)
{
    const fs::path folder = testsupport::Root() / "Program Files" / "TOLV Watch Dog";
    fs::create_directories(folder);
    fs::copy_file(platform::ProgramFolder() / "TaskEnroll", folder / "TaskEnroll");
    fs::copy_file(platform::ProgramFolder() / "libTaskProbe.so", folder / "libTaskProbe.so");
    SetTaskHelperFolderForTesting(folder);
    ASSERT_TRUE(RegisterAutostartTask());
    EXPECT_TRUE(IsAutostartTaskRegistered());
    EXPECT_TRUE(m_Shown.empty());
}

TEST_F(AutostartTest, FailedRegistrationIsReportedAsFalse)
{
    // A file where the autostart folder's parent should be: the tool starts but cannot write.
    testsupport::WriteFile(testsupport::Root() / "etc", "not a folder");
    EXPECT_FALSE(RegisterAutostartTask());
    EXPECT_FALSE(IsAutostartTaskRegistered());
    EXPECT_TRUE(m_Shown.empty());
}

// The program file may be gone by the time the box is ticked: removed, or a folder or a file
// that cannot run in its place. Nothing is registered then, and the trace log says why.
TEST_F(AutostartTest, NoRegistrationWithoutAProgramThatRuns)
{
    ResetTraceLogPathForTesting(); // the log of this test's root
    const fs::path folder = testsupport::Root() / "opt";
    testsupport::WriteFile(folder / "not executable", "#!/bin/sh\n");
    fs::create_directories(folder / "a folder");
    for (const char* name : {"gone", "not executable", "a folder"}) {
        SetAutostartProgramForTesting(folder / name);
        EXPECT_FALSE(RegisterAutostartTask()) << name;
        EXPECT_FALSE(fs::exists(EntryFile())) << name;
    }
    EXPECT_TRUE(m_Shown.empty());
    const std::string log = testsupport::ReadFile(GetLogFolder() + "trace.log");
    EXPECT_NE(log.find("Autostart not registered: no program at " + (folder / "gone").string() + "\n"),
              std::string::npos)
        << log;
    ResetTraceLogPathForTesting();
}

TEST_F(AutostartTest, MissingToolIsReportedAsFalseWithAMessage)
{
    SetTaskHelperFolderForTesting(testsupport::Root() / "nothing here");
    fs::create_directories(testsupport::Root() / "nothing here");
    EXPECT_FALSE(RegisterAutostartTask());
    EXPECT_FALSE(RemoveAutostartTask());
    ASSERT_EQ(m_Shown.size(), 2u);
    EXPECT_EQ(m_Shown[0].text, "CreateProcess failed (2).\n");
    EXPECT_EQ(m_Shown[0].caption, "Error");
}

} // namespace
