#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <memory>
#include <stdexcept>
#include <unistd.h>

#include "FrameworkFixture.h"
#include "gui/framework/FdWatch.h"

using namespace framework;

class FdWatchTest : public FrameworkTest {
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        ASSERT_EQ(pipe(m_Pipe), 0);
    }
    void TearDown() override
    {
        close(m_Pipe[0]);
        close(m_Pipe[1]);
        FrameworkTest::TearDown();
    }
    void Write() { ASSERT_EQ(write(m_Pipe[1], "x", 1), 1); }
    void Drain()
    {
        char c;
        ASSERT_EQ(read(m_Pipe[0], &c, 1), 1);
    }
    bool FiredTimes(int n) { return QTest::qWaitFor([&] { return m_Fired == n; }, 5000); }

    int m_Pipe[2] = {-1, -1};
    int m_Fired = 0;
};

// An error in the handler is shown and the watch goes on.
TEST_F(FdWatchTest, FiresOnDataWhileEnabled)
{
    FdWatch watch(m_Pipe[0], [this] {
        Drain();
        if (++m_Fired == 1)
            throw std::runtime_error("bad message");
    });
    Write();
    EXPECT_TRUE(FiredTimes(1));
    watch.Disable();
    Write();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(m_Fired, 1);
    watch.Enable();
    EXPECT_TRUE(FiredTimes(2));
    ASSERT_EQ(m_Boxes.size(), 1u);
    EXPECT_EQ(m_Boxes[0].text, "bad message");
}

TEST_F(FdWatchTest, HandlerMayDestroyItsOwnWatch)
{
    std::unique_ptr<FdWatch> watch;
    watch = std::make_unique<FdWatch>(m_Pipe[0], [&] {
        watch.reset(); // without reading: a live watch would fire again
        ++m_Fired;
    });
    Write();
    EXPECT_TRUE(FiredTimes(1));
    QCoreApplication::processEvents();
    EXPECT_EQ(m_Fired, 1);
}
