#include "main/InvisibleForm.h"

#include "gui/controls/GsTrayIcon.h"
#include "main/MainForm.h"
#include "platform/MessageBox.h"
#include "readout/TrayTip.h"
#include "tolv/BiosInterface.h"

namespace {
constexpr const char* kCaption = "TOLV Watchdog Timer";
}

TInvisibleForm::TInvisibleForm(TMainForm& mainForm)
    : m_Main(mainForm)
    , m_TellStartNotice([this] {
        platform::ShowMessageBox(m_StartNotice, kCaption, platform::MB_OK | platform::MB_ICONINFORMATION);
    })
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

    m_TipTimer.SetInterval(1000);
    m_TipTimer.SetOnTimer([this](framework::Component*) { RefreshTip(); });
    m_Main.OnWatchdogChange = [this] { RefreshTip(); };
    RefreshTip();
}

TInvisibleForm::~TInvisibleForm()
{
    m_Main.SetExitEnabled = nullptr;
    m_Main.TrayHoldsIcon = nullptr;
    m_Main.OnWatchdogChange = nullptr;
}

void TInvisibleForm::TellAtStart(const std::string& text)
{
    if (m_TrayIcon->IsAdded()) {
        m_TrayIcon->SetBalloonTitle(kCaption);
        m_TrayIcon->ShowBalloon(text);
        return;
    }
    // Not from here: the window is still being built and a modal box would hold it up.
    m_StartNotice = text;
    m_TellStartNotice.Request();
}

void TInvisibleForm::RefreshTip()
{
    const bool on = m_Main.WatchdogOn();
    // Asked only while on: the library never opens a stopped device, and a running one is
    // asked for its seconds left without waiting for the kick thread's next write.
    const auto report = on ? tolv::ReadWatchdogReport() : std::nullopt;
    m_TrayIcon->SetTip(readout::TrayTip(on, m_Main.AppliedRebootTime(), m_Main.AppliedResetTime(), report));
    m_TipTimer.SetEnabled(on);
}
