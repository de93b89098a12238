#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "gui/framework/Component.h"

class QImage;
class QWidget;

namespace framework {

class FormHost;

// Extended window styles, with the values the layered-window code and the forms test for.
enum ExStyleFlag : std::uint32_t {
    WS_EX_TOPMOST = 0x00000008,
    WS_EX_TRANSPARENT = 0x00000020, // transparent to the mouse
    WS_EX_TOOLWINDOW = 0x00000080,  // no taskbar entry unless WS_EX_APPWINDOW is set too
    WS_EX_APPWINDOW = 0x00040000,
    WS_EX_LAYERED = 0x00080000, // the window shows the pushed per-pixel-alpha image
};

enum CloseAction { caNone, caHide, caFree, caMinimize };
enum WindowState { wsNormal, wsMinimized, wsMaximized };

using CloseEvent = Event<Component*, CloseAction&>;
using CloseQueryEvent = Event<Component*, bool&>;

// A length in window pixels as device pixels at the scale, rounded up so no pixel is cut off.
int DevicePixels(int length, double scale);

// A top-level window. Its native window is a frameless host widget that paints either the
// image pushed to it (layered) or the form's colour (opaque); mouse input on the host reaches
// the form. Coordinates are screen pixels; sizes are those of the window itself.
class Form : public Component {
public:
    Form();
    ~Form() override;

    // Fires the create event the first time; later calls do nothing. Application::CreateForm
    // calls it after construction; Show calls it for forms made otherwise.
    void Create();

    const std::string& Caption() const { return m_Caption; }
    void SetCaption(const std::string& caption);

    int Left() const;
    int Top() const;
    int Width() const;
    int Height() const;
    void SetLeft(int left) { SetBounds(left, Top(), Width(), Height()); }
    void SetTop(int top) { SetBounds(Left(), top, Width(), Height()); }
    void SetWidth(int width) { SetBounds(Left(), Top(), width, Height()); }
    void SetHeight(int height) { SetBounds(Left(), Top(), Width(), height); }
    void SetBounds(int left, int top, int width, int height);

    // Colour of an opaque (not layered) window, 0x00BBGGRR.
    std::uint32_t Color() const { return m_Color; }
    void SetColor(std::uint32_t color);

    bool Visible() const { return m_Visible; }
    void SetVisible(bool visible);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }

    WindowState GetWindowState() const;
    void SetWindowState(WindowState state);
    void Minimize() { SetWindowState(wsMinimized); }
    // Shows the window in its normal state, from minimised or hidden.
    void Restore();
    void BringToFront();

    // Asks OnCloseQuery, then fires OnClose with caHide; caNone keeps the form open. Closing
    // the main form terminates the application; otherwise the action hides, minimises or
    // releases the form.
    void Close();
    bool CloseQuery();

    std::uint32_t ExStyle() const { return m_ExStyle; }
    void SetExStyle(std::uint32_t style);
    // How many times the extended style was written (each write may rebuild the native
    // window's flags, so callers write it only on a change).
    int ExStyleWrites() const { return m_ExStyleWrites; }

    // The result a button of the form hands over when clicked; 0 until then.
    int ModalResult() const { return m_ModalResult; }
    void SetModalResult(int result) { m_ModalResult = result; }

    // Repaints the whole window now.
    void Redraw();

    // Device pixels per form pixel on the window's screen: 1 unless the desktop scales.
    double DeviceScale() const;
    // A picture in device pixels (its device pixel ratio set) laid over the next pushed layered
    // picture, which is scaled up to meet it; a null image for none. A scaled form draws its
    // text here, so that text keeps the screen's full sharpness.
    void SetDetailLayer(const QImage& layer);

    // Every key pressed in the window reaches the form first (OnKeyDown), then the control that
    // has the focus unless the handler zeroed the key. The first key also shows focus cues.
    void KeyDown(std::uint16_t& key, ShiftState shift);
    // Whether the focused control shows a focus mark. Off until the keyboard is used in the
    // window (a key press or a Tab move), so a mouse user's window looks as it always did.
    bool FocusCues() const { return m_FocusCues; }
    void ShowFocusCues();

    // Called on a left press: lets the user move the window by dragging on from there. The
    // move begins past the platform's drag distance; a release before that is a plain click.
    void StartWindowDrag();

    // The native window (for the framework's controls and for tests).
    QWidget* Host() const;
    FormHost* HostWindow() const { return m_Host.get(); }

    NotifyEvent OnCreate;
    NotifyEvent OnShow;
    NotifyEvent OnHide;
    CloseEvent OnClose;
    CloseQueryEvent OnCloseQuery;
    MouseEvent OnMouseDown;
    MouseEvent OnMouseUp;
    MouseMoveEvent OnMouseMove;
    KeyEvent OnKeyDown;

    // Input from the host; each fires its event.
    virtual void MouseDown(MouseButton button, ShiftState shift, int x, int y);
    virtual void MouseUp(MouseButton button, ShiftState shift, int x, int y);
    virtual void MouseMove(ShiftState shift, int x, int y);

protected:
    virtual void DoCreate();
    virtual void DoShow();
    virtual void DoHide();
    virtual void DoClose(CloseAction& action);

private:
    std::unique_ptr<FormHost> m_Host;
    std::string m_Caption;
    std::uint32_t m_Color = 0x00F0F0F0;
    std::uint32_t m_ExStyle = 0;
    int m_ExStyleWrites = 0;
    int m_ModalResult = 0;
    bool m_Created = false;
    bool m_Visible = false;
    bool m_FocusCues = false;
};

} // namespace framework
