#include "DeviceHolder.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <map>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace tlacpi {

namespace {

// A folder's entries; none where it cannot be read.
std::vector<std::filesystem::path> Entries(const std::filesystem::path& folder)
{
    std::vector<std::filesystem::path> entries;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        entries.push_back(it->path());
    return entries;
}

bool HoldsDevice(const std::filesystem::path& process, dev_t device)
{
    for (const auto& descriptor : Entries(process / "fd")) {
        // stat follows the descriptor's link to the file it has open.
        struct stat status{};
        if (::stat(descriptor.c_str(), &status) == 0 && S_ISCHR(status.st_mode)
            && status.st_rdev == device)
            return true;
    }
    return false;
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

// A value that leaves the runtime watchdog off: empty, "off", or a zero time ("0", "0s").
bool SwitchesOff(std::string_view value)
{
    if (value.empty() || value == "off")
        return true;
    const std::size_t digits = value.find_first_not_of('0');
    return digits != 0 && (digits == std::string_view::npos
                           || std::isalpha(static_cast<unsigned char>(value[digits])));
}

// Takes the file's RuntimeWatchdogSec of its [Manager] section into setting, if it has one.
void ReadManagerSetting(const std::filesystem::path& file, const std::filesystem::path& shown,
                        std::string& setting)
{
    std::ifstream in(file);
    bool manager = false;
    for (std::string line; std::getline(in, line);) {
        const std::string_view text = Trim(line);
        if (text.starts_with('[')) {
            manager = text == "[Manager]";
            continue;
        }
        constexpr std::string_view key = "RuntimeWatchdogSec";
        if (!manager || !text.starts_with(key) || Trim(text.substr(key.size())).substr(0, 1) != "=")
            continue;
        const std::string_view value = Trim(Trim(text.substr(key.size())).substr(1));
        setting = SwitchesOff(value) ? std::string()
                                     : std::string(key) + "=" + std::string(value) + " in " + shown.string();
    }
}

} // namespace

std::string DescribeProcess(const std::filesystem::path& root, pid_t pid)
{
    std::ifstream in(root / "proc" / std::to_string(pid) / "comm");
    std::string name;
    std::getline(in, name);
    std::replace_if(name.begin(), name.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; }, ' ');
    return "process " + std::to_string(pid) + (name.empty() ? "" : " (" + name + ")");
}

std::string SystemdRuntimeWatchdog(const std::filesystem::path& root)
{
    std::string setting;
    ReadManagerSetting(root / "etc/systemd/system.conf", "/etc/systemd/system.conf", setting);
    // Drop-ins are read in the order of their names; one in /etc hides one of the same name
    // in /run, and that one one in /usr/lib.
    std::map<std::string, std::filesystem::path> dropIns;
    for (const char* folder : {"usr/lib/systemd/system.conf.d", "run/systemd/system.conf.d",
                               "etc/systemd/system.conf.d"}) {
        for (const auto& file : Entries(root / folder)) {
            if (file.extension() == ".conf")
                dropIns[file.filename().string()] = std::filesystem::path("/") / folder / file.filename();
        }
    }
    for (const auto& [name, shown] : dropIns)
        ReadManagerSetting(root / shown.relative_path(), shown, setting);
    return setting;
}

DeviceHolder FindDeviceHolder(const std::filesystem::path& root, dev_t device)
{
    const pid_t self = ::getpid();
    for (const auto& process : Entries(root / "proc")) {
        const std::string name = process.filename().string();
        pid_t pid = 0;
        const auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), pid);
        if (ec != std::errc() || end != name.data() + name.size() || pid <= 0 || pid == self)
            continue;
        if (HoldsDevice(process, device))
            return {pid, DescribeProcess(root, pid)};
    }
    if (std::string systemd = SystemdRuntimeWatchdog(root); !systemd.empty())
        return {0, "systemd (" + systemd + ")"};
    return {};
}

} // namespace tlacpi
