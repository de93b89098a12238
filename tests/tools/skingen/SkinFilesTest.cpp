#include "SkinImage.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <cstdint>
#include <fstream>
#include <ostream>
#include <set>
#include <string>

namespace {

using skintest::LoadSkin;
using skintest::SkinFolder;

struct Expected {
    const char* name;
    int width;
    int height;
};

// Every file the window and its controls load, at the size its place in the window needs.
const Expected kFiles[] = {
    {"background2.png", 424, 544},
    {"close_n.png", 20, 20},        {"close_o.png", 20, 20},         {"close_d.png", 20, 20},
    {"minimized_n.png", 20, 20},    {"minimized_o.png", 20, 20},     {"minimized_d.png", 20, 20},
    {"apply_n.png", 100, 26},       {"apply_o.png", 100, 26},        {"apply_d.png", 100, 26},
    {"apply_un.png", 100, 26},
    {"mark_n.png", 20, 20},         {"mark_o.png", 20, 20},          {"mark_d.png", 20, 20},
    {"mark_do.png", 20, 20},        {"mark_un.png", 20, 20},
    {"switch_OFF_n.png", 72, 28},   {"switch_OFF_o.png", 72, 28},    {"switch_ON_n.png", 72, 28},
    {"switch_ON_o.png", 72, 28},
    {"arrowup_n.png", 24, 22},      {"arrowup_o.png", 24, 22},       {"arrowup_un.png", 24, 22},
    {"arrowdown_n.png", 24, 22},    {"arrowdown_o.png", 24, 22},     {"arrowdown_un.png", 24, 22},
    {"bar_n.png", 354, 42},         {"bar_un.png", 354, 42},
    {"barline_head_n.png", 8, 8},   {"barline_n.png", 8, 8},         {"barline_head_un.png", 8, 8},
    {"barline_un.png", 8, 8},       {"barline_base_n.png", 8, 8},
    {"ball_n.png", 20, 20},         {"ball_d.png", 20, 20},          {"ball_un.png", 20, 20},
    {"tray.png", 32, 32},
};

void PrintTo(const Expected& e, std::ostream* os)
{
    *os << e.name;
}

std::string ReadBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class SkinFile : public testing::TestWithParam<Expected> {};

TEST_P(SkinFile, IsAnEightBitRgbaPngOfItsSize)
{
    const Expected& e = GetParam();
    const std::string bytes = ReadBytes(SkinFolder() / e.name);
    ASSERT_GE(bytes.size(), 33u) << e.name << " is missing or truncated";
    ASSERT_EQ(bytes.substr(1, 3), "PNG");
    ASSERT_EQ(bytes.substr(12, 4), "IHDR");
    auto be32 = [&](size_t at) {
        return uint32_t(uint8_t(bytes[at])) << 24 | uint32_t(uint8_t(bytes[at + 1])) << 16 |
               uint32_t(uint8_t(bytes[at + 2])) << 8 | uint32_t(uint8_t(bytes[at + 3]));
    };
    EXPECT_EQ(be32(16), uint32_t(e.width));
    EXPECT_EQ(be32(20), uint32_t(e.height));
    EXPECT_EQ(bytes[24], 8) << "bit depth";
    EXPECT_EQ(bytes[25], 6) << "colour type: truecolour with alpha";
}

TEST_P(SkinFile, HasTransparentAndOpaqueParts)
{
    // Per-pixel alpha: every picture lets the window show through somewhere, and none is
    // invisible.
    const QImage image = LoadSkin(GetParam().name);
    ASSERT_FALSE(image.isNull());
    int transparent = 0, opaque = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const int a = qAlpha(image.pixel(x, y));
            transparent += a < 255;
            opaque += a > 128;
        }
    EXPECT_GT(transparent, 0);
    EXPECT_GT(opaque, 0);
}

