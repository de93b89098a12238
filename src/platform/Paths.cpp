#include "platform/Paths.h"

#include <cstdlib>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>

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

} // namespace platform
