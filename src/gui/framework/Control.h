#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QPointer>

#include "gui/framework/Component.h"
#include "gui/framework/Liveness.h"
#include "gui/graphics/Bitmap.h"
#include "gui/graphics/Canvas.h"

class QWidget;
class QTimer;

namespace framework {

class Form;
class Control;
class ControlWidget;

// Horizontal and vertical placement of a caption in its rectangle.
enum TAlignment { taLeftJustify = 0, taRightJustify = 1, taCenter = 2 };
enum TTextLayout { tlTop = 0, tlCenter = 1, tlBottom = 2 };

// Virtual key codes of key events (letters and digits are their upper-case character codes).
enum : std::uint16_t {
    VK_BACK = 0x08,
    VK_TAB = 0x09,
    VK_RETURN = 0x0D,
    VK_SHIFT = 0x10,
    VK_CONTROL = 0x11,
    VK_MENU = 0x12,
    VK_ESCAPE = 0x1B,
    VK_SPACE = 0x20,
    VK_PRIOR = 0x21,
    VK_NEXT = 0x22,
    VK_END = 0x23,
    VK_HOME = 0x24,
    VK_LEFT = 0x25,
    VK_UP = 0x26,
    VK_RIGHT = 0x27,
    VK_DOWN = 0x28,
    VK_INSERT = 0x2D,
    VK_DELETE = 0x2E,
    VK_F1 = 0x70,
};

// The virtual key of a Qt key, 0 for keys without one.
std::uint16_t VirtualKeyFromQt(int qtKey);

// Where SendToBack and BringToFront put a child in its parent's painting order.
enum class ZOrder { Back, Front };
// What TrackMouse arms: the leave notification alone, or also the hover notification.
enum class Tracking { LeaveOnly, LeaveAndHover };

using KeyPressEvent = Event<Component*, char16_t&>;

// What assistive technology is told about a control besides its name: its kind and, by kind,
// its checked state or its value and limits.
struct AccessibleFacts {
    enum class Kind { Other, Button, CheckBox, Field };
    Kind kind = Kind::Other;
    bool checked = false;
    int value = 0;
    int minimum = 0;
    int maximum = 0;
};

// What windowed and windowless controls share: bounds in the parent's coordinates, the parent
// (another Control, or a Form for a top-level child), visibility, enabled state, caption, font,
// hint and the mouse events. A control never owns its parent or its owner; whoever creates a
// control owns it, and destroying it takes it out of its parent's child list.
class BaseControl : public Component {
public:
    explicit BaseControl(Component* owner = nullptr);
    ~BaseControl() override;

    Component* Owner() const { return m_Owner; }

    int Left() const { return m_Left; }
    int Top() const { return m_Top; }
    int Width() const { return m_Width; }
    int Height() const { return m_Height; }
    void SetLeft(int left) { SetBounds(left, m_Top, m_Width, m_Height); }
    void SetTop(int top) { SetBounds(m_Left, top, m_Width, m_Height); }
    void SetWidth(int width) { SetBounds(m_Left, m_Top, width, m_Height); }
    void SetHeight(int height) { SetBounds(m_Left, m_Top, m_Width, height); }
    // Negotiates the size (CanResize, then CanAutoSize when AutoSize is on), stores the bounds
    // and fires Resize when the size changed. A refused size changes nothing.
    virtual void SetBounds(int left, int top, int width, int height);
    // (Left, Top, Left + Width, Top + Height) in the parent's coordinates.
    graphics::Rect BoundsRect() const;
    // (0, 0, Width, Height).
    graphics::Rect ClientRect() const;

    // The parent control, or null when the control sits on a form or nowhere.
    Control* Parent() const { return m_Parent; }
    // The form the control sits on, directly or through its parents; null when none.
    Form* ParentForm() const;
    // The form given by SetParent(Form*), null when the parent is a control.
    Form* ParentFormDirect() const { return m_ParentForm; }
    void SetParent(Control* parent);
    void SetParent(Form* form);

    bool Visible() const { return m_Visible; }
    virtual void SetVisible(bool visible);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    // Visible and every parent control visible.
    bool Showing() const;

