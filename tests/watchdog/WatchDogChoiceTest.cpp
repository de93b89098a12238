#include "PrivateBus.h"
#include "TestSupport.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "system/WinRegistry.h"
#include "watchdog/WatchDogControl.h"
#include "watchdog/WatchDogForwarding.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>

namespace {

constexpr const char* SettingsKey = "Software\\TOLV\\TOLV Watchdog Timer";

void WriteModelType(std::uint32_t value)
{
    RegistryKey key;
    ASSERT_TRUE(key.Open(platform::HKEY_LOCAL_MACHINE, SettingsKey, KeyAccess::CreateIfMissing));
    ASSERT_TRUE(key.WriteDword("Model Type WMI", value));
    key.Close();
}

// Each case makes the choice afresh on a session bus of its own, and frees what it chose.
class BackendChoice : public testing::Test {
protected:
    BackendChoice() { m_Previous = ExchangeWatchDogControlForTesting(nullptr); }
    ~BackendChoice() override
    {
        delete ExchangeWatchDogControlForTesting(m_Previous);
    }

    void MakeAutomationServerAvailable()
    {
        // Activatable is enough to count as available; nothing is started by the probe.
        m_Bus.AddActivatableService(kAutomationProgId, "/bin/false");
    }

    testsupport::PrivateBus m_Bus;
    CWatchDogControl* m_Previous = nullptr;
};

TEST_F(BackendChoice, WithNothingInstalledTheDirectBackendIsChosen)
{
    ASSERT_TRUE(m_Bus.Started()) << m_Bus.Error();
    EXPECT_NE(dynamic_cast<WatchDogControl*>(GetWatchDogControl()), nullptr);
}

TEST_F(BackendChoice, TheAutomationServerIsChosenWhenItCanBeCreated)
{
    ASSERT_TRUE(m_Bus.Started()) << m_Bus.Error();
    MakeAutomationServerAvailable();
    EXPECT_NE(dynamic_cast<WatchDogDllCom*>(GetWatchDogControl()), nullptr);
}

TEST_F(BackendChoice, ModelType5ChoosesTheServiceWindowEvenWithTheAutomationServer)
{
    ASSERT_TRUE(m_Bus.Started()) << m_Bus.Error();
    MakeAutomationServerAvailable();
    WriteModelType(5);
    EXPECT_NE(dynamic_cast<WatchDogWMI*>(GetWatchDogControl()), nullptr);
}

TEST_F(BackendChoice, AnotherModelTypeFallsThroughToTheAutomationProbe)
{
    ASSERT_TRUE(m_Bus.Started()) << m_Bus.Error();
    WriteModelType(4);
    EXPECT_NE(dynamic_cast<WatchDogControl*>(GetWatchDogControl()), nullptr);
}

TEST_F(BackendChoice, TheChoiceIsMadeOnceAndHeld)
{
    ASSERT_TRUE(m_Bus.Started()) << m_Bus.Error();
    CWatchDogControl* first = GetWatchDogControl();
    ASSERT_NE(dynamic_cast<WatchDogControl*>(first), nullptr);
    // What would change the choice takes effect only at the next start of the program.
    WriteModelType(5);
    EXPECT_EQ(GetWatchDogControl(), first);
}

TEST(ModelTypeWmi, ReadsOnlyADwordOf5)
{
    EXPECT_FALSE(IsModelTypeWMI());
    WriteModelType(5);
    EXPECT_TRUE(IsModelTypeWMI());
    WriteModelType(6);
    EXPECT_FALSE(IsModelTypeWMI());
    WriteModelType(0x105);
    EXPECT_FALSE(IsModelTypeWMI());
}

TEST(ModelTypeWmi, AStringValueIsNotTheModelType)
{
    RegistryKey key;
    ASSERT_TRUE(key.Open(platform::HKEY_LOCAL_MACHINE, SettingsKey, KeyAccess::CreateIfMissing));
    key.Close();
    platform::HKEY handle{};
    ASSERT_EQ(platform::RegOpenKeyExA(platform::HKEY_LOCAL_MACHINE, SettingsKey, 0,
                                      platform::KEY_ALL_ACCESS, &handle),
              platform::ERROR_SUCCESS);
    const char text[] = "5";
    ASSERT_EQ(platform::RegSetValueExA(handle, "Model Type WMI", 0, platform::REG_SZ,
                                       reinterpret_cast<const platform::BYTE*>(text), sizeof text),
              platform::ERROR_SUCCESS);
    platform::RegCloseKey(handle);
    EXPECT_FALSE(IsModelTypeWMI());
}

TEST(ModelTypeWmi, CreatesTheSettingsKeyWhenMissing)
{
    const auto file = platform::RegistryFolder() / "HKEY_LOCAL_MACHINE" / "Software" / "TOLV"
        / "TOLV Watchdog Timer.reg";
    ASSERT_FALSE(std::filesystem::exists(file));
    EXPECT_FALSE(IsModelTypeWMI());
    EXPECT_TRUE(std::filesystem::exists(file));
}

} // namespace
