#include "platform/WindowMessages.h"

#include "platform/FileIo.h"
#include "platform/Paths.h"
#include "platform/SharedFiles.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <system_error>
#include <unistd.h>

namespace platform {
namespace {

// Datagrams read per ReadPending call before the caller's loop gets control back.
constexpr int kReadBatch = 64;

bool MakeAddress(const std::filesystem::path& path, sockaddr_un& address)
{
    const std::string& text = path.native();
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (text.empty() || text.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, text.data(), text.size());
    return true;
}

// A datagram socket connected to path, or the errno of the failure (ENAMETOOLONG for a path
// that cannot be a socket address).
FdResult ConnectTo(const std::filesystem::path& path)
{
    sockaddr_un address;
    if (!MakeAddress(path, address))
        return {UniqueFd(), ENAMETOOLONG};
    UniqueFd fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.IsValid())
        return {UniqueFd(), errno};
    int rc;
    do
        rc = ::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    while (rc < 0 && errno == EINTR);
    if (rc < 0)
        return {UniqueFd(), errno};
    return {std::move(fd), 0};
}

std::string ErrnoText(const std::string& what, int error)
{
    return what + ": " + std::strerror(error);
}

// The windows folder must be a real directory of this user that nobody else can enter. The
// runtime folder is shared by the group, so neither it nor the windows folder in it is reached
// through a link, and its rights are set on the folder opened, never by its name.
bool PrepareWindowsFolder(const std::filesystem::path& folder, std::string& error)
{
    const FdResult runtime = OpenFolders(folder.parent_path(), true);
    if (!runtime.fd.IsValid()) {
        error = ErrnoText("cannot create " + folder.parent_path().string(), runtime.error);
        return false;
    }
    const std::string name = folder.filename().string();
    if (::mkdirat(runtime.fd.Get(), name.c_str(), 0700) < 0 && errno != EEXIST) {
        error = ErrnoText("cannot create " + folder.string(), errno);
        return false;
    }
    const UniqueFd fd(::openat(runtime.fd.Get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    const std::string notOurs = folder.string() + " is not a folder of this user";
    if (!fd.IsValid()) {
        // A link or a file stands there (ENOTDIR), or a folder closed to this user (EACCES).
        error = errno == ENOTDIR || errno == EACCES ? notOurs : ErrnoText("cannot open " + folder.string(), errno);
        return false;
    }
    struct stat info;
    if (::fstat(fd.Get(), &info) < 0) {
        error = ErrnoText("cannot inspect " + folder.string(), errno);
        return false;
    }
    if (info.st_uid != ::geteuid()) {
        error = notOurs;
        return false;
    }
    if ((info.st_mode & 07777) != 0700 && ::fchmod(fd.Get(), 0700) < 0) {
        error = ErrnoText("cannot make " + folder.string() + " private", errno);
        return false;
    }
    return true;
}

constexpr std::string_view kWindowsFolderPrefix = "windows-";

// The user a windows folder belongs to by its name, when the name is one of a windows folder.
std::optional<uid_t> WindowsFolderUser(std::string_view name)
{
    if (!name.starts_with(kWindowsFolderPrefix))
        return std::nullopt;
    name.remove_prefix(kWindowsFolderPrefix.size());
    uid_t user = 0;
    auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), user);
    if (error != std::errc() || end != name.data() + name.size() || name.empty() ||
        (name.size() > 1 && name[0] == '0'))
        return std::nullopt;
    return user;
}

// The file name of a window's socket; no value when class and caption cannot make one.
std::optional<std::string> SocketName(std::string_view className, std::string_view caption)
{
    if (className.empty())
        return std::nullopt;
    // The first ':' separates class from caption, so only the caption may contain one.
    if (className.find_first_of(std::string_view("/:\0", 3)) != std::string_view::npos)
        return std::nullopt;
    if (caption.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos)
        return std::nullopt;
    std::string name(className);
    name += ':';
    name += caption;
    return name;
}

std::optional<std::filesystem::path> SocketPathIn(const std::filesystem::path& folder,
                                                  std::string_view className,
                                                  std::string_view caption)
{
    auto name = SocketName(className, caption);
    if (!name)
        return std::nullopt;
    std::filesystem::path path = folder / *name;
    sockaddr_un address;
    if (!MakeAddress(path, address))
        return std::nullopt;
    return path;
}

// The window at path when a receiver answers there.
std::optional<WindowHandle> Answering(const std::optional<std::filesystem::path>& path)
{
    if (!path)
        return std::nullopt;
    if (!ConnectTo(*path).fd.IsValid())
        return std::nullopt;
    return WindowHandle{*path};
}

using SkipReport = std::function<void(const std::string&)>;

void Skip(const SkipReport& skipped, const std::filesystem::path& path, const std::string& why)
{
    if (skipped)
        skipped(path.string() + ": " + why);
}

UniqueFd OpenRuntimeFolder(const SkipReport& skipped)
{
    const std::filesystem::path runtime = RuntimeFolder();
    UniqueFd fd(::open(runtime.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // No runtime folder: no copy has run since the machine started.
    if (!fd.IsValid() && errno != ENOENT)
        Skip(skipped, runtime, std::strerror(errno));
    return fd;
}

// The windows folder of user, opened from the runtime folder without following a link, when it
// is that user's own and nobody else may put anything into it.
UniqueFd OpenUserFolder(int runtimeFd, uid_t user, const SkipReport& skipped)
{
    const std::string name = std::string(kWindowsFolderPrefix) + std::to_string(user);
    const std::filesystem::path path = WindowsFolderOf(user);
    UniqueFd folder(::openat(runtimeFd, name.c_str(),
                             O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!folder.IsValid()) {
        if (errno == ELOOP || errno == ENOTDIR)
            Skip(skipped, path, "not a folder (a link or another kind of file), not followed");
        // Gone since the runtime folder was listed, or closed to a caller that is not root.
        else if (errno != ENOENT && errno != EACCES)
            Skip(skipped, path, std::strerror(errno));
        return folder;
    }
    struct stat info;
    if (::fstat(folder.Get(), &info) < 0) {
        Skip(skipped, path, std::strerror(errno));
        return UniqueFd();
    }
    if (info.st_uid != user) {
        Skip(skipped, path, "owned by user " + std::to_string(info.st_uid));
        return UniqueFd();
    }
    // Whoever else may write there could put a window in this user's name.
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        Skip(skipped, path, "writable by others than its user");
        return UniqueFd();
    }
    return folder;
}

// A connection to the socket name in the windows folder of user, when it is a socket of that user
// and a receiver is bound to it. The entry is held by an O_PATH descriptor from the check to the
// connect (made through /proc/self/fd), so a link or another file put in its place meanwhile is
// never reached, and a link standing there is never followed.
UniqueFd ConnectUserWindow(int runtimeFd, uid_t user, const std::string& name,
                           const SkipReport& skipped)
{
    const UniqueFd folder = OpenUserFolder(runtimeFd, user, skipped);
    if (!folder.IsValid())
        return UniqueFd();
    const std::filesystem::path path = WindowsFolderOf(user) / name;
    UniqueFd entry(::openat(folder.Get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (!entry.IsValid()) {
        if (errno != ENOENT) // no window of that name: this user runs no such copy
            Skip(skipped, path, std::strerror(errno));
        return UniqueFd();
    }
    struct stat info;
    if (::fstat(entry.Get(), &info) < 0) {
        Skip(skipped, path, std::strerror(errno));
        return UniqueFd();
    }
    if (!S_ISSOCK(info.st_mode)) {
        Skip(skipped, path, S_ISLNK(info.st_mode) ? "a link, not followed" : "not a socket");
        return UniqueFd();
    }
    if (info.st_uid != user) {
        Skip(skipped, path, "a socket of user " + std::to_string(info.st_uid));
        return UniqueFd();
    }
    FdResult connected = ConnectTo("/proc/self/fd/" + std::to_string(entry.Get()));
    // Refused: a socket left behind by a receiver that has ended, no copy running.
    if (!connected.fd.IsValid() && connected.error != ECONNREFUSED)
        Skip(skipped, path, ErrnoText("cannot be reached", connected.error));
    return std::move(connected.fd);
}

bool SendMessage(int fd, std::uint32_t message, std::int32_t wParam, std::int32_t lParam)
{
    auto bytes = EncodeWindowMessage(WindowMessage{message, wParam, lParam});
    ssize_t sent;
    do
        sent = ::send(fd, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    return sent == static_cast<ssize_t>(bytes.size());
}

} // namespace

std::filesystem::path WindowsFolder()
{
    return WindowsFolderOf(::geteuid());
}

std::filesystem::path WindowsFolderOf(uid_t user)
{
    return RuntimeFolder() / (std::string(kWindowsFolderPrefix) + std::to_string(user));
}

std::optional<std::filesystem::path> WindowSocketPath(std::string_view className,
                                                      std::string_view caption)
{
    return SocketPathIn(WindowsFolder(), className, caption);
}

std::optional<WindowHandle> FindWindow(std::string_view className, std::string_view caption)
{
    return Answering(WindowSocketPath(className, caption));
}

std::vector<UserWindow> FindWindowsOfAllUsers(std::string_view className, std::string_view caption,
                                              const SkipReport& skipped)
{
    std::vector<UserWindow> found;
    const auto name = SocketName(className, caption);
    if (!name)
        return found;
    UniqueFd runtimeFd = OpenRuntimeFolder(skipped);
    if (!runtimeFd.IsValid())
        return found;
    DIR* runtime = ::fdopendir(runtimeFd.Get());
    if (!runtime)
        return found;
    (void)runtimeFd.Release(); // closedir closes it
    while (dirent* entry = ::readdir(runtime)) {
        const auto user = WindowsFolderUser(entry->d_name);
        if (!user)
            continue;
        const auto path = SocketPathIn(WindowsFolderOf(*user), className, caption);
        if (path && ConnectUserWindow(::dirfd(runtime), *user, *name, skipped).IsValid())
            found.push_back(UserWindow{*user, WindowHandle{*path}});
    }
    ::closedir(runtime);
    std::sort(found.begin(), found.end(),
              [](const UserWindow& a, const UserWindow& b) { return a.owner < b.owner; });
    return found;
}

std::array<std::byte, kWindowMessageSize> EncodeWindowMessage(const WindowMessage& message)
{
    std::array<std::byte, kWindowMessageSize> bytes;
    std::memcpy(bytes.data(), &message.message, 4);
    std::memcpy(bytes.data() + 4, &message.wParam, 4);
    std::memcpy(bytes.data() + 8, &message.lParam, 4);
    return bytes;
}

bool PostMessage(const WindowHandle& window, std::uint32_t message, std::int32_t wParam,
                 std::int32_t lParam)
{
    const UniqueFd fd = ConnectTo(window.socket).fd;
    return fd.IsValid() && SendMessage(fd.Get(), message, wParam, lParam);
}

bool PostMessage(const UserWindow& window, std::uint32_t message, std::int32_t wParam,
                 std::int32_t lParam)
{
    const UniqueFd runtime = OpenRuntimeFolder({});
    if (!runtime.IsValid())
        return false;
    const UniqueFd fd =
        ConnectUserWindow(runtime.Get(), window.owner, window.window.socket.filename(), {});
    return fd.IsValid() && SendMessage(fd.Get(), message, wParam, lParam);
}

std::optional<WindowMessage> DecodeWindowMessage(std::span<const std::byte> datagram,
                                                 const SenderCredentials* sender,
                                                 uid_t receiverUid)
{
    if (!sender || (sender->uid != receiverUid && sender->uid != 0))
        return std::nullopt;
    if (datagram.size() != kWindowMessageSize)
        return std::nullopt;
    WindowMessage message;
    std::memcpy(&message.message, datagram.data(), 4);
    std::memcpy(&message.wParam, datagram.data() + 4, 4);
    std::memcpy(&message.lParam, datagram.data() + 8, 4);
    return message;
}

MessageWindow::MessageWindow(std::string className, std::string caption)
    : m_ClassName(std::move(className)), m_Caption(std::move(caption))
{
}

MessageWindow::~MessageWindow()
{
    Destroy();
}

bool MessageWindow::Fail(std::string reason)
{
    m_LastError = std::move(reason);
    return false;
}

bool MessageWindow::Create()
{
    if (IsOpen())
        return true;
    auto path = WindowSocketPath(m_ClassName, m_Caption);
    if (!path)
        return Fail("no window can be named by class \"" + m_ClassName + "\" and caption \"" +
                    m_Caption + "\"");
    std::string error;
    if (!PrepareWindowsFolder(path->parent_path(), error))
        return Fail(error);

    // Two receivers starting at once must not both decide that the socket is stale: the check,
    // the removal and the bind happen under one lock of the folder.
    std::filesystem::path lockPath = path->parent_path() / ".lock";
    UniqueFd lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (lock.Get() < 0)
        return Fail(ErrnoText("cannot open " + lockPath.string(), errno));
    int rc;
    do
        rc = ::flock(lock.Get(), LOCK_EX);
    while (rc < 0 && errno == EINTR);
    if (rc < 0)
        return Fail(ErrnoText("cannot lock " + lockPath.string(), errno));

    struct stat info;
    if (::lstat(path->c_str(), &info) == 0) {
        if (!S_ISSOCK(info.st_mode))
            return Fail(path->string() + " exists and is not a window");
        const FdResult probe = ConnectTo(*path);
        if (probe.fd.IsValid())
            return Fail("the window " + path->filename().string() + " already exists");
        if (probe.error != ECONNREFUSED)
            return Fail(ErrnoText("cannot probe " + path->string(), probe.error));
        if (::unlink(path->c_str()) < 0 && errno != ENOENT)
            return Fail(ErrnoText("cannot remove the stale " + path->string(), errno));
    }

    UniqueFd fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (fd.Get() < 0)
        return Fail(ErrnoText("cannot create a socket", errno));
    int on = 1;
    if (::setsockopt(fd.Get(), SOL_SOCKET, SO_PASSCRED, &on, sizeof on) < 0)
        return Fail(ErrnoText("cannot ask for sender credentials", errno));
    sockaddr_un address;
    MakeAddress(*path, address);
    if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0)
        return Fail(ErrnoText("cannot bind " + path->string(), errno));
    if (::lstat(path->c_str(), &info) < 0) {
        int error = errno;
        (void)::unlink(path->c_str()); // best effort: a socket nobody can find is useless anyway
        return Fail(ErrnoText("cannot inspect " + path->string(), error));
    }
    // The folder already keeps others out; the socket itself says the same.
    (void)::chmod(path->c_str(), 0600);
    m_BoundDev = info.st_dev;
    m_BoundIno = info.st_ino;
    m_Path = *path;
    m_Fd = fd.Release();
    m_LastError.clear();
    return true;
}

std::size_t MessageWindow::ReadPending(const std::function<void(const WindowMessage&)>& handler)
{
    if (!IsOpen())
        return 0;
    const uid_t self = ::geteuid();
    std::size_t delivered = 0;
    for (int i = 0; i < kReadBatch; ++i) {
        // One byte more than a message, so an oversized datagram is seen as one.
        std::array<std::byte, kWindowMessageSize + 1> buffer;
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(ucred)) + CMSG_SPACE(16 * sizeof(int))];
        iovec io{buffer.data(), buffer.size()};
        msghdr header{};
        header.msg_iov = &io;
        header.msg_iovlen = 1;
        header.msg_control = control;
        header.msg_controllen = sizeof control;
        ssize_t received = ::recvmsg(m_Fd, &header, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
        if (received < 0) {
            if (errno == EINTR)
                continue;
            break; // EAGAIN: nothing more waiting; anything else: try again on the next wake-up
        }
        SenderCredentials sender;
        bool haveSender = false;
        for (cmsghdr* item = CMSG_FIRSTHDR(&header); item; item = CMSG_NXTHDR(&header, item)) {
            if (item->cmsg_level != SOL_SOCKET)
                continue;
            if (item->cmsg_type == SCM_CREDENTIALS && item->cmsg_len == CMSG_LEN(sizeof(ucred))) {
                ucred credentials;
                std::memcpy(&credentials, CMSG_DATA(item), sizeof credentials);
                sender = SenderCredentials{credentials.pid, credentials.uid, credentials.gid};
                haveSender = true;
            } else if (item->cmsg_type == SCM_RIGHTS) {
                // Descriptors nobody asked for would pile up in this process: close them.
                std::size_t count = (item->cmsg_len - CMSG_LEN(0)) / sizeof(int);
                for (std::size_t k = 0; k < count; ++k) {
                    int passed;
                    std::memcpy(&passed, CMSG_DATA(item) + k * sizeof(int), sizeof passed);
                    (void)::close(passed);
                }
            }
        }
        std::optional<WindowMessage> message;
        if (!(header.msg_flags & MSG_TRUNC))
            message = DecodeWindowMessage(
                std::span<const std::byte>(buffer.data(), static_cast<std::size_t>(received)),
                haveSender ? &sender : nullptr, self);
        if (!message) {
            ++m_Dropped;
            continue;
        }
        ++delivered;
        handler(*message);
        if (!IsOpen())
            break; // the handler destroyed the window
    }
    return delivered;
}

void MessageWindow::Destroy()
{
    if (!IsOpen())
        return;
    struct stat info;
    // Only remove the socket this window bound; a successor may already have replaced it.
    if (::lstat(m_Path.c_str(), &info) == 0 && info.st_dev == m_BoundDev &&
        info.st_ino == m_BoundIno)
        (void)::unlink(m_Path.c_str()); // a leftover socket is replaced by the next receiver
    (void)::close(m_Fd); // a datagram socket has nothing to flush
    m_Fd = -1;
}

} // namespace platform
