#include "tolv/BiosInterface.h"

#include "FakeFirmware.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

using testsupport::FakeFirmware;

namespace {

constexpr std::uint32_t Watchdog = tolv::WatchdogItemId;

TEST(GroupInfoTraverser, WalksEveryEntryOfAGroupInOrder)
{
    FakeFirmware firmware;
    tolv::GroupInfoTraverser traverser(0x11);
    ASSERT_TRUE(traverser.IsOpen());
    std::vector<std::uint32_t> seen;
    for (; !traverser.IsDone(); traverser.Next())
        seen.push_back(*static_cast<const std::uint32_t*>(traverser.Current()));
    EXPECT_EQ(seen, (std::vector<std::uint32_t>{0x11010001, 0x11020003, Watchdog, 0x11070001}));
    EXPECT_EQ(firmware.Calls(10), 3);
    EXPECT_EQ(firmware.NextPastEndCalls(), 0);
    EXPECT_EQ(firmware.SizesGiven(5), std::vector<std::uint32_t>{4096});
}

TEST(GroupInfoTraverser, OneEntryGroupEndsWithoutAskingForTheNextEntry)
{
    FakeFirmware firmware;
    firmware.SetGroupItems(0x13, {0x13000001});
    tolv::GroupInfoTraverser traverser(0x13);
    ASSERT_FALSE(traverser.IsDone());
    traverser.Next();
    EXPECT_TRUE(traverser.IsDone());
    traverser.Next();  // past the end stays done and stays quiet
    EXPECT_TRUE(traverser.IsDone());
    EXPECT_EQ(firmware.Calls(10), 0);
}

TEST(GroupInfoTraverser, FailedListingIsOpenButEmpty)
{
    FakeFirmware firmware;
    tolv::GroupInfoTraverser traverser(0x42);
    EXPECT_TRUE(traverser.IsOpen());
    EXPECT_TRUE(traverser.IsDone());
    EXPECT_EQ(firmware.Calls(7), 0);
    EXPECT_EQ(firmware.Calls(6), 0);
}

TEST(GroupInfoTraverserDeathTest, OpeningTwiceStopsWithTheProgrammingCheck)
{
    EXPECT_DEATH(
        {
            FakeFirmware firmware;
            tolv::GroupInfoTraverser traverser(0x11);
            traverser.Open(0x11);
        },
        "Assertion failed: !IsOpen\\(\\), file src/tolv/BiosInterface, line [0-9]+");
}

TEST(ItemExists, FindsTheWatchdogItemAfterOtherEntries)
{
    FakeFirmware firmware;
    EXPECT_TRUE(tolv::ItemExists(Watchdog));
    // Descriptions are read entry by entry until the item is found, not beyond it.
    EXPECT_EQ(firmware.Calls(11), 3);
    EXPECT_EQ(firmware.SizesGiven(11), (std::vector<std::uint32_t>{4096, 4096, 4096}));
    EXPECT_EQ(firmware.Calls(5), 1);
}

TEST(ItemExists, MissingItemWalksTheWholeListButNotPastIt)
{
    FakeFirmware firmware;
    firmware.SetWatchdogItemPresent(false);
    EXPECT_FALSE(tolv::ItemExists(Watchdog));
    EXPECT_EQ(firmware.Calls(11), 3);
    EXPECT_EQ(firmware.Calls(10), 2);
    EXPECT_EQ(firmware.NextPastEndCalls(), 0);
}

TEST(ItemExists, EntriesWhoseDescriptionFailsAreSkipped)
{
    FakeFirmware firmware;
    firmware.SetDescriptionFails(0x11010001, true);
    EXPECT_TRUE(tolv::ItemExists(Watchdog));
    firmware.SetDescriptionFails(Watchdog, true);
    EXPECT_FALSE(tolv::ItemExists(Watchdog));
}

TEST(ItemExists, AllDescriptionsFailingAnswersFalse)
{
    FakeFirmware firmware;
    for (std::uint32_t item : {0x11010001u, 0x11020003u, Watchdog, 0x11070001u})
        firmware.SetDescriptionFails(item, true);
    EXPECT_FALSE(tolv::ItemExists(Watchdog));
    EXPECT_EQ(firmware.Calls(11), 4);
}

TEST(ItemExists, UnknownGroupAnswersFalseWithoutReadingDescriptions)
{
    FakeFirmware firmware;
    EXPECT_FALSE(tolv::ItemExists(0x42060007));
    EXPECT_EQ(firmware.Calls(5), 1);
    EXPECT_EQ(firmware.Calls(11), 0);
}

TEST(ItemExists, EmptyGroupAnswersFalseWithoutReadingDescriptions)
{
    FakeFirmware firmware;
    firmware.SetGroupItems(0x11, {});
    EXPECT_FALSE(tolv::ItemExists(Watchdog));
    EXPECT_EQ(firmware.Calls(11), 0);
}

TEST(ItemExists, ListsTheGroupAfreshOnEveryCall)
{
    FakeFirmware firmware;
    EXPECT_TRUE(tolv::ItemExists(Watchdog));
    firmware.SetWatchdogItemPresent(false);
    EXPECT_FALSE(tolv::ItemExists(Watchdog));
    firmware.SetWatchdogItemPresent(true);
    EXPECT_TRUE(tolv::ItemExists(Watchdog));
    EXPECT_EQ(firmware.Calls(5), 3);
}

TEST(WriteItem, PassesItemValueAndModeAndAnswersTheResult)
{
    FakeFirmware firmware;
    EXPECT_TRUE(tolv::WriteItem(Watchdog, 60, 2));
    firmware.SetWriteResult(false);
    EXPECT_FALSE(tolv::WriteItem(Watchdog, 0, 7));
    const auto writes = firmware.Writes();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].item, Watchdog);
    EXPECT_EQ(writes[0].value, 60u);
    EXPECT_EQ(writes[0].mode, 2u);
    EXPECT_EQ(writes[1].value, 0u);
    EXPECT_EQ(writes[1].mode, 7u);
}

