#include "platform/Paths.h"
#include "platform/Registry.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace platform;
namespace fs = std::filesystem;

namespace {

const char* const kKey = "Software\\TOLV\\TOLV Watchdog Timer";

fs::path KeyFile()
{
    return RegistryFolder() / "HKEY_LOCAL_MACHINE/Software/TOLV/TOLV Watchdog Timer.reg";
}

// A key handle that closes itself.
class Key {
public:
    ~Key()
    {
        if (m_key) {
            EXPECT_EQ(RegCloseKey(m_key), ERROR_SUCCESS);
        }
    }
    HKEY* Out() { return &m_key; }
    HKEY Get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

LONG Create(Key& key, const char* path = kKey, REGSAM access = KEY_ALL_ACCESS, DWORD* disposition = nullptr)
{
    return RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, key.Out(),
                           disposition);
}

LONG SetDword(HKEY key, const char* name, DWORD value)
{
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

LONG SetBytes(HKEY key, const char* name, DWORD type, const std::string& bytes)
{
    return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                          static_cast<DWORD>(bytes.size()));
}

struct Read {
    LONG result = -1;
    DWORD type = 0xFFFFFFFF;
    std::string bytes;
};

Read Query(HKEY key, const char* name)
{
    Read read;
    DWORD size = 0;
    read.result = RegQueryValueExA(key, name, nullptr, &read.type, nullptr, &size);
    if (read.result != ERROR_SUCCESS)
        return read;
    read.bytes.resize(size);
    read.result = RegQueryValueExA(key, name, nullptr, &read.type, reinterpret_cast<BYTE*>(read.bytes.data()), &size);
    read.bytes.resize(size);
    return read;
}

TEST(Registry, CreateMakesTheKeyFileAndEveryParentKey)
{
    Key key;
    DWORD disposition = 0;
    ASSERT_EQ(Create(key, kKey, KEY_ALL_ACCESS, &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    EXPECT_TRUE(fs::is_regular_file(KeyFile()));
    EXPECT_EQ(testsupport::ReadFile(KeyFile()),
              "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\TOLV\\TOLV Watchdog Timer]\n");

    Key parent;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\TOLV", 0, KEY_READ, parent.Out()), ERROR_SUCCESS);
    Key again;
    ASSERT_EQ(Create(again, kKey, KEY_ALL_ACCESS, &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
}

TEST(Registry, OpenOfAMissingKeyAnswersFileNotFoundAndCreatesNothing)
{
    Key key;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS, key.Out()), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key.Get(), nullptr);
    EXPECT_FALSE(fs::exists(RegistryFolder()));
}

TEST(Registry, OpenFindsAKeyCreatedEarlierAndSeesItsValues)
{
    {
        Key writer;
        ASSERT_EQ(Create(writer), ERROR_SUCCESS);
        ASSERT_EQ(SetDword(writer.Get(), "REBOOT_TIME", 300), ERROR_SUCCESS);
    }
    Key reader;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, reader.Out()), ERROR_SUCCESS);
    Read read = Query(reader.Get(), "REBOOT_TIME");
    EXPECT_EQ(read.result, ERROR_SUCCESS);
    EXPECT_EQ(read.type, REG_DWORD);
    EXPECT_EQ(read.bytes, std::string("\x2c\x01\0\0", 4));
    EXPECT_NE(testsupport::ReadFile(KeyFile()).find("\"REBOOT_TIME\"=dword:0000012c\n"), std::string::npos);
}

TEST(Registry, KeyPathsWithEmptyOrDottedPartsAreRejected)
{
    for (const char* path : {"Software\\..\\..\\etc", "..", ".", "Software\\\\TOLV", "\\Software", "Software\\",
                             "a/b", "x.reg", "x.lock", "x.new"}) {
        Key key;
        EXPECT_EQ(Create(key, path), ERROR_BAD_PATHNAME) << path;
        EXPECT_EQ(key.Get(), nullptr);
    }
    EXPECT_FALSE(fs::exists(RegistryFolder()));
    Key tooLong;
    EXPECT_EQ(Create(tooLong, std::string(256, 'k').c_str()), ERROR_BAD_PATHNAME);
}

TEST(Registry, SubkeysOpenRelativeToAnOpenKey)
{
    Key parent;
    ASSERT_EQ(Create(parent, "Software\\TOLV"), ERROR_SUCCESS);
    Key child;
    ASSERT_EQ(RegCreateKeyExA(parent.Get(), "TOLV Watchdog Timer", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                              nullptr, child.Out(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(SetDword(child.Get(), "LAST_STATE", 15), ERROR_SUCCESS);
    Key same;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, same.Out()), ERROR_SUCCESS);
    EXPECT_EQ(Query(same.Get(), "LAST_STATE").bytes[0], 15);
}

TEST(Registry, QueryCopiesOnlyWhatFitsAndAlwaysReportsTheSize)
{
    Key key;
    ASSERT_EQ(Create(key), ERROR_SUCCESS);
    ASSERT_EQ(SetBytes(key.Get(), "Bin", REG_BINARY, "12345678"), ERROR_SUCCESS);

    char buffer[4] = {'a', 'b', 'c', 'd'};
    DWORD size = sizeof buffer;
    DWORD type = REG_NONE;
    EXPECT_EQ(RegQueryValueExA(key.Get(), "Bin", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(std::string(buffer, 4), "abcd");

    char big[16] = {};
    size = sizeof big;
    EXPECT_EQ(RegQueryValueExA(key.Get(), "Bin", nullptr, &type, reinterpret_cast<BYTE*>(big), &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_EQ(std::string(big, 8), "12345678");

    EXPECT_EQ(RegQueryValueExA(key.Get(), "Bin", nullptr, nullptr, reinterpret_cast<BYTE*>(big), nullptr),
              ERROR_INVALID_PARAMETER);
    size = 99;
    EXPECT_EQ(RegQueryValueExA(key.Get(), "Missing", nullptr, &type, reinterpret_cast<BYTE*>(big), &size),
              ERROR_FILE_NOT_FOUND);
}

TEST(Registry, TypesSurviveTheStoreByteForByte)
{
    Key key;
    ASSERT_EQ(Create(key), ERROR_SUCCESS);
    const std::string text = std::string("quote \" backslash \\ newline \n cr \r end") + '\0';
    const std::string binary("\0\x01\xff\"\\\n", 6);
    ASSERT_EQ(SetBytes(key.Get(), "Text", REG_SZ, text), ERROR_SUCCESS);
    ASSERT_EQ(SetBytes(key.Get(), "Short", REG_SZ, std::string("abc", 4)), ERROR_SUCCESS);
    ASSERT_EQ(SetBytes(key.Get(), "Bin", REG_BINARY, binary), ERROR_SUCCESS);
    ASSERT_EQ(SetBytes(key.Get(), "", REG_NONE, ""), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key.Get(), "Dword", 0xFFFFFFFF), ERROR_SUCCESS);

    Key reopened;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, reopened.Out()), ERROR_SUCCESS);
    Read read = Query(reopened.Get(), "Text");
    EXPECT_EQ(read.type, REG_SZ);
    EXPECT_EQ(read.bytes, text);
    read = Query(reopened.Get(), "Short");
    EXPECT_EQ(read.type, REG_SZ);
    EXPECT_EQ(read.bytes, std::string("abc", 4));
    read = Query(reopened.Get(), "Bin");
    EXPECT_EQ(read.type, REG_BINARY);
    EXPECT_EQ(read.bytes, binary);
    read = Query(reopened.Get(), nullptr);
    EXPECT_EQ(read.result, ERROR_SUCCESS);
    EXPECT_EQ(read.type, REG_NONE);
    EXPECT_EQ(read.bytes, "");
    read = Query(reopened.Get(), "Dword");
    EXPECT_EQ(read.type, REG_DWORD);
    EXPECT_EQ(read.bytes, "\xff\xff\xff\xff");
    // Every value is one line, so the file has the header, a blank line, the key and five values.
    std::string file = testsupport::ReadFile(KeyFile());
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 8);
}

TEST(Registry, AccessRightsOfTheHandleAreEnforced)
{
    {
        Key creator;
        ASSERT_EQ(Create(creator), ERROR_SUCCESS);
        ASSERT_EQ(SetDword(creator.Get(), "A", 1), ERROR_SUCCESS);
    }
    Key reader;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, reader.Out()), ERROR_SUCCESS);
    EXPECT_EQ(SetDword(reader.Get(), "A", 2), ERROR_ACCESS_DENIED);
    Key writer;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE, writer.Out()), ERROR_SUCCESS);
    EXPECT_EQ(Query(writer.Get(), "A").result, ERROR_ACCESS_DENIED);
    EXPECT_EQ(Query(reader.Get(), "A").bytes[0], 1);
}

