// The firmware library from the program folder with the simulated firmware, through the
// program's own firmware item access.

#include "SimState.h"
#include "tolv/BiosInterface.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

namespace {

constexpr std::uint32_t Watchdog = tolv::WatchdogItemId;

class SimLibraryTest : public testing::Test {
protected:
    void SetUp() override { Use("sim:" + folder.string()); }
    void TearDown() override { unsetenv("TLACPI_FIRMWARE"); }

    static void Use(const std::string& choice) { setenv("TLACPI_FIRMWARE", choice.c_str(), 1); }

    std::optional<tlacpi::SimState> State() const
    {
        return tlacpi::ReadSimState(folder / "watchdog.state");
    }

    const std::filesystem::path folder = testsupport::Root() / "sim";
};

TEST_F(SimLibraryTest, ListsItsItemsByGroup)
{
    EXPECT_TRUE(tolv::ItemExists(Watchdog));
    EXPECT_TRUE(tolv::ItemExists(0x11010001));
    EXPECT_TRUE(tolv::ItemExists(0x12000002));
    EXPECT_FALSE(tolv::ItemExists(0x11060008));
    EXPECT_FALSE(tolv::ItemExists(0x13000001));
}

TEST_F(SimLibraryTest, WatchdogWritesAreRecordedInTheStateFile)
{
    const std::int64_t before = tlacpi::MonotonicMs();
    ASSERT_TRUE(tolv::WriteItem(Watchdog, 60, tolv::WatchdogWriteMode));
    auto state = State();
    ASSERT_TRUE(state);
    EXPECT_TRUE(state->armed);
    EXPECT_EQ(state->timeout, 60u);
    EXPECT_EQ(state->writes, 1u);
    EXPECT_GE(state->writtenMs, before);
    EXPECT_LE(state->writtenMs, tlacpi::MonotonicMs());

    ASSERT_TRUE(tolv::WriteItem(Watchdog, 0, tolv::WatchdogWriteMode));
    state = State();
    ASSERT_TRUE(state);
    EXPECT_FALSE(state->armed);
    EXPECT_EQ(state->timeout, 0u);
    EXPECT_EQ(state->writes, 2u);
    const auto text = testsupport::ReadFile(folder / "watchdog.state");
    EXPECT_EQ(text.rfind("armed=0\ntimeout=0\nwritten_ms=", 0), 0u) << text;
}

TEST_F(SimLibraryTest, WriteCounterContinuesFromAnEarlierRun)
{
    testsupport::WriteFile(folder / "watchdog.state",
                           "armed=0\ntimeout=0\nwritten_ms=1\nwrites=41\n");
    ASSERT_TRUE(tolv::WriteItem(Watchdog, 30, 2));
    EXPECT_EQ(State()->writes, 42u);
}

TEST_F(SimLibraryTest, OtherModesAndUnknownItemsAreRefused)
{
    EXPECT_FALSE(tolv::WriteItem(Watchdog, 60, 1));
    EXPECT_FALSE(tolv::WriteItem(0x11060008, 60, 2));
    EXPECT_FALSE(std::filesystem::exists(folder / "watchdog.state"));
    EXPECT_TRUE(tolv::WriteItem(0x12000001, 5, 2));
}

TEST_F(SimLibraryTest, UnwritableFolderMakesTheWriteFail)
{
    testsupport::WriteFile(testsupport::Root() / "file", "x");
    Use("sim:" + (testsupport::Root() / "file").string());
    EXPECT_FALSE(tolv::WriteItem(Watchdog, 60, 2));
}

TEST_F(SimLibraryTest, UnknownFirmwareChoiceHasNoItems)
{
    Use("bogus:/dev/null");
    EXPECT_FALSE(tolv::ItemExists(Watchdog));
    EXPECT_FALSE(tolv::WriteItem(Watchdog, 60, 2));
}

TEST_F(SimLibraryTest, MissingOrFakeWatchdogDeviceHasNoWatchdogItem)
{
    Use("device:" + (testsupport::Root() / "no-such-watchdog").string());
    EXPECT_FALSE(tolv::ItemExists(Watchdog));
    EXPECT_FALSE(tolv::WriteItem(Watchdog, 60, 2));
    // A plain file is no watchdog, and nothing may be written into it.
    const auto file = testsupport::Root() / "plain-file";
    testsupport::WriteFile(file, "");
    Use("device:" + file.string());
    EXPECT_FALSE(tolv::ItemExists(Watchdog));
    EXPECT_FALSE(tolv::WriteItem(Watchdog, 60, 2));
    EXPECT_EQ(testsupport::ReadFile(file), "");
}

TEST_F(SimLibraryTest, WritesFromTwoThreadsAreAllCounted)
{
    // The program lists and writes from its user-interface thread and its kick thread at once.
    auto writer = [] {
        for (int i = 0; i < 100; ++i) {
            EXPECT_TRUE(tolv::ItemExists(Watchdog));
            EXPECT_TRUE(tolv::WriteItem(Watchdog, 60, 2));
        }
    };
    std::thread other(writer);
    writer();
    other.join();
    const auto state = State();
    ASSERT_TRUE(state);
    EXPECT_EQ(state->writes, 200u);
}

} // namespace
