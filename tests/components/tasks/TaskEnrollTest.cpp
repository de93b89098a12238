#include "EnrollSwitches.h"
#include "AutostartFolders.h"
#include "TaskEntry.h"

#include "TestSupport.h"
#include "platform/Paths.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct ToolResult {
    int status = -1;
    std::string errors;
    std::string output;
};

// Runs the real TaskEnroll with exactly these arguments (no command-line splitting) and
// captures what it writes to stderr and stdout.
ToolResult RunTool(const std::vector<std::string>& args)
{
    const fs::path tool = testsupport::BinFolder() / "TaskEnroll";
    const fs::path errors = testsupport::Root() / "stderr.txt";
    const fs::path output = testsupport::Root() / "stdout.txt";
    std::vector<std::string> words = {tool.string()};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ToolResult result;
    if (error != 0) {
        ADD_FAILURE() << "cannot start " << tool << ": " << error;
        return result;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.errors = testsupport::ReadFile(errors);
    result.output = testsupport::ReadFile(output);
    return result;
}

fs::path EntryOf(const std::string& fileName)
{
    return platform::AutostartFolder() / (fileName + ".desktop");
}

// --- Bad command lines -------------------------------------------------------------------------

struct BadRow {
    const char* name;
    std::vector<std::string> args;
    const char* reason;
};

class TaskEnrollBadSwitches : public testing::TestWithParam<BadRow> {};

TEST_P(TaskEnrollBadSwitches, ExitTwoWithTheReasonAndWriteNothing)
{
    const ToolResult result = RunTool(GetParam().args);
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.errors.find(GetParam().reason), std::string::npos) << result.errors;
    EXPECT_NE(result.errors.find("usage: TaskEnroll"), std::string::npos) << result.errors;
    EXPECT_FALSE(fs::exists(platform::AutostartFolder()));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TaskEnrollBadSwitches,
    testing::Values(
        BadRow{"NoArguments", {}, "missing -R or -D"},
        BadRow{"OnlyName", {"-T:Task"}, "missing -R or -D"},
        BadRow{"UnknownSwitch", {"-X", "-R", "-T:Task", "-P:/p"}, "unknown switch \"-X\""},
        BadRow{"ActionWithLetters", {"-Register", "-T:Task", "-P:/p"}, "unknown switch"},
        BadRow{"ValueWithoutColon", {"-D", "-TTask"}, "unknown switch \"-TTask\""},
        // Written as on other systems' command lines: the way with the colon is shown.
        BadRow{"ValueAfterABlank", {"-D", "-T", "x"},
               "-T takes its value after a colon, as in -T:\"<task name>\""},
        BadRow{"GluedValueIsShownTheColon", {"-D", "-tTask"}, "-T takes its value after a colon"},
        BadRow{"ProgramAfterABlank", {"-R", "-T:t", "-P", "/p"},
               "-P takes its value after a colon, as in -P:\"<program path>\""},
        BadRow{"HelpAmongSwitches", {"-D", "-T:t", "--help"}, "unknown switch \"--help\""},
        BadRow{"StrayWord", {"-D", "-T:Task", "extra"}, "unexpected argument \"extra\""},
        BadRow{"EmptyArgument", {"-D", "", "-T:Task"}, "unexpected argument"},
        BadRow{"BothActions", {"-R", "-D", "-T:Task", "-P:/p"}, "-R and -D exclude each other"},
        BadRow{"MissingName", {"-R", "-P:/p"}, "missing task name"},
        BadRow{"EmptyName", {"-D", "-T:"}, "missing task name"},
        BadRow{"NameWithSlash", {"-D", "-T:../../x"}, "cannot name"},
        BadRow{"RegisterWithoutProgram", {"-R", "-T:Task"}, "-R needs the program"},
        BadRow{"RegisterWithEmptyProgram", {"-R", "-T:Task", "-P:"}, "-R needs the program"},
        BadRow{"NameTwice", {"-D", "-T:a", "-T:b"}, "-T: given twice"},
        BadRow{"ProgramWithDelete", {"-D", "-T:Task", "-P:/p"}, "belong to -R only"}),
    [](const testing::TestParamInfo<BadRow>& info) { return std::string(info.param.name); });

