#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

// Windows found by class and caption, and messages posted to them.
//
// A window is a Unix datagram socket at <runtime folder>/windows-<uid>/CLASS:CAPTION: every user
// has a folder of their own, private to them (0700), so users who take turns on the machine never
// meet each other's windows or leftovers, and a user finds only their own windows. A message is
// one 12-byte datagram: uint32 message, int32 wParam, int32 lParam, in native byte order. Posting
// never blocks and never confirms delivery. The receiver accepts datagrams only from its own user
// or root and drops anything malformed.
namespace platform {

struct WindowMessage {
    std::uint32_t message = 0;
    std::int32_t wParam = 0;
    std::int32_t lParam = 0;
};

inline constexpr std::size_t kWindowMessageSize = 12;

// The folder that holds the window sockets of the user this process acts as (its effective uid).
std::filesystem::path WindowsFolder();
// The folder that holds the window sockets of one user: <runtime folder>/windows-<uid>.
std::filesystem::path WindowsFolderOf(uid_t user);

// The socket of a window of this process's user; no value when the class or caption cannot name one (empty class,
// '/' or NUL anywhere, ':' in the class, or a path too long for a socket address).
std::optional<std::filesystem::path> WindowSocketPath(std::string_view className,
                                                      std::string_view caption);

// A window that answered when it was looked up. It may be gone by the time a message is posted.
struct WindowHandle {
    std::filesystem::path socket;
};

// The window of that class and caption of this process's user, when its socket exists and a
// receiver is bound to it.
std::optional<WindowHandle> FindWindow(std::string_view className, std::string_view caption);

// A window of some user, as found by FindWindowsOfAllUsers.
struct UserWindow {
    uid_t owner = 0;
    WindowHandle window;
};

// The windows of that class and caption of every user, those that answer now, in the order of
// the users' ids. Meant for root (a tool that asks every running copy of a program to close),
// which must not be steered by what users put in the shared runtime folder; another caller finds
// only the windows in folders it may enter. The folders are opened from a descriptor of the
// runtime folder without following links, and a window counts only when its folder is a folder
// of the user its name says that no one else may write, and its socket is a socket (not a link)
// of that same user. Entries that fail these checks, and sockets that cannot be reached for
// another reason than a receiver that has gone, are told to skipped (one line each: the path
// and why) when it is set.
std::vector<UserWindow> FindWindowsOfAllUsers(
    std::string_view className, std::string_view caption,
    const std::function<void(const std::string&)>& skipped = {});

// One non-blocking send; false when the window is gone or its queue is full.
bool PostMessage(const WindowHandle& window, std::uint32_t message, std::int32_t wParam,
                 std::int32_t lParam);
// The same for a window found by FindWindowsOfAllUsers: the socket is reached again from the
// runtime folder's descriptor with the same checks, so an entry swapped since the search gets
// nothing.
bool PostMessage(const UserWindow& window, std::uint32_t message, std::int32_t wParam,
                 std::int32_t lParam);

// The 12 bytes of a message as they travel.
std::array<std::byte, kWindowMessageSize> EncodeWindowMessage(const WindowMessage& message);

// Sender credentials of a datagram, as the kernel reports them.
struct SenderCredentials {
    pid_t pid = 0;
    uid_t uid = 0;
    gid_t gid = 0;
};

// The message in one received datagram, or no value when it must be dropped: no credentials,
// a sender that is neither receiverUid nor root, or a size other than 12 bytes.
std::optional<WindowMessage> DecodeWindowMessage(std::span<const std::byte> datagram,
                                                 const SenderCredentials* sender,
                                                 uid_t receiverUid);

// The receiving side of a window. Create binds the socket; the owner watches Fd() for input
// (a QSocketNotifier, or poll) and calls ReadPending, which never blocks.
class MessageWindow {
public:
    MessageWindow(std::string className, std::string caption);
    ~MessageWindow();
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    // Creates this user's private folder (and the runtime folder, when missing) and binds the
    // socket. A socket left behind by a receiver that no longer answers is replaced; a live one
    // is never taken over. False on failure, with the reason in LastError().
    bool Create();
    bool IsOpen() const { return m_Fd >= 0; }
    int Fd() const { return m_Fd; }
    const std::string& LastError() const { return m_LastError; }
    const std::filesystem::path& SocketPath() const { return m_Path; }

    // Reads the datagrams waiting now (at most a bounded batch, so a flood cannot starve the
    // caller's loop; the descriptor stays readable for the rest) and hands every accepted
    // message to handler. Returns the number handed over.
    std::size_t ReadPending(const std::function<void(const WindowMessage&)>& handler);

    // Datagrams dropped so far (malformed or from another user).
    std::size_t DroppedCount() const { return m_Dropped; }

    // Unbinds and removes the socket (only when it is still the one this window bound).
    void Destroy();

private:
    bool Fail(std::string reason);

    std::string m_ClassName;
    std::string m_Caption;
    std::filesystem::path m_Path;
    int m_Fd = -1;
    dev_t m_BoundDev = 0;
    ino_t m_BoundIno = 0;
    std::size_t m_Dropped = 0;
    std::string m_LastError;
};

} // namespace platform
