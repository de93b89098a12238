#include "gui/framework/TrayIcon.h"

#include <QCursor>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QString>
#include <QSystemTrayIcon>
#include <utility>

#include "gui/framework/Application.h"
#include "gui/framework/PopupMenu.h"
#include "gui/framework/QtInput.h"

namespace framework {

namespace {

TrayHostProbe& HostProbe()
{
    static TrayHostProbe probe;
    return probe;
}

// Qt reports activations, not buttons; each becomes the notification that ends it.
bool NotificationFromReason(QSystemTrayIcon::ActivationReason reason, unsigned& notification)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        notification = WM_LBUTTONUP;
        return true;
    case QSystemTrayIcon::Context:
        notification = WM_RBUTTONUP;
        return true;
    case QSystemTrayIcon::DoubleClick:
        notification = WM_LBUTTONDBLCLK;
        return true;
    case QSystemTrayIcon::MiddleClick:
        notification = WM_MBUTTONUP;
        return true;
    default:
        return false;
    }
}

} // namespace

TrayIcon::TrayIcon() : m_Icon(std::make_unique<QSystemTrayIcon>())
{
    QObject::connect(m_Icon.get(), &QSystemTrayIcon::activated, [this](QSystemTrayIcon::ActivationReason reason) {
        unsigned notification = 0;
        if (NotificationFromReason(reason, notification))
            Guarded([&] { OnNotify(this, notification); });
    });
}

TrayIcon::~TrayIcon()
{
    Hide();
}

bool TrayIcon::SetIcon(const std::filesystem::path& file)
{
    const QImage image(QString::fromStdString(file.string()), "PNG");
    m_Icon->setIcon(image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image)));
    return !image.isNull();
}

bool TrayIcon::HasIcon() const
{
    return !m_Icon->icon().isNull();
}

bool TrayIcon::Show()
{
    if (!HostAvailable())
        return false;
    m_Icon->show();
    m_Visible = true;
    return true;
}

void TrayIcon::Hide()
{
    m_Icon->hide();
    m_Visible = false;
}

void TrayIcon::ShowMessage(const std::string& text)
{
    if (!m_Visible || text.empty())
        return;
    m_Icon->showMessage(QString(), QString::fromStdString(text), QSystemTrayIcon::NoIcon);
}

void TrayIcon::SetMenu(PopupMenu* menu)
{
    m_Icon->setContextMenu(menu ? menu->Menu() : nullptr);
}

TrayHostProbe TrayIcon::SetHostProbe(TrayHostProbe probe)
{
    return std::exchange(HostProbe(), std::move(probe));
}

bool TrayIcon::HostAvailable()
{
    // QSystemTrayIcon::isVisible is true even with no tray to show it; only this tells.
    const TrayHostProbe& probe = HostProbe();
    return probe ? probe() : QSystemTrayIcon::isSystemTrayAvailable();
}

graphics::Point CursorPos()
{
    const QPoint p = QCursor::pos();
    return {p.x(), p.y()};
}

ShiftState CurrentShiftState()
{
    return ShiftFromQt(QGuiApplication::mouseButtons(), QGuiApplication::queryKeyboardModifiers());
}

} // namespace framework
