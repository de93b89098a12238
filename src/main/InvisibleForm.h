#pragma once

#include <memory>
#include <string>

#include "gui/framework/DeferredCall.h"
#include "gui/framework/Form.h"
#include "gui/framework/PopupMenu.h"
#include "gui/framework/Timer.h"

class GsTrayIcon;
class TMainForm;

// The hidden owner of the program's icon in the notification area and of its menu ("Exit").
// A left click on the icon brings the main window back; the notification area opens the menu
// at the icon. The icon's tooltip tells whether the watchdog runs, with which times, and (each
// second while it runs) how long the device still counts down. The form itself is never shown.
class TInvisibleForm : public framework::Form {
public:
    // The tray's identifier and the callback message its notifications arrive as.
    static constexpr unsigned kTrayIconId = 1;
    static constexpr unsigned kTrayCallbackMessage = 1114; // WM_USER + 90

    explicit TInvisibleForm(TMainForm& mainForm);
    ~TInvisibleForm() override;

    GsTrayIcon& TrayIcon() { return *m_TrayIcon; }
    framework::PopupMenu& PopupMenu() { return m_PopupMenu; }
    framework::MenuItem& Exit() { return *m_Exit; }

    // Tells the user of something that happened before this start: as the icon's balloon when
    // the notification area holds the icon, else in a message box once the event loop runs.
    void TellAtStart(const std::string& text);
    // Puts the main window's watchdog state into the icon's tooltip.
    void RefreshTip();
    framework::Timer& TipTimer() { return m_TipTimer; }

private:
    TMainForm& m_Main;
    // Before the icon, so the menu handed to the notification area outlives it.
    framework::PopupMenu m_PopupMenu;
    framework::MenuItem* m_Exit = nullptr;
    std::unique_ptr<GsTrayIcon> m_TrayIcon;
    // Runs while the watchdog is on: the seconds left change.
    framework::Timer m_TipTimer;
    std::string m_StartNotice;
    framework::DeferredCall m_TellStartNotice;
};
