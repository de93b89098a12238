#include "gui/controls/GsTrayIcon.h"

#include <utility>

#include "gui/framework/Application.h"
#include "gui/framework/Form.h"
#include "gui/framework/PopupMenu.h"
#include "gui/framework/TrayIcon.h"
#include "gui/graphics/image.h"

using namespace framework;

namespace {

bool TrayTriggerMatches(int kind, unsigned n)
{
    switch (kind) {
    case ttLeftDown:
        return n == WM_LBUTTONDOWN;
    case ttDoubleClick:
        return n == WM_LBUTTONDBLCLK || n == WM_RBUTTONDBLCLK;
    case ttAnyDown:
        return n == WM_LBUTTONDOWN || n == WM_RBUTTONDOWN || n == WM_MBUTTONDOWN;
    case ttAnyUp:
        return n == WM_LBUTTONUP || n == WM_RBUTTONUP || n == WM_MBUTTONUP;
    case ttLeftUp:
        return n == WM_LBUTTONUP;
    case ttLeftDoubleClick:
        return n == WM_LBUTTONDBLCLK;
    case ttRightUp:
        return n == WM_RBUTTONUP;
    case ttRightDoubleClick:
        return n == WM_RBUTTONDBLCLK;
    default:
        return false;
    }
}

constexpr int kAddAttempts = 3;

} // namespace

// ---- CsTrayIcon ----

CsTrayIcon::CsTrayIcon(TrayIcon* window, unsigned id, unsigned callbackMessage)
{
    m_Record.window = window;
    m_Record.id = id;
    m_Record.callbackMessage = callbackMessage;
}

CsTrayIcon::~CsTrayIcon()
{
    if (m_Added)
        Delete();
}

bool CsTrayIcon::Add()
{
    UpdateFlags(Balloon::Without);
    Publish();
    for (int attempt = 0; attempt < kAddAttempts && !m_Added; ++attempt)
        m_Added = m_Record.window->Show();
    return m_Added;
}

void CsTrayIcon::Delete()
{
    UpdateFlags(Balloon::Without);
    m_Record.window->Hide(); // hiding always succeeds here
    m_Added = false;
}

void CsTrayIcon::SetVisible(bool visible)
{
    if (visible == m_Added)
        return;
    if (visible)
        (void)Add(); // a refused icon is offered again by the caller's retry timer
    else
        Delete();
}

std::filesystem::path CsTrayIcon::SetIcon(const std::filesystem::path& icon)
{
    std::filesystem::path previous = std::move(m_Record.icon);
    m_Record.icon = icon;
    return previous;
}

void CsTrayIcon::SetTip(const std::string& tip)
{
    std::string cut = tip.substr(0, kMaxTipLength);
    if (cut == m_Record.tip)
        return;
    m_Record.tip = std::move(cut);
    if (!m_Added)
        return;
    m_Record.flags = m_Record.tip.empty() ? m_Record.flags & ~NIF_TIP : m_Record.flags | NIF_TIP;
    m_Record.window->SetToolTip(m_Record.tip);
}

void CsTrayIcon::Modify(Balloon balloon)
{
    if (!m_Added)
        return;
    UpdateFlags(balloon);
    Publish();
}

void CsTrayIcon::UpdateFlags(Balloon balloon)
{
    m_Record.flags = NIF_MESSAGE;
    if (!m_Record.icon.empty())
        m_Record.flags |= NIF_ICON;
    if (!m_Record.tip.empty())
        m_Record.flags |= NIF_TIP;
    if (balloon == Balloon::With) {
        m_Record.flags |= NIF_INFO;
        m_Record.info = m_BalloonText.substr(0, kMaxInfoLength);
        m_Record.infoTitle = m_BalloonTitle;
    } else {
        m_Record.info.clear();
        m_Record.infoTitle.clear();
    }
}

// Hands the parts named by the flags to the notification area. The picture is set before the
// icon is shown, so the icon never appears without it.
void CsTrayIcon::Publish()
{
    TrayIcon* window = m_Record.window;
    if (m_Record.flags & NIF_ICON)
        (void)window->SetIcon(m_Record.icon); // an unreadable file leaves an empty icon
    if (m_Record.flags & NIF_TIP)
        window->SetToolTip(m_Record.tip);
    if (m_Record.flags & NIF_INFO)
        window->ShowMessage(m_Record.info, m_Record.infoTitle);
}

