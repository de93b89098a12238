#include "platform/SharedFiles.h"

#include "platform/Paths.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace platform {
namespace {

constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Tells a link from anything else that is no folder: openat answers ENOTDIR for both.
int WhyNoFolder(int parent, const char* name, int error)
{
    struct stat info {};
    if (error == ENOTDIR && ::fstatat(parent, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode))
        return ELOOP;
    return error;
}

// Gives a folder this process just made the group's rights when it stands in a shared folder.
// The name may have been swapped meanwhile: a folder of someone else keeps its rights.
int ShareIfMade(int parent, int made)
{
    struct stat info {};
    if (!IsSharedFolder(parent) || ::fstat(made, &info) != 0 || info.st_uid != ::geteuid())
        return 0;
    // fchmod does not work on an O_PATH descriptor; "." reopened through it is the same folder.
    UniqueFd folder(::openat(made, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.IsValid() || ::fchmod(folder.Get(), kSharedFolderMode) != 0)
        return errno;
    return 0;
}

FdResult OpenChild(int parent, const char* name, bool create)
{
    // A folder removed or made by someone else between the calls is looked at again; a few
    // rounds settle any such race.
    for (int round = 0; round < 4; ++round) {
        UniqueFd fd(::openat(parent, name, kFolderFlags));
        if (fd.IsValid())
            return {std::move(fd), 0};
        if (errno != ENOENT || !create)
            return {UniqueFd(), WhyNoFolder(parent, name, errno)};
        if (::mkdirat(parent, name, 0777) != 0) {
            if (errno == EEXIST)
                continue;
            return {UniqueFd(), errno};
        }
        fd = UniqueFd(::openat(parent, name, kFolderFlags));
        if (!fd.IsValid()) {
            if (errno == ENOENT)
                continue;
            return {UniqueFd(), WhyNoFolder(parent, name, errno)};
        }
        if (const int error = ShareIfMade(parent, fd.Get()); error != 0)
            return {UniqueFd(), error};
        return {std::move(fd), 0};
    }
    return {UniqueFd(), EAGAIN};
}

} // namespace

bool IsSharedFolder(int folder)
{
    struct stat info {};
    return ::fstat(folder, &info) == 0 && S_ISDIR(info.st_mode) && (info.st_mode & S_ISGID) &&
           (info.st_mode & S_IWGRP);
}

mode_t FileModeIn(int folder)
{
    return IsSharedFolder(folder) ? kSharedFileMode : kPlainFileMode;
}

FdResult OpenFolders(const fs::path& folder, bool create, const fs::path& root)
{
    const fs::path below = (folder.is_absolute() ? folder.lexically_relative(root) : folder).lexically_normal();
    if (below.empty())
        return {UniqueFd(), EINVAL};
    UniqueFd at(::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!at.IsValid())
        return {UniqueFd(), errno};
    return OpenFoldersAt(at.Get(), below, create);
}

FdResult OpenFoldersAt(int root, const fs::path& below, bool create)
{
    if (below.is_absolute() || std::find(below.begin(), below.end(), "..") != below.end())
        return {UniqueFd(), EINVAL};
    UniqueFd at(::openat(root, ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!at.IsValid())
        return {UniqueFd(), errno};
    for (const fs::path& part : below) {
        if (part.empty() || part == ".")
            continue; // "a/b/" ends in an empty part
        FdResult next = OpenChild(at.Get(), part.c_str(), create);
        if (next.error != 0)
            return next;
        at = std::move(next.fd);
    }
    return {std::move(at), 0};
}

FdResult OpenFolders(const fs::path& folder, bool create)
{
    return OpenFolders(folder, create, MachineRoot());
}

int OpenOrCreateAt(int folder, const std::string& name, int flags, mode_t mode)
{
    flags = (flags & ~(O_CREAT | O_EXCL)) | O_NOFOLLOW | O_CLOEXEC;
    // Only the call that made the file may set its rights: another member's file is theirs.
    // A file removed between the two opens is made again; a few rounds settle any such race.
    for (int round = 0; round < 4; ++round) {
        int fd = ::openat(folder, name.c_str(), flags | O_CREAT | O_EXCL, mode);
        if (fd >= 0) {
            if (IsSharedFolder(folder))
                (void)::fchmod(fd, kSharedFileMode); // the maker owns it: fails only where modes do not exist
            return fd;
        }
        if (errno != EEXIST)
            return -1;
        fd = ::openat(folder, name.c_str(), flags);
        if (fd >= 0 || errno != ENOENT)
            return fd;
    }
    return -1;
}

} // namespace platform
