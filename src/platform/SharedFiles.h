#pragma once

#include <filesystem>
#include <sys/types.h>

// Files and folders that the members of one group take turns on.
//
// The package makes the machine-wide folders (the settings store, the trace log's folder, the
// runtime folder) shared: owned by the program's group, group-writable and setgid. What is made
// in a shared folder takes the folder's group (the kernel's setgid rule), and here it also gets
// the group's rights made equal to its owner's, whatever the maker's umask, so that the next
// member can rewrite or replace it. Outside shared folders files and folders are made as before:
// with the rights asked for, less the umask.
namespace platform {

// A folder that is setgid and group-writable.
bool IsSharedFolder(const std::filesystem::path& folder);

// mode with the group's read, write and search rights made equal to the owner's.
mode_t SharedMode(mode_t mode);

// Creates folder and every missing parent. A folder made inside a shared folder is shared too
// (SharedMode of its rights, and setgid). Answers 0, or the errno of the failure (ENOTDIR when
// something other than a folder is in the way).
int CreateFolders(const std::filesystem::path& folder);

// Opens path with flags (the access mode and any of O_APPEND, O_CLOEXEC, O_NOFOLLOW ...),
// creating it with mode when it is missing. A file created by this call inside a shared folder
// gets SharedMode of its rights. Answers the descriptor, or -1 with errno set.
int OpenOrCreate(const std::filesystem::path& path, int flags, mode_t mode);

} // namespace platform
