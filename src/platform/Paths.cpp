#include "platform/Paths.h"

#include <cstdlib>
#include <mutex>
#include <pwd.h>
#include <string>
#include <string_view>
#include <system_error>
#include <unistd.h>

namespace platform {

std::filesystem::path ProgramFile()
{
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : ProgramFileFromLink(self);
}

std::filesystem::path ProgramFileFromLink(const std::filesystem::path& link)
{
    constexpr std::string_view kDeleted = " (deleted)";
    const std::string& text = link.native();
    std::error_code ec;
    if (!text.ends_with(kDeleted) || std::filesystem::is_regular_file(link, ec))
        return link;
    return text.substr(0, text.size() - kDeleted.size());
}

std::filesystem::path ProgramFolder()
{
    return ProgramFile().parent_path();
}

std::filesystem::path MachineRoot()
{
    const char* root = std::getenv("TOLV_ROOT");
    if (!root || !*root)
        return "/";
    // A relative root is made absolute against the current folder of its first use, once, so
    // that a later change of folder (RunProgram enters the started program's) moves no machine
    // path. A root set to another text is taken afresh.
    static std::mutex mutex;
    static std::string text;
    static std::filesystem::path absolute;
    std::lock_guard lock(mutex);
    if (text != root) {
        std::error_code ec;
        std::filesystem::path made = std::filesystem::absolute(root, ec);
        absolute = ec ? std::filesystem::path(root) : made;
        text = root;
    }
    return absolute;
}

std::filesystem::path CommonAppDataFolder()
{
    return MachineRoot() / "var/lib";
}

std::filesystem::path RegistryFolder()
{
    return MachineRoot() / "var/lib/tolv/registry";
}

std::filesystem::path RuntimeFolder()
{
    return MachineRoot() / "run/tolv";
}

std::filesystem::path AutostartFolder()
{
    return MachineRoot() / "etc/xdg/autostart";
}

UserAutostartPaths UserAutostartFolder()
{
    // XDG: a relative XDG_CONFIG_HOME is invalid and ignored.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && *config == '/')
        return {config, "autostart"};
    const char* home = std::getenv("HOME");
    if (home && *home == '/')
        return {home, ".config/autostart"};
    // getpwuid_r: the probe runs inside the program, which has other threads.
    passwd entry {};
    passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) != 0 || !found
        || !found->pw_dir || found->pw_dir[0] != '/')
        return {};
    return {found->pw_dir, ".config/autostart"};
}

} // namespace platform
