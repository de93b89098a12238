#include "platform/WindowMessages.h"

#include "platform/Paths.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using platform::FindWindow;
using platform::MessageWindow;
using platform::PostMessage;
using platform::WindowMessage;

namespace {

// Sends one datagram of arbitrary bytes, as a foreign or broken sender would.
bool SendRaw(const std::filesystem::path& socket, const std::vector<std::byte>& bytes)
{
    int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
              ::send(fd, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size());
    ::close(fd);
    return ok;
}

std::vector<WindowMessage> Drain(MessageWindow& window)
{
    std::vector<WindowMessage> received;
    window.ReadPending([&](const WindowMessage& message) { received.push_back(message); });
    return received;
}

std::vector<std::byte> ValidBytes(std::uint32_t message, std::int32_t wParam, std::int32_t lParam)
{
    auto bytes = platform::EncodeWindowMessage(WindowMessage{message, wParam, lParam});
    return {bytes.begin(), bytes.end()};
}

} // namespace

struct NameRow {
    const char* name;
    std::string className;
    std::string caption;
    bool valid;
};

class WindowNames : public testing::TestWithParam<NameRow> {};

TEST_P(WindowNames, OnlyNamesThatMapToOneSocketAreAccepted)
{
    const NameRow& row = GetParam();
    auto path = platform::WindowSocketPath(row.className, row.caption);
    EXPECT_EQ(path.has_value(), row.valid);
    if (path) {
        EXPECT_EQ(path->parent_path(), platform::WindowsFolder());
        EXPECT_EQ(path->filename().string(), row.className + ":" + row.caption);
    }
    // A name that cannot be a socket can neither be found nor created.
    if (!row.valid) {
        EXPECT_FALSE(FindWindow(row.className, row.caption).has_value());
        MessageWindow window(row.className, row.caption);
        EXPECT_FALSE(window.Create());
        EXPECT_FALSE(window.LastError().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, WindowNames,
    testing::Values(
        NameRow{"ServiceWindow", "TMainForm", "WdtSVR", true},
        NameRow{"CaptionWithSpaces", "TMainForm", "TOLV Watchdog Timer", true},
        NameRow{"EmptyCaption", "TMainForm", "", true},
        NameRow{"ColonInCaption", "TMainForm", "a:b", true},
        NameRow{"EmptyClass", "", "WdtSVR", false},
        NameRow{"SlashInClass", "../TMainForm", "WdtSVR", false},
        NameRow{"SlashInCaption", "TMainForm", "../../etc/passwd", false},
        NameRow{"ColonInClass", "TMain:Form", "WdtSVR", false},
        NameRow{"NulInClass", std::string("TMain\0Form", 10), "WdtSVR", false},
        NameRow{"NulInCaption", "TMainForm", std::string("Wdt\0SVR", 7), false},
        NameRow{"TooLongForASocket", "TMainForm", std::string(200, 'x'), false}),
    [](const testing::TestParamInfo<NameRow>& info) { return std::string(info.param.name); });

TEST(FindWindow, AnswersOnlyWhileAReceiverIsBound)
{
    EXPECT_FALSE(FindWindow("TMainForm", "WdtSVR").has_value());
    {
        MessageWindow window("TMainForm", "WdtSVR");
        ASSERT_TRUE(window.Create()) << window.LastError();
        auto found = FindWindow("TMainForm", "WdtSVR");
        ASSERT_TRUE(found.has_value());
        EXPECT_EQ(found->socket, window.SocketPath());
        EXPECT_FALSE(FindWindow("TMainForm", "Other").has_value());
        EXPECT_FALSE(FindWindow("TOtherForm", "WdtSVR").has_value());
    }
    EXPECT_FALSE(FindWindow("TMainForm", "WdtSVR").has_value());
}

TEST(FindWindow, ASocketThatNobodyReadsIsNotAWindow)
{
    auto path = *platform::WindowSocketPath("TMainForm", "WdtSVR");
    std::filesystem::create_directories(path.parent_path());
    int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd); // the file stays behind, as after a crash
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_FALSE(FindWindow("TMainForm", "WdtSVR").has_value());

    // A new receiver replaces the stale socket.
    MessageWindow window("TMainForm", "WdtSVR");
    ASSERT_TRUE(window.Create()) << window.LastError();
    auto found = FindWindow("TMainForm", "WdtSVR");
    ASSERT_TRUE(found.has_value());
    EXPECT_TRUE(PostMessage(*found, 2054, 1, 2));
    EXPECT_EQ(Drain(window).size(), 1u);
}

TEST(MessageWindow, PostedMessagesArriveInOrderWithTheirParameters)
{
    MessageWindow window("TMainForm", "WdtSVR");
    ASSERT_TRUE(window.Create()) << window.LastError();
    auto found = FindWindow("TMainForm", "WdtSVR");
    ASSERT_TRUE(found.has_value());
    EXPECT_TRUE(PostMessage(*found, 2054, 90, 60));
    EXPECT_TRUE(PostMessage(*found, 2054, 0, 0));
    EXPECT_TRUE(PostMessage(*found, 0xFFFFFFFFu, -1, INT32_MIN));

    auto received = Drain(window);
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[0].message, 2054u);
    EXPECT_EQ(received[0].wParam, 90);
    EXPECT_EQ(received[0].lParam, 60);
    EXPECT_EQ(received[1].wParam, 0);
    EXPECT_EQ(received[1].lParam, 0);
    EXPECT_EQ(received[2].message, 0xFFFFFFFFu);
    EXPECT_EQ(received[2].wParam, -1);
    EXPECT_EQ(received[2].lParam, INT32_MIN);
    EXPECT_EQ(window.DroppedCount(), 0u);
    // Nothing more is waiting, and reading again does not block.
    EXPECT_TRUE(Drain(window).empty());
}

