// The registry store shared between processes: writers killed mid-write, concurrent writers,
// and a user without write permission.

#include "RegistryHelperRecord.h"

#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/RegistryFormat.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace platform;
namespace fs = std::filesystem;

namespace {

const char* const kKey = "Software\\TOLV\\TOLV Watchdog Timer";

fs::path KeyFolder()
{
    return RegistryFolder() / "HKEY_LOCAL_MACHINE/Software/TOLV";
}

fs::path KeyFile()
{
    return KeyFolder() / "TOLV Watchdog Timer.reg";
}

std::string Helper()
{
    return (testsupport::BinFolder() / "registry-test-helper").string();
}

struct Child {
    pid_t pid = -1;
    int output = -1; // read end of the child's stdout
};

Child Start(std::vector<std::string> args, bool asNobody = false)
{
    if (asNobody)
        args.insert(args.begin(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    Child child;
    if (posix_spawn(&child.pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        child.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    child.output = pipeFds[0];
    return child;
}

struct Finished {
    int exitCode = -1;
    std::string output;
};

Finished Wait(Child child)
{
    Finished finished;
    char buffer[256];
    ssize_t got;
    while ((got = read(child.output, buffer, sizeof buffer)) > 0)
        finished.output.append(buffer, static_cast<std::size_t>(got));
    close(child.output);
    int status = 0;
    if (child.pid > 0 && waitpid(child.pid, &status, 0) == child.pid && WIFEXITED(status))
        finished.exitCode = WEXITSTATUS(status);
    return finished;
}

Finished RunChild(std::vector<std::string> args, bool asNobody = false)
{
    return Wait(Start(std::move(args), asNobody));
}

void SetUpKey(DWORD lastState)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "LAST_STATE", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&lastState), 4),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

std::vector<std::uint8_t> QueryBytes(const char* name, LONG& result)
{
    HKEY key = nullptr;
    std::vector<std::uint8_t> bytes(kMaxRegistryFileSize);
    result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key);
    if (result != ERROR_SUCCESS)
        return {};
    DWORD size = static_cast<DWORD>(bytes.size());
    result = RegQueryValueExA(key, name, nullptr, nullptr, bytes.data(), &size);
    RegCloseKey(key);
    bytes.resize(result == ERROR_SUCCESS ? size : 0);
    return bytes;
}

TEST(RegistryProcess, KilledWriterLeavesTheOldOrTheNewFile)
{
    std::mt19937 random(20240611);
    std::uint32_t writesSeen = 0;
    bool recordSeen = false;
    for (int round = 0; round < 50; ++round) {
        Child writer = Start({Helper(), "churn", kKey});
        ASSERT_GT(writer.pid, 0);
        // Wait until the writer has the key open, then let it run for part of a few writes.
        char ready[6] = {};
        if (read(writer.output, ready, sizeof ready) != 6) {
            kill(writer.pid, SIGKILL);
            Wait(writer);
            FAIL() << "the writer did not start";
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 80000));
        kill(writer.pid, SIGKILL);
        Wait(writer);

        std::string text = testsupport::ReadFile(KeyFile());
        for (const regfile::RegLine& line : regfile::ParseRegText(text).lines)
            ASSERT_TRUE(line.value || line.text.empty() || line.text[0] == '[' || line.text[0] == 'W')
                << "round " << round << ": torn line \"" << line.text << "\"";

        LONG result = 0;
        std::vector<std::uint8_t> record = QueryBytes("Record", result);
        if (result == ERROR_FILE_NOT_FOUND && !recordSeen)
            continue; // killed before the first record was written; once there, it must stay
        recordSeen = true;
        ASSERT_EQ(result, ERROR_SUCCESS) << "round " << round;
        std::optional<std::uint32_t> sequence = registrytest::CheckRecord(record);
        ASSERT_TRUE(sequence) << "round " << round << ": record of " << record.size() << " bytes is mixed";
        std::vector<std::uint8_t> counter = QueryBytes("Counter", result);
        if (result == ERROR_SUCCESS) {
            ASSERT_EQ(counter.size(), 4u);
            std::uint32_t count = counter[0] | counter[1] << 8 | counter[2] << 16 | counter[3] << 24;
            // The counter is written right after the record of the same number.
            EXPECT_TRUE(*sequence == count || *sequence == count + 1) << *sequence << " vs " << count;
        }
        // A kill never takes the store back behind what an earlier round found.
        EXPECT_GE(*sequence, writesSeen) << "round " << round;
        writesSeen = std::max(writesSeen, *sequence);
    }
    EXPECT_GT(writesSeen, 0u) << "the writer was never caught after a write";
}

TEST(RegistryProcess, TwoWritersAtOnceLoseNeitherValue)
{
    SetUpKey(1);
    Child first = Start({Helper(), "count", kKey, "First", "100"});
    Child second = Start({Helper(), "count", kKey, "Second", "100"});
    EXPECT_EQ(Wait(first).exitCode, 0);
    EXPECT_EQ(Wait(second).exitCode, 0);

    LONG result = 0;
    EXPECT_EQ(QueryBytes("First", result), (std::vector<std::uint8_t>{99, 0, 0, 0}));
    EXPECT_EQ(QueryBytes("Second", result), (std::vector<std::uint8_t>{99, 0, 0, 0}));
    EXPECT_EQ(QueryBytes("LAST_STATE", result), (std::vector<std::uint8_t>{1, 0, 0, 0}));
}

// Permission bits do not stop root, so the user without rights is played by nobody.
class RegistryAccess : public testing::Test {
protected:
    void SetUp() override
    {
        if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0)
            GTEST_SKIP() << "needs root and setpriv to act as another user";
        SetUpKey(7);
        // nobody must reach the store and the helper, but may write nothing.
        for (fs::path folder = KeyFolder(); folder != testsupport::Root().parent_path(); folder = folder.parent_path())
            chmod(folder.c_str(), 0755);
        m_helper = (testsupport::Root() / "registry-test-helper").string();
        fs::copy_file(Helper(), m_helper);
        chmod(m_helper.c_str(), 0755);
    }

