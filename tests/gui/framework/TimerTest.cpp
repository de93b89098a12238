#include <gtest/gtest.h>

#include <QTest>
#include <stdexcept>

#include "FrameworkFixture.h"
#include "gui/framework/Timer.h"

using namespace framework;

TEST_F(FrameworkTest, TimerRunsOnlyWhenEnabledWithAnIntervalAndAHandler)
{
    Timer timer;
    EXPECT_EQ(timer.Interval(), 1000);
    EXPECT_TRUE(timer.Enabled());
    EXPECT_FALSE(timer.Running()); // no handler yet
    timer.SetOnTimer([](Component*) {});
    EXPECT_TRUE(timer.Running());
    timer.SetEnabled(false);
    EXPECT_FALSE(timer.Running());
    timer.SetInterval(500);
    EXPECT_FALSE(timer.Running());
    timer.SetEnabled(true);
    EXPECT_TRUE(timer.Running());
    timer.SetInterval(0);
    EXPECT_FALSE(timer.Running());
    timer.SetInterval(-5);
    EXPECT_EQ(timer.Interval(), 0);
    timer.SetInterval(1000);
    EXPECT_TRUE(timer.Running());
    timer.SetOnTimer(nullptr);
    EXPECT_FALSE(timer.Running());
}

TEST_F(FrameworkTest, TimerFiresWithItselfAsSender)
{
    Timer timer;
    int fired = 0;
    Component* sender = nullptr;
    timer.SetInterval(1);
    timer.SetOnTimer([&](Component* s) {
        sender = s;
        ++fired;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return fired >= 2; }, 5000));
    EXPECT_EQ(sender, &timer);
}

TEST_F(FrameworkTest, TimerErrorIsShownAndTheTimerGoesOn)
{
    Timer timer;
    int fired = 0;
    timer.SetInterval(1);
    timer.SetOnTimer([&](Component*) {
        ++fired;
        throw std::runtime_error("tick " + std::to_string(fired));
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return fired >= 2; }, 5000));
    ASSERT_GE(m_Boxes.size(), 2u);
    EXPECT_EQ(m_Boxes[0].text, "tick 1");
    EXPECT_EQ(m_Boxes[1].text, "tick 2");
}

TEST_F(FrameworkTest, TimerHandlerCanStopItsOwnTimer)
{
    Timer timer;
    int fired = 0;
    timer.SetInterval(1);
    timer.SetOnTimer([&](Component* sender) {
        ++fired;
        static_cast<Timer*>(sender)->SetEnabled(false);
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return fired >= 1; }, 5000));
    QTest::qWait(20);
    EXPECT_EQ(fired, 1);
    EXPECT_FALSE(timer.Running());
}