TEST(MessageWindow, PostingToAGoneWindowFails)
{
    platform::WindowHandle handle;
    {
        MessageWindow window("TMainForm", "WdtSVR");
        ASSERT_TRUE(window.Create()) << window.LastError();
        handle = *FindWindow("TMainForm", "WdtSVR");
    }
    EXPECT_FALSE(PostMessage(handle, 2054, 1, 1));
}

TEST(MessageWindow, AFullQueueMakesPostingFailInsteadOfBlocking)
{
    MessageWindow window("TMainForm", "WdtSVR");
    ASSERT_TRUE(window.Create()) << window.LastError();
    auto found = *FindWindow("TMainForm", "WdtSVR");
    int accepted = 0;
    while (accepted < 100000 && PostMessage(found, 2054, accepted, 0))
        ++accepted;
    EXPECT_LT(accepted, 100000);
    EXPECT_GT(accepted, 0);
    // The receiver gets every accepted message, in order, over as many reads as it takes.
    int next = 0;
    bool inOrder = true;
    while (true) {
        auto batch = Drain(window);
        if (batch.empty())
            break;
        for (const auto& message : batch)
            inOrder = inOrder && message.wParam == next++;
    }
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(next, accepted);
    EXPECT_TRUE(PostMessage(found, 2054, 7, 7));
}

TEST(MessageWindow, ALiveWindowIsNeverTakenOver)
{
    MessageWindow first("TMainForm", "WdtSVR");
    ASSERT_TRUE(first.Create()) << first.LastError();
    MessageWindow second("TMainForm", "WdtSVR");
    EXPECT_FALSE(second.Create());
    EXPECT_NE(second.LastError().find("already exists"), std::string::npos) << second.LastError();
    EXPECT_FALSE(second.IsOpen());
    second.Destroy();

    EXPECT_TRUE(PostMessage(*FindWindow("TMainForm", "WdtSVR"), 2054, 5, 4));
    EXPECT_EQ(Drain(first).size(), 1u);
}

TEST(MessageWindow, AFileInTheWayIsLeftAlone)
{
    auto path = *platform::WindowSocketPath("TMainForm", "WdtSVR");
    testsupport::WriteFile(path, "not a socket");
    MessageWindow window("TMainForm", "WdtSVR");
    EXPECT_FALSE(window.Create());
    EXPECT_EQ(testsupport::ReadFile(path), "not a socket");
}

