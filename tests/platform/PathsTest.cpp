#include "platform/Paths.h"

#include "ChildProgram.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>

namespace {

TEST(Paths, MachinePathsLiveUnderTheTestRoot)
{
    const auto root = testsupport::Root();
    ASSERT_NE(root, "/");
    EXPECT_EQ(platform::CommonAppDataFolder(), root / "var/lib");
    EXPECT_EQ(platform::RegistryFolder(), root / "var/lib/tolv/registry");
    EXPECT_EQ(platform::RuntimeFolder(), root / "run/tolv");
    EXPECT_EQ(platform::AutostartFolder(), root / "etc/xdg/autostart");
}

TEST(Paths, WithoutRootTheRealMachinePathsAreUsed)
{
    const std::string saved = std::getenv("TOLV_ROOT");
    unsetenv("TOLV_ROOT");
    EXPECT_EQ(platform::RegistryFolder(), "/var/lib/tolv/registry");
    setenv("TOLV_ROOT", "", 1);
    EXPECT_EQ(platform::RuntimeFolder(), "/run/tolv");
    setenv("TOLV_ROOT", saved.c_str(), 1);
}

// RunProgram enters the started program's folder; a relative root must not move with it.
TEST(Paths, ARelativeRootStaysWhereItWasFirstUsed)
{
    const std::string saved = std::getenv("TOLV_ROOT");
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(testsupport::Root());
    setenv("TOLV_ROOT", "relative-root", 1);
    const auto first = platform::RegistryFolder();
    std::filesystem::current_path("/");
    const auto second = platform::RegistryFolder();
    const auto runtime = platform::RuntimeFolder();
    std::filesystem::current_path(cwd);
    setenv("TOLV_ROOT", saved.c_str(), 1);
    EXPECT_EQ(first, testsupport::Root() / "relative-root/var/lib/tolv/registry");
    EXPECT_EQ(second, first);
    EXPECT_EQ(runtime, testsupport::Root() / "relative-root/run/tolv");
}

TEST(Paths, ProgramFolderHoldsTheRunningProgram)
{
    EXPECT_EQ(platform::ProgramFile().parent_path(), platform::ProgramFolder());
    EXPECT_TRUE(std::filesystem::exists(platform::ProgramFile()));
}

struct LinkRow {
    const char* name;
    std::string link;    // below the test root
    const char* present; // a file made below the test root, or nullptr
    std::string program; // below the test root
};

class ProgramFileFromLink : public testing::TestWithParam<LinkRow> {};

TEST_P(ProgramFileFromLink, TakesOffTheMarkOfAReplacedOrRemovedFile)
{
    const LinkRow& row = GetParam();
    const auto root = testsupport::Root();
    if (row.present)
        testsupport::WriteFile(root / row.present, "program");
    EXPECT_EQ(platform::ProgramFileFromLink(root / row.link), root / row.program);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProgramFileFromLink,
    testing::Values(LinkRow{"Running", "lib/TolvWatchDogTimer", "lib/TolvWatchDogTimer", "lib/TolvWatchDogTimer"},
                    LinkRow{"ReplacedByAnUpgrade", "lib/TolvWatchDogTimer (deleted)", "lib/TolvWatchDogTimer",
                            "lib/TolvWatchDogTimer"},
                    LinkRow{"Removed", "lib/TolvWatchDogTimer (deleted)", nullptr, "lib/TolvWatchDogTimer"},
                    LinkRow{"NamedSo", "lib/odd (deleted)", "lib/odd (deleted)", "lib/odd (deleted)"},
                    LinkRow{"MarkNotAtTheEnd", "lib/a (deleted)b", nullptr, "lib/a (deleted)b"}),
    [](const testing::TestParamInfo<LinkRow>& info) { return std::string(info.param.name); });

// A package upgrade renames the new program over the running one; the running copy must still
// name the file, not "<file> (deleted)", or its helpers and its autostart entry go astray.
TEST(Paths, ARunningProgramReplacedByAnUpgradeStillNamesItsFile)
{
    const auto program = testsupport::Root() / "lib" / "registry-test-helper";
    std::filesystem::create_directories(program.parent_path());
    std::filesystem::copy_file(testsupport::BinFolder() / "registry-test-helper", program);
    ASSERT_EQ(::chmod(program.c_str(), 0755), 0);
    testsupport::ChildProgram child(program, {"replace-self"}, testsupport::Root() / "child.log");
    const auto end = child.Wait(std::chrono::seconds(30));
    ASSERT_TRUE(end && end->exited && end->code == 0) << child.Log();
    EXPECT_EQ(child.Log(), program.string() + "\n");
}

} // namespace
