#include "platform/Paths.h"
#include "platform/Registry.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

using namespace platform;
namespace fs = std::filesystem;

// A symbolic link anywhere in a key path is damage: never followed on a read or a write, never
// replaced, and nothing is made where it points.
namespace {

// The timer's key, its folder and its file below the store's root key.
constexpr const char* kTimerKey = "Software\\TOLV\\TOLV Watchdog Timer";
const fs::path kFolderBelowRoot = "Software/TOLV";
const fs::path kFileBelowRoot = kFolderBelowRoot / "TOLV Watchdog Timer.reg";

fs::path InStore(const fs::path& belowRoot)
{
    return RegistryFolder() / "HKEY_LOCAL_MACHINE" / belowRoot;
}

fs::path Outside()
{
    return testsupport::Root() / "outside";
}

class RegistryLinks : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kTimerKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, &m_Key, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override { EXPECT_EQ(RegCloseKey(m_Key), ERROR_SUCCESS); }

    LONG Set(DWORD value)
    {
        return RegSetValueExA(m_Key, "A", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    }
    LONG Query() { return RegQueryValueExA(m_Key, "A", nullptr, nullptr, nullptr, nullptr); }

    HKEY m_Key = nullptr;
};

TEST_F(RegistryLinks, ALinkInPlaceOfTheKeyFileIsNeitherFollowedNorReplaced)
{
    const std::string foreign = "\"A\"=dword:00000001\n";
    testsupport::WriteFile(Outside(), foreign);
    fs::remove(InStore(kFileBelowRoot));
    fs::create_symlink(Outside(), InStore(kFileBelowRoot));
    EXPECT_EQ(Query(), ERROR_BADDB);
    EXPECT_EQ(Set(2), ERROR_BADDB);
    EXPECT_TRUE(fs::is_symlink(InStore(kFileBelowRoot)));
    EXPECT_EQ(fs::read_symlink(InStore(kFileBelowRoot)), Outside());
    EXPECT_EQ(testsupport::ReadFile(Outside()), foreign);
}

TEST_F(RegistryLinks, ALinkedKeyFolderIsNeverEntered)
{
    // The key's folder moved out of the store, a link to it left in its place.
    fs::rename(InStore(kFolderBelowRoot), Outside());
    fs::create_symlink(Outside(), InStore(kFolderBelowRoot));
    const std::string before = testsupport::ReadFile(Outside() / "TOLV Watchdog Timer.reg");
    EXPECT_EQ(Query(), ERROR_BADDB);
    EXPECT_EQ(Set(2), ERROR_BADDB);
    HKEY other = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTimerKey, 0, KEY_ALL_ACCESS, &other), ERROR_BADDB);
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\TOLV\\TOLV Watchdog Timer\\Sub", 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &other, nullptr),
              ERROR_BADDB);
    EXPECT_EQ(testsupport::ReadFile(Outside() / "TOLV Watchdog Timer.reg"), before);
    EXPECT_FALSE(fs::exists(Outside() / "TOLV Watchdog Timer"));
    EXPECT_TRUE(fs::is_symlink(InStore(kFolderBelowRoot)));
}

// A dangling link once made "create if missing" answer "not found" for ever; it is damage.
TEST_F(RegistryLinks, ADanglingLinkAtAKeyFileIsDamageNotAMissingKey)
{
    const fs::path file = InStore(kFolderBelowRoot) / "Other.reg";
    fs::create_symlink(Outside(), file);
    HKEY other = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\TOLV\\Other", 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &other, nullptr),
              ERROR_BADDB);
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_FALSE(fs::exists(Outside()));
}

} // namespace
