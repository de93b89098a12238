// Two members of the program's group taking turns on one machine, and a user outside the group.
// Each is a numeric user id played through setpriv (no accounts need to exist), on machine folders
// prepared the way the package prepares them: the settings store, the trace log's folder and the
// runtime folder owned by root and the group, setgid and group-writable (2775).

#include "platform/InstanceLock.h"
#include "platform/Paths.h"
#include "platform/WindowMessages.h"

#include "ChildProgram.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace platform;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

struct User {
    uid_t uid;
    gid_t gid;
};

constexpr gid_t kGroup = 61000; // stands for tolv-watchdog
constexpr User kFirst{61001, kGroup};
constexpr User kSecond{61002, kGroup};
constexpr User kOutsider{61003, 61003};

const char* const kKey = "Software\\TOLV\\TOLV Watchdog Timer";
const char* const kClass = "TMainForm";
const char* const kCaption = "TOLV Watchdog Timer";

fs::path KeyFolder()
{
    return RegistryFolder() / "HKEY_LOCAL_MACHINE/Software/TOLV";
}

struct Ran {
    bool exited = false;
    int code = -1;
    std::string output;
};

class TwoUsers : public testing::Test {
protected:
    void SetUp() override
    {
        if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0)
            GTEST_SKIP() << "acting as other users needs root and /usr/bin/setpriv; the two-users checks did not run";
        m_SavedUmask = umask(022);
        m_Restore = true;
        ASSERT_EQ(chmod(testsupport::Root().c_str(), 0755), 0);
        for (const fs::path& folder :
             {RegistryFolder(), CommonAppDataFolder() / "TOLV/TolvWatchDogTimer", RuntimeFolder()}) {
            fs::create_directories(folder);
            ASSERT_EQ(chown(folder.c_str(), 0, kGroup), 0);
            ASSERT_EQ(chmod(folder.c_str(), 02775), 0);
        }
        // The build folder need not be open to other users; a copy in the root is.
        m_Helper = testsupport::Root() / "registry-test-helper";
        fs::copy_file(testsupport::BinFolder() / "registry-test-helper", m_Helper);
        ASSERT_EQ(chmod(m_Helper.c_str(), 0755), 0);
    }

    void TearDown() override
    {
        if (m_Restore)
            umask(m_SavedUmask);
    }

    // The helper as that user, with the umask this process has now.
    std::unique_ptr<testsupport::ChildProgram> Start(User user, const std::vector<std::string>& args)
    {
        std::vector<std::string> words{"--reuid=" + std::to_string(user.uid),
                                       "--regid=" + std::to_string(user.gid), "--clear-groups",
                                       m_Helper.string()};
        words.insert(words.end(), args.begin(), args.end());
        const fs::path log = testsupport::Root() / "logs" / ("child-" + std::to_string(++m_Children));
        return std::make_unique<testsupport::ChildProgram>("/usr/bin/setpriv", words, log);
    }

    Ran Run(User user, const std::vector<std::string>& args)
    {
        auto child = Start(user, args);
        auto end = child->Wait(30s);
        Ran ran;
        ran.exited = end && end->exited;
        ran.code = end ? end->code : -1;
        ran.output = child->Log();
        EXPECT_TRUE(ran.exited) << args[0] << " as " << user.uid << " did not end by itself:\n" << ran.output;
        return ran;
    }

    std::string Answer(User user, const std::vector<std::string>& args) { return Run(user, args).output; }

    // A window of that user, ready to receive.
    std::unique_ptr<testsupport::ChildProgram> StartWindow(User user)
    {
        auto window = Start(user, {"window", kClass, kCaption});
        EXPECT_TRUE(testsupport::WaitUntil([&] { return window->Log().find('\n') != std::string::npos; }, 30s));
        EXPECT_EQ(window->Log(), "ready\n");
        return window;
    }

private:
    fs::path m_Helper;
    mode_t m_SavedUmask = 022;
    bool m_Restore = false;
    int m_Children = 0;
};

class TwoUsersSettings : public TwoUsers, public testing::WithParamInterface<mode_t> {};

// Whatever the first member's umask, the second reads and rewrites the first's settings and
// makes keys in the first's folders, and the first carries on after the second.
TEST_P(TwoUsersSettings, EachRewritesWhatTheOtherWrote)
{
    umask(GetParam());
    EXPECT_EQ(Run(kFirst, {"count", kKey, "LAST_STATE", "3"}).code, 0);
    umask(022);
    EXPECT_EQ(Answer(kSecond, {"read", kKey, "LAST_STATE"}), "0 2\n");
    EXPECT_EQ(Run(kSecond, {"count", kKey, "LAST_STATE", "5"}).code, 0);
    EXPECT_EQ(Answer(kSecond, {"create", "Software\\TOLV\\Other"}), "0\n");
    EXPECT_EQ(Answer(kSecond, {"create", "Software\\TOLV\\TOLV Watchdog Timer\\Sub"}), "0\n");
    EXPECT_EQ(Run(kFirst, {"count", kKey, "REBOOT_TIME", "2"}).code, 0);
    EXPECT_EQ(Answer(kFirst, {"read", kKey, "LAST_STATE"}), "0 4\n");
    EXPECT_EQ(Answer(kFirst, {"read", kKey, "REBOOT_TIME"}), "0 1\n");
}

