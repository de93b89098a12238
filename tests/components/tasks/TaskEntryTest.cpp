#include "AutostartFolders.h"
#include "TaskEntry.h"

#include "TestSupport.h"
#include "platform/Paths.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

TEST(TaskFileName, BlanksBecomeDashes)
{
    EXPECT_EQ(tasks::TaskFileName("TOLV WatchDog Timer"), "TOLV-WatchDog-Timer");
    EXPECT_EQ(tasks::TaskFileName("ünï cödé"), "ünï-cödé");
    EXPECT_EQ(tasks::TaskFileName(".hidden.task"), ".hidden.task");
}

TEST(TaskFileName, NamesThatCannotNameAFileAreRefused)
{
    EXPECT_FALSE(tasks::TaskFileName(""));
    EXPECT_FALSE(tasks::TaskFileName("a/b"));
    EXPECT_FALSE(tasks::TaskFileName("../../etc/passwd"));
    EXPECT_FALSE(tasks::TaskFileName("."));
    EXPECT_FALSE(tasks::TaskFileName(".."));
    EXPECT_FALSE(tasks::TaskFileName("line\nbreak"));
    EXPECT_FALSE(tasks::TaskFileName(std::string("nul\0byte", 8)));
    EXPECT_FALSE(tasks::TaskFileName(std::string(248, 'a')));
    EXPECT_TRUE(tasks::TaskFileName(std::string(247, 'a')));
}

TEST(TaskEntryPath, LiesInTheAutostartFolder)
{
    EXPECT_EQ(tasks::TaskEntryPath("TOLV WatchDog Timer"),
              platform::AutostartFolder() / "TOLV-WatchDog-Timer.desktop");
    EXPECT_FALSE(tasks::TaskEntryPath("x/y"));
}