    std::string Answer(std::vector<std::string> args)
    {
        args.insert(args.begin(), m_helper);
        Finished finished = RunChild(std::move(args), true);
        EXPECT_EQ(finished.exitCode, 0) << finished.output;
        return finished.output;
    }

    std::string m_helper;
};

TEST_F(RegistryAccess, FullAccessWithoutWritePermissionIsDenied)
{
    EXPECT_EQ(Answer({"open", kKey, "0xF003F"}), "5\n");
    EXPECT_EQ(Answer({"create", kKey}), "5\n");
    EXPECT_EQ(Answer({"create", "Software\\TOLV\\Other"}), "5\n");
    EXPECT_FALSE(fs::exists(KeyFolder() / "Other.reg"));
}

TEST_F(RegistryAccess, ReadingNeedsNoWritePermission)
{
    EXPECT_EQ(Answer({"open", kKey, "0x20019"}), "0\n");
    EXPECT_EQ(Answer({"read", kKey, "LAST_STATE"}), "0 7\n");
    EXPECT_EQ(Answer({"read", "Software\\Missing", "LAST_STATE"}), "2 0\n");
}

TEST_F(RegistryAccess, AnOwnerWithWritePermissionMayWrite)
{
    ASSERT_EQ(chown(KeyFolder().c_str(), 65534, 65534), 0);
    ASSERT_EQ(chown(KeyFile().c_str(), 65534, 65534), 0);
    // The lock file was made by root; the owner of the key needs it writable too.
    ASSERT_EQ(chown((KeyFile().string() + ".lock").c_str(), 65534, 65534), 0);
    EXPECT_EQ(Answer({"open", kKey, "0xF003F"}), "0\n");
    EXPECT_EQ(RunChild({m_helper, "count", kKey, "LAST_STATE", "3"}, true).exitCode, 0);
    LONG result = 0;
    EXPECT_EQ(QueryBytes("LAST_STATE", result), (std::vector<std::uint8_t>{2, 0, 0, 0}));
}

TEST_F(RegistryAccess, ALockFileTheWriterCannotOpenDeniesTheOpenNotEveryWrite)
{
    ASSERT_EQ(chown(KeyFolder().c_str(), 65534, 65534), 0);
    ASSERT_EQ(chown(KeyFile().c_str(), 65534, 65534), 0);
    // The lock file stays root's and read-only for others.
    EXPECT_EQ(Answer({"open", kKey, "0xF003F"}), "5\n");
    EXPECT_EQ(Answer({"open", kKey, "0x20019"}), "0\n") << "reading takes no lock";
}

} // namespace
