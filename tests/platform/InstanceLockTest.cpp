#include <gtest/gtest.h>

#include <sys/stat.h>

#include "TestSupport.h"
#include "platform/InstanceLock.h"
#include "platform/Paths.h"

using platform::InstanceLock;

// flock belongs to the open file, so a second lock object in the same process stands for a
// second copy of the program.
TEST(InstanceLock, ASecondCopyFindsItHeldUntilTheFirstEnds)
{
    auto first = std::make_unique<InstanceLock>("TOLV_WATCHDOG_TIMER");
    EXPECT_EQ(first->Acquire(), InstanceLock::Result::Acquired);
    EXPECT_EQ(first->Path(), platform::RuntimeFolder() / "TOLV_WATCHDOG_TIMER.lock");

    InstanceLock second("TOLV_WATCHDOG_TIMER");
    EXPECT_EQ(second.Acquire(), InstanceLock::Result::HeldElsewhere);
    EXPECT_EQ(InstanceLock("OTHER").Acquire(), InstanceLock::Result::Acquired);

    first.reset();
    EXPECT_EQ(second.Acquire(), InstanceLock::Result::Acquired);
    EXPECT_EQ(second.Acquire(), InstanceLock::Result::Acquired); // asking again keeps it
}

TEST(InstanceLock, ALinkInPlaceOfTheFileIsNotFollowed)
{
    std::filesystem::create_directories(platform::RuntimeFolder());
    const auto target = testsupport::Root() / "elsewhere";
    std::filesystem::create_symlink(target, platform::RuntimeFolder() / "TOLV_WATCHDOG_TIMER.lock");
    InstanceLock lock("TOLV_WATCHDOG_TIMER");
    EXPECT_EQ(lock.Acquire(), InstanceLock::Result::Failed);
    EXPECT_NE(lock.Error().find("TOLV_WATCHDOG_TIMER.lock: "), std::string::npos) << lock.Error();
    EXPECT_FALSE(std::filesystem::exists(target));
}
