#pragma once

#include <memory>
#include <string>
#include <vector>

#include "gui/framework/Component.h"

class QAction;
class QMenu;

namespace framework {

class PopupMenu;

// A command of a popup menu. Items belong to their menu.
class MenuItem : public Component {
public:
    MenuItem(QMenu* menu, const std::string& caption);
    ~MenuItem() override;

    std::string Caption() const;
    void SetCaption(const std::string& caption);

    // A disabled item is shown grey and cannot be chosen.
    bool Enabled() const;
    void SetEnabled(bool enabled);

    // What choosing the item does: fires OnClick, unless the item is disabled.
    void Click();

    NotifyEvent OnClick;

    QAction* Action() const { return m_Action.get(); }

private:
    std::unique_ptr<QAction> m_Action;
};

// A menu that opens at a point of the screen, as the tray icon's menu does.
class PopupMenu : public Component {
public:
    PopupMenu();
    ~PopupMenu() override;

    // Appends an item, owned by the menu.
    MenuItem* Add(const std::string& caption);
    int Count() const { return static_cast<int>(m_Items.size()); }
    MenuItem* Item(int index) const { return m_Items.at(index).get(); }

    // Fires OnPopup, then opens the menu with its top-left corner at the screen point (moved
    // in where the screen is too small) and returns at once; a chosen item fires later, from
    // the event loop.
    void Popup(int x, int y);
    bool IsOpen() const;
    void CloseMenu();

    NotifyEvent OnPopup;

    QMenu* Menu() const { return m_Menu.get(); }

private:
    std::unique_ptr<QMenu> m_Menu;
    // After the menu in declaration order, so the actions go before the menu that shows them.
    std::vector<std::unique_ptr<MenuItem>> m_Items;
};

} // namespace framework