TEST(AcpiThreadInit, CallsOrdinalOneEachTime)
{
    FakeFirmware firmware;
    tolv::AcpiThreadInit();
    std::thread([] { tolv::AcpiThreadInit(); }).join();
    EXPECT_EQ(firmware.ThreadInitCalls(), 2);
}

TEST(AcpiFunctions, IncompleteTableCountsAsNoLibrary)
{
    // Every call must see "no firmware" and none may jump through a missing entry.
    tolv::AcpiFunctions partial{};
    tolv::SetAcpiFunctionsForTesting(&partial);
    EXPECT_EQ(tolv::GetAcpiFunctions(), nullptr);
    EXPECT_FALSE(tolv::ItemExists(Watchdog));
    EXPECT_FALSE(tolv::WriteItem(Watchdog, 60, 2));
    tolv::AcpiThreadInit();
    tolv::GroupInfoTraverser traverser(0x11);
    EXPECT_TRUE(traverser.IsDone());
    EXPECT_EQ(traverser.Current(), nullptr);
    tolv::SetAcpiFunctionsForTesting(nullptr);
}

TEST(LoadAcpiLibrary, MissingLibraryGivesNoTable)
{
    const std::string path = (testsupport::Root() / "libtlacpi.so").string();
    EXPECT_EQ(tolv::LoadAcpiLibrary(path.c_str()), nullptr);
}

TEST(LoadAcpiLibrary, LibraryWithoutTheOrdinalsGivesNoTable)
{
    EXPECT_EQ(tolv::LoadAcpiLibrary("libm.so.6"), nullptr);
}

TEST(LoadAcpiLibrary, DamagedLibraryFileGivesNoTable)
{
    const auto path = testsupport::Root() / "libtlacpi.so";
    testsupport::WriteFile(path, "not a shared object");
    EXPECT_EQ(tolv::LoadAcpiLibrary(path.string().c_str()), nullptr);
}

TEST(LoadAcpiLibrary, ProgramFolderLibraryHasEveryOrdinal)
{
    const std::string path = (testsupport::BinFolder() / "libtlacpi.so").string();
    const tolv::AcpiFunctions* table = tolv::LoadAcpiLibrary(path.c_str());
    ASSERT_NE(table, nullptr);
    EXPECT_NE(table->Ordinal1, nullptr);
    EXPECT_NE(table->Ordinal11, nullptr);
}

TEST(GetAcpiFunctions, InstalledTableWinsAndRemovingItReturnsToTheLibrary)
{
    setenv("TLACPI_FIRMWARE", ("sim:" + (testsupport::Root() / "sim").string()).c_str(), 1);
    {
        FakeFirmware firmware;
        firmware.SetWatchdogItemPresent(false);
        EXPECT_FALSE(tolv::ItemExists(Watchdog));
    }
    // Back on the library from the program folder, here with the simulated firmware.
    EXPECT_TRUE(tolv::ItemExists(Watchdog));
    unsetenv("TLACPI_FIRMWARE");
}

} // namespace