// ---- GsTrayIcon ----

GsTrayIcon::GsTrayIcon(Component* owner, unsigned id, unsigned callbackMessage)
    : m_Owner(owner), m_Window(std::make_unique<TrayIcon>())
{
    m_Window->OnNotify = [this](Component*, unsigned notification) { HandleNotify(notification); };
    m_Tray = std::make_unique<CsTrayIcon>(m_Window.get(), id, callbackMessage);
    SetIconFile(graphics::SkinFolder() / "tray.png");
    m_RetryTimer.SetInterval(kRetryInterval);
    m_RetryTimer.SetOnTimer(NotifyEvent(this, &GsTrayIcon::RetryTick));
}

GsTrayIcon::~GsTrayIcon() = default;

void GsTrayIcon::SetIconFile(const std::filesystem::path& file)
{
    (void)m_Tray->SetIcon(file); // the previous file needs no release
    m_Tray->Modify(CsTrayIcon::Balloon::Without);
}

void GsTrayIcon::SetHostMenu(framework::PopupMenu* menu)
{
    m_Window->SetMenu(menu);
}

void GsTrayIcon::RetryTick(Component*)
{
    m_RetryTimer.SetEnabled(false);
    m_Tray->SetVisible(true);
    if (!m_Tray->IsAdded())
        m_RetryTimer.SetEnabled(true);
}

void GsTrayIcon::Minimize()
{
    if (Application* app = Application::Instance()) {
        app->Minimize();
        if (Form* form = app->MainForm())
            form->Hide();
    }
    OnMinimize(this);
}

void GsTrayIcon::Restore()
{
    if (Application* app = Application::Instance()) {
        Form* form = app->MainForm();
        if (form)
            form->SetVisible(true);
        app->Restore();
        if (form) {
            form->Restore();
            form->BringToFront();
        }
    }
    OnRestore(this);
}

void GsTrayIcon::PopupAt(int x, int y)
{
    if (m_PopupMenu)
        m_PopupMenu->Popup(x, y);
}

void GsTrayIcon::ShowBalloon(const std::string& text)
{
    m_Tray->SetBalloonText(text);
    m_Tray->Modify(CsTrayIcon::Balloon::With);
}

void GsTrayIcon::HideBalloon()
{
    m_Tray->Modify(CsTrayIcon::Balloon::Without);
}

void GsTrayIcon::HandleNotify(unsigned notification)
{
    // Each step calls out to handlers that may destroy this icon.
    const framework::LifeWatch life = m_Life.Watch();
    if (TrayTriggerMatches(m_RestoreTrigger, notification)) {
        Restore();
        if (life.expired())
            return;
    }
    if (TrayTriggerMatches(m_PopupTrigger, notification)) {
        const graphics::Point p = CursorPos();
        PopupAt(p.x, p.y);
        if (life.expired())
            return;
    }
    FireMouseEvent(notification);
}

void GsTrayIcon::FireMouseEvent(unsigned notification)
{
    const graphics::Point p = CursorPos();
    const ShiftState shift = CurrentShiftState();
    switch (notification) {
    case WM_MOUSEMOVE:
        OnMouseMove(this, shift, p.x, p.y);
        break;
    case WM_LBUTTONDOWN:
        OnMouseDown(this, mbLeft, shift, p.x, p.y);
        break;
    case WM_LBUTTONUP: {
        const framework::LifeWatch life = m_Life.Watch();
        OnMouseUp(this, mbLeft, shift, p.x, p.y);
        if (!life.expired())
            OnClick(this);
        break;
    }
    case WM_LBUTTONDBLCLK:
        OnDblClick(this);
        break;
    case WM_RBUTTONDOWN:
        OnMouseDown(this, mbRight, shift, p.x, p.y);
        break;
    case WM_RBUTTONUP:
        OnMouseUp(this, mbRight, shift, p.x, p.y);
        break;
    default:
        break; // double clicks of the right button and the middle button fire nothing
    }
}
