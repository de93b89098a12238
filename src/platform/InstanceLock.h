#pragma once

#include "platform/FileIo.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

// One running copy per machine: an exclusive flock on <runtime folder>/<name>.lock, held until
// the lock object (normally the process) ends. The kernel drops the lock with the process, so a
// crashed copy never blocks the next start.
namespace platform {

class InstanceLock {
public:
    explicit InstanceLock(const std::string& name);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    enum class Result { Acquired, HeldElsewhere, Failed };

    // Creates the runtime folder and the lock file when missing and takes the lock without
    // waiting. Failed means the file could not be opened or locked, or is no regular file (a
    // link, a FIFO); Error() names the file and says why.
    Result Acquire();
    const std::string& Error() const { return m_Error; }
    const std::filesystem::path& Path() const { return m_Path; }

private:
    std::filesystem::path m_Path;
    std::string m_Error;
    UniqueFd m_Fd;
};

// Who holds the lock of the copy named name, found without taking it: a status reader that took
// the lock, even shared and only for a moment, would make a copy starting meanwhile think that
// another one runs. The lock file's device and inode are looked up in /proc/locks.
struct LockHolder {
    enum class State { Free, Held, Unknown };
    State state = State::Unknown;
    // The holder's process id; 0 when it runs outside this process's pid namespace.
    pid_t pid = 0;
    // Why the state is Unknown: the file or /proc/locks and the OS reason.
    std::string error;
};
LockHolder FindInstanceLockHolder(const std::string& name);

// The pid that /proc/locks text locks gives for an flock on the file (device, inode); no value
// when nobody holds one. Waiters ("->" lines) hold nothing; a damaged line is skipped.
std::optional<pid_t> FindFlockHolder(std::string_view locks, dev_t device, ino_t inode);

} // namespace platform
