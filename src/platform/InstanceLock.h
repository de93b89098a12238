#pragma once

#include "platform/FileIo.h"

#include <filesystem>
#include <string>

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

} // namespace platform
