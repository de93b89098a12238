#include "platform/InstanceLock.h"

#include "platform/Paths.h"
#include "platform/SharedFiles.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

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

} // namespace platform
