#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "gui/framework/Component.h"
#include "gui/graphics/Canvas.h"

class QSystemTrayIcon;

namespace framework {

class PopupMenu;

// Mouse notifications of an icon in the notification area, numbered as the kit's tray
// component expects them: consecutive from 512.
enum TrayNotification : unsigned {
    WM_MOUSEMOVE = 512,
    WM_LBUTTONDOWN,
    WM_LBUTTONUP,
    WM_LBUTTONDBLCLK,
    WM_RBUTTONDOWN,
    WM_RBUTTONUP,
    WM_RBUTTONDBLCLK,
    WM_MBUTTONDOWN,
    WM_MBUTTONUP,
};
static_assert(WM_MBUTTONUP == 520);

using TrayNotifyEvent = Event<Component*, unsigned>;

// Answers whether a notification area would take an icon now.
using TrayHostProbe = std::function<bool()>;

// An icon in the notification area. It shows the tooltip set with SetToolTip and opens no menu
// but the one handed to it with SetMenu: mouse actions reach OnNotify, and the owner decides
// what they do. Hosts report whole clicks, not presses and releases, so the notifications seen
// are a left click (left button up), a right click (right button up), a double click and a
// middle click (middle button up). A click counts at the release over the icon: a press that
// ends elsewhere opens nothing and reports nothing.
class TrayIcon : public Component {
public:
    TrayIcon();
    ~TrayIcon() override;

    // Loads the picture from a PNG file and shows it at once when the icon is in the
    // notification area. A missing or unreadable file gives an empty icon; answers whether
    // the file gave a picture.
    bool SetIcon(const std::filesystem::path& file);
    bool HasIcon() const;

    // Puts the icon into the notification area. False (and nothing shown) when there is no
    // host to take it; the caller may ask again later.
    bool Show();
    void Hide();
    bool Visible() const { return m_Visible; }

    // A message beside the icon, shown for a few seconds, under an optional title; nothing
    // when the icon is not shown or the text is empty. Hosts offer no way to take one back early.
    void ShowMessage(const std::string& text, const std::string& title = {});

    // The text shown while the pointer rests on the icon; empty for none. Qt is told only of a
    // text that differs from the one it has.
    void SetToolTip(const std::string& text);

    // Hands the menu to the notification area, which opens it itself, at the icon: a
    // StatusNotifier host draws it from the copy exported over DBusMenu (an item's caption and
    // enabled state follow at once), an XEmbed tray has it opened at a right click. A right
    // click still reaches OnNotify. Null takes the menu back; a menu handed over must outlive
    // the icon or be taken back first.
    void SetMenu(PopupMenu* menu);

    TrayNotifyEvent OnNotify;

    // Replaces the question put to the desktop (tests simulate a host this way); null asks
    // the desktop again. Answers the previous probe.
    static TrayHostProbe SetHostProbe(TrayHostProbe probe);
    static bool HostAvailable();

    // The Qt icon (for tests).
    QSystemTrayIcon* Native() const { return m_Icon.get(); }

private:
    std::unique_ptr<QSystemTrayIcon> m_Icon;
    bool m_Visible = false;
};

// Where the mouse pointer is now, in screen pixels.
graphics::Point CursorPos();

// The modifier keys and mouse buttons held now.
ShiftState CurrentShiftState();

} // namespace framework