std::string RowName(const testing::TestParamInfo<Expected>& info)
{
    std::string name = info.param.name;
    name = name.substr(0, name.size() - 4);
    for (char& c : name)
        if (c == '.' || c == '-')
            c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(EveryFile, SkinFile, testing::ValuesIn(kFiles), RowName);

TEST(SkinFolder, HoldsExactlyTheSkinFiles)
{
    std::set<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(SkinFolder()))
        found.insert(entry.path().filename().string());
    std::set<std::string> expected;
    for (const Expected& e : kFiles)
        expected.insert(e.name);
    EXPECT_EQ(found, expected);
}

int RunSkingen(const QStringList& arguments)
{
    QProcess process;
    process.setProgram(QString::fromStdString((testsupport::BinFolder() / "skingen").string()));
    process.setArguments(arguments);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start();
    if (!process.waitForFinished(120000))
        return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

TEST(Skingen, DrawsTheSameBytesAsTheBuild)
{
    const std::filesystem::path fresh = testsupport::Root() / "skin";
    ASSERT_EQ(RunSkingen({QString::fromStdString(fresh.string())}), 0);
    for (const Expected& e : kFiles) {
        SCOPED_TRACE(e.name);
        const std::string mine = ReadBytes(fresh / e.name);
        ASSERT_FALSE(mine.empty());
        EXPECT_TRUE(mine == ReadBytes(SkinFolder() / e.name)) << "output differs between runs";
    }
}

TEST(Skingen, ReportsAFolderItCannotWrite)
{
    const std::filesystem::path blocker = testsupport::Root() / "file";
    testsupport::WriteFile(blocker, "not a folder");
    EXPECT_EQ(RunSkingen({QString::fromStdString((blocker / "UI").string())}), 1);
    EXPECT_EQ(RunSkingen({}), 2);
}

TEST(Skingen, PreviewComposesBothWindowsFromTheSkin)
{
    const std::filesystem::path out = testsupport::Root() / "preview.png";
    ASSERT_EQ(RunSkingen({"--preview", QString::fromStdString(out.string()),
                          QString::fromStdString(SkinFolder().string())}),
              0);
    const QImage preview(QString::fromStdString(out.string()));
    ASSERT_FALSE(preview.isNull());
    EXPECT_GE(preview.width(), 2 * 424);
    EXPECT_GE(preview.height(), 544);
}

TEST(Skingen, PreviewOfAnEmptyFolderStillWritesASheet)
{
    const std::filesystem::path out = testsupport::Root() / "preview.png";
    std::filesystem::create_directories(testsupport::Root() / "empty");
    ASSERT_EQ(RunSkingen({"--preview", QString::fromStdString(out.string()),
                          QString::fromStdString((testsupport::Root() / "empty").string())}),
              0);
    EXPECT_FALSE(QImage(QString::fromStdString(out.string())).isNull());
}

TEST(Skingen, PreviewSurvivesDamagedPictures)
{
    // Damaged files are left out of the picture, never a crash.
    const std::filesystem::path damaged = testsupport::Root() / "damaged";
    std::filesystem::create_directories(damaged);
    for (const char* name : {"bar_n.png", "ball_n.png", "barline_head_n.png"})
        std::filesystem::copy_file(SkinFolder() / name, damaged / name);
    const std::string background = ReadBytes(SkinFolder() / "background2.png");
    testsupport::WriteFile(damaged / "background2.png", background.substr(0, background.size() / 3));
    testsupport::WriteFile(damaged / "barline_n.png", "not a picture");
    testsupport::WriteFile(damaged / "apply_n.png", std::string("\x89PNG\r\n\x1a\n", 8));
    const std::filesystem::path out = testsupport::Root() / "preview.png";
    ASSERT_EQ(RunSkingen({"--preview", QString::fromStdString(out.string()),
                          QString::fromStdString(damaged.string())}),
              0);
    EXPECT_FALSE(QImage(QString::fromStdString(out.string())).isNull());
}

} // namespace
