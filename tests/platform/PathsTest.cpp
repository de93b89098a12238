#include "platform/Paths.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

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

TEST(Paths, ProgramFolderHoldsTheRunningProgram)
{
    EXPECT_EQ(platform::ProgramFile().parent_path(), platform::ProgramFolder());
    EXPECT_TRUE(std::filesystem::exists(platform::ProgramFile()));
}

} // namespace
