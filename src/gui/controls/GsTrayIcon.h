#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "gui/framework/Component.h"
#include "gui/framework/Liveness.h"
#include "gui/framework/Timer.h"

namespace framework {
class PopupMenu;
class TrayIcon;
} // namespace framework

// Which parts of the notify record the notification area is given.
enum TrayNotifyFlag : std::uint32_t {
    NIF_MESSAGE = 0x01, // mouse actions are reported
    NIF_ICON = 0x02,
    NIF_TIP = 0x04,
    NIF_INFO = 0x10, // the balloon text
};

// What the notification area knows of one icon.
struct TrayNotifyRecord {
    framework::TrayIcon* window = nullptr; // receives the mouse notifications
    unsigned id = 0;
    unsigned callbackMessage = 0;
    std::uint32_t flags = 0;
    std::filesystem::path icon; // PNG file of the picture; empty for none
    std::string tip;            // tooltip, at most kMaxTipLength characters
    std::string info;           // balloon text, at most kMaxInfoLength characters
    std::string infoTitle;      // the balloon's title
};

// Keeps one icon in the notification area and remembers whether the area holds it.
class CsTrayIcon {
public:
    static constexpr std::size_t kMaxInfoLength = 255;
    static constexpr std::size_t kMaxTipLength = 127;

    CsTrayIcon(framework::TrayIcon* window, unsigned id, unsigned callbackMessage);
    // Removes the icon from the notification area when it is there.
    ~CsTrayIcon();
    CsTrayIcon(const CsTrayIcon&) = delete;
    CsTrayIcon& operator=(const CsTrayIcon&) = delete;

    // Offers the icon up to three times in a row; answers whether it is in.
    bool Add();
    // Takes the icon out of the notification area.
    void Delete();
    // Add or Delete, only when visible differs from the added state.
    void SetVisible(bool visible);
    bool IsAdded() const { return m_Added; }
    framework::TrayIcon* GetWindow() const { return m_Record.window; }

    // Stores the picture and answers the previous one; the notification area sees it at the
    // next Add or Modify.
    std::filesystem::path SetIcon(const std::filesystem::path& icon);
    const std::string& BalloonText() const { return m_BalloonText; }
    void SetBalloonText(const std::string& text) { m_BalloonText = text; }
    void SetBalloonTitle(const std::string& title) { m_BalloonTitle = title; }
    // Stores the tooltip (cut to kMaxTipLength); an added icon shows a changed one at once, and
    // nothing else of the icon is sent again.
    void SetTip(const std::string& tip);
    // Whether an update shows the balloon text too.
    enum class Balloon { Without, With };
    // Updates the icon when it is added, with or without the balloon.
    void Modify(Balloon balloon = Balloon::Without);

    const TrayNotifyRecord& Record() const { return m_Record; }

private:
    void UpdateFlags(Balloon balloon);
    void Publish();

    TrayNotifyRecord m_Record;
    std::string m_BalloonText;
    std::string m_BalloonTitle;
    bool m_Added = false;
};

// Which mouse notification fires an action of the tray icon.
enum TrayTrigger : int {
    ttLeftDown = 0,         // left button pressed
    ttDoubleClick = 1,      // left or right double click
    ttAnyDown = 2,          // any button pressed
    ttAnyUp = 3,            // any button released
    ttLeftUp = 4,           // left button released
    ttLeftDoubleClick = 5,
    ttRightUp = 6,          // right button released
    ttRightDoubleClick = 7,
    ttNever = 8,            // this and every larger kind never fires
};

// The program's icon in the notification area: turns the icon's mouse notifications into
// events, restores the main window or opens the popup menu on their triggers, and keeps
// offering the icon every five seconds until the notification area takes it.
class GsTrayIcon : public framework::Component {
public:
    static constexpr int kRetryInterval = 5000; // milliseconds

    GsTrayIcon(framework::Component* owner, unsigned id, unsigned callbackMessage);
    ~GsTrayIcon() override;

    framework::Component* Owner() const { return m_Owner; }
    CsTrayIcon& Tray() { return *m_Tray; }
    void SetVisible(bool visible) { m_Tray->SetVisible(visible); }
    bool IsAdded() const { return m_Tray->IsAdded(); }

    // The picture, from a PNG file (the skin's "tray.png" unless set); an unreadable file
    // gives an empty icon.
    void SetIconFile(const std::filesystem::path& file);

    // Minimises the application and hides its main form.
    virtual void Minimize();
    // Shows the main form in its normal state and brings it to the front.
    virtual void Restore();
    // Opens the popup menu, when there is one, at a screen point.
    virtual void PopupAt(int x, int y);
    virtual void ShowBalloon(const std::string& text);
    virtual void HideBalloon();
    void SetBalloonTitle(const std::string& title) { m_Tray->SetBalloonTitle(title); }
    void SetTip(const std::string& tip) { m_Tray->SetTip(tip); }
    virtual void SetRestoreTrigger(int kind) { m_RestoreTrigger = kind; }
    void SetPopupTrigger(int kind) { m_PopupTrigger = kind; }
    int RestoreTrigger() const { return m_RestoreTrigger; }
    int PopupTrigger() const { return m_PopupTrigger; }

    // Not owned; null for none.
    framework::PopupMenu* PopupMenu() const { return m_PopupMenu; }
    void SetPopupMenu(framework::PopupMenu* menu) { m_PopupMenu = menu; }
    // The menu the notification area opens itself at the icon (not owned; it must outlive the
    // icon). Unlike the popup menu it needs no trigger, and a host that draws menus itself
    // (a StatusNotifier host) gets it too.
    void SetHostMenu(framework::PopupMenu* menu);

    // One mouse notification from the notification area: the triggers first, then the events.
    void HandleNotify(unsigned notification);

    framework::Timer& RetryTimer() { return m_RetryTimer; }

    framework::NotifyEvent OnMinimize;
    framework::NotifyEvent OnRestore;
    framework::NotifyEvent OnClick;
    framework::NotifyEvent OnDblClick;
    framework::MouseMoveEvent OnMouseMove;
    framework::MouseEvent OnMouseUp;
    framework::MouseEvent OnMouseDown;

private:
    void RetryTick(framework::Component* sender);
    void FireMouseEvent(unsigned notification);

    framework::Component* m_Owner;
    framework::Timer m_RetryTimer;
    std::unique_ptr<framework::TrayIcon> m_Window;
    std::unique_ptr<CsTrayIcon> m_Tray;
    framework::PopupMenu* m_PopupMenu = nullptr;
    int m_RestoreTrigger = ttNever;
    int m_PopupTrigger = ttNever;
    // Lets HandleNotify stop when a handler destroyed the icon.
    framework::Liveness m_Life;
};
