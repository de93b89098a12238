#include "system/WinRegistry.h"

#include "platform/FileIo.h"
#include "platform/Paths.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <string>
#include <sys/file.h>

using namespace platform;

namespace {

const std::string kSettingsKey = "Software\\TOLV\\TOLV Watchdog Timer";

std::filesystem::path SettingsFile()
{
    return RegistryFolder() / "HKEY_LOCAL_MACHINE/Software/TOLV/TOLV Watchdog Timer.reg";
}

void StoreRaw(const char* name, DWORD type, const std::string& bytes)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST(RegistryKey, WrittenDwordsReadBackThroughANewKey)
{
    {
        RegistryKey key;
        ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, kSettingsKey, KeyAccess::CreateIfMissing));
        EXPECT_TRUE(key.WriteDword("LAST_STATE", 15));
        EXPECT_TRUE(key.WriteDword("REBOOT_TIME", 0x80000001));
        key.Flush();
        key.Close();
        EXPECT_FALSE(key.IsOpen());
    }
    EXPECT_NE(testsupport::ReadFile(SettingsFile()).find("\"LAST_STATE\"=dword:0000000f"), std::string::npos);

    RegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, kSettingsKey, KeyAccess::OpenExisting));
    std::uint32_t value = 0;
    EXPECT_TRUE(key.ReadDword("LAST_STATE", value));
    EXPECT_EQ(value, 15u);
    EXPECT_TRUE(key.ReadDword("REBOOT_TIME", value));
    EXPECT_EQ(value, 0x80000001u);
}

TEST(RegistryKey, OpenWithoutCreateOnAMissingKeyFailsAndStaysClosed)
{
    RegistryKey key;
    EXPECT_FALSE(key.Open(HKEY_LOCAL_MACHINE, kSettingsKey, KeyAccess::OpenExisting));
    EXPECT_FALSE(key.IsOpen());
    EXPECT_FALSE(std::filesystem::exists(SettingsFile()));
    // Close and Flush after a failed Open do nothing; a later Open is allowed.
    key.Flush();
    key.Close();
    key.Close();
    EXPECT_TRUE(key.Open(HKEY_LOCAL_MACHINE, kSettingsKey, KeyAccess::CreateIfMissing));
    EXPECT_TRUE(key.IsOpen());
    EXPECT_TRUE(std::filesystem::exists(SettingsFile()));
}

TEST(RegistryKey, ReadingAMissingValueLeavesTheTargetUnchanged)
{
    RegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, kSettingsKey, KeyAccess::CreateIfMissing));
    std::uint32_t value = 1234;
    EXPECT_FALSE(key.ReadDword("RESET_TIME", value));
    EXPECT_EQ(value, 1234u);
}

TEST(RegistryKey, ValuesOfAnotherTypeOrSizeAnswerFalseAndLeaveTheTargetUnchanged)
{
    StoreRaw("Text4", REG_SZ, std::string("abc", 4));
    StoreRaw("Text2", REG_SZ, std::string("a", 2));
    StoreRaw("Bin4", REG_BINARY, "\x01\x02\x03\x04");
    StoreRaw("Long", REG_DWORD, "12345678");
    StoreRaw("Short", REG_DWORD, "\x05\x06");

    RegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, kSettingsKey, KeyAccess::OpenExisting));
    for (const char* name : {"Text4", "Text2", "Bin4", "Long", "Short"}) {
        std::uint32_t value = 0xA5A5A5A5;
        EXPECT_FALSE(key.ReadDword(name, value)) << name;
        EXPECT_EQ(value, 0xA5A5A5A5u) << name;
    }
}

TEST(RegistryKey, DamagedSettingsReadAsMissingAndAWriteRepairsOnlyTheValueWritten)
{
    StoreRaw("RESET_TIME", REG_DWORD, std::string("\x3c\0\0\0", 4));
    std::string file = testsupport::ReadFile(SettingsFile());
    testsupport::WriteFile(SettingsFile(), file + "\"LAST_STATE\"=dword:garbage\n");

    RegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, kSettingsKey, KeyAccess::CreateIfMissing));
    std::uint32_t value = 99;
    EXPECT_FALSE(key.ReadDword("LAST_STATE", value));
    EXPECT_EQ(value, 99u);
    EXPECT_TRUE(key.WriteDword("LAST_STATE", 0));
    EXPECT_TRUE(key.ReadDword("LAST_STATE", value));
    EXPECT_EQ(value, 0u);
    EXPECT_TRUE(key.ReadDword("RESET_TIME", value));
    EXPECT_EQ(value, 60u);
    EXPECT_NE(testsupport::ReadFile(SettingsFile()).find("\"LAST_STATE\"=dword:garbage\n"), std::string::npos);
}

TEST(RegistryKey, OpeningTwiceIsAProgrammingError)
{
    RegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, kSettingsKey, KeyAccess::CreateIfMissing));
    EXPECT_DEATH(key.Open(HKEY_LOCAL_MACHINE, kSettingsKey, KeyAccess::CreateIfMissing),
                 "^Assertion failed: !IsOpen\\(\\), file src/system/WinRegistry, line [0-9]+\n");
}

TEST(RegistryKey, AnInvalidPathFailsLikeAMissingKey)
{
    RegistryKey key;
    EXPECT_FALSE(key.Open(HKEY_LOCAL_MACHINE, "Software\\..\\..\\..\\etc", KeyAccess::CreateIfMissing));
    EXPECT_FALSE(key.IsOpen());
    EXPECT_FALSE(std::filesystem::exists(RegistryFolder()));
}

// Whoever may open a key's lock file can hold it for ever, or hang while holding it. A write
// waits a bounded time and then answers that the file is in use, instead of freezing its caller
// (in the program, the user-interface thread). The write runs on a thread of its own and the
// lock is let go after a generous bound, so that a regression fails instead of hanging.
TEST(RegistryKey, AWriteWhileAnotherProgramHoldsTheLockFailsAsInUse)
{
    StoreRaw("LAST_STATE", REG_DWORD, std::string("\x01\0\0\0", 4));
    // flock belongs to the open file, so this descriptor stands for another program.
    const std::string lockFile = SettingsFile().string() + ".lock";
    UniqueFd holder(::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(holder.IsValid());
    ASSERT_EQ(::flock(holder.Get(), LOCK_EX), 0);
    SetKeyLockWaitForTesting(std::chrono::milliseconds(50));
    RegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, kSettingsKey, KeyAccess::OpenExisting));
    std::future<bool> written = std::async(std::launch::async, [&] { return key.WriteDword("LAST_STATE", 2); });
    const bool returned = written.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    ASSERT_EQ(::flock(holder.Get(), LOCK_UN), 0);
    const bool ok = written.get();
    SetKeyLockWaitForTesting(std::chrono::milliseconds::zero());
    ASSERT_TRUE(returned) << "the write waited for the lock without limit";
    EXPECT_FALSE(ok);
    EXPECT_EQ(key.LastResult(), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(DescribeRegistryResult(key.LastResult()), "the file is in use by another program");
    std::uint32_t value = 0;
    EXPECT_TRUE(key.ReadDword("LAST_STATE", value));
    EXPECT_EQ(value, 1u);
    EXPECT_TRUE(key.WriteDword("LAST_STATE", 3)) << "once the lock is free";
}

} // namespace
