#include "gui/framework/PopupMenu.h"

#include <QAction>
#include <QMenu>
#include <QPoint>
#include <QPointer>
#include <QString>

#include "gui/framework/Application.h"

namespace framework {

MenuItem::MenuItem(QMenu* menu, const std::string& caption)
    : m_Action(std::make_unique<QAction>(QString::fromStdString(caption)))
{
    // Qt does not deliver a choice of a disabled action; Click checks again for callers.
    QObject::connect(m_Action.get(), &QAction::triggered, [this] { Guarded([this] { Click(); }); });
    menu->addAction(m_Action.get());
}

MenuItem::~MenuItem() = default; // deleting the action takes it out of its menu

std::string MenuItem::Caption() const
{
    return m_Action->text().toStdString();
}

void MenuItem::SetCaption(const std::string& caption)
{
    m_Action->setText(QString::fromStdString(caption));
}

bool MenuItem::Enabled() const
{
    return m_Action->isEnabled();
}

void MenuItem::SetEnabled(bool enabled)
{
    m_Action->setEnabled(enabled);
}

void MenuItem::Click()
{
    if (Enabled())
        OnClick(this);
}

PopupMenu::PopupMenu() : m_Menu(std::make_unique<QMenu>()) {}

PopupMenu::~PopupMenu() = default;

MenuItem* PopupMenu::Add(const std::string& caption)
{
    m_Items.push_back(std::make_unique<MenuItem>(m_Menu.get(), caption));
    return m_Items.back().get();
}

void PopupMenu::Popup(int x, int y)
{
    // The handler may take the menu down with its owner.
    const QPointer<QMenu> menu = m_Menu.get();
    OnPopup(this);
    if (menu)
        menu->popup(QPoint(x, y));
}

bool PopupMenu::IsOpen() const
{
    return m_Menu->isVisible();
}

void PopupMenu::CloseMenu()
{
    m_Menu->hide();
}

} // namespace framework