    bool Enabled() const { return m_Enabled; }
    virtual void SetEnabled(bool enabled);

    const std::string& Caption() const { return m_Caption; }
    void SetCaption(const std::string& caption);

    const graphics::TFont& Font() const { return m_Font; }
    void SetFont(const graphics::TFont& font);

    const std::string& Hint() const { return m_Hint; }
    void SetHint(const std::string& hint);
    bool ShowHint() const { return m_ShowHint; }
    void SetShowHint(bool show);

    bool AutoSize() const { return m_AutoSize; }
    // Switching it on renegotiates the current bounds at once.
    void SetAutoSize(bool autoSize);
    // Renegotiates the current bounds when AutoSize is on.
    virtual void AdjustSize();

    // Asks for a repaint; windowless controls ask their parent.
    virtual void Invalidate() = 0;
    void Repaint() { Invalidate(); }

    // Z-order among the parent's children (the child list order is the painting order).
    void SendToBack();
    void BringToFront();

    NotifyEvent OnClick;
    NotifyEvent OnResize;
    MouseEvent OnMouseDown;
    MouseEvent OnMouseUp;
    MouseMoveEvent OnMouseMove;
    NotifyEvent OnMouseEnter;
    NotifyEvent OnMouseLeave;

    // Fires OnClick.
    virtual void Click();

protected:
    // Size negotiation hooks: both may change the proposed size. CanResize false refuses the
    // size; CanAutoSize true puts its proposal in place of the requested size.
    virtual bool CanResize(int& width, int& height);
    virtual bool CanAutoSize(int& width, int& height);
    // After the bounds changed; the base fires OnResize when the size changed.
    virtual void BoundsChanged(bool sizeChanged);
    virtual void CaptionChanged() {}
    virtual void FontChanged() {}
    virtual void VisibleChanged() {}
    virtual void EnabledChanged() {}
    virtual void ParentChanged() {}
    virtual void HintChanged() {}

    // Framework handlers of the mouse; each fires its event.
    virtual void MouseDown(MouseButton button, ShiftState shift, int x, int y);
    virtual void MouseUp(MouseButton button, ShiftState shift, int x, int y);
    virtual void MouseMove(ShiftState shift, int x, int y);
    virtual void MouseEnter();
    virtual void MouseLeave();

private:
    friend class Control;
    void DetachFromParent();

    Component* m_Owner = nullptr;
    Control* m_Parent = nullptr;
    Form* m_ParentForm = nullptr;
    int m_Left = 0;
    int m_Top = 0;
    int m_Width = 0;
    int m_Height = 0;
    bool m_Visible = true;
    bool m_Enabled = true;
    bool m_AutoSize = false;
    bool m_ShowHint = false;
    std::string m_Caption;
    std::string m_Hint;
    graphics::TFont m_Font;
};

// A windowed control: backed by an input-only child QWidget of its form's host (or of its parent
// control's widget) that paints nothing and feeds the control press, release, move (with button
// and modifier state), enter, leave, focus, keys and its tooltip. Mouse capture on press comes
// from Qt. What the control looks like reaches the screen through the window's own composition
// (see OnAfterPaint of the kit's controls), never through the QWidget.
class Control : public BaseControl {
public:
    explicit Control(Component* owner = nullptr);
    ~Control() override;

    // The input widget (null once Qt has destroyed it with its window).
    QWidget* Handle() const;

    // Children in painting order (SendToBack puts a child first).
    int ControlCount() const { return static_cast<int>(m_Children.size()); }
    BaseControl* Controls(int index) const { return m_Children.at(static_cast<std::size_t>(index)); }

    // Queues one deferred Paint through the event loop; further calls before it runs add
    // nothing. Never repaints the QWidget.
    void Invalidate() override;
    bool PaintPending() const { return m_PaintPending; }
    // Runs a pending Paint now (callers that need the picture at once).
    void Update();

    // The control's own drawing surface: a bitmap of the control's size kept for the last
    // picture a paint put there.
    graphics::Bitmap& Surface() { return m_Surface; }
    graphics::Canvas& Canvas() { return m_Surface.Canvas(); }