TEST(TaskEnroll, HelpPrintsTheUsageAndDoesNothingElse)
{
    const ToolResult result = RunTool({"--help"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.errors, "");
    EXPECT_EQ(result.output.rfind("usage: TaskEnroll -R -T:<task name>", 0), 0u) << result.output;
    EXPECT_NE(result.output.find("Exit status"), std::string::npos) << result.output;
    EXPECT_FALSE(fs::exists(platform::AutostartFolder()));
}

// --- Registration and deletion ---------------------------------------------------------------------

TEST(TaskEnroll, RegisterWritesAnEntryThatRunsTheProgramHidden)
{
    const std::string program = "/opt/my \"tolv\" dir/$wdt`x`\\bin";
    const ToolResult result =
        RunTool({"-R", "-T:TOLV WatchDog Timer", "-P:" + program, "-A: -h "});
    ASSERT_EQ(result.status, 0) << result.errors;
    EXPECT_EQ(result.errors, "");

    const std::string entry = testsupport::ReadFile(EntryOf("TOLV-WatchDog-Timer"));
    EXPECT_EQ(tasks::ReadEntryValue(entry, "Name"), "TOLV WatchDog Timer");
    const auto exec = tasks::ReadEntryValue(entry, "Exec");
    ASSERT_TRUE(exec) << entry;
    EXPECT_EQ(exec->front(), '"') << "the program path is always quoted";
    EXPECT_EQ(tasks::ParseExecValue(*exec), (std::vector<std::string>{program, "-h"})) << *exec;
    EXPECT_TRUE(tasks::IsEntryActive(EntryOf("TOLV-WatchDog-Timer")));
}

TEST(TaskEnroll, SwitchesIgnoreCaseAndRegisterReplaces)
{
    ASSERT_EQ(RunTool({"-r", "-t:Task", "-p:/old"}).status, 0);
    ASSERT_EQ(RunTool({"-R", "-T:Task", "-P:/new", R"(-A:-x "a b" c\"d)"}).status, 0);
    const auto exec = tasks::ReadEntryValue(testsupport::ReadFile(EntryOf("Task")), "Exec");
    ASSERT_TRUE(exec);
    EXPECT_EQ(tasks::ParseExecValue(*exec),
              (std::vector<std::string>{"/new", "-x", "a b", "c\"d"}));
}

TEST(TaskEnroll, DeleteRemovesTheEntryAndIsIdempotent)
{
    ASSERT_EQ(RunTool({"-R", "-T:Task", "-P:/p"}).status, 0);
    ASSERT_TRUE(fs::exists(EntryOf("Task")));
    EXPECT_EQ(RunTool({"-D", "-T:Task"}).status, 0);
    EXPECT_FALSE(fs::exists(EntryOf("Task")));
    EXPECT_EQ(RunTool({"-d", "-T:Task"}).status, 0);
}

TEST(TaskEnroll, UnwritableAutostartFolderExitsOneWithTheReason)
{
    testsupport::WriteFile(testsupport::Root() / "etc/xdg", "not a folder");
    const ToolResult result = RunTool({"-R", "-T:Task", "-P:/p"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.errors.find("cannot create"), std::string::npos) << result.errors;
}

TEST(TaskEnroll, DeleteThatCannotRemoveExitsOne)
{
    // A non-empty folder where the entry would be cannot be removed as a file.
    testsupport::WriteFile(EntryOf("Task") / "inside", "x");
    const ToolResult result = RunTool({"-D", "-T:Task"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.errors.find("cannot delete"), std::string::npos) << result.errors;
}

TEST(ParseEnrollSwitches, ArgumentTextIsSplitIntoWords)
{
    tasks::EnrollSwitches switches;
    std::string error;
    ASSERT_TRUE(tasks::ParseEnrollSwitches({"-R", "-T:t", "-P:/p", "-A: -h "}, switches, error));
    EXPECT_EQ(switches.action, tasks::EnrollAction::Register);
    EXPECT_EQ(switches.taskName, "t");
    EXPECT_EQ(switches.program, "/p");
    EXPECT_EQ(switches.arguments, (std::vector<std::string>{"-h"}));
    ASSERT_TRUE(tasks::ParseEnrollSwitches({"-D", "-D", "-T:t"}, switches, error));
    EXPECT_EQ(switches.action, tasks::EnrollAction::Delete);
    EXPECT_TRUE(switches.arguments.empty());
}

// --- The probe library --------------------------------------------------------------------------

class TaskProbeTest : public testing::Test {
protected:
    using CheckFn = std::int32_t (*)(const char16_t*);
    void SetUp() override
    {
        m_Module = dlopen((testsupport::BinFolder() / "libTaskProbe.so").c_str(), RTLD_NOW);
        ASSERT_NE(m_Module, nullptr) << dlerror();
        m_Check = reinterpret_cast<CheckFn>(dlsym(m_Module, "CheckScheduleTaskExist"));
        ASSERT_NE(m_Check, nullptr);
    }
    void TearDown() override
    {
        if (m_Module)
            dlclose(m_Module);
    }
    void* m_Module = nullptr;
    CheckFn m_Check = nullptr;
};

TEST_F(TaskProbeTest, AnswersZeroOnlyForAnExistingTask)
{
    EXPECT_NE(m_Check(u"TOLV WatchDog Timer"), 0);
    ASSERT_EQ(RunTool({"-R", "-T:TOLV WatchDog Timer", "-P:/p", "-A:-h"}).status, 0);
    EXPECT_EQ(m_Check(u"TOLV WatchDog Timer"), 0);
    EXPECT_NE(m_Check(u"TOLV WatchDog"), 0);
    ASSERT_EQ(RunTool({"-D", "-T:TOLV WatchDog Timer"}).status, 0);
    EXPECT_NE(m_Check(u"TOLV WatchDog Timer"), 0);
}

TEST_F(TaskProbeTest, BadNamesAreNotTasks)
{
    testsupport::WriteFile(platform::AutostartFolder() / ".desktop",
                           "[Desktop Entry]\nType=Application\nExec=/p\n");
    const char16_t loneSurrogate[] = {u'T', 0xD83D, 0};
    EXPECT_NE(m_Check(nullptr), 0);
    EXPECT_NE(m_Check(u""), 0);
    EXPECT_NE(m_Check(u"a/b"), 0);
    EXPECT_NE(m_Check(loneSurrogate), 0);
}

} // namespace
