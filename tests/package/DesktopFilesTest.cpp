#include "PackageSupport.h"
#include "TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QImage>
#include <QString>

#include <cstdlib>
#include <string>

// The desktop's view of the installed package: entry, icons, metadata and manual pages, as
// the desktop's own tools read them from the unpacked package.
namespace {

using namespace packagetest;
using testing::HasSubstr;
using testing::Not;

class DesktopFiles : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(ExtractPackage(m_Root)); }

    // The value of a key in the entry's [Desktop Entry] group.
    std::string EntryValue(const std::string& key) const
    {
        const std::string text =
            testsupport::ReadFile(m_Root / "usr/share/applications/tolv-watchdog-timer.desktop");
        const std::string prefix = "\n" + key + "=";
        const auto at = text.find(prefix);
        if (at == std::string::npos)
            return {};
        const auto start = at + prefix.size();
        return text.substr(start, text.find('\n', start) - start);
    }

    QImage Picture(const std::string& path) const
    {
        const QImage image(QString::fromStdString((m_Root / path).string()));
        return image.isNull() ? image : image.convertToFormat(QImage::Format_ARGB32);
    }

    const std::filesystem::path m_Root = testsupport::Root();
};

TEST_F(DesktopFiles, TheEntryValidatesAndStartsTheInstalledCommandWithItsIcon)
{
    const CommandResult valid = RunCommand(
        {"desktop-file-validate", (m_Root / "usr/share/applications/tolv-watchdog-timer.desktop").string()});
    EXPECT_EQ(valid.status, 0) << valid.output;
    EXPECT_EQ(valid.output, "");

    EXPECT_EQ(EntryValue("Name"), kCaption);
    EXPECT_EQ(EntryValue("Categories"), "System;Monitor;");
    // The command the entry starts and the icon it shows are files of the package.
    const std::string command = EntryValue("Exec");
    EXPECT_TRUE(std::filesystem::is_symlink(m_Root / "usr/bin" / command)) << command;
    const std::string icon = EntryValue("Icon");
    EXPECT_TRUE(std::filesystem::exists(m_Root / "usr/share/icons/hicolor/48x48/apps" / (icon + ".png")))
        << icon;
}

TEST_F(DesktopFiles, TheMetadataValidatesAndShowsTheScreenshotAtItsSize)
{
    const auto metainfo = m_Root / "usr/share/metainfo/com.tolv.watchdogtimer.metainfo.xml";
    const CommandResult valid =
        RunCommand({"appstreamcli", "validate", "--no-net", "--pedantic", metainfo.string()});
    EXPECT_EQ(valid.status, 0) << valid.output;

    const std::string text = testsupport::ReadFile(metainfo);
    EXPECT_THAT(text, HasSubstr("<launchable type=\"desktop-id\">tolv-watchdog-timer.desktop</launchable>"));
    EXPECT_THAT(text, HasSubstr("<release version=\"" TOLV_PROJECT_VERSION "\""));
    const QImage screenshot = Picture("usr/share/doc/tolv-watchdog-timer/screenshot.png");
    ASSERT_FALSE(screenshot.isNull());
    EXPECT_THAT(text, HasSubstr("width=\"" + std::to_string(screenshot.width()) + "\" height=\""
                                + std::to_string(screenshot.height()) + "\""));
    EXPECT_THAT(text, testing::ContainsRegex("<image type=\"source\"[^>]*>https://[^<]+/screenshot.png</image>"));
}

// The icon is the tray picture's design: the same pixels at the tray's size, the same picture
// scaled at the others, a transparent corner and an opaque middle at every size.
TEST_F(DesktopFiles, TheIconIsTheTrayPictureAtEverySize)
{
    const QImage tray = Picture(std::string(kProgramFolder) + "/resource/UI/tray.png");
    ASSERT_FALSE(tray.isNull());
    for (const int size : {32, 48, 64, 128, 256}) {
        SCOPED_TRACE(size);
        const std::string name = std::to_string(size) + "x" + std::to_string(size);
        const QImage icon = Picture("usr/share/icons/hicolor/" + name + "/apps/tolv-watchdog-timer.png");
        ASSERT_EQ(icon.width(), size);
        ASSERT_EQ(icon.height(), size);
        EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(icon.pixel(size - 1, size - 1)), 0);
        EXPECT_EQ(qAlpha(icon.pixel(size / 2, size / 2)), 255);
        const QImage small = icon.scaled(32, 32, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        int differing = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                const QRgb a = small.pixel(x, y);
                const QRgb b = tray.pixel(x, y);
                differing += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b))
                        + std::abs(qBlue(a) - qBlue(b)) + std::abs(qAlpha(a) - qAlpha(b))
                    > 96;
            }
        if (size == 32)
            EXPECT_EQ(icon, tray);
        else
            EXPECT_LT(differing, 32 * 32 / 10);
    }
}

TEST_F(DesktopFiles, TheManualPagesRenderWithoutWarningsAndNameWhatTheProgramUses)
{
    for (const char* page : {"tolv-watchdog-timer.1.gz", "tlacpi-sim-monitor.1.gz"}) {
        SCOPED_TRACE(page);
        const CommandResult rendered =
            RunCommand({"man", "--warnings", "-l", (m_Root / "usr/share/man/man1" / page).string()},
                {{"MANWIDTH", "80"}, {"LC_ALL", "C"}});
        EXPECT_EQ(rendered.status, 0) << rendered.output;
        EXPECT_THAT(rendered.output, Not(HasSubstr("warning"))) << rendered.output;
        EXPECT_THAT(rendered.output, HasSubstr("NAME"));
    }
    const CommandResult program =
        RunCommand({"man", "-l", (m_Root / "usr/share/man/man1/tolv-watchdog-timer.1.gz").string()},
            {{"MANWIDTH", "80"}, {"LC_ALL", "C"}});
    std::string plain;
    // Drop the overstrikes (x\bx) that mark bold and underlined text.
    for (char c : program.output) {
        if (c == '\b' && !plain.empty())
            plain.pop_back();
        else if (c != '\b')
            plain += c;
    }
    for (const char* what : {"-h", "TLACPI_FIRMWARE", "tolv-watchdog", "/dev/watchdog",
                             "/var/lib/tolv/registry", "trace.log", "/run/tolv"})
        EXPECT_THAT(plain, HasSubstr(what));
}

} // namespace