TEST(MessageWindow, TheWindowsFolderIsMadePrivate)
{
    std::filesystem::create_directories(platform::WindowsFolder());
    ::chmod(platform::WindowsFolder().c_str(), 0755);
    MessageWindow window("TMainForm", "WdtSVR");
    ASSERT_TRUE(window.Create()) << window.LastError();
    struct stat info;
    ASSERT_EQ(::stat(platform::WindowsFolder().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
}

TEST(MessageWindow, ASymlinkedWindowsFolderIsRefused)
{
    auto elsewhere = testsupport::Root() / "elsewhere";
    std::filesystem::create_directories(elsewhere);
    std::filesystem::create_directories(platform::WindowsFolder().parent_path());
    std::filesystem::create_directory_symlink(elsewhere, platform::WindowsFolder());
    MessageWindow window("TMainForm", "WdtSVR");
    EXPECT_FALSE(window.Create());
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere));
}

TEST(MessageWindow, DestroyLeavesASuccessorsSocketAlone)
{
    MessageWindow old("TMainForm", "WdtSVR");
    ASSERT_TRUE(old.Create()) << old.LastError();
    std::filesystem::remove(old.SocketPath());
    MessageWindow successor("TMainForm", "WdtSVR");
    ASSERT_TRUE(successor.Create()) << successor.LastError();
    old.Destroy();
    auto found = FindWindow("TMainForm", "WdtSVR");
    ASSERT_TRUE(found.has_value());
    EXPECT_TRUE(PostMessage(*found, 2054, 3, 2));
    EXPECT_EQ(Drain(successor).size(), 1u);
}

TEST(MessageWindow, AHandlerThatDestroysTheWindowEndsTheRead)
{
    MessageWindow window("TMainForm", "WdtSVR");
    ASSERT_TRUE(window.Create()) << window.LastError();
    auto found = *FindWindow("TMainForm", "WdtSVR");
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(PostMessage(found, 2044, i, 0));
    int calls = 0;
    EXPECT_EQ(window.ReadPending([&](const WindowMessage&) {
        ++calls;
        window.Destroy();
    }),
              1u);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(window.IsOpen());
    EXPECT_EQ(window.ReadPending([](const WindowMessage&) {}), 0u);
}

struct MalformedRow {
    const char* name;
    std::size_t size;
};

class MalformedDatagrams : public testing::TestWithParam<MalformedRow> {};

TEST_P(MalformedDatagrams, AreDroppedAndTheNextMessageStillArrives)
{
    MessageWindow window("TMainForm", "WdtSVR");
    ASSERT_TRUE(window.Create()) << window.LastError();
    // A wrong size with a plausible message in front, so only the size can reject it.
    std::vector<std::byte> bytes(GetParam().size, std::byte{0});
    auto valid = ValidBytes(2054, 90, 60);
    if (!bytes.empty())
        std::memcpy(bytes.data(), valid.data(), std::min(bytes.size(), valid.size()));
    ASSERT_TRUE(SendRaw(window.SocketPath(), bytes));
    ASSERT_TRUE(SendRaw(window.SocketPath(), ValidBytes(2054, 30, 25)));

    auto received = Drain(window);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].wParam, 30);
    EXPECT_EQ(received[0].lParam, 25);
    EXPECT_EQ(window.DroppedCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Table, MalformedDatagrams,
                         testing::Values(MalformedRow{"Empty", 0}, MalformedRow{"OneShort", 11},
                                         MalformedRow{"OneLong", 13},
                                         MalformedRow{"Page", 4096}),
                         [](const testing::TestParamInfo<MalformedRow>& info) {
                             return std::string(info.param.name);
                         });

TEST(DecodeWindowMessage, AcceptsOnlyTheOwnUserOrRootWithCredentials)
{
    auto bytes = ValidBytes(2054, 1, 2);
    const uid_t self = 1000;
    platform::SenderCredentials same{42, self, 100};
    platform::SenderCredentials root{1, 0, 0};
    platform::SenderCredentials other{43, 1001, 100};
    EXPECT_TRUE(platform::DecodeWindowMessage(bytes, &same, self).has_value());
    EXPECT_TRUE(platform::DecodeWindowMessage(bytes, &root, self).has_value());
    EXPECT_FALSE(platform::DecodeWindowMessage(bytes, &other, self).has_value());
    EXPECT_FALSE(platform::DecodeWindowMessage(bytes, nullptr, self).has_value());
    // A root receiver accepts only root.
    EXPECT_FALSE(platform::DecodeWindowMessage(bytes, &same, 0).has_value());
}

