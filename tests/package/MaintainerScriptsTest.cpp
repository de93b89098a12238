#include "PackageSupport.h"
#include "TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fnmatch.h>
#include <optional>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// What the package prepares on the machine: its scripts run against a root that holds the
// unpacked package, as dpkg runs them for an installation into that root (DPKG_ROOT).
namespace {

using namespace packagetest;

constexpr const char* kGroup = "tolv-watchdog";

// The id of a group in root/etc/group.
std::optional<gid_t> GroupId(const std::filesystem::path& root, const std::string& name)
{
    std::istringstream lines(testsupport::ReadFile(root / "etc/group"));
    std::string line;
    while (std::getline(lines, line)) {
        // name:password:gid:members
        std::vector<std::string> fields;
        std::istringstream parts(line);
        for (std::string field; std::getline(parts, field, ':');)
            fields.push_back(field);
        if (fields.size() >= 3 && fields[0] == name)
            return static_cast<gid_t>(std::stoul(fields[2]));
    }
    return std::nullopt;
}

struct Folder {
    const char* path;
    mode_t mode;
    bool groupOwned; // by tolv-watchdog, else by root
};

// The settings store, trace log and runtime folder are shared by the group's members: setgid
// (what one member makes belongs to the group), group-writable and closed to everyone else; the
// runtime folder is sticky too (no member renames or removes another's files). Their parents
// stay root's.
const Folder kFolders[] = {
    {"var/lib/tolv", 0755, false},
    {"var/lib/tolv/registry", 02770, true},
    {"var/lib/TOLV", 0755, false},
    {"var/lib/TOLV/TolvWatchDogTimer", 02770, true},
    {"run/tolv", 03770, true},
};

void ExpectFolders(const std::filesystem::path& root, gid_t group)
{
    for (const Folder& folder : kFolders) {
        SCOPED_TRACE(folder.path);
        struct stat info {};
        ASSERT_EQ(::lstat((root / folder.path).c_str(), &info), 0);
        EXPECT_TRUE(S_ISDIR(info.st_mode));
        EXPECT_EQ(info.st_mode & 07777, folder.mode);
        EXPECT_EQ(info.st_uid, 0u);
        EXPECT_EQ(info.st_gid, folder.groupOwned ? group : 0u);
    }
}

TEST(MaintainerScripts, ConfigureCreatesTheSystemGroupAndItsSharedFolders)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "the shared folders are given to root and the group: run as root";
    const std::filesystem::path root = testsupport::Root();
    ASSERT_TRUE(ExtractPackage(root));
    std::filesystem::create_directories(root / "etc");
    const CommandResult configured = RunMaintainerScript(root, "postinst", "configure");
    ASSERT_EQ(configured.status, 0) << configured.output;

    const std::optional<gid_t> group = GroupId(root, kGroup);
    ASSERT_TRUE(group.has_value()) << testsupport::ReadFile(root / "etc/group");
    EXPECT_GT(*group, 0u);
    EXPECT_LT(*group, 1000u) << "not a system group";
    ExpectFolders(root, *group);

    // A second configure (an upgrade) keeps the group's id and repairs the folders' rights,
    // also those an earlier version left open to everyone.
    ASSERT_EQ(::chmod((root / "run/tolv").c_str(), 0700), 0);
    ASSERT_EQ(::chmod((root / "var/lib/tolv/registry").c_str(), 02775), 0);
    const CommandResult again = RunMaintainerScript(root, "postinst", "configure");
    ASSERT_EQ(again.status, 0) << again.output;
    EXPECT_EQ(GroupId(root, kGroup), group);
    ExpectFolders(root, *group);
}

