// Two members of the program's group taking turns on one machine, and a user outside the group.
// Each is a numeric user id played through setpriv (no accounts need to exist), on machine folders
// prepared the way the package prepares them: the settings store, the trace log's folder and the
// runtime folder owned by root and the group, setgid, for the group only (2770; the runtime
// folder also sticky, 3770).

#include "platform/InstanceLock.h"
#include "platform/Paths.h"
#include "platform/WindowMessages.h"

#include "ChildProgram.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
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
        for (const fs::path& folder : {RegistryFolder(), LogFolder(), RuntimeFolder()})
            Prepare(folder, folder == RuntimeFolder() ? 03770 : 02770);
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

    static fs::path LogFolder() { return CommonAppDataFolder() / "TOLV/TolvWatchDogTimer"; }

    static void Prepare(const fs::path& folder, mode_t mode)
    {
        fs::create_directories(folder);
        ASSERT_EQ(chown(folder.c_str(), 0, kGroup), 0);
        ASSERT_EQ(chmod(folder.c_str(), mode), 0);
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

// Someone outside the group is told no, clearly, for everything.
TEST_F(TwoUsers, AUserOutsideTheGroupGetsClearAnswers)
{
    ASSERT_EQ(Run(kFirst, {"count", kKey, "LAST_STATE", "2"}).code, 0);
    EXPECT_EQ(Answer(kOutsider, {"read", kKey, "LAST_STATE"}), "5 0\n");
    EXPECT_EQ(Answer(kOutsider, {"open", kKey, "0xF003F"}), "5\n");
    EXPECT_EQ(Answer(kOutsider, {"create", "Software\\TOLV\\Other"}), "5\n");
    EXPECT_EQ(Answer(kOutsider, {"lock", "TOLV_WATCHDOG_TIMER"}),
              "failed " + (RuntimeFolder() / "TOLV_WATCHDOG_TIMER.lock").string() + ": Permission denied\n");
    EXPECT_EQ(Answer(kOutsider, {"window", kClass, kCaption}),
              "failed cannot create " + WindowsFolderOf(kOutsider.uid).string() + ": Permission denied\n");
}

// The folders keep outsiders away, and so do the files in them on their own: a folder that lets
// anyone pass (made so by hand, or by an older package) must not open the settings, their locks,
// the log or the single-instance lock to someone outside the group.
TEST_F(TwoUsers, OutsideTheGroupNoFileOpensEvenWhereTheFoldersLetThemPass)
{
    ASSERT_EQ(Run(kFirst, {"count", kKey, "LAST_STATE", "2"}).code, 0);
    ASSERT_EQ(Answer(kFirst, {"log", "a line"}), "");
    ASSERT_EQ(Answer(kFirst, {"lock", "TOLV_WATCHDOG_TIMER"}), "acquired\n");
    for (const fs::path& prepared : {RegistryFolder(), LogFolder(), RuntimeFolder()}) {
        std::vector<fs::path> folders{prepared};
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(prepared))
            if (entry.is_directory() && !entry.is_symlink())
                folders.push_back(entry.path());
        for (const fs::path& folder : folders) {
            struct stat info {};
            ASSERT_EQ(stat(folder.c_str(), &info), 0);
            ASSERT_EQ(chmod(folder.c_str(), (info.st_mode & 07777) | S_IXOTH), 0);
        }
    }
    const fs::path lock = RuntimeFolder() / "TOLV_WATCHDOG_TIMER.lock";
    for (const fs::path& file : {KeyFolder() / "TOLV Watchdog Timer.reg", KeyFolder() / "TOLV Watchdog Timer.reg.lock",
                                 LogFolder() / "trace.log", lock})
        EXPECT_EQ(Answer(kOutsider, {"peek", file.string()}), "Permission denied\n") << file;
    EXPECT_EQ(Answer(kOutsider, {"lock", "TOLV_WATCHDOG_TIMER"}), "failed " + lock.string() + ": Permission denied\n");
}

fs::path Private()
{
    return testsupport::Root() / "home" / std::to_string(kSecond.uid) / "private";
}

// A member may put anything into the shared folders, a link to another member's own folder
// too. That member's program must then neither make anything in their folder nor change its
// rights: every folder below the machine root is walked without following links. (Links in the
// store and at the windows folder have their own tests.)
TEST_F(TwoUsers, ALinkPlantedAtTheLogFolderLeadsTheOtherMembersProgramNowhere)
{
    fs::create_directories(Private());
    for (const fs::path& folder : {Private().parent_path(), Private()})
        ASSERT_EQ(chown(folder.c_str(), kSecond.uid, kSecond.gid), 0);
    ASSERT_EQ(chmod(Private().c_str(), 0700), 0);
    // The package may prepare the log's parent folder and leave the log folder to the program.
    fs::remove(LogFolder());
    Prepare(LogFolder().parent_path(), 02770);
    fs::create_directory_symlink(Private(), LogFolder());
    ASSERT_EQ(lchown(LogFolder().c_str(), kFirst.uid, kGroup), 0);

    EXPECT_EQ(Answer(kSecond, {"log", "a line"}), "");
    struct stat info {};
    ASSERT_EQ(stat(Private().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    EXPECT_TRUE(fs::is_empty(Private()));
}

} // namespace