TEST(Registry, BadHandlesAndArgumentsAreAnsweredNotFollowed)
{
    RegKeyHandle* bogus = reinterpret_cast<RegKeyHandle*>(std::uintptr_t{0x1234});
    DWORD value = 7;
    DWORD size = sizeof value;
    EXPECT_EQ(RegQueryValueExA(bogus, "A", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(SetDword(bogus, "A", 1), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegFlushKey(bogus), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(bogus), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);

    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, "A", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(SetDword(key, "line\nbreak", 1), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegFlushKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    // A closed handle is stale: it is refused, not used.
    EXPECT_EQ(RegFlushKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
}

TEST(Registry, TheRootHoldsNoValues)
{
    DWORD value = 0;
    DWORD size = sizeof value;
    EXPECT_EQ(RegQueryValueExA(HKEY_LOCAL_MACHINE, "A", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SetDword(HKEY_LOCAL_MACHINE, "A", 1), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
}

TEST(Registry, WritesAfterTheKeyFileVanishedAnswerKeyDeleted)
{
    Key key;
    ASSERT_EQ(Create(key), ERROR_SUCCESS);
    fs::remove(KeyFile());
    EXPECT_EQ(SetDword(key.Get(), "A", 1), ERROR_KEY_DELETED);
    EXPECT_FALSE(fs::exists(KeyFile()));
    EXPECT_EQ(Query(key.Get(), "A").result, ERROR_KEY_DELETED);
}

// Damaged and foreign files.

TEST(RegistryDamagedFile, DamagedLinesReadAsMissingAndSurviveALaterWrite)
{
    Key key;
    ASSERT_EQ(Create(key), ERROR_SUCCESS);
    const std::string damaged = "\"LAST_STATE\"=dword:xyz\n\"REBOOT_TIME\"=\"not a number\"\nbinary \xff\x01 garbage\n";
    testsupport::WriteFile(KeyFile(), "Windows Registry Editor Version 5.00\n\n" + damaged);

    EXPECT_EQ(Query(key.Get(), "LAST_STATE").result, ERROR_FILE_NOT_FOUND);
    Read wrongType = Query(key.Get(), "REBOOT_TIME");
    EXPECT_EQ(wrongType.result, ERROR_SUCCESS);
    EXPECT_EQ(wrongType.type, REG_SZ);

    ASSERT_EQ(SetDword(key.Get(), "RESET_TIME", 60), ERROR_SUCCESS);
    std::string after = testsupport::ReadFile(KeyFile());
    EXPECT_NE(after.find(damaged), std::string::npos) << after;
    EXPECT_EQ(Query(key.Get(), "RESET_TIME").bytes[0], 60);
}

TEST(RegistryDamagedFile, NulBytesAndDuplicatesNeverCrashAndTheLastNameWins)
{
    Key key;
    ASSERT_EQ(Create(key), ERROR_SUCCESS);
    static const char raw[] = "\"A\"=dword:00000001\n\0\0\0\n\"A\"=dword:00000002\n\"B\"=dword:0000\0003\n";
    testsupport::WriteFile(KeyFile(), std::string(raw, sizeof raw - 1));
    EXPECT_EQ(Query(key.Get(), "A").bytes[0], 2);
    EXPECT_EQ(Query(key.Get(), "B").result, ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(SetDword(key.Get(), "A", 5), ERROR_SUCCESS);
    std::string after = testsupport::ReadFile(KeyFile());
    EXPECT_NE(after.find(std::string("\n\0\0\0\n", 5)), std::string::npos);
    EXPECT_EQ(after.find("dword:00000001"), std::string::npos);
    EXPECT_EQ(after.find("dword:00000002"), std::string::npos);
    EXPECT_EQ(Query(key.Get(), "A").bytes[0], 5);
}

TEST(RegistryDamagedFile, AnOversizedFileReadsEmptyAndIsNeverOverwritten)
{
    Key key;
    ASSERT_EQ(Create(key), ERROR_SUCCESS);
    std::string huge = "\"A\"=dword:00000001\n" + std::string(kMaxRegistryFileSize, ';');
    testsupport::WriteFile(KeyFile(), huge);
    EXPECT_EQ(Query(key.Get(), "A").result, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SetDword(key.Get(), "A", 2), ERROR_BADDB);
    EXPECT_EQ(fs::file_size(KeyFile()), huge.size());
}

TEST(RegistryDamagedFile, AFileAtTheLimitIsStillRead)
{
    Key key;
    ASSERT_EQ(Create(key), ERROR_SUCCESS);
    std::string line = "\"A\"=dword:00000001\n";
    testsupport::WriteFile(KeyFile(), std::string(kMaxRegistryFileSize - line.size() - 1, ';') + '\n' + line);
    EXPECT_EQ(Query(key.Get(), "A").bytes[0], 1);
    // One more value would push it over the limit: refused, and the file stays as it was.
    EXPECT_EQ(SetDword(key.Get(), "B", 1), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(fs::file_size(KeyFile()), kMaxRegistryFileSize);
}

TEST(RegistryDamagedFile, AFifoOrFolderInPlaceOfTheKeyFileDoesNotHang)
{
    fs::create_directories(KeyFile().parent_path());
    ASSERT_EQ(mkfifo(KeyFile().c_str(), 0644), 0);
    Key key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS, key.Out()), ERROR_SUCCESS);
    EXPECT_EQ(Query(key.Get(), "A").result, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SetDword(key.Get(), "A", 1), ERROR_BADDB);

    Key folderKey;
    fs::create_directories(RegistryFolder() / "HKEY_LOCAL_MACHINE/Folder.reg");
    EXPECT_EQ(Create(folderKey, "Folder"), ERROR_SUCCESS);
    EXPECT_EQ(Query(folderKey.Get(), "A").result, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SetDword(folderKey.Get(), "A", 1), ERROR_BADDB);
}

mode_t ModeOf(const fs::path& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// The umask of most users; the modes below depend on it.
class RegistryModes : public testing::Test {
protected:
    void SetUp() override { m_Saved = umask(022); }
    void TearDown() override { umask(m_Saved); }

private:
    mode_t m_Saved = 022;
};

TEST_F(RegistryModes, OutsideASharedStoreFilesAndFoldersAreForTheirOwner)
{
    Key key;
    ASSERT_EQ(Create(key), ERROR_SUCCESS);
    EXPECT_EQ(ModeOf(KeyFile().parent_path()), 0755u);
    EXPECT_EQ(ModeOf(KeyFile()), 0644u);
    EXPECT_EQ(ModeOf(KeyFile().string() + ".lock"), 0644u);
}

// The package's store is setgid and for the group only, so that the members of its group take
// turns on the settings and nobody else can read or lock them: whatever one makes, the next may
// rewrite, whatever the maker's umask.
TEST_F(RegistryModes, InASharedStoreFilesAndFoldersAreForTheGroupOnly)
{
    fs::create_directories(RegistryFolder());
    ASSERT_EQ(chmod(RegistryFolder().c_str(), 02770), 0);
    Key key;
    ASSERT_EQ(Create(key), ERROR_SUCCESS);
    for (const char* folder : {"HKEY_LOCAL_MACHINE", "HKEY_LOCAL_MACHINE/Software", "HKEY_LOCAL_MACHINE/Software/TOLV"})
        EXPECT_EQ(ModeOf(RegistryFolder() / folder), 02770u) << folder;
    for (const char* file : {"Software.reg", "Software.reg.lock", "Software/TOLV.reg", "Software/TOLV.reg.lock",
                             "Software/TOLV/TOLV Watchdog Timer.reg", "Software/TOLV/TOLV Watchdog Timer.reg.lock"})
        EXPECT_EQ(ModeOf(RegistryFolder() / "HKEY_LOCAL_MACHINE" / file), 0660u) << file;
}

struct RewriteRow {
    const char* name;
    bool shared;   // the store is the package's shared one
    mode_t before; // of the key file someone left there
    mode_t after;
};

class RegistryRewriteModes : public RegistryModes, public testing::WithParamInterface<RewriteRow> {};

// The key file is replaced on every write, and the new one gets fixed rights, never those of
// the file that stood there: a member may have put a set-id file, writable for all, in its place.
TEST_P(RegistryRewriteModes, AWriteGivesTheKeyFileFixedRights)
{
    const RewriteRow& row = GetParam();
    fs::create_directories(RegistryFolder());
    ASSERT_EQ(chmod(RegistryFolder().c_str(), row.shared ? 02770 : 0755), 0);
    Key key;
    ASSERT_EQ(Create(key), ERROR_SUCCESS);
    ASSERT_EQ(chmod(KeyFile().c_str(), row.before), 0);
    ASSERT_EQ(SetDword(key.Get(), "A", 1), ERROR_SUCCESS);
    EXPECT_EQ(ModeOf(KeyFile()), row.after);
    EXPECT_EQ(Query(key.Get(), "A").bytes, std::string("\x01\0\0\0", 4));
    for (const fs::directory_entry& entry : fs::directory_iterator(KeyFile().parent_path()))
        EXPECT_FALSE(entry.path().string().ends_with(".new")) << "temporary file left: " << entry.path();
}

INSTANTIATE_TEST_SUITE_P(Table, RegistryRewriteModes,
                         testing::Values(RewriteRow{"SetIdForAllInASharedStore", true, 06777, 0660},
                                         RewriteRow{"WithoutTheGroupsRightsInASharedStore", true, 0644, 0660},
                                         RewriteRow{"SetIdForAllElsewhere", false, 06777, 0644},
                                         RewriteRow{"PrivateElsewhere", false, 0640, 0644}),
                         [](const testing::TestParamInfo<RewriteRow>& info) { return std::string(info.param.name); });

enum class Leftover { File, DanglingLink, Folder };

struct LeftoverRow {
    const char* name;
    std::string file; // in the key's folder
    Leftover kind;
    bool cleared;
};

class RegistryLeftovers : public testing::TestWithParam<LeftoverRow> {};

// A writer killed between making its temporary file and the rename leaves the file behind,
// possibly as another user. The next write of the key neither trips over it nor keeps it; the
// files of other keys and anything else in the folder stay.
TEST_P(RegistryLeftovers, NeverBlockAWriteAndTheKeysOwnAreCleared)
{
    const LeftoverRow& row = GetParam();
    Key key;
    ASSERT_EQ(Create(key), ERROR_SUCCESS);
    const fs::path leftover = KeyFile().parent_path() / row.file;
    switch (row.kind) {
    case Leftover::File:
        testsupport::WriteFile(leftover, "\"A\"=dword:0000");
        break;
    case Leftover::DanglingLink:
        fs::create_symlink(testsupport::Root() / "nowhere", leftover);
        break;
    case Leftover::Folder:
        fs::create_directories(leftover);
        break;
    }
    ASSERT_EQ(SetDword(key.Get(), "A", 7), ERROR_SUCCESS);
    EXPECT_EQ(Query(key.Get(), "A").bytes, std::string("\x07\0\0\0", 4));
    EXPECT_EQ(fs::exists(fs::symlink_status(leftover)), !row.cleared);
    EXPECT_FALSE(fs::exists(testsupport::Root() / "nowhere"));
}

INSTANTIATE_TEST_SUITE_P(
    Table, RegistryLeftovers,
    testing::Values(
        LeftoverRow{"EarlierFixedName", "TOLV Watchdog Timer.reg.new", Leftover::File, true},
        LeftoverRow{"FreshName", "TOLV Watchdog Timer.reg.q7Rz2K.new", Leftover::File, true},
        LeftoverRow{"LinkAtTheFixedName", "TOLV Watchdog Timer.reg.new", Leftover::DanglingLink, true},
        LeftoverRow{"FolderAtTheFixedName", "TOLV Watchdog Timer.reg.new", Leftover::Folder, false},
        LeftoverRow{"OfAKeyWithALongerName", "TOLV Watchdog Timer.reg.x.reg.q7Rz2K.new", Leftover::File, false},
        LeftoverRow{"OfAKeyNamedAlike", "TOLV Watchdog Timer.regular.reg.q7Rz2K.new", Leftover::File, false},
        LeftoverRow{"ShortTail", "TOLV Watchdog Timer.reg.q7Rz.new", Leftover::File, false},
        LeftoverRow{"NotATemporaryFile", "TOLV Watchdog Timer.reg.q7Rz2K.old", Leftover::File, false}),
    [](const testing::TestParamInfo<LeftoverRow>& info) { return std::string(info.param.name); });

} // namespace
