#include "platform/SharedFiles.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using platform::CreateFolders;
using platform::IsSharedFolder;
using platform::OpenOrCreate;

namespace {

mode_t ModeOf(const fs::path& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// Sets the umask for one test and puts the old one back.
class WithUmask : public testing::Test {
protected:
    void SetUp() override { m_Saved = ::umask(022); }
    void TearDown() override { ::umask(m_Saved); }

    // A folder as the package makes it: setgid and group-writable.
    static fs::path SharedFolder()
    {
        const fs::path folder = testsupport::Root() / "shared";
        fs::create_directories(folder);
        EXPECT_EQ(::chmod(folder.c_str(), 02775), 0);
        return folder;
    }

private:
    mode_t m_Saved = 022;
};

struct SharedRow {
    const char* name;
    mode_t mode;
    bool shared;
};

class SharedFolderModes : public testing::TestWithParam<SharedRow> {};

TEST_P(SharedFolderModes, NeedSetgidAndGroupWrite)
{
    const fs::path folder = testsupport::Root() / "folder";
    fs::create_directories(folder);
    ASSERT_EQ(::chmod(folder.c_str(), GetParam().mode), 0);
    EXPECT_EQ(IsSharedFolder(folder), GetParam().shared);
}

INSTANTIATE_TEST_SUITE_P(Table, SharedFolderModes,
                         testing::Values(SharedRow{"AsThePackageMakesIt", 02775, true},
                                         SharedRow{"GroupOnly", 02770, true},
                                         SharedRow{"SetgidWithoutGroupWrite", 02755, false},
                                         SharedRow{"GroupWriteWithoutSetgid", 0775, false},
                                         SharedRow{"Private", 0700, false}),
                         [](const testing::TestParamInfo<SharedRow>& info) { return std::string(info.param.name); });

TEST(SharedFolderModes, AFileIsNoSharedFolder)
{
    const fs::path file = testsupport::Root() / "file";
    testsupport::WriteFile(file, "");
    ASSERT_EQ(::chmod(file.c_str(), 02775), 0);
    EXPECT_FALSE(IsSharedFolder(file));
    EXPECT_FALSE(IsSharedFolder(testsupport::Root() / "missing"));
}

TEST(SharedMode, TheGroupGetsTheOwnersRights)
{
    EXPECT_EQ(platform::SharedMode(0644), 0664u);
    EXPECT_EQ(platform::SharedMode(0600), 0660u);
    EXPECT_EQ(platform::SharedMode(0755), 0775u);
    EXPECT_EQ(platform::SharedMode(0400), 0440u);
    EXPECT_EQ(platform::SharedMode(02700), 02770u);
}

using CreateFoldersTest = WithUmask;

TEST_F(CreateFoldersTest, FoldersMadeInASharedFolderAreSharedWhateverTheUmask)
{
    const fs::path shared = SharedFolder();
    ::umask(077);
    EXPECT_EQ(CreateFolders(shared / "a/b/"), 0);
    EXPECT_EQ(ModeOf(shared / "a"), 02770u);
    EXPECT_EQ(ModeOf(shared / "a/b"), 02770u);
    ::umask(022);
    EXPECT_EQ(CreateFolders(shared / "c"), 0);
    EXPECT_EQ(ModeOf(shared / "c"), 02775u);
}

TEST_F(CreateFoldersTest, FoldersMadeElsewhereFollowTheUmask)
{
    const fs::path plain = testsupport::Root() / "plain/a";
    EXPECT_EQ(CreateFolders(plain), 0);
    EXPECT_EQ(ModeOf(plain.parent_path()), 0755u);
    EXPECT_EQ(ModeOf(plain), 0755u);
    EXPECT_EQ(CreateFolders(plain), 0) << "an existing folder is no failure";
}

TEST_F(CreateFoldersTest, AFileInTheWayIsReported)
{
    testsupport::WriteFile(testsupport::Root() / "file", "x");
    EXPECT_EQ(CreateFolders(testsupport::Root() / "file"), ENOTDIR);
    EXPECT_EQ(CreateFolders(testsupport::Root() / "file/below"), ENOTDIR);
    EXPECT_EQ(testsupport::ReadFile(testsupport::Root() / "file"), "x");
}

using OpenOrCreateTest = WithUmask;

TEST_F(OpenOrCreateTest, AFileMadeInASharedFolderIsWritableForTheGroup)
{
    const fs::path file = SharedFolder() / "made";
    ::umask(077);
    const int fd = OpenOrCreate(file, O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_EQ(ModeOf(file), 0660u);
}

TEST_F(OpenOrCreateTest, AnExistingFileKeepsItsRights)
{
    const fs::path file = SharedFolder() / "theirs";
    testsupport::WriteFile(file, "kept");
    ASSERT_EQ(::chmod(file.c_str(), 0600), 0);
    const int fd = OpenOrCreate(file, O_RDONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    char text[4];
    EXPECT_EQ(::read(fd, text, sizeof text), 4);
    ::close(fd);
    EXPECT_EQ(ModeOf(file), 0600u);
}

TEST_F(OpenOrCreateTest, AFileMadeElsewhereFollowsTheUmask)
{
    const fs::path file = testsupport::Root() / "plain";
    const int fd = OpenOrCreate(file, O_WRONLY | O_APPEND | O_CLOEXEC, 0666);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_EQ(ModeOf(file), 0644u);
}

TEST_F(OpenOrCreateTest, ALinkIsNotFollowedWhenAskedNotTo)
{
    const fs::path link = SharedFolder() / "link";
    fs::create_symlink(testsupport::Root() / "target", link);
    EXPECT_LT(OpenOrCreate(link, O_RDONLY | O_CLOEXEC | O_NOFOLLOW, 0644), 0);
    EXPECT_EQ(errno, ELOOP);
    EXPECT_FALSE(fs::exists(testsupport::Root() / "target"));
}

} // namespace
