#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

// The package the build made, and the tools the package tests look at it with.
namespace packagetest {

inline constexpr const char* kPackageName = "tolv-watchdog-timer";
// The program folder as the package installs it, relative to the root.
inline constexpr const char* kProgramFolder = "usr/lib/tolv-watchdog-timer";
inline constexpr const char* kCaption = "TOLV Watchdog Timer";

struct CommandResult {
    int status = -1; // the exit status; -1 when it did not run or ended by a signal
    std::string output; // stdout and stderr as they came
};

using Environment = std::vector<std::pair<std::string, std::string>>;

// Runs a program (found on PATH or by its path) with the test's environment plus `extra`, and
// waits for its end.
CommandResult RunCommand(const std::vector<std::string>& argv, const Environment& extra = {});

// The one .deb of the package build; empty when there is none or more than one.
std::filesystem::path PackageFile();

// Unpacks the package's files into root, as an installation into that root would, and its
// control files (maintainer scripts) into root/DEBIAN. False with the reason in the test log.
bool ExtractPackage(const std::filesystem::path& root);

// One entry of the package's file archive as `dpkg-deb --contents` lists it.
struct Entry {
    std::string mode;   // "-rwxr-xr-x", "drwxr-xr-x", "lrwxrwxrwx"
    std::string owner;  // "root/root"
    std::string target; // of a symbolic link
};
// Entries by path relative to the root, without "./" and without a trailing '/'.
std::map<std::string, Entry> PackageContents();

// Runs a maintainer script of a package extracted into root with DPKG_ROOT=root, as dpkg does
// for an installation into that root.
CommandResult RunMaintainerScript(const std::filesystem::path& root, const std::string& script,
                                  const std::string& action);

} // namespace packagetest
