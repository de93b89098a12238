#include "platform/SharedFiles.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using platform::IsSharedFolder;
using platform::OpenFolders;
using platform::OpenOrCreateAt;
using platform::UniqueFd;

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

    // A folder as the package makes it: setgid and for the group only.
    static fs::path SharedFolder()
    {
        const fs::path folder = testsupport::Root() / "shared";
        fs::create_directories(folder);
        EXPECT_EQ(::chmod(folder.c_str(), 02770), 0);
        return folder;
    }

    // Opens name in folder as the program does, and closes it again.
    static int Make(const fs::path& folder, const char* name, int flags, mode_t mode)
    {
        const UniqueFd at(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        const UniqueFd fd(OpenOrCreateAt(at.Get(), name, flags, mode));
        return fd.IsValid() ? 0 : errno;
    }

private:
    mode_t m_Saved = 022;
};

UniqueFd OpenFolder(const fs::path& folder)
{
    return UniqueFd(::open(folder.c_str(), O_PATH | O_CLOEXEC));
}

struct SharedRow {
    const char* name;
    mode_t mode;
    bool shared;
    mode_t fileMode; // of the files written there
};

class SharedFolderModes : public testing::TestWithParam<SharedRow> {};

TEST_P(SharedFolderModes, NeedSetgidAndGroupWrite)
{
    const fs::path folder = testsupport::Root() / "folder";
    fs::create_directories(folder);
    ASSERT_EQ(::chmod(folder.c_str(), GetParam().mode), 0);
    const UniqueFd fd = OpenFolder(folder);
    EXPECT_EQ(IsSharedFolder(fd.Get()), GetParam().shared);
    EXPECT_EQ(platform::FileModeIn(fd.Get()), GetParam().fileMode);
}

INSTANTIATE_TEST_SUITE_P(Table, SharedFolderModes,
                         testing::Values(SharedRow{"AsThePackageMakesIt", 02770, true, 0660},
                                         SharedRow{"OpenToOthers", 02775, true, 0660},
                                         SharedRow{"SetgidWithoutGroupWrite", 02755, false, 0644},
                                         SharedRow{"GroupWriteWithoutSetgid", 0775, false, 0644},
                                         SharedRow{"Private", 0700, false, 0644}),
                         [](const testing::TestParamInfo<SharedRow>& info) { return std::string(info.param.name); });

TEST(SharedFolderModes, AFileIsNoSharedFolder)
{
    const fs::path file = testsupport::Root() / "file";
    testsupport::WriteFile(file, "");
    ASSERT_EQ(::chmod(file.c_str(), 02775), 0);
    EXPECT_FALSE(IsSharedFolder(OpenFolder(file).Get()));
    EXPECT_FALSE(IsSharedFolder(-1));
}

using OpenFoldersTest = WithUmask;

TEST_F(OpenFoldersTest, FoldersMadeInASharedFolderAreForTheGroupOnlyWhateverTheUmask)
{
    const fs::path shared = SharedFolder();
    ::umask(077);
    EXPECT_EQ(OpenFolders(shared / "a/b/", true).error, 0);
    EXPECT_EQ(ModeOf(shared / "a"), 02770u);
    EXPECT_EQ(ModeOf(shared / "a/b"), 02770u);
    ::umask(0);
    EXPECT_EQ(OpenFolders(shared / "c", true).error, 0);
    EXPECT_EQ(ModeOf(shared / "c"), 02770u);
}

TEST_F(OpenFoldersTest, FoldersMadeElsewhereFollowTheUmask)
{
    const fs::path plain = testsupport::Root() / "plain/a";
    EXPECT_EQ(OpenFolders(plain, false).error, ENOENT);
    EXPECT_FALSE(fs::exists(plain.parent_path())) << "nothing is made unless asked";
    const platform::FdResult made = OpenFolders(plain, true);
    ASSERT_EQ(made.error, 0);
    EXPECT_EQ(ModeOf(plain.parent_path()), 0755u);
    EXPECT_EQ(ModeOf(plain), 0755u);
    struct stat opened {}, there {};
    ASSERT_EQ(::fstat(made.fd.Get(), &opened), 0);
    ASSERT_EQ(::stat(plain.c_str(), &there), 0);
    EXPECT_EQ(opened.st_ino, there.st_ino) << "the descriptor is of the folder asked for";
    EXPECT_EQ(OpenFolders(plain, true).error, 0) << "an existing folder is no failure";
}

