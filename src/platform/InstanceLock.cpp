#include "platform/InstanceLock.h"

#include "platform/Paths.h"
#include "platform/SharedFiles.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>

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
    // A folder that cannot be made shows up as a failed open of the file.
    (void)CreateFolders(m_Path.parent_path());
    // The file stays; only the lock on it says whether a copy runs. flock needs no write
    // access, so a lock file another user left behind serves every later user too, as long as
    // they may read it: in the shared runtime folder it is readable by the group whatever the
    // umask of the user who made it.
    UniqueFd fd(OpenOrCreate(m_Path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW, 0664));
    if (!fd.IsValid()) {
        m_Error = m_Path.string() + ": " + std::strerror(errno);
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
