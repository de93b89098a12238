#include "main/InvisibleForm.h"

#include "gui/controls/GsTrayIcon.h"
#include "main/MainForm.h"

TInvisibleForm::TInvisibleForm(TMainForm& mainForm)
    : m_Main(mainForm)
{
    SetCaption("InvisibleForm");
    SetBounds(0, 0, 320, 240);
    SetColor(0x000000);
    m_Exit = m_PopupMenu.Add("Exit");

    m_TrayIcon = std::make_unique<GsTrayIcon>(this, kTrayIconId, kTrayCallbackMessage);
    // The notification area opens the menu at the icon: a StatusNotifier host draws it itself
    // (on Wayland the program could not place a menu of its own there), an XEmbed tray has Qt
    // open it at the right click. So the icon's own popup trigger stays "never".
    m_TrayIcon->SetHostMenu(&m_PopupMenu);
    // Offered at once; while no notification area takes it, the icon's timer offers it again.
    m_TrayIcon->SetVisible(true);
    // The restore trigger stays "never": the icon's click event restores the window instead.
    m_TrayIcon->OnClick = [this](framework::Component*) { m_Main.RestoreWindow(); };
    m_Exit->OnClick = [this](framework::Component*) { m_Main.OnCloseClick(m_Exit); };

    m_Main.SetExitEnabled = [this](bool enabled) { m_Exit->SetEnabled(enabled); };
    m_Main.TrayHoldsIcon = [this] { return m_TrayIcon->IsAdded(); };
}

TInvisibleForm::~TInvisibleForm()
{
    m_Main.SetExitEnabled = nullptr;
    m_Main.TrayHoldsIcon = nullptr;
}
