#include "gui/framework/TrayIcon.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <QWidget>
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

// Qt's XEmbed tray icon (a widget of class QSystemTrayIconSys) acts on the press: it opens the
// menu and reports the activation at once. A click belongs to the release, so the press is held
// back and handed to the icon when the same button is released over it; a press that ends
// elsewhere does nothing. A StatusNotifier host reports whole clicks itself and has no such
// widget. One filter serves every icon: it only moves Qt's own handling to the release.
class ReleaseClicks : public QObject {
public:
    using QObject::QObject;

    // Takes the XEmbed icons shown now (installing twice on one icon filters once).
    void Watch()
    {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (qstrcmp(widget->metaObject()->className(), "QSystemTrayIconSys") == 0)
                widget->installEventFilter(this);
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || m_Replaying)
            return false;
        if (event->type() == QEvent::MouseButtonPress) {
            const auto* press = static_cast<QMouseEvent*>(event);
            m_Pressed = press->button();
            m_PressAt = press->position();
            return true;
        }
        if (event->type() != QEvent::MouseButtonRelease)
            return false;
        const auto* release = static_cast<QMouseEvent*>(event);
        const Qt::MouseButton pressed = std::exchange(m_Pressed, Qt::NoButton);
        if (release->button() != pressed || !widget->rect().contains(release->position().toPoint()))
            return false;
        QMouseEvent press(QEvent::MouseButtonPress, m_PressAt, widget->mapToGlobal(m_PressAt),
                          pressed, pressed, release->modifiers());
        m_Replaying = true;
        QCoreApplication::sendEvent(widget, &press);
        m_Replaying = false;
        return false;
    }

private:
    Qt::MouseButton m_Pressed = Qt::NoButton;
    QPointF m_PressAt;
    bool m_Replaying = false;
};

// Lives as long as the Qt application, which owns it.
void WatchReleaseClicks()
{
    static QPointer<ReleaseClicks> filter;
    if (!filter)
        filter = new ReleaseClicks(QCoreApplication::instance());
    filter->Watch();
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
    WatchReleaseClicks();
    m_Visible = true;
    return true;
}

void TrayIcon::Hide()
{
    m_Icon->hide();
    m_Visible = false;
}

void TrayIcon::ShowMessage(const std::string& text, const std::string& title)
{
    if (!m_Visible || text.empty())
        return;
    m_Icon->showMessage(QString::fromStdString(title), QString::fromStdString(text), QSystemTrayIcon::NoIcon);
}

void TrayIcon::SetToolTip(const std::string& text)
{
    const QString tip = QString::fromStdString(text);
    if (tip != m_Icon->toolTip())
        m_Icon->setToolTip(tip);
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
