#include "platform/FileIo.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using platform::FileStep;
using platform::UniqueFd;
namespace fs = std::filesystem;

namespace {

// The errno of a failed call must still be there after an owner went out of scope, even when
// its close fails.
TEST(UniqueFd, DestructionKeepsErrno)
{
    const int closed = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::close(closed), 0);
    errno = ECONNREFUSED;
    {
        UniqueFd stale(closed); // its close fails with EBADF
    }
    EXPECT_EQ(errno, ECONNREFUSED);
}

void Interrupted(int) {}

// A writer blocked on a full pipe is interrupted by signals (no SA_RESTART): its writes come
// back short or with EINTR, and every byte must still arrive, in order.
TEST(WriteAll, RetriesInterruptedAndShortWrites)
{
    struct sigaction action {}, saved {};
    action.sa_handler = &Interrupted;
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &saved), 0);
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    UniqueFd reader(ends[0]);
    UniqueFd writer(ends[1]);
    const int capacity = ::fcntl(writer.Get(), F_GETPIPE_SZ);
    std::string data(static_cast<std::size_t>(capacity) * 16, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7 % 251);

    std::atomic<int> result{-1};
    std::thread writing([&] { result = platform::WriteAll(writer.Get(), data); });
    std::string received;
    std::vector<char> chunk(static_cast<std::size_t>(capacity));
    while (received.size() < data.size()) {
        int queued = 0;
        // A full pipe means the writer sits in write() with more to go: interrupt it there.
        while (::ioctl(reader.Get(), FIONREAD, &queued) == 0 && queued < capacity &&
               received.size() + static_cast<std::size_t>(queued) < data.size())
            sched_yield();
        (void)pthread_kill(writing.native_handle(), SIGUSR1);
        const ssize_t got = ::read(reader.Get(), chunk.data(), chunk.size());
        ASSERT_GT(got, 0);
        received.append(chunk.data(), static_cast<std::size_t>(got));
    }
    writing.join();
    ::sigaction(SIGUSR1, &saved, nullptr);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(received == data) << "received " << received.size() << " bytes";
}

// A write that fails half-way (the file size limit here) removes the temporary file and leaves
// the old file whole. Run in a child: the limit holds for the whole process.
TEST(ReplaceFile, AFailedWriteLeavesTheOldFileAndNoTemporary)
{
    const fs::path file = testsupport::Root() / "key.reg";
    testsupport::WriteFile(file, "old");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        (void)::setrlimit(RLIMIT_FSIZE, &limit);
        platform::ReplaceOptions options;
        options.tempPrefix = "key.reg.";
        options.tempSuffix = ".new";
        const platform::FileResult result = platform::ReplaceFile(file, std::string(8192, 'x'), options);
        ::_exit(result.step == FileStep::Write && result.error == EFBIG ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    EXPECT_EQ(testsupport::ReadFile(file), "old");
    EXPECT_EQ(std::count_if(fs::directory_iterator(testsupport::Root()), fs::directory_iterator(),
                            [](const fs::directory_entry& entry) { return entry.path().filename() != "config"; }),
              1)
        << "a temporary file was left";
}

// A folder's name may lead elsewhere by the time the file is written (a member replaced it with
// a link): the replacement still happens, whole, in the folder that was opened.
TEST(ReplaceFileAt, WritesIntoTheOpenedFolderWhereverItsNameLeadsNow)
{
    const fs::path folder = testsupport::Root() / "folder";
    const fs::path moved = testsupport::Root() / "moved";
    const fs::path other = testsupport::Root() / "other";
    fs::create_directories(folder);
    fs::create_directories(other);
    const UniqueFd opened(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    ASSERT_TRUE(opened.IsValid());
    fs::rename(folder, moved);
    fs::create_directory_symlink(other, folder);
    platform::ReplaceOptions options;
    options.mode = 0640;
    const platform::FileResult result = platform::ReplaceFileAt(opened.Get(), "key.reg", "new", options);
    EXPECT_TRUE(result.Ok()) << "step " << static_cast<int>(result.step) << ": " << result.error;
    EXPECT_EQ(testsupport::ReadFile(moved / "key.reg"), "new");
    EXPECT_EQ(fs::status(moved / "key.reg").permissions(), fs::perms(0640));
    EXPECT_EQ(std::distance(fs::directory_iterator(moved), fs::directory_iterator()), 1) << "a temporary file was left";
    EXPECT_TRUE(fs::is_empty(other));
}

} // namespace
