#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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

// The holder is read from /proc/locks: only an flock on exactly this device and inode counts,
// not one waiting for it, not a POSIX lock on the same file, not a damaged line.
TEST(InstanceLock, TheHolderIsFoundWithoutTakingTheLock)
{
    const dev_t device = makedev(0x103, 0x2);
    const char* const lines[] = {
        "1: -> FLOCK  ADVISORY  WRITE 11 103:02:77 0 EOF\n",
        "2: POSIX  ADVISORY  WRITE 12 103:02:77 0 EOF\n",
        "3: FLOCK  ADVISORY  WRITE 13 103:03:77 0 EOF\n",
        "4: FLOCK  ADVISORY  WRITE 14 103:02:770 0 EOF\n",
        "5: FLOCK  ADVISORY  WRITE x 103:02:77 0 EOF\n",
        "6: FLOCK  ADVISORY  WRITE 16 103:02:77x 0 EOF\n",
    };
    std::string locks;
    for (const char* line : lines)
        locks += line;
    EXPECT_EQ(platform::FindFlockHolder(locks, device, 77), std::nullopt) << locks;
    EXPECT_EQ(platform::FindFlockHolder(locks + "7: FLOCK  ADVISORY  WRITE 17 103:02:77 0 EOF\n", device, 77), 17);

    // The real file: nothing, held by this process, released again; nobody takes it meanwhile.
    using State = platform::LockHolder::State;
    EXPECT_EQ(platform::FindInstanceLockHolder("TOLV_WATCHDOG_TIMER").state, State::Free);
    auto copy = std::make_unique<InstanceLock>("TOLV_WATCHDOG_TIMER");
    ASSERT_EQ(copy->Acquire(), InstanceLock::Result::Acquired);
    const platform::LockHolder held = platform::FindInstanceLockHolder("TOLV_WATCHDOG_TIMER");
    EXPECT_EQ(held.state, State::Held);
    EXPECT_EQ(held.pid, ::getpid());
    copy.reset();
    EXPECT_EQ(platform::FindInstanceLockHolder("TOLV_WATCHDOG_TIMER").state, State::Free);
    EXPECT_EQ(InstanceLock("TOLV_WATCHDOG_TIMER").Acquire(), InstanceLock::Result::Acquired);
}