TEST(Utf16ToUtf8, ConvertsAllPlanesAndRefusesLoneSurrogates)
{
    EXPECT_EQ(tasks::Utf16ToUtf8(u"TOLV WatchDog Timer"), "TOLV WatchDog Timer");
    EXPECT_EQ(tasks::Utf16ToUtf8(u"\u00e9\u20ac\U0001F600"), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(tasks::Utf16ToUtf8(u""), "");
    EXPECT_FALSE(tasks::Utf16ToUtf8(nullptr));
    const char16_t loneHigh[] = {u'a', 0xD800, u'b', 0};
    const char16_t loneLow[] = {0xDC00, 0};
    const char16_t highAtEnd[] = {0xDBFF, 0};
    EXPECT_FALSE(tasks::Utf16ToUtf8(loneHigh));
    EXPECT_FALSE(tasks::Utf16ToUtf8(loneLow));
    EXPECT_FALSE(tasks::Utf16ToUtf8(highAtEnd));
}

TEST(QuoteExecArgument, QuotesOnlyWhatNeedsIt)
{
    EXPECT_EQ(tasks::QuoteExecArgument("-h"), "-h");
    EXPECT_EQ(tasks::QuoteExecArgument(""), "\"\"");
    EXPECT_EQ(tasks::QuoteExecArgument("a b"), "\"a b\"");
    EXPECT_EQ(tasks::QuoteExecArgument("it's"), "\"it's\"");
    EXPECT_EQ(tasks::QuoteExecArgument("$HOME"), "\"\\$HOME\"");
    EXPECT_EQ(tasks::QuoteExecArgument("a\"b`c\\d"), "\"a\\\"b\\`c\\\\d\"");
    EXPECT_EQ(tasks::QuoteExecArgument("100%"), "100%%");
}

TEST(BuildDesktopEntry, ProgramPathIsQuotedAndEscapedTwice)
{
    const std::string entry =
        tasks::BuildDesktopEntry("TOLV WatchDog Timer", "/opt/my \"tolv\"/$x\\wdt", {"-h"});
    // The Exec quoting escapes '"', '$' and '\' with a backslash; the string escaping of the
    // file then doubles every backslash.
    EXPECT_NE(entry.find("Exec=\"/opt/my \\\\\"tolv\\\\\"/\\\\$x\\\\\\\\wdt\" -h\n"),
              std::string::npos)
        << entry;
    EXPECT_EQ(entry.rfind("[Desktop Entry]\n", 0), 0u);
    EXPECT_NE(entry.find("Type=Application\n"), std::string::npos);
    EXPECT_NE(entry.find("Name=TOLV WatchDog Timer\n"), std::string::npos);
    EXPECT_NE(entry.find("X-GNOME-Autostart-enabled=true\n"), std::string::npos);
    EXPECT_NE(entry.find("NoDisplay=true\n"), std::string::npos);
}

TEST(BuildDesktopEntry, ExecReadsBackAsTheSameArguments)
{
    const std::vector<std::string> programs = {
        "/opt/tolv/wdt", "/opt/Program Files/TOLV/wdt", "/tmp/a\"b'c/`d`/$e/f\\g/100%/h",
        "/tmp/tab\there/new\nline", " /leading blank"};
    for (const std::string& program : programs) {
        const std::vector<std::string> arguments = {"-h", "", "two words", "%u"};
        const std::string entry = tasks::BuildDesktopEntry("Task", program, arguments);
        const auto exec = tasks::ReadEntryValue(entry, "Exec");
        ASSERT_TRUE(exec) << entry;
        const auto parsed = tasks::ParseExecValue(*exec);
        ASSERT_TRUE(parsed) << *exec;
        std::vector<std::string> expected = {program};
        expected.insert(expected.end(), arguments.begin(), arguments.end());
        EXPECT_EQ(*parsed, expected) << entry;
    }
}

TEST(BuildDesktopEntry, OddTaskNameStaysOnItsLine)
{
    const std::string entry = tasks::BuildDesktopEntry(" two\nlines\\", "/p", {});
    EXPECT_EQ(tasks::ReadEntryValue(entry, "Name"), " two\nlines\\");
    EXPECT_EQ(tasks::ReadEntryValue(entry, "Type"), "Application");
}

TEST(ReadEntryValue, OnlyTheMainGroupAndWholeKeysCount)
{
    const std::string text = "# comment\n"
                             "[Other]\nExec=wrong\n"
                             "[Desktop Entry]\r\nExecutable=no\nExec = right one \nHidden=true\n";
    EXPECT_EQ(tasks::ReadEntryValue(text, "Exec"), "right one ");
    EXPECT_EQ(tasks::ReadEntryValue(text, "Hidden"), "true");
    EXPECT_FALSE(tasks::ReadEntryValue(text, "Name"));
    EXPECT_FALSE(tasks::ReadEntryValue("Exec=x\n", "Exec")) << "outside any group";
}

TEST(ParseExecValue, MalformedLinesAreRefused)
{
    EXPECT_FALSE(tasks::ParseExecValue("\"unterminated"));
    EXPECT_FALSE(tasks::ParseExecValue("\"bad \\q escape\""));
    EXPECT_FALSE(tasks::ParseExecValue("\"ends in \\"));
    EXPECT_FALSE(tasks::ParseExecValue("prog %U"));
    EXPECT_FALSE(tasks::ParseExecValue("prog %"));
    EXPECT_EQ(tasks::ParseExecValue("  a   \"b c\"\"d\" "),
              (std::vector<std::string>{"a", "b cd"}));
}

class EntryFileTest : public testing::Test {
protected:
    fs::path Entry() const { return testsupport::Root() / "autostart" / "task.desktop"; }
};

TEST_F(EntryFileTest, WrittenEntryIsActive)
{
    std::string error;
    ASSERT_TRUE(tasks::WriteFileAtomically(Entry(), tasks::BuildDesktopEntry("t", "/p", {"-h"}),
                                           error))
        << error;
    EXPECT_TRUE(tasks::IsEntryActive(Entry()));
    struct stat info {};
    ASSERT_EQ(stat(Entry().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    // No temporary copy is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(Entry().parent_path()), fs::directory_iterator()),
              1);
}

TEST_F(EntryFileTest, RewriteReplacesTheWholeContent)
{
    std::string error;
    ASSERT_TRUE(tasks::WriteFileAtomically(Entry(), std::string(5000, 'x'), error));
    ASSERT_TRUE(tasks::WriteFileAtomically(Entry(), "short", error));
    EXPECT_EQ(testsupport::ReadFile(Entry()), "short");
}

TEST_F(EntryFileTest, DisabledOrBrokenEntriesAreNotActive)
{
    const std::string base = "[Desktop Entry]\nType=Application\nExec=/p\n";
    testsupport::WriteFile(Entry(), base + "Hidden=true\n");
    EXPECT_FALSE(tasks::IsEntryActive(Entry()));
    testsupport::WriteFile(Entry(), base + "X-GNOME-Autostart-enabled=false\n");
    EXPECT_FALSE(tasks::IsEntryActive(Entry()));
    testsupport::WriteFile(Entry(), "[Desktop Entry]\nType=Link\nExec=/p\n");
    EXPECT_FALSE(tasks::IsEntryActive(Entry()));
    testsupport::WriteFile(Entry(), "[Desktop Entry]\nType=Application\n");
    EXPECT_FALSE(tasks::IsEntryActive(Entry()));
    testsupport::WriteFile(Entry(), std::string("garbage\0\xff", 9));
    EXPECT_FALSE(tasks::IsEntryActive(Entry()));
    testsupport::WriteFile(Entry(), base);
    EXPECT_TRUE(tasks::IsEntryActive(Entry()));
    fs::remove(Entry());
    fs::create_directories(Entry());
    EXPECT_FALSE(tasks::IsEntryActive(Entry())) << "a folder is no entry";
}

TEST_F(EntryFileTest, UnwritableFolderFailsWithAReason)
{
    testsupport::WriteFile(testsupport::Root() / "autostart", "a file, not a folder");
    std::string error;
    EXPECT_FALSE(tasks::WriteFileAtomically(Entry(), "x", error));
    EXPECT_NE(error.find("autostart"), std::string::npos) << error;
}

} // namespace