INSTANTIATE_TEST_SUITE_P(FirstUserUmask, TwoUsersSettings, testing::Values(022, 077),
                         [](const testing::TestParamInfo<mode_t>& info) {
                             return info.param == 022 ? std::string("Usual") : std::string("Private");
                         });

TEST_F(TwoUsers, ALeftoverOfAWriterThatDiedBlocksNobody)
{
    ASSERT_EQ(Run(kFirst, {"count", kKey, "LAST_STATE", "1"}).code, 0);
    // What the first member's writer leaves when it is killed before its rename: once under the
    // fixed name earlier versions used, once under a fresh one.
    const std::vector<fs::path> leftovers{KeyFolder() / "TOLV Watchdog Timer.reg.new",
                                          KeyFolder() / "TOLV Watchdog Timer.reg.q7Rz2K.new"};
    for (const fs::path& leftover : leftovers) {
        testsupport::WriteFile(leftover, "\"LAST_STATE\"=dw");
        ASSERT_EQ(chown(leftover.c_str(), kFirst.uid, kGroup), 0);
        ASSERT_EQ(chmod(leftover.c_str(), 0644), 0);
    }
    EXPECT_EQ(Run(kSecond, {"count", kKey, "LAST_STATE", "3"}).code, 0);
    EXPECT_EQ(Answer(kFirst, {"read", kKey, "LAST_STATE"}), "0 2\n");
    for (const fs::path& leftover : leftovers)
        EXPECT_FALSE(fs::exists(leftover)) << leftover;
}

TEST_F(TwoUsers, EachTakesTheSingleInstanceLockInTurn)
{
    umask(077);
    EXPECT_EQ(Answer(kFirst, {"lock", "TOLV_WATCHDOG_TIMER"}), "acquired\n");
    umask(022);
    EXPECT_EQ(Answer(kSecond, {"lock", "TOLV_WATCHDOG_TIMER"}), "acquired\n");
    {
        InstanceLock running("TOLV_WATCHDOG_TIMER");
        ASSERT_EQ(running.Acquire(), InstanceLock::Result::Acquired);
        EXPECT_EQ(Answer(kSecond, {"lock", "TOLV_WATCHDOG_TIMER"}), "held\n");
    }
    EXPECT_EQ(Answer(kFirst, {"lock", "TOLV_WATCHDOG_TIMER"}), "acquired\n");
}

// The package's close helper runs as root and asks every user's copy to close.
TEST_F(TwoUsers, EachGetsTheCloseRequestAndFindsOnlyTheirOwnWindow)
{
    {
        auto first = StartWindow(kFirst);
        EXPECT_EQ(Answer(kFirst, {"find", kClass, kCaption}), "found\n");
        EXPECT_EQ(Answer(kSecond, {"find", kClass, kCaption}), "none\n");
        first->Signal(SIGKILL); // its socket stays behind, as after a crash
        first->Wait(30s);
    }
    auto second = StartWindow(kSecond);
    EXPECT_EQ(Answer(kFirst, {"find", kClass, kCaption}), "none\n");
    auto first = StartWindow(kFirst);

    const std::vector<UserWindow> windows = FindWindowsOfAllUsers(kClass, kCaption);
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(windows[0].owner, kFirst.uid);
    EXPECT_EQ(windows[1].owner, kSecond.uid);
    for (const UserWindow& window : windows)
        EXPECT_TRUE(PostMessage(window.window, 2044, 0, 0));
    for (auto* child : {first.get(), second.get()}) {
        auto end = child->Wait(30s);
        EXPECT_TRUE(end && end->exited && end->code == 0);
        EXPECT_EQ(child->Log(), "ready\n2044 0 0\n");
    }
    EXPECT_TRUE(FindWindowsOfAllUsers(kClass, kCaption).empty());
}

// Someone outside the group reads what the others may read and is told no for the rest.
TEST_F(TwoUsers, AUserOutsideTheGroupGetsClearAnswers)
{
    ASSERT_EQ(Run(kFirst, {"count", kKey, "LAST_STATE", "2"}).code, 0);
    EXPECT_EQ(Answer(kOutsider, {"read", kKey, "LAST_STATE"}), "0 1\n");
    EXPECT_EQ(Answer(kOutsider, {"open", kKey, "0xF003F"}), "5\n");
    EXPECT_EQ(Answer(kOutsider, {"create", "Software\\TOLV\\Other"}), "5\n");
    EXPECT_EQ(Answer(kOutsider, {"lock", "TOLV_WATCHDOG_TIMER"}),
              "failed " + (RuntimeFolder() / "TOLV_WATCHDOG_TIMER.lock").string() + ": Permission denied\n");
    EXPECT_EQ(Answer(kOutsider, {"window", kClass, kCaption}),
              "failed cannot create " + WindowsFolderOf(kOutsider.uid).string() + ": Permission denied\n");
}

} // namespace
