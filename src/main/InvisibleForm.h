#pragma once

#include <memory>

#include "gui/framework/Form.h"
#include "gui/framework/PopupMenu.h"

class GsTrayIcon;
class TMainForm;

// The hidden owner of the program's icon in the notification area and of its menu ("Exit").
// A left click on the icon brings the main window back; the notification area opens the menu
// at the icon. The form itself is never shown.
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

private:
    TMainForm& m_Main;
    // Before the icon, so the menu handed to the notification area outlives it.
    framework::PopupMenu m_PopupMenu;
    framework::MenuItem* m_Exit = nullptr;
    std::unique_ptr<GsTrayIcon> m_TrayIcon;
};
