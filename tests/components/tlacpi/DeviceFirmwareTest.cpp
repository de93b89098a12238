#include "DeviceFirmware.h"
#include "FakeWatchdogDevice.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <linux/watchdog.h>

namespace {

using namespace tlacpitest;

using tlacpi::DeviceFirmware;
using tlacpi::WatchdogItem;

constexpr std::uint32_t SetMode = tlacpi::SetValueMode;

class DeviceFirmwareTest : public testing::Test {
protected:
    DeviceFirmware& Firmware()
    {
        if (!m_Firmware)
            m_Firmware = std::make_unique<DeviceFirmware>(
                "/dev/watchdog", std::make_unique<FakeDevice>(log, script),
                [this](const std::string& line) { messages.push_back(line); });
        return *m_Firmware;
    }

    bool Write(std::uint32_t seconds) { return Firmware().Write(WatchdogItem, seconds, SetMode); }

    int MessagesContaining(const std::string& text) const
    {
        int count = 0;
        for (const auto& message : messages)
            count += message.find(text) != std::string::npos;
        return count;
    }

    DeviceLog log;
    DeviceScript script;
    std::vector<std::string> messages;

private:
    std::unique_ptr<DeviceFirmware> m_Firmware;
};

TEST_F(DeviceFirmwareTest, ListingOpensTheDeviceOnceAndNamesTheWatchdogItem)
{
    EXPECT_EQ(Firmware().ListGroup(0x11), std::vector<std::uint32_t>{WatchdogItem});
    EXPECT_EQ(Firmware().ListGroup(0x11), std::vector<std::uint32_t>{WatchdogItem});
    EXPECT_EQ(log.opens, 1);
    EXPECT_FALSE(Firmware().ListGroup(0x12).has_value());
}

TEST_F(DeviceFirmwareTest, TimeoutIsSetOnlyWhenItChangesAndEveryWriteKicks)
{
    EXPECT_TRUE(Write(60));
    EXPECT_TRUE(Write(60));
    EXPECT_TRUE(Write(30));
    EXPECT_TRUE(Write(30));
    EXPECT_EQ(log.timeoutsSet, (std::vector<int>{60, 30}));
    EXPECT_EQ(log.keepalives, 4);
    EXPECT_EQ(log.opens, 1);
    EXPECT_TRUE(messages.empty());
}

TEST_F(DeviceFirmwareTest, RefusedTimeoutFailsAndDoesNotLeaveAFreshOpenRunning)
{
    script.refuseTimeoutAbove = 32;
    EXPECT_FALSE(Write(60));
    // The open started the countdown; with nothing of ours armed it is switched off again.
    EXPECT_EQ(log.written, "V");
    EXPECT_EQ(log.closes, 1);
    EXPECT_FALSE(Firmware().IsOpen());
    EXPECT_EQ(MessagesContaining("refused a countdown of 60 s"), 1);
}

TEST_F(DeviceFirmwareTest, RefusedTimeoutKeepsTheArmedCountdownKicked)
{
    script.refuseTimeoutAbove = 32;
    EXPECT_TRUE(Write(30));
    EXPECT_FALSE(Write(60));
    EXPECT_TRUE(Firmware().IsOpen());
    EXPECT_EQ(log.keepalives, 2);
    EXPECT_EQ(log.written, "");
    // The countdown in effect is still 30: writing it again needs no new setting.
    EXPECT_EQ(Firmware().Status()->timeout, 30);
    EXPECT_TRUE(Write(30));
    EXPECT_EQ(log.timeoutsSet, (std::vector<int>{30, 60}));
}

TEST_F(DeviceFirmwareTest, RoundedTimeoutSucceedsAndLogsTheValueInEffect)
{
    script.roundTimeoutTo = 60;
    EXPECT_TRUE(Write(45));
    EXPECT_EQ(MessagesContaining("runs a countdown of 60 s instead of the 45 s"), 1);
    EXPECT_EQ(Firmware().Status()->timeout, 60);  // what the driver holds, not what was asked
    EXPECT_TRUE(Write(45));
    EXPECT_EQ(log.timeoutsSet, std::vector<int>{45});
    EXPECT_EQ(messages.size(), 1u);
}

TEST_F(DeviceFirmwareTest, ZeroClosesWithTheMagicCharacterRetryingInterruptions)
{
    EXPECT_TRUE(Write(60));
    script.writeResults = {-EINTR, -EINTR};
    EXPECT_TRUE(Write(0));
    EXPECT_EQ(log.written, "V");
    EXPECT_EQ(log.closes, 1);
    EXPECT_FALSE(Firmware().IsOpen());
    // Arming again opens the device afresh and sets the countdown again.
    EXPECT_TRUE(Write(60));
    EXPECT_EQ(log.opens, 2);
    EXPECT_EQ(log.timeoutsSet, (std::vector<int>{60, 60}));
}

TEST_F(DeviceFirmwareTest, WithoutMagicCloseZeroFailsAndTheDeviceStaysKicked)
{
    script.options = WDIOF_SETTIMEOUT | WDIOF_KEEPALIVEPING;
    EXPECT_TRUE(Write(60));
    EXPECT_FALSE(Write(0));
    EXPECT_FALSE(Write(0));
    EXPECT_TRUE(Firmware().IsOpen());
    EXPECT_EQ(log.closes, 0);
    EXPECT_EQ(log.written, "");
    EXPECT_EQ(log.keepalives, 3);
    EXPECT_EQ(MessagesContaining("cannot be switched off"), 1);
}

TEST_F(DeviceFirmwareTest, NowayoutDriverIsNeverReportedAsSwitchedOff)
{
    script.noWayOut = 1;
    EXPECT_TRUE(Write(60));
    EXPECT_FALSE(Write(0));
    EXPECT_TRUE(Firmware().IsOpen());
    EXPECT_EQ(log.written, "");
    EXPECT_EQ(log.keepalives, 2);
    EXPECT_EQ(MessagesContaining("nowayout"), 1);
    script.noWayOut = 0;
    EXPECT_TRUE(Write(0));
    EXPECT_EQ(log.written, "V");
}

TEST_F(DeviceFirmwareTest, FailedMagicWriteKeepsTheDeviceOpen)
{
    EXPECT_TRUE(Write(60));
    script.writeResults = {-EIO};
    EXPECT_FALSE(Write(0));
    EXPECT_EQ(log.closes, 0);
    EXPECT_TRUE(Firmware().IsOpen());
    EXPECT_EQ(log.keepalives, 2);
    EXPECT_EQ(MessagesContaining("did not take the magic close"), 1);
}

TEST_F(DeviceFirmwareTest, ZeroWithNothingOpenSucceedsWithoutOpening)
{
    script.state = 0;
    EXPECT_TRUE(Write(0));
    EXPECT_EQ(log.opens, 0);
}

TEST_F(DeviceFirmwareTest, BusyDeviceMakesTheItemAbsentAndIsLoggedOnce)
{
    script.openResult = -EBUSY;
    EXPECT_EQ(Firmware().ListGroup(0x11), std::vector<std::uint32_t>{});
    EXPECT_FALSE(Write(60));
    EXPECT_EQ(Firmware().ListGroup(0x11), std::vector<std::uint32_t>{});
    EXPECT_EQ(log.opens, 3);
    EXPECT_EQ(MessagesContaining("held by another program"), 1);
    EXPECT_EQ(messages.size(), 1u);
}

TEST_F(DeviceFirmwareTest, OtherItemsAndModesAreRefusedWithoutTouchingTheDevice)
{
    EXPECT_FALSE(Firmware().Write(0x11060008, 60, SetMode));
    EXPECT_FALSE(Firmware().Write(WatchdogItem, 60, 1));
    EXPECT_EQ(log.opens, 0);
}

TEST_F(DeviceFirmwareTest, KickFallsBackToAWriteWhenKeepaliveIsMissing)
{
    script.keepaliveResult = -EOPNOTSUPP;
    EXPECT_TRUE(Write(60));
    EXPECT_EQ(log.written, "k");
}

// What a device that nobody of ours holds looks like to a listing and to a write of 0, by what
// it tells of itself. Opening starts a stopped device, so only a running one may be opened to
// be switched off, and a stopped one must never be.
struct UnheldRow {
    const char* name;
    int state;
    int openResult;
    bool listed;          // the listing names the watchdog item
    int listingOpens;
    bool zeroAnswer;      // a write of 0 with nothing open
    int zeroOpens;
    const char* zeroWritten;
    const char* message;  // logged by the write of 0 (empty: nothing)
};

void PrintTo(const UnheldRow& row, std::ostream* out)
{
    *out << row.name;
}

class UnheldDevice : public DeviceFirmwareTest, public testing::WithParamInterface<UnheldRow> {
protected:
    void SetUp() override
    {
        script.state = GetParam().state;
        script.openResult = GetParam().openResult;
    }
};

TEST_P(UnheldDevice, IsOpenedToBeListedOnlyWhenItRunsOrIsMissing)
{
    const UnheldRow& row = GetParam();
    const auto items = Firmware().ListGroup(0x11);
    ASSERT_TRUE(items.has_value());
    EXPECT_EQ(!items->empty(), row.listed);
    EXPECT_EQ(log.opens, row.listingOpens);
    EXPECT_EQ(log.startedByOpen, 0);
}

TEST_P(UnheldDevice, ZeroSwitchesOffOnlyWhatRuns)
{
    const UnheldRow& row = GetParam();
    EXPECT_EQ(Write(0), row.zeroAnswer);
    EXPECT_EQ(log.opens, row.zeroOpens);
    EXPECT_EQ(log.written, row.zeroWritten);
    EXPECT_EQ(log.startedByOpen, 0);
    EXPECT_FALSE(log.open);
    if (*row.message) {
        EXPECT_EQ(MessagesContaining(row.message), 1) << testing::PrintToString(messages);
        EXPECT_TRUE(Write(0) == row.zeroAnswer);
        EXPECT_EQ(MessagesContaining(row.message), 1) << "told once";
    } else {
        EXPECT_TRUE(messages.empty()) << testing::PrintToString(messages);
    }
}

INSTANTIATE_TEST_SUITE_P(
    States, UnheldDevice,
    testing::Values(
        // A countdown left running by a program killed while armed: nobody kicks it.
        UnheldRow{"Running", 1, 3, true, 1, true, 1, "V", ""},
        UnheldRow{"Stopped", 0, 3, true, 0, true, 0, "", ""},
        UnheldRow{"StateUnknown", -EOPNOTSUPP, 3, true, 0, true, 0, "",
                  "does not tell whether it runs"},
        UnheldRow{"Missing", -ENOENT, -ENOENT, false, 1, true, 0, "", ""},
        UnheldRow{"RunningForAnotherHolder", 1, -EBUSY, false, 1, false, 1, "",
                  "held by another program"}),
    [](const testing::TestParamInfo<UnheldRow>& info) { return std::string(info.param.name); });

TEST_F(DeviceFirmwareTest, AStoppedDeviceIsOpenedByTheFirstCountdownAndStaysStoppedAfterIt)
{
    script.state = 0;
    EXPECT_EQ(Firmware().ListGroup(0x11), std::vector<std::uint32_t>{WatchdogItem});
    EXPECT_TRUE(Write(30));
    EXPECT_EQ(log.opens, 1);
    EXPECT_EQ(log.timeoutsSet, std::vector<int>{30});
    EXPECT_TRUE(Write(0));
    EXPECT_EQ(log.written, "V");
    // Stopped again: a second 0 and a listing leave it closed.
    EXPECT_TRUE(Write(0));
    EXPECT_EQ(Firmware().ListGroup(0x11), std::vector<std::uint32_t>{WatchdogItem});
    EXPECT_EQ(log.opens, 1);
    EXPECT_EQ(log.written, "V");
}

TEST_F(DeviceFirmwareTest, ALeftoverCountdownThatCannotBeStoppedFailsTheZeroAndStaysKicked)
{
    script.noWayOut = 1;
    EXPECT_FALSE(Write(0));
    EXPECT_TRUE(Firmware().IsOpen());
    EXPECT_EQ(log.written, "");
    EXPECT_EQ(log.keepalives, 1);
    EXPECT_NE(Firmware().LastError().find("nowayout"), std::string::npos);
}

// Where nowayout cannot be read, the driver is asked to stop the card first: one with nowayout
// set refuses, and closing it would leave its countdown running with nobody to kick it.
struct NowayoutUnknownRow {
    const char* name;
    int setOptionsResult;
    bool switchedOff;
    const char* written;
};

class NowayoutUnknown : public DeviceFirmwareTest,
                        public testing::WithParamInterface<NowayoutUnknownRow> {};

TEST_P(NowayoutUnknown, TheCardIsStoppedBeforeTheMagicCloseOrTheDeviceStaysArmed)
{
    const NowayoutUnknownRow& row = GetParam();
    script.noWayOut = -EACCES;
    script.setOptionsResult = row.setOptionsResult;
    EXPECT_TRUE(Write(60));
    EXPECT_EQ(Write(0), row.switchedOff);
    EXPECT_EQ(log.optionsSet, std::vector<int>{WDIOS_DISABLECARD});
    EXPECT_EQ(log.written, row.written);
    EXPECT_EQ(Firmware().IsOpen(), !row.switchedOff);
    EXPECT_EQ(log.keepalives, row.switchedOff ? 1 : 2);
    EXPECT_EQ(MessagesContaining("cannot be switched off"), row.switchedOff ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    Table, NowayoutUnknown,
    testing::Values(NowayoutUnknownRow{"StopTaken", 0, true, "V"},
                    NowayoutUnknownRow{"StopRefused", -EPERM, false, ""},
                    NowayoutUnknownRow{"StopUnsupported", -ENOTTY, false, ""}),
    [](const testing::TestParamInfo<NowayoutUnknownRow>& info) { return std::string(info.param.name); });

TEST_F(DeviceFirmwareTest, AFailedKickNamesTheFailedWriteNotTheMissingKeepalive)
{
    script.keepaliveResult = -ENOTTY;
    script.writeResults = {-EIO};
    EXPECT_FALSE(Write(60));
    EXPECT_EQ(MessagesContaining(std::string("cannot be kicked: ") + std::strerror(EIO)), 1)
        << testing::PrintToString(messages);
    EXPECT_EQ(MessagesContaining(std::strerror(ENOTTY)), 0);
}

TEST_F(DeviceFirmwareTest, RestartByTheWatchdogIsTold)
{
    script.bootStatus = WDIOF_CARDRESET;
    EXPECT_FALSE(Firmware().Status().has_value());  // nothing held, nothing told
    EXPECT_TRUE(Write(60));
    EXPECT_TRUE(Write(60));
    EXPECT_EQ(MessagesContaining("came from the watchdog"), 1);
    EXPECT_EQ(Firmware().Status()->bootStatus, WDIOF_CARDRESET);
    EXPECT_TRUE(Write(0));
    EXPECT_FALSE(Firmware().Status().has_value());
}

} // namespace
