#include "platform/SharedFiles.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace platform {
namespace {

fs::path FolderOf(const fs::path& path)
{
    fs::path folder = path.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

int ExistingFolder(const fs::path& folder)
{
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0)
        return errno;
    return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

} // namespace

bool IsSharedFolder(const fs::path& folder)
{
    struct stat info {};
    return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && (info.st_mode & S_ISGID) &&
           (info.st_mode & S_IWGRP);
}

mode_t SharedMode(mode_t mode)
{
    return mode | ((mode & S_IRWXU) >> 3);
}

int CreateFolders(const fs::path& folder)
{
    if (!folder.has_filename() && folder.has_parent_path() && folder != folder.root_path())
        return CreateFolders(folder.parent_path()); // "a/b/" names the folder "a/b"
    const int existing = ExistingFolder(folder);
    if (existing != ENOENT)
        return existing;
    const fs::path parent = FolderOf(folder);
    if (parent != folder)
        if (const int error = CreateFolders(parent); error != 0)
            return error;
    if (::mkdir(folder.c_str(), 0777) != 0)
        return errno == EEXIST ? ExistingFolder(folder) : errno; // made by someone else meanwhile
    if (!IsSharedFolder(parent))
        return 0;
    struct stat made {};
    if (::stat(folder.c_str(), &made) != 0 ||
        ::chmod(folder.c_str(), SharedMode(made.st_mode & 0777) | S_ISGID) != 0)
        return errno;
    return 0;
}

int OpenOrCreate(const fs::path& path, int flags, mode_t mode)
{
    flags &= ~(O_CREAT | O_EXCL);
    // Only the call that made the file may widen its rights: another member's file is theirs.
    // A file removed between the two opens is made again; a few rounds settle any such race.
    for (int round = 0; round < 4; ++round) {
        int fd = ::open(path.c_str(), flags | O_CREAT | O_EXCL, mode);
        if (fd >= 0) {
            struct stat info {};
            if (IsSharedFolder(FolderOf(path)) && ::fstat(fd, &info) == 0)
                (void)::fchmod(fd, SharedMode(info.st_mode & 07777)); // the maker owns the file
            return fd;
        }
        if (errno != EEXIST)
            return -1;
        fd = ::open(path.c_str(), flags);
        if (fd >= 0 || errno != ENOENT)
            return fd;
    }
    return -1;
}

} // namespace platform
