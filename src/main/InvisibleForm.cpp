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
    // Offered at once; while no notification area takes it, the icon's timer offers it again.
    m_TrayIcon->SetVisible(true);
    m_TrayIcon->SetPopupMenu(&m_PopupMenu);
    m_TrayIcon->SetPopupTrigger(ttRightUp);
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
