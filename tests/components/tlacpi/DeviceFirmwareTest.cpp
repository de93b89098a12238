#include "DeviceFirmware.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <deque>
#include <linux/watchdog.h>

namespace {

using tlacpi::DeviceFirmware;
using tlacpi::WatchdogItem;

constexpr std::uint32_t SetMode = tlacpi::SetValueMode;

// A watchdog device in memory: it records what the firmware does to it and answers as scripted.
struct DeviceLog {
    int opens = 0;
    int closes = 0;
    int keepalives = 0;
    std::vector<int> timeoutsSet;  // SETTIMEOUT requests, in order
    std::string written;           // every byte written, 'V' for a magic close
    bool open = false;
};

struct DeviceScript {
    int openResult = 3;
    unsigned options = WDIOF_SETTIMEOUT | WDIOF_MAGICCLOSE | WDIOF_KEEPALIVEPING;
    int bootStatus = 0;
    int refuseTimeoutAbove = 0;       // SETTIMEOUT over this fails with EINVAL (0: never)
    int roundTimeoutTo = 0;           // SETTIMEOUT answers this value (0: as asked)
    int keepaliveResult = 0;
    std::deque<long> writeResults;    // scripted write results, then success
    int closeResult = 0;
    int noWayOut = -ENOENT;
};

class FakeDevice final : public tlacpi::WatchdogDevice {
public:
    FakeDevice(DeviceLog& log, DeviceScript& script) : m_Log(log), m_Script(script) {}

    int Open(const char*) override
    {
        ++m_Log.opens;
        if (m_Script.openResult >= 0)
            m_Log.open = true;
        return m_Script.openResult;
    }

    int Ioctl(int fd, unsigned long request, void* argument) override
    {
        EXPECT_EQ(fd, m_Script.openResult);
        EXPECT_TRUE(m_Log.open);
        switch (request) {
        case WDIOC_GETSUPPORT:
            static_cast<watchdog_info*>(argument)->options = m_Script.options;
            return 0;
        case WDIOC_GETBOOTSTATUS:
            *static_cast<int*>(argument) = m_Script.bootStatus;
            return 0;
        case WDIOC_SETTIMEOUT: {
            int& timeout = *static_cast<int*>(argument);
            m_Log.timeoutsSet.push_back(timeout);
            if (m_Script.refuseTimeoutAbove && timeout > m_Script.refuseTimeoutAbove)
                return -EINVAL;
            if (m_Script.roundTimeoutTo)
                timeout = m_Script.roundTimeoutTo;
            return 0;
        }
        case WDIOC_KEEPALIVE:
            if (m_Script.keepaliveResult == 0)
                ++m_Log.keepalives;
            return m_Script.keepaliveResult;
        default:
            ADD_FAILURE() << "unexpected ioctl " << request;
            return -ENOTTY;
        }
    }

    long Write(int, const void* data, std::size_t size) override
    {
        EXPECT_TRUE(m_Log.open);
        long result = static_cast<long>(size);
        if (!m_Script.writeResults.empty()) {
            result = m_Script.writeResults.front();
            m_Script.writeResults.pop_front();
        }
        if (result > 0)
            m_Log.written.append(static_cast<const char*>(data), static_cast<std::size_t>(result));
        return result;
    }

    int Close(int) override
    {
        EXPECT_TRUE(m_Log.open);
        ++m_Log.closes;
        m_Log.open = false;
        return m_Script.closeResult;
    }

    int NoWayOut(int) override
    {
        EXPECT_TRUE(m_Log.open);
        return m_Script.noWayOut;
    }

private:
    DeviceLog& m_Log;
    DeviceScript& m_Script;
};

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
    EXPECT_TRUE(Write(30));
    EXPECT_EQ(log.timeoutsSet, (std::vector<int>{30, 60}));
}

TEST_F(DeviceFirmwareTest, RoundedTimeoutSucceedsAndLogsTheValueInEffect)
{
    script.roundTimeoutTo = 60;
    EXPECT_TRUE(Write(45));
    EXPECT_EQ(MessagesContaining("runs a countdown of 60 s instead of the 45 s"), 1);
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

TEST_F(DeviceFirmwareTest, RestartByTheWatchdogIsTold)
{
    script.bootStatus = WDIOF_CARDRESET;
    EXPECT_TRUE(Write(60));
    EXPECT_TRUE(Write(60));
    EXPECT_EQ(MessagesContaining("came from the watchdog"), 1);
}

} // namespace
