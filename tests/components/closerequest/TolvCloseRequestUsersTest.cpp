// The close helper as the package runs it: as root, among the windows of several users in the
// shared runtime folder (root and the group, 3770). Users are numeric ids played through setpriv;
// what a member can put there is put there by that member. Runs only as root.

#include "ChildProgram.h"
#include "TestSupport.h"

#include "platform/Paths.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using testing::HasSubstr;
using testsupport::ChildProgram;
namespace fs = std::filesystem;

constexpr gid_t kGroup = 61000; // stands for tolv-watchdog
constexpr uid_t kFirst = 61001;
constexpr uid_t kSecond = 61002;
constexpr const char* kClass = "TMainForm";
constexpr const char* kCaption = "TOLV Watchdog Timer";
constexpr const char* kSocketName = "TMainForm:TOLV Watchdog Timer";

fs::path FolderOf(uid_t user)
{
    return platform::RuntimeFolder() / ("windows-" + std::to_string(user));
}

// A datagram socket bound at path and given to owner: a receiver that must never hear anything.
int BindBait(const fs::path& path, uid_t owner)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    EXPECT_LT(path.native().size(), sizeof address.sun_path) << path;
    path.native().copy(address.sun_path, sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    EXPECT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0) << path;
    EXPECT_EQ(::lchown(path.c_str(), owner, kGroup), 0) << path;
    return fd;
}

class CloseRequestAmongUsers : public testing::Test {
protected:
    void SetUp() override
    {
        if (::geteuid() != 0 || ::access("/usr/bin/setpriv", X_OK) != 0)
            GTEST_SKIP() << "acting as other users needs root and /usr/bin/setpriv; the checks "
                            "among several users did not run";
        ASSERT_EQ(::chmod(testsupport::Root().c_str(), 0755), 0);
        const fs::path runtime = platform::RuntimeFolder();
        fs::create_directories(runtime);
        ASSERT_EQ(::chown(runtime.c_str(), 0, kGroup), 0);
        ASSERT_EQ(::chmod(runtime.c_str(), 03770), 0);
        // The build folder need not be open to other users; a copy in the root is.
        m_Helper = testsupport::Root() / "registry-test-helper";
        fs::copy_file(testsupport::BinFolder() / "registry-test-helper", m_Helper);
        ASSERT_EQ(::chmod(m_Helper.c_str(), 0755), 0);
        fs::create_directories(m_Bait);
    }

    void TearDown() override
    {
        for (int fd : m_Baits)
            ::close(fd);
    }

    std::unique_ptr<ChildProgram> StartAs(uid_t user, const std::vector<std::string>& command)
    {
        std::vector<std::string> words{"--reuid=" + std::to_string(user),
                                       "--regid=" + std::to_string(kGroup), "--clear-groups"};
        words.insert(words.end(), command.begin(), command.end());
        const fs::path log = testsupport::Root() / "logs" / ("child-" + std::to_string(++m_Children));
        return std::make_unique<ChildProgram>("/usr/bin/setpriv", words, log);
    }

    void RunAs(uid_t user, const std::vector<std::string>& command)
    {
        auto child = StartAs(user, command);
        const auto end = child->Wait(30s);
        ASSERT_TRUE(end && end->exited && end->code == 0) << command[0] << ": " << child->Log();
    }

    // The user's window as a running copy has it: ready, then ends after its first message.
    std::unique_ptr<ChildProgram> StartWindow(uid_t user)
    {
        auto window = StartAs(user, {m_Helper.string(), "window", kClass, kCaption});
        EXPECT_TRUE(testsupport::WaitUntil(
            [&] { return window->Log().find('\n') != std::string::npos; }, 30s));
        EXPECT_EQ(window->Log(), "ready\n");
        return window;
    }

    void Bait(const fs::path& path, uid_t owner) { m_Baits.push_back(BindBait(path, owner)); }

    // How many baits heard something.
    int BaitsReached() const
    {
        int reached = 0;
        for (int fd : m_Baits) {
            char byte;
            if (::recv(fd, &byte, 1, MSG_DONTWAIT) >= 0 || errno != EAGAIN)
                ++reached;
        }
        return reached;
    }

