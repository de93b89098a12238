#pragma once

#include <filesystem>

// Where the program and its machine-wide files live. The machine paths (application data,
// registry store, runtime folder, autostart folder) are rooted at $TOLV_ROOT when it is set,
// so tests and demos never touch the real machine; without it they are the real paths.
// TOLV_ROOT is read on every call, so a test may change it between cases; a relative one is
// made absolute at its first use and stays so when the current folder changes.
namespace platform {

// The running executable (/proc/self/exe) and the folder that holds it. The firmware library,
// the task probe, the helper programs and the skin live in that folder. Once the file the
// program started from is replaced or removed (a package upgrade), the kernel names it with
// " (deleted)" appended; the name is given without that, which after an upgrade is the new
// program. Whether a program is still there is for callers that need one to check.
std::filesystem::path ProgramFile();
std::filesystem::path ProgramFolder();

// ProgramFile's reading of the text of the /proc/self/exe link: " (deleted)" is taken off the
// end unless a file of exactly that name exists.
std::filesystem::path ProgramFileFromLink(const std::filesystem::path& link);

// $TOLV_ROOT (absolute), or "/" when unset or empty.
std::filesystem::path MachineRoot();

// The common application-data folder: <root>/var/lib
std::filesystem::path CommonAppDataFolder();
// The registry store: <root>/var/lib/tolv/registry
std::filesystem::path RegistryFolder();
// Runtime state (lock files, window sockets): <root>/run/tolv
std::filesystem::path RuntimeFolder();
// XDG autostart entries: <root>/etc/xdg/autostart
std::filesystem::path AutostartFolder();

// The person's own XDG autostart folder and the configuration home it lies in. Both come from
// the environment of the process (not from TOLV_ROOT): $XDG_CONFIG_HOME when it is an absolute
// path, else $HOME/.config, else .config in the real user's home from the password database.
// Empty when no home is known. The environment is the caller's to set, so whoever acts on these
// folders with more rights than the caller's must check that they belong to the caller.
struct UserAutostartPaths {
    std::filesystem::path home;       // the folder the person must own: XDG_CONFIG_HOME or HOME
    std::filesystem::path below;      // the relative path from home to the autostart folder
    std::filesystem::path Folder() const { return home.empty() ? home : home / below; }
};
UserAutostartPaths UserAutostartFolder();

} // namespace platform
