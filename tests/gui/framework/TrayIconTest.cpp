#include <gtest/gtest.h>

#include <QImage>
#include <QSystemTrayIcon>
#include <vector>

#include "FrameworkFixture.h"
#include "TestSupport.h"
#include "gui/framework/TrayIcon.h"

using namespace framework;

class TrayIconTest : public FrameworkTest {};

TEST_F(TrayIconTest, ShowsOnlyWhenAHostTakesIt)
{
    bool host = false;
    TrayHostProbe previous = TrayIcon::SetHostProbe([&] { return host; });
    TrayIcon icon;
    EXPECT_FALSE(icon.Show());
    EXPECT_FALSE(icon.Native()->isVisible());
    host = true;
    EXPECT_TRUE(icon.Show());
    EXPECT_TRUE(icon.Visible());
    EXPECT_TRUE(icon.Native()->isVisible());
    // The owner opens its menu itself, and the icon never carries a tooltip.
    EXPECT_EQ(icon.Native()->contextMenu(), nullptr);
    EXPECT_TRUE(icon.Native()->toolTip().isEmpty());
    icon.Hide();
    EXPECT_FALSE(icon.Visible());
    EXPECT_FALSE(icon.Native()->isVisible());
    TrayIcon::SetHostProbe(std::move(previous));
}

TEST_F(TrayIconTest, PictureFromPngAndEmptyWhenTheFileIsMissing)
{
    const auto file = testsupport::Root() / "tray.png";
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(QString::fromStdString(file.string()), "PNG"));
    TrayIcon icon;
    EXPECT_TRUE(icon.SetIcon(file));
    EXPECT_TRUE(icon.HasIcon());
    EXPECT_FALSE(icon.SetIcon(testsupport::Root() / "missing.png"));
    EXPECT_FALSE(icon.HasIcon()); // the old picture does not stay
}

TEST_F(TrayIconTest, ActivationsBecomeMouseNotifications)
{
    struct Row {
        QSystemTrayIcon::ActivationReason reason;
        std::vector<unsigned> notifications;
    };
    const Row rows[] = {
        {QSystemTrayIcon::Trigger, {WM_LBUTTONUP}},     {QSystemTrayIcon::Context, {WM_RBUTTONUP}},
        {QSystemTrayIcon::DoubleClick, {WM_LBUTTONDBLCLK}}, {QSystemTrayIcon::MiddleClick, {WM_MBUTTONUP}},
        {QSystemTrayIcon::Unknown, {}},
    };
    TrayIcon icon;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.reason);
        std::vector<unsigned> seen;
        icon.OnNotify = [&](Component* sender, unsigned n) {
            EXPECT_EQ(sender, &icon);
            seen.push_back(n);
        };
        emit icon.Native()->activated(row.reason);
        EXPECT_EQ(seen, row.notifications);
    }
}
