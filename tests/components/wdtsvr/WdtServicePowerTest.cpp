#include "ServiceProgram.h"

#include "watchdog/WatchDogForwarding.h"

#include "LogindMock.h"
#include "PrivateBus.h"

#include <gtest/gtest.h>

#include <csignal>

using testsupport::LogindMock;
using testsupport::WaitUntil;
using wdtsvrtest::kPatience;
using wdtsvrtest::LogHas;
using wdtsvrtest::WdtServiceProgram;

// The service program against the stand-in for logind on a private system bus: it holds the
// delay inhibitor, switches the watchdog it armed off before sleep and shutdown, and arms it
// again afterwards with the same times.
namespace {

class WdtServicePower : public WdtServiceProgram {
protected:
    void SetUp() override
    {
        WdtServiceProgram::SetUp();
        ASSERT_TRUE(m_SystemBus.Started()) << m_SystemBus.Error();
        m_Logind = std::make_unique<LogindMock>();
        ASSERT_TRUE(m_Logind->Ready()) << m_Logind->Error();
    }
    // The service before the stand-in and the bus: it must not see either go first.
    void TearDown() override
    {
        m_Service.reset();
        m_Logind.reset();
        WdtServiceProgram::TearDown();
    }
    bool Held(int count) const
    {
        return WaitUntil([&] { return m_Logind->HeldInhibitors() == count; }, kPatience);
    }
    // Disarmed before sleep or shutdown, with the inhibitor let go once it was; armed again
    // with the same countdown when that ends, and kicked, with the inhibitor taken again.
    void PowerDownAndBack(bool shutdown)
    {
        const auto emit = [&](bool starting) {
            return shutdown ? m_Logind->EmitPrepareForShutdown(starting)
                            : m_Logind->EmitPrepareForSleep(starting);
        };
        ASSERT_TRUE(emit(true));
        EXPECT_TRUE(WaitUntil([&] { return FirmwareShows(false, 0); }, kPatience))
            << FirmwareText() << m_Service->Log();
        EXPECT_TRUE(Held(0)) << m_Service->Log();

        // Armed again: the countdown written, the kick thread's first write, then a kick.
        const auto writes = Firmware()->writes;
        ASSERT_TRUE(emit(false));
        EXPECT_TRUE(WaitUntil([&] { return FirmwareShows(true, 30, writes + 3); }, kPatience))
            << FirmwareText() << m_Service->Log();
        EXPECT_TRUE(Held(1)) << m_Service->Log();
    }

    testsupport::PrivateBus m_SystemBus{testsupport::BusKind::System};
    std::unique_ptr<LogindMock> m_Logind;
    std::unique_ptr<testsupport::ChildProgram> m_Service;
};

} // namespace

TEST_F(WdtServicePower, AnArmedWatchdogIsOffForSleepAndShutdownAndOnAgainAfterwards)
{
    m_Service = StartService();
    ASSERT_TRUE(Held(1)) << m_Service->Log();
    WatchDogWMI control;
    control.SetTime(30, 5);
    control.Start();
    ASSERT_TRUE(WaitUntil([&] { return FirmwareShows(true, 30); }, kPatience))
        << FirmwareText() << m_Service->Log();

    ASSERT_NO_FATAL_FAILURE(PowerDownAndBack(false));
    ASSERT_NO_FATAL_FAILURE(PowerDownAndBack(true));
    EXPECT_TRUE(LogHas(*m_Service, "before sleep: Close")) << m_Service->Log();
    EXPECT_TRUE(LogHas(*m_Service, "after wake: SetTime(30, 5), Start")) << m_Service->Log();

    // Switched off: sleep and wake leave it off.
    control.Close();
    ASSERT_TRUE(WaitUntil([&] { return LogHas(*m_Service, "(0, 0): Close"); }, kPatience))
        << m_Service->Log();
    ASSERT_TRUE(m_Logind->EmitPrepareForSleep(true));
    ASSERT_TRUE(m_Logind->EmitPrepareForSleep(false));
    ASSERT_TRUE(WaitUntil([&] { return LogHas(*m_Service, "after wake: nothing"); }, kPatience))
        << m_Service->Log();
    EXPECT_TRUE(FirmwareShows(false, 0)) << FirmwareText();

    // Ctrl-\ in a terminal ends it as the other stop signals do: watchdog off, status 0.
    control.SetTime(30, 5);
    control.Start();
    ASSERT_TRUE(WaitUntil([&] { return FirmwareShows(true, 30); }, kPatience)) << FirmwareText();
    ASSERT_TRUE(m_Service->Signal(SIGQUIT));
    const auto ended = m_Service->Wait(kPatience);
    ASSERT_TRUE(ended.has_value()) << m_Service->Log();
    EXPECT_TRUE(ended->exited) << "signal " << ended->signal;
    EXPECT_EQ(ended->code, 0) << m_Service->Log();
    EXPECT_TRUE(FirmwareShows(false, 0)) << FirmwareText() << m_Service->Log();
    EXPECT_TRUE(Held(0));
}