TEST(MaintainerScripts, PurgeRemovesOnlyTheProgramsOwnFiles)
{
    const std::filesystem::path root = testsupport::Root();
    ASSERT_TRUE(ExtractPackage(root));
    const std::filesystem::path store = root / "var/lib/tolv/registry/HKEY_LOCAL_MACHINE/Software";
    const std::vector<std::filesystem::path> programs = {
        store / "TOLV/TOLV Watchdog Timer.reg",
        store / "TOLV/TOLV Watchdog Timer.reg.lock",
        store / "TOLV/TOLV Watchdog Timer.reg.new.4711",
        store / "TOLV/TOLV Watchdog Timer/Sub.reg",
        root / "var/lib/TOLV/TolvWatchDogTimer/trace.log",
        root / "run/tolv/TOLV_WATCHDOG_TIMER.lock",
        root / "etc/xdg/autostart/TOLV-WatchDog-Timer.desktop",
    };
    const std::vector<std::filesystem::path> others = {
        store / "TOLV/Another Product.reg",
        store / "Maker.reg",
        root / "var/lib/TOLV/Another/trace.log",
        root / "etc/xdg/autostart/other.desktop",
    };
    for (const auto& file : programs)
        testsupport::WriteFile(file, "x");
    for (const auto& file : others)
        testsupport::WriteFile(file, "x");

    const CommandResult removed = RunMaintainerScript(root, "postrm", "remove");
    ASSERT_EQ(removed.status, 0) << removed.output;
    EXPECT_TRUE(std::filesystem::exists(programs.front())) << "a plain removal keeps the settings";

    const CommandResult purged = RunMaintainerScript(root, "postrm", "purge");
    ASSERT_EQ(purged.status, 0) << purged.output;
    for (const auto& file : programs)
        EXPECT_FALSE(std::filesystem::exists(file)) << file;
    EXPECT_FALSE(std::filesystem::exists(store / "TOLV/TOLV Watchdog Timer"));
    EXPECT_FALSE(std::filesystem::exists(root / "var/lib/TOLV/TolvWatchDogTimer"));
    for (const auto& file : others)
        EXPECT_TRUE(std::filesystem::exists(file)) << file;
}

// One rule of a udev rules file: its match keys (==) and assignments (=), by key.
struct UdevRule {
    std::vector<std::pair<std::string, std::string>> matches;
    std::vector<std::pair<std::string, std::string>> assignments;
};

std::vector<UdevRule> ParseUdevRules(const std::string& text)
{
    std::vector<UdevRule> rules;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line.front() == '#')
            continue;
        UdevRule rule;
        std::istringstream items(line);
        for (std::string item; std::getline(items >> std::ws, item, ',');) {
            const auto quote = item.find('"');
            const auto close = item.rfind('"');
            if (quote == std::string::npos || close <= quote)
                continue;
            const std::string value = item.substr(quote + 1, close - quote - 1);
            std::string key = item.substr(0, quote);
            const bool match = key.size() >= 2 && key.compare(key.size() - 2, 2, "==") == 0;
            key.erase(key.find_last_not_of("=!+:") + 1);
            (match ? rule.matches : rule.assignments).emplace_back(key, value);
        }
        rules.push_back(rule);
    }
    return rules;
}

struct Device {
    const char* kernel;
    const char* subsystem;
};

// What udev does with a device: the group and mode of the last rule that matches it.
std::pair<std::string, std::string> Applied(const std::vector<UdevRule>& rules, const Device& device)
{
    std::pair<std::string, std::string> result;
    for (const UdevRule& rule : rules) {
        bool all = true;
        for (const auto& [key, pattern] : rule.matches) {
            const char* value = key == "KERNEL" ? device.kernel
                : key == "SUBSYSTEM"            ? device.subsystem
                                                : nullptr;
            all = all && value && ::fnmatch(pattern.c_str(), value, 0) == 0;
        }
        if (!all)
            continue;
        for (const auto& [key, value] : rule.assignments) {
            if (key == "GROUP")
                result.first = value;
            if (key == "MODE")
                result.second = value;
        }
    }
    return result;
}

TEST(UdevRule, GivesTheGroupReadWriteOnEveryWatchdogDeviceAndNothingElse)
{
    const std::filesystem::path root = testsupport::Root();
    ASSERT_TRUE(ExtractPackage(root));
    const auto rules =
        ParseUdevRules(testsupport::ReadFile(root / "usr/lib/udev/rules.d/60-tolv-watchdog.rules"));
    ASSERT_FALSE(rules.empty());
    // The legacy node is a misc device; the numbered ones belong to the watchdog class.
    for (const Device& device : {Device{"watchdog", "misc"}, Device{"watchdog0", "watchdog"},
                                 Device{"watchdog1", "watchdog"}}) {
        SCOPED_TRACE(device.kernel);
        EXPECT_EQ(Applied(rules, device), std::make_pair(std::string(kGroup), std::string("0660")));
    }
    for (const Device& device : {Device{"rtc0", "rtc"}, Device{"tty0", "tty"}}) {
        SCOPED_TRACE(device.kernel);
        EXPECT_EQ(Applied(rules, device), std::make_pair(std::string(), std::string()));
    }
    // The rule names the group the package creates.
    EXPECT_THAT(testsupport::ReadFile(root / "usr/lib/sysusers.d/tolv-watchdog-timer.conf"),
                testing::ContainsRegex(std::string("\ng ") + kGroup + " "));
}

} // namespace