TEST(MessageWindow, DatagramsFromAnotherUserAreDropped)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to send as another user";
    MessageWindow window("TMainForm", "WdtSVR");
    ASSERT_TRUE(window.Create()) << window.LastError();
    // Open the way so that only the credential check stands between the sender and the window.
    ::chmod(testsupport::Root().c_str(), 0755);
    ::chmod(platform::WindowsFolder().c_str(), 0777);
    ::chmod(window.SocketPath().c_str(), 0777);

    auto bytes = ValidBytes(2054, 90, 60);
    const std::string path = window.SocketPath().string();
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Only system calls from here on: the parent may have threads.
        if (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0)
            ::_exit(2);
        int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.c_str(), path.size());
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            ::_exit(3);
        ::_exit(::send(fd, bytes.data(), bytes.size(), 0) == 12 ? 0 : 4);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0) << "the other user could not send";

    EXPECT_TRUE(Drain(window).empty());
    EXPECT_EQ(window.DroppedCount(), 1u);
}

TEST(WindowsFolder, EveryUserHasAFolderOfTheirOwn)
{
    EXPECT_EQ(platform::WindowsFolder(),
              platform::RuntimeFolder() / ("windows-" + std::to_string(::geteuid())));
    EXPECT_EQ(platform::WindowsFolderOf(1000), platform::RuntimeFolder() / "windows-1000");
    EXPECT_EQ(platform::WindowSocketPath("TMainForm", "WdtSVR")->parent_path(), platform::WindowsFolder());
}

namespace {

// A socket bound in folder under that name, answering as long as the returned descriptor lives.
int BindIn(const std::filesystem::path& folder, const std::string& name)
{
    std::filesystem::create_directories(folder);
    const std::string path = (folder / name).string();
    int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size());
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << path;
    return fd;
}

} // namespace

TEST(FindWindowsOfAllUsers, FindsAnsweringWindowsOnlyInFoldersOfTheUserTheyName)
{
    EXPECT_TRUE(platform::FindWindowsOfAllUsers("TMainForm", "WdtSVR").empty());
    MessageWindow own("TMainForm", "WdtSVR");
    ASSERT_TRUE(own.Create()) << own.LastError();
    MessageWindow other("TMainForm", "Other");
    ASSERT_TRUE(other.Create()) << other.LastError();

    // Live sockets in folders that are no user's own: owned by someone else than the name
    // says, named oddly, or a link to the real folder.
    const auto runtime = platform::RuntimeFolder();
    const uid_t self = ::geteuid();
    std::vector<int> sockets;
    for (const std::string& name : {"windows-" + std::to_string(self + 1), "windows-0" + std::to_string(self),
                                    "windows-" + std::to_string(self) + "x", std::string("windows-"),
                                    std::string("windows")})
        sockets.push_back(BindIn(runtime / name, "TMainForm:WdtSVR"));
    std::filesystem::create_directory_symlink(platform::WindowsFolder(),
                                              runtime / ("windows-" + std::to_string(self + 2)));

    auto found = platform::FindWindowsOfAllUsers("TMainForm", "WdtSVR");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].owner, self);
    EXPECT_EQ(found[0].window.socket, own.SocketPath());
    EXPECT_TRUE(PostMessage(found[0].window, 2044, 0, 0));
    EXPECT_EQ(Drain(own).size(), 1u);
    EXPECT_TRUE(Drain(other).empty());
    for (int fd : sockets)
        ::close(fd);

    own.Destroy();
    EXPECT_TRUE(platform::FindWindowsOfAllUsers("TMainForm", "WdtSVR").empty());
    EXPECT_TRUE(platform::FindWindowsOfAllUsers("", "WdtSVR").empty());
}