TEST_F(OpenFoldersTest, AFileInTheWayIsReported)
{
    testsupport::WriteFile(testsupport::Root() / "file", "x");
    EXPECT_EQ(OpenFolders(testsupport::Root() / "file", true).error, ENOTDIR);
    EXPECT_EQ(OpenFolders(testsupport::Root() / "file/below", true).error, ENOTDIR);
    EXPECT_EQ(testsupport::ReadFile(testsupport::Root() / "file"), "x");
    EXPECT_EQ(OpenFolders("/elsewhere", true).error, EINVAL) << "only folders below the machine root";
}

// A member may put a link into a shared folder, to another member's own folder, say. It is
// never followed, whether it stands at the end of the path or in its middle, and neither the
// rights of the folder it points to change nor is anything made in there.
TEST_F(OpenFoldersTest, ALinkBelowTheRootIsNeverFollowed)
{
    const fs::path shared = SharedFolder();
    const fs::path theirs = testsupport::Root() / "theirs";
    fs::create_directories(theirs);
    ASSERT_EQ(::chmod(theirs.c_str(), 0700), 0);
    fs::create_directory_symlink(theirs, shared / "link");
    for (const fs::path& folder : {shared / "link", shared / "link/below"}) {
        EXPECT_EQ(OpenFolders(folder, true).error, ELOOP) << folder;
        EXPECT_EQ(OpenFolders(folder, false).error, ELOOP) << folder;
    }
    EXPECT_EQ(ModeOf(theirs), 0700u);
    EXPECT_TRUE(fs::is_empty(theirs));
}

using OpenOrCreateTest = WithUmask;

TEST_F(OpenOrCreateTest, AFileMadeInASharedFolderIsForTheGroupOnlyWhateverTheUmask)
{
    for (const mode_t umask : {077, 0}) {
        ::umask(umask);
        const std::string name = "made-" + std::to_string(umask);
        ASSERT_EQ(Make(SharedFolder(), name.c_str(), O_WRONLY, 0644), 0);
        EXPECT_EQ(ModeOf(SharedFolder() / name), 0660u) << "umask " << umask;
    }
}

TEST_F(OpenOrCreateTest, AnExistingFileKeepsItsRights)
{
    const fs::path file = SharedFolder() / "theirs";
    testsupport::WriteFile(file, "kept");
    ASSERT_EQ(::chmod(file.c_str(), 0600), 0);
    const UniqueFd folder(::open(SharedFolder().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    const UniqueFd fd(OpenOrCreateAt(folder.Get(), "theirs", O_RDONLY, 0644));
    ASSERT_TRUE(fd.IsValid());
    char text[4];
    EXPECT_EQ(::read(fd.Get(), text, sizeof text), 4);
    EXPECT_EQ(ModeOf(file), 0600u);
}

TEST_F(OpenOrCreateTest, AFileMadeElsewhereFollowsTheUmask)
{
    ASSERT_EQ(Make(testsupport::Root(), "plain", O_WRONLY | O_APPEND, 0666), 0);
    EXPECT_EQ(ModeOf(testsupport::Root() / "plain"), 0644u);
}

TEST_F(OpenOrCreateTest, ALinkIsNeverFollowed)
{
    fs::create_symlink(testsupport::Root() / "target", SharedFolder() / "link");
    EXPECT_EQ(Make(SharedFolder(), "link", O_RDONLY, 0644), ELOOP);
    EXPECT_FALSE(fs::exists(testsupport::Root() / "target"));
}

} // namespace
