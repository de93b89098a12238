#pragma once

#include "platform/FileIo.h"

#include <filesystem>
#include <string>
#include <sys/types.h>

// Files and folders that the members of one group take turns on.
//
// The package makes the machine-wide folders (the settings store, the trace log's folder, the
// runtime folder) shared: owned by the program's group, group-writable and setgid, closed to
// everyone else. What is made in a shared folder takes the folder's group (the kernel's setgid
// rule) and gets fixed rights for the group only, whatever the maker's umask: files 0660,
// folders 02770. Outside shared folders files and folders are made with the rights asked for,
// less the umask.
//
// A member can put a symbolic link into a shared folder, so no path in one is ever followed:
// folders are walked one component at a time from a descriptor of the folder above, and files
// are opened and their rights set through descriptors.
namespace platform {

inline constexpr mode_t kSharedFileMode = 0660;
inline constexpr mode_t kSharedFolderMode = 02770;
inline constexpr mode_t kPlainFileMode = 0644;

// The open folder is setgid and group-writable.
bool IsSharedFolder(int folder);

// The rights a file written into the open folder gets: kSharedFileMode in a shared folder,
// kPlainFileMode elsewhere. Never set-id, never writable by others.
mode_t FileModeIn(int folder);

// Opens folder, a path below root (absolute, or relative to root), creating what is missing
// when create is set. root is the administrator's choice and is opened as it is; every
// component below it is opened without following links (ELOOP for a symbolic link, ENOTDIR for
// anything else that is no folder). A folder made inside a shared folder gets
// kSharedFolderMode. The descriptor is an O_PATH one: good for the *at calls and fstat; reopen
// "." through it to read the folder or flush it. A folder not below root answers EINVAL.
FdResult OpenFolders(const std::filesystem::path& folder, bool create,
                     const std::filesystem::path& root);
// The same below the machine root (MachineRoot()).
FdResult OpenFolders(const std::filesystem::path& folder, bool create);

// The same from an open folder: below is a relative path without "..", walked from root one
// component at a time without following links.
FdResult OpenFoldersAt(int root, const std::filesystem::path& below, bool create);

// Opens name in the open folder with flags (the access mode and any of O_APPEND, O_NONBLOCK
// ...; O_NOFOLLOW and O_CLOEXEC are always added), creating it with mode when it is missing. A
// file created by this call inside a shared folder gets kSharedFileMode. Answers the
// descriptor, or -1 with errno set (ELOOP for a symbolic link).
int OpenOrCreateAt(int folder, const std::string& name, int flags, mode_t mode);

} // namespace platform
