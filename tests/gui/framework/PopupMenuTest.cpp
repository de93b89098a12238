#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QTest>
#include <memory>

#include "FrameworkFixture.h"
#include "gui/framework/PopupMenu.h"

using namespace framework;

class PopupMenuTest : public FrameworkTest {};

TEST_F(PopupMenuTest, FiresOnPopupBeforeItOpensAtThePoint)
{
    PopupMenu menu;
    (void)menu.Add("Exit");
    std::vector<bool> openInHandler;
    menu.OnPopup = [&](Component* sender) {
        EXPECT_EQ(sender, &menu);
        openInHandler.push_back(menu.IsOpen());
    };
    menu.Popup(40, 50);
    EXPECT_EQ(openInHandler, std::vector<bool>{false});
    EXPECT_TRUE(menu.IsOpen());
    EXPECT_EQ(menu.Menu()->pos(), QPoint(40, 50));
}

TEST_F(PopupMenuTest, ChoosingAnItemFiresItOnlyWhileEnabled)
{
    PopupMenu menu;
    MenuItem* exit = menu.Add("Exit");
    int clicks = 0;
    exit->OnClick = [&](Component* sender) {
        EXPECT_EQ(sender, exit);
        ++clicks;
    };
    const auto choose = [&] {
        menu.Popup(10, 10);
        QTest::mouseClick(menu.Menu(), Qt::LeftButton, {}, menu.Menu()->actionGeometry(exit->Action()).center());
    };
    exit->SetEnabled(false);
    choose();
    exit->Click();
    EXPECT_EQ(clicks, 0);
    exit->SetEnabled(true);
    choose();
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(menu.IsOpen());
}

TEST_F(PopupMenuTest, DestroyedByItsPopupHandlerDoesNotOpen)
{
    auto menu = std::make_unique<PopupMenu>();
    menu->OnPopup = [&](Component*) { menu.reset(); };
    menu->Popup(10, 10);
    EXPECT_EQ(menu, nullptr);
}
