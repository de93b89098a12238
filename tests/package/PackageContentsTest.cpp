#include "PackageSupport.h"
#include "TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <iostream>
#include <ostream>
#include <sstream>
#include <string>

// What the package holds, how it names itself and what lintian says of it.
namespace {

using namespace packagetest;
using testing::HasSubstr;

constexpr const char* kExecutable = "-rwxr-xr-x";
constexpr const char* kData = "-rw-r--r--";

struct Expected {
    const char* path;
    const char* mode;
};

void PrintTo(const Expected& e, std::ostream* os)
{
    *os << e.path;
}

const Expected kFiles[] = {
    {"usr/lib/tolv-watchdog-timer/TolvWatchDogTimer", kExecutable},
    {"usr/lib/tolv-watchdog-timer/TaskEnroll", kExecutable},
    {"usr/lib/tolv-watchdog-timer/TolvWdtSVR", kExecutable},
    {"usr/lib/tolv-watchdog-timer/TolvWatchDogTimerSVR", kExecutable},
    {"usr/lib/tolv-watchdog-timer/TolvCloseRequest", kExecutable},
    {"usr/lib/tolv-watchdog-timer/libtlacpi.so", kData},
    {"usr/lib/tolv-watchdog-timer/libTaskProbe.so", kData},
    {"usr/bin/tlacpi-sim-monitor", kExecutable},
    {"usr/lib/sysusers.d/tolv-watchdog-timer.conf", kData},
    {"usr/lib/tmpfiles.d/tolv-watchdog-timer.conf", kData},
    {"usr/lib/udev/rules.d/60-tolv-watchdog.rules", kData},
    {"usr/share/applications/tolv-watchdog-timer.desktop", kData},
    {"usr/share/metainfo/com.tolv.watchdogtimer.metainfo.xml", kData},
    {"usr/share/icons/hicolor/32x32/apps/tolv-watchdog-timer.png", kData},
    {"usr/share/icons/hicolor/48x48/apps/tolv-watchdog-timer.png", kData},
    {"usr/share/icons/hicolor/64x64/apps/tolv-watchdog-timer.png", kData},
    {"usr/share/icons/hicolor/128x128/apps/tolv-watchdog-timer.png", kData},
    {"usr/share/icons/hicolor/256x256/apps/tolv-watchdog-timer.png", kData},
    {"usr/share/man/man1/tolv-watchdog-timer.1.gz", kData},
    {"usr/share/man/man1/tlacpi-sim-monitor.1.gz", kData},
    {"usr/share/doc/tolv-watchdog-timer/copyright", kData},
    {"usr/share/doc/tolv-watchdog-timer/changelog.gz", kData},
    {"usr/share/doc/tolv-watchdog-timer/screenshot.png", kData},
    {"usr/share/doc/tolv-watchdog-timer/examples/TolvWatchDogTimerSVR.WatchDogControl.service", kData},
};

class PackagedFile : public testing::TestWithParam<Expected> {};

TEST_P(PackagedFile, IsThereWithItsModeOwnedByRoot)
{
    const auto contents = PackageContents();
    const auto found = contents.find(GetParam().path);
    ASSERT_NE(found, contents.end());
    EXPECT_EQ(found->second.mode, GetParam().mode);
    EXPECT_EQ(found->second.owner, "root/root");
}

INSTANTIATE_TEST_SUITE_P(Package, PackagedFile, testing::ValuesIn(kFiles));

TEST(PackageContents, TheCommandIsARelativeLinkToTheProgramInItsFolder)
{
    const auto contents = PackageContents();
    const auto link = contents.find("usr/bin/tolv-watchdog-timer");
    ASSERT_NE(link, contents.end());
    EXPECT_EQ(link->second.mode.front(), 'l');
    EXPECT_EQ(link->second.target, "../lib/tolv-watchdog-timer/TolvWatchDogTimer");
}

TEST(PackageContents, TheProgramFolderHoldsTheWholeSkinOfTheBuild)
{
    const auto contents = PackageContents();
    int pictures = 0;
    for (const auto& file :
         std::filesystem::directory_iterator(testsupport::BinFolder() / "resource" / "UI")) {
        const std::string path =
            std::string(kProgramFolder) + "/resource/UI/" + file.path().filename().string();
        const auto found = contents.find(path);
        ASSERT_NE(found, contents.end()) << path;
        EXPECT_EQ(found->second.mode, kData) << path;
        ++pictures;
    }
    EXPECT_GT(pictures, 30);
}

TEST(PackageContents, NothingWhereASessionBusWouldStartTheAutomationServerAndEveryFolderIsPublic)
{
    for (const auto& [path, entry] : PackageContents()) {
        EXPECT_EQ(path.find("dbus-1"), std::string::npos) << path;
        if (entry.mode.front() == 'd') {
            EXPECT_EQ(entry.mode, "drwxr-xr-x") << path;
        }
        EXPECT_EQ(entry.owner, "root/root") << path;
    }
}

std::string Field(const std::string& name)
{
    CommandResult field = RunCommand({"dpkg-deb", "--field", PackageFile().string(), name});
    while (!field.output.empty() && field.output.back() == '\n')
        field.output.pop_back();
    return field.output;
}

TEST(PackageControl, NamesItselfWithTheProjectsVersionAndTheLibrariesItNeeds)
{
    EXPECT_EQ(Field("Package"), kPackageName);
    EXPECT_EQ(Field("Version"), TOLV_PROJECT_VERSION);
    CommandResult architecture = RunCommand({"dpkg", "--print-architecture"});
    EXPECT_EQ(Field("Architecture") + "\n", architecture.output);
    EXPECT_EQ(PackageFile().filename().string(), std::string(kPackageName) + "_"
                  + TOLV_PROJECT_VERSION + "_" + Field("Architecture") + ".deb");
    EXPECT_THAT(Field("Maintainer"), testing::MatchesRegex(".+ <.+@.+>"));

    // dpkg-shlibdeps found the shared libraries; what is loaded at run time is named by hand.
    const std::string depends = Field("Depends");
    for (const char* package : {"libc6", "libqt6widgets6", "libqt6gui6", "libsystemd0",
                                "qt6-qpa-plugins", "systemd | systemd-standalone-sysusers"})
        EXPECT_THAT(depends, HasSubstr(package));

    const std::string description = Field("Description");
    EXPECT_THAT(description, HasSubstr("\n "));
    EXPECT_THAT(description, HasSubstr("tolv-watchdog"));
}

TEST(PackageControl, CarriesItsMaintainerScriptsExecutable)
{
    const std::filesystem::path root = testsupport::Root();
    ASSERT_TRUE(ExtractPackage(root));
    for (const char* script : {"postinst", "prerm", "postrm"}) {
        const auto path = root / "DEBIAN" / script;
        ASSERT_TRUE(std::filesystem::exists(path)) << script;
        EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0755))
            << script;
        CommandResult syntax = RunCommand({"/bin/sh", "-n", path.string()});
        EXPECT_EQ(syntax.status, 0) << script << ": " << syntax.output;
    }
}

TEST(Lintian, FindsNoErrors)
{
    const CommandResult lint = RunCommand({"lintian", "--no-tag-display-limit", PackageFile().string()});
    std::istringstream lines(lint.output);
    std::string line;
    std::string errors;
    while (std::getline(lines, line)) {
        if (line.rfind("E: ", 0) == 0)
            errors += line + "\n";
    }
    EXPECT_EQ(errors, "");
    EXPECT_EQ(lint.status, 0) << lint.output;
    // Warnings are kept in the test log for the record.
    std::cout << lint.output;
}

} // namespace
