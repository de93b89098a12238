#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

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

// A FIFO in place of the lock file once hung every start: opening it waits for a writer. The lock
// is taken on a thread of its own and a writer is let in after a generous bound, so that a
// regression fails instead of hanging.
TEST(InstanceLock, AFifoInPlaceOfTheFileFailsWithoutHanging)
{
    std::filesystem::create_directories(platform::RuntimeFolder());
    const auto fifo = platform::RuntimeFolder() / "TOLV_WATCHDOG_TIMER.lock";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    InstanceLock lock("TOLV_WATCHDOG_TIMER");
    std::future<InstanceLock::Result> acquired = std::async(std::launch::async, [&] { return lock.Acquire(); });
    const bool returned = acquired.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    const int writer = returned ? -1 : ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    const InstanceLock::Result result = acquired.get();
    if (writer >= 0)
        ::close(writer);
    ASSERT_TRUE(returned) << "Acquire blocked on a FIFO";
    EXPECT_EQ(result, InstanceLock::Result::Failed);
    EXPECT_EQ(lock.Error(), fifo.string() + ": not a regular file");
}

// Whoever takes the lock first leaves the file behind for everyone after them; in the package's
// shared runtime folder the group may read it, whatever the umask of the one who made it.
TEST(InstanceLock, TheFileIsReadableByTheGroupOnlyInASharedRuntimeFolder)
{
    const mode_t saved = ::umask(077);
    const auto root = testsupport::Root();
    for (const bool shared : {false, true}) {
        const auto folder = root / (shared ? "shared" : "plain");
        std::filesystem::create_directories(folder);
        ::chmod(folder.c_str(), shared ? 02775 : 0755);
        setenv("TOLV_ROOT", folder.c_str(), 1);
        InstanceLock lock("TOLV_WATCHDOG_TIMER");
        EXPECT_EQ(lock.Acquire(), InstanceLock::Result::Acquired);
        struct stat info {};
        ASSERT_EQ(::stat(lock.Path().c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, shared ? 0660u : 0600u) << folder;
        struct stat runtime {};
        ASSERT_EQ(::stat(platform::RuntimeFolder().c_str(), &runtime), 0);
        EXPECT_EQ(runtime.st_mode & 07777, shared ? 02770u : 0700u) << folder;
    }
    setenv("TOLV_ROOT", root.c_str(), 1);
    ::umask(saved);
}
