#include "platform/InstanceLock.h"

#include "platform/Paths.h"
#include "platform/SharedFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace platform {

InstanceLock::InstanceLock(const std::string& name)
    : m_Path(RuntimeFolder() / (name + ".lock"))
{
}

InstanceLock::~InstanceLock() = default;

InstanceLock::Result InstanceLock::Acquire()
{
    if (m_Fd.IsValid())
        return Result::Acquired;
    FdResult folder = OpenFolders(m_Path.parent_path(), true);
    if (!folder.fd.IsValid()) {
        m_Error = m_Path.parent_path().string() + ": " + std::strerror(folder.error);
        return Result::Failed;
    }
    // The file stays; only the lock on it says whether a copy runs. flock needs no write
    // access, so a lock file another member left behind serves every later member too: in the
    // shared runtime folder it is the group's (0660), and nobody else can read it to hold it.
    // Whatever stands in its place must not hold up the start: a FIFO opens at once without
    // waiting for a writer, and is then refused like anything else that is no regular file.
    UniqueFd fd(OpenOrCreateAt(folder.fd.Get(), m_Path.filename().string(), O_RDONLY | O_NONBLOCK, kPlainFileMode));
    struct stat info {};
    if (!fd.IsValid() || ::fstat(fd.Get(), &info) != 0) {
        m_Error = m_Path.string() + ": " + std::strerror(errno);
        return Result::Failed;
    }
    if (!S_ISREG(info.st_mode)) {
        m_Error = m_Path.string() + ": not a regular file";
        return Result::Failed;
    }
    int result;
    do {
        result = ::flock(fd.Get(), LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const int reason = errno;
        if (reason == EWOULDBLOCK)
            return Result::HeldElsewhere;
        m_Error = m_Path.string() + ": " + std::strerror(reason);
        return Result::Failed;
    }
    m_Fd = std::move(fd);
    return Result::Acquired;
}

std::optional<pid_t> FindFlockHolder(std::string_view locks, dev_t device, ino_t inode)
{
    // "1: FLOCK  ADVISORY  WRITE 812 08:02:1234 0 EOF"; the device is the kernel's major and
    // minor number in hex.
    std::istringstream lines{std::string(locks)};
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string ordinal, kind, mode, access, file;
        long pid = -1;
        if (!(fields >> ordinal >> kind) || kind != "FLOCK")
            continue;
        if (!(fields >> mode >> access >> pid >> file) || pid < 0)
            continue;
        unsigned major = 0, minor = 0;
        unsigned long long number = 0;
        char rest = 0;
        if (std::sscanf(file.c_str(), "%x:%x:%llu%c", &major, &minor, &number, &rest) != 3)
            continue;
        if (::makedev(major, minor) == device && number == inode)
            return static_cast<pid_t>(pid);
    }
    return std::nullopt;
}

LockHolder FindInstanceLockHolder(const std::string& name)
{
    const std::filesystem::path path = RuntimeFolder() / (name + ".lock");
    LockHolder holder;
    // Whatever stands in place of a regular file is refused by every copy, so nobody holds it.
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        if (errno == ENOENT) {
            holder.state = LockHolder::State::Free;
            return holder;
        }
        holder.error = path.string() + ": " + std::strerror(errno);
        return holder;
    }
    if (!S_ISREG(info.st_mode)) {
        holder.state = LockHolder::State::Free;
        return holder;
    }
    std::ifstream file("/proc/locks");
    if (!file.is_open()) {
        holder.error = std::string("/proc/locks: ") + std::strerror(errno);
        return holder;
    }
    std::stringstream text;
    text << file.rdbuf();
    const std::optional<pid_t> pid = FindFlockHolder(text.str(), info.st_dev, info.st_ino);
    holder.state = pid ? LockHolder::State::Held : LockHolder::State::Free;
    holder.pid = pid.value_or(0);
    return holder;
}

} // namespace platform