    const fs::path m_Bait = testsupport::Root() / "bait";

private:
    fs::path m_Helper;
    std::vector<int> m_Baits;
    int m_Children = 0;
};

// Each entry below is what a member could leave in the runtime folder to turn root's request
// elsewhere: the helper sends nothing there, says what it passed over, and still closes the
// genuine copy of each user.
TEST_F(CloseRequestAmongUsers, ClosesEveryUsersCopyAndSendsNothingThroughWhatMembersPlanted)
{
    struct Planted {
        uid_t user;
        bool inFolder; // the socket is passed over, else its folder
        const char* why; // as the helper reports it
    };
    const std::vector<Planted> planted{
        {61011, false, "not a folder (a link or another kind of file), not followed"},
        {61012, true, "a link, not followed"},
        {61013, true, "a socket of user 61002"},
        {61014, false, "writable by others than its user"},
        {61015, false, "owned by user 61001"},
    };
    // A folder link: everything behind it would pass, had it been followed.
    ASSERT_EQ(::chmod(m_Bait.c_str(), 0755), 0);
    const fs::path elsewhere = m_Bait / "61011";
    fs::create_directory(elsewhere);
    ASSERT_EQ(::chown(elsewhere.c_str(), 61011, kGroup), 0);
    ASSERT_EQ(::chmod(elsewhere.c_str(), 0700), 0);
    Bait(elsewhere / kSocketName, 61011);
    ASSERT_NO_FATAL_FAILURE(RunAs(kFirst, {"/usr/bin/ln", "-s", elsewhere, FolderOf(61011)}));
    // A socket link in the member's own folder, to a socket of that member elsewhere.
    Bait(m_Bait / "61012.socket", 61012);
    ASSERT_NO_FATAL_FAILURE(RunAs(61012, {"/usr/bin/mkdir", "-m", "0700", FolderOf(61012)}));
    ASSERT_NO_FATAL_FAILURE(RunAs(
        61012, {"/usr/bin/ln", "-s", m_Bait / "61012.socket", FolderOf(61012) / kSocketName}));
    // Another user's socket in a member's folder (a hard link would put it there).
    ASSERT_NO_FATAL_FAILURE(RunAs(61013, {"/usr/bin/mkdir", "-m", "0700", FolderOf(61013)}));
    Bait(FolderOf(61013) / kSocketName, kSecond);
    // A member's folder that others may write into.
    ASSERT_NO_FATAL_FAILURE(RunAs(61014, {"/usr/bin/mkdir", "-m", "0770", FolderOf(61014)}));
    Bait(FolderOf(61014) / kSocketName, 61014);
    // A folder in another user's name.
    ASSERT_NO_FATAL_FAILURE(RunAs(kFirst, {"/usr/bin/mkdir", "-m", "0700", FolderOf(61015)}));
    Bait(FolderOf(61015) / kSocketName, 61015);
    ASSERT_EQ(BaitsReached(), 0);

    auto first = StartWindow(kFirst);
    auto second = StartWindow(kSecond);
    ChildProgram helper(testsupport::BinFolder() / "TolvCloseRequest", {"--wait", "30"},
                        testsupport::Root() / "helper.log");
    const auto end = helper.Wait(60s);
    ASSERT_TRUE(end.has_value()) << helper.Log();
    EXPECT_TRUE(end->exited && end->code == 0) << helper.Log();
    EXPECT_THAT(helper.Log(), HasSubstr("asked 2 running copies to close"));
    for (const Planted& entry : planted) {
        const fs::path path = entry.inFolder ? FolderOf(entry.user) / kSocketName : FolderOf(entry.user);
        EXPECT_THAT(helper.Log(), HasSubstr("skipped " + path.string() + ": " + entry.why))
            << "user " << entry.user;
    }
    EXPECT_EQ(BaitsReached(), 0) << helper.Log();
    for (auto* window : {first.get(), second.get()}) {
        const auto closed = window->Wait(30s);
        EXPECT_TRUE(closed && closed->exited && closed->code == 0);
        EXPECT_EQ(window->Log(), "ready\n2044 0 0\n");
    }
}

} // namespace