    bool TabStop() const { return m_TabStop; }
    void SetTabStop(bool tabStop);
    bool Focused() const;
    bool CanFocus() const;
    void SetFocus();

    // The name assistive technology reads out; when empty, the caption (unless blank), then
    // the hint.
    const std::string& AccessibleName() const { return m_AccessibleName; }
    void SetAccessibleName(std::string name) { m_AccessibleName = std::move(name); }
    virtual AccessibleFacts Facts() { return {}; }
    // Assistive technology sets a field's value; controls without a value ignore it.
    virtual void SetFactsValue(int) {}

    NotifyEvent OnEnter;
    NotifyEvent OnExit;
    KeyEvent OnKeyDown;
    KeyEvent OnKeyUp;
    KeyPressEvent OnKeyPress;

    // Mouse tracking, as the platform's tracking call: a leave notification (TrackedMouseLeave)
    // when the pointer leaves, and with hover a single-shot hover notification (MouseHover)
    // after hoverTime ms. Arming again restarts the hover period; a leave cancels both.
    void TrackMouse(Tracking tracking, int hoverTime);
    bool LeaveTracking() const { return m_TrackLeave; }
    bool HoverPending() const;
    // The period of the pending hover notification, in ms (-1 when none is pending).
    int HoverPendingTime() const;
    // Delivers a pending hover notification now instead of at the end of its period.
    void FireHover();

protected:
    // Runs from the event loop after Invalidate: erases the background (EraseBkgnd), then
    // Paint, then paints the windowless children onto the surface.
    void PaintHandler();
    // Answers whether the background counts as erased; the base erases nothing.
    virtual bool EraseBkgnd() { return true; }
    // Draws the control onto its surface; the base draws nothing.
    virtual void Paint() {}
    // Draws the visible windowless children onto the surface, each at its position.
    void PaintControls();
    // Expires when the control is destroyed; check it after calling out to a handler.
    LifeWatch Life() const { return m_Life.Watch(); }

    virtual void DoEnter();
    virtual void DoExit();
    virtual void KeyDown(std::uint16_t& key, ShiftState shift);
    virtual void KeyUp(std::uint16_t& key, ShiftState shift);
    virtual void KeyPress(char16_t& key);

    // Hover notification of TrackMouse: the shift state holds the buttons and modifiers held
    // now, x and y the last pointer position in control coordinates.
    virtual void MouseHover(ShiftState shift, int x, int y);
    // Leave notification of TrackMouse.
    virtual void TrackedMouseLeave() {}
    // The control lost the mouse capture (a release will not come).
    virtual void CaptureChanged() {}

    // A left press on the control arms click detection; a left release inside clicks.
    void MouseDown(MouseButton button, ShiftState shift, int x, int y) override;
    void MouseUp(MouseButton button, ShiftState shift, int x, int y) override;

    void BoundsChanged(bool sizeChanged) override;
    void VisibleChanged() override;
    void EnabledChanged() override;
    void ParentChanged() override;
    void HintChanged() override;

private:
    friend class BaseControl;
    friend class ControlWidget;
    void InsertChild(BaseControl* child);
    void RemoveChild(BaseControl* child);
    void MoveChild(BaseControl* child, ZOrder order);
    void SyncWidgetVisibility();
    void HoverTimeout();
    void LeaveFromQt();
    void LostCapture();
    bool ButtonsHeld() const { return m_Clicked || (m_LastShift & (ssLeft | ssRight | ssMiddle)) != 0; }
    void Track(ShiftState shift, int x, int y);

    QPointer<ControlWidget> m_Widget;
    QPointer<QTimer> m_HoverTimer;
    // Expires with the control: handlers that may destroy it are followed by a check.
    Liveness m_Life;
    std::vector<BaseControl*> m_Children;
    graphics::Bitmap m_Surface;
    std::string m_AccessibleName;
    ShiftState m_LastShift = 0;
    int m_LastX = 0;
    int m_LastY = 0;
    bool m_PaintPending = false;
    bool m_TabStop = false;
    bool m_Clicked = false;
    bool m_TrackLeave = false;
};

} // namespace framework
