#pragma once

// The base of the skinned control kit: the windowless widget that holds a control's visual
// state, geometry, hover and capture logic and drawing (gs::GsWidget), the widget with a
// caption layout (gs::WdgCustomControl), and the windowed control that owns a widget and feeds
// it input (GsCustomControl).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gui/framework/Control.h"
#include "gui/graphics/Bitmap.h"
#include "gui/graphics/Canvas.h"

class GsTextMargins;
class GsCustomControl;

namespace gs {
class GsOuterGlowTextEffectPainter;
}

using framework::taCenter;
using framework::taLeftJustify;
using framework::taRightJustify;
using framework::TAlignment;
using framework::tlBottom;
using framework::tlCenter;
using framework::tlTop;
using framework::TTextLayout;
using graphics::GsAlphaFormat;
using graphics::gafDefined;
using graphics::gafIgnored;
using graphics::gafPremultiplied;

// Index of a state image and of a caption style.
enum class ButtonState : std::int32_t { Raised = 0, Sunken = 1, Hovered = 2, Disabled = 3, Focused = 4, Active = 5 };
constexpr int kButtonStateCount = 6;

// State of a check box.
enum CheckState : std::int32_t { cbUnchecked = 0, cbChecked = 1, cbGrayed = 2 };

namespace gs {

class GsWidget;

// A point hits an image-shaped widget where the image's alpha is greater than this (unless the
// widget is given another limit).
constexpr std::uint8_t kDefaultHitAlphaLimit = 40;

// Option flags of a widget.
enum WidgetOption : unsigned {
    // The widget handles mouse-down and mouse-move itself even when a child took them, and
    // SetEnabled is passed on to every child.
    ShareEvents = 0x1,
    // Clicking does not toggle (the panel's check-box widget).
    NoToggle = 0x2,
    // Rendered through an offscreen bitmap of ContentWidth x ContentHeight shown from
    // ScrollOrigin.
    ScrolledContent = 0x4,
    // Releasing the left button while the widget holds the capture clicks it.
    ClickOnRelease = 0x8,
};
using WidgetOptions = unsigned;
constexpr WidgetOptions kNoOptions = 0;

// Told after every mouse-down which child holds the capture now (null when the widget itself
// or nobody holds it).
class GsWidgetObserver {
public:
    virtual ~GsWidgetObserver() = default;
    virtual void CaptureHolder(GsWidget* child) = 0;
};

using WidgetNotifyEvent = framework::Event<GsWidget*>;
using WidgetMouseEvent = framework::Event<GsWidget*, framework::MouseButton, framework::ShiftState, int, int>;
using WidgetMouseMoveEvent = framework::Event<GsWidget*, framework::ShiftState, int, int>;
using WidgetPaintEvent = framework::Event<GsWidget*, graphics::Bitmap*, const graphics::Rect&>;

// A windowless widget: a rectangle in its parent widget (a control's root widget sits at 0,0)
// with visual state, children it owns and routes mouse input to, and drawing into bitmaps.
class GsWidget {
public:
    GsWidget();
    GsWidget(const GsWidget&) = delete;
    GsWidget& operator=(const GsWidget&) = delete;

    // Destroys the children. A widget destroyed while a parent owns it first leaves the parent
    // (its child list and capture), so deleting a child directly frees it once.
    virtual ~GsWidget();
    // Rectangle test in the parent's coordinates.
    virtual bool HitTest(int x, int y);
    virtual GsWidget* AsWidget() { return this; }
    // Moves the widget into p's children (taking it out of its old parent's); null makes it
    // a root. Ownership follows the parent: a widget given a parent belongs to that parent,
    // which destroys it; one taken out with null belongs to the caller again. A root widget
    // owned elsewhere (a control's) must not be given a parent; new children come in through
    // AddChild.
    virtual void SetParent(GsWidget* parent);
    virtual void SetLeft(int left);
    virtual void SetTop(int top);
    virtual void SetWidth(int width);
    virtual void SetHeight(int height);
    virtual void SetEnabled(bool enabled);
    virtual void SetVisible(bool visible);
    virtual void SetText(const std::string& text);
    virtual void SetAutoSize(bool autoSize);
    // Draws the widget itself (not its children) into target at rect; the base draws nothing.
    virtual void Paint(graphics::Bitmap* target, const graphics::Rect& rect);
    virtual void Reserved1() {}
    virtual void Reserved2() {}
    virtual void DoMouseMove(framework::ShiftState shift, int x, int y);
    virtual void DoMouseDown(framework::MouseButton button, framework::ShiftState shift, int x, int y);
    virtual void DoMouseUp(framework::MouseButton button, framework::ShiftState shift, int x, int y);
    virtual void DoMouseLeave();
    virtual void DoMouseEnter();
    virtual void DoClick();
    // Size proposals; true accepts, and the values may be changed to a counter-proposal.
    virtual bool CanAutoSize(int& width, int& height);
    virtual bool CanResize(int& width, int& height);

    // Negotiates the size, stores the bounds and fires OnResize when the size changed. A
    // refused size changes nothing.
    void SetBounds(int left, int top, int width, int height);
    // Takes child (which has no parent) as the last child in painting order; answers it.
    template <typename T>
    T* AddChild(std::unique_ptr<T> child)
    {
        T* raw = child.get();
        Adopt(std::move(child));
        return raw;
    }
    // Asks the owner control of the root widget to repaint.
    void Invalidate();
    // Stores and repaints without comparing.
    void SetAlphaValue(std::uint8_t value);

    // Mouse routing; x and y are in the parent's coordinates. Handlers reached from here may
    // destroy the widget (or its control): nothing touches it after one that did.
    void MouseMove(framework::ShiftState shift, int x, int y);
    void MouseDown(framework::MouseButton button, framework::ShiftState shift, int x, int y);
    void MouseUp(framework::MouseButton button, framework::ShiftState shift, int x, int y);
    void MouseLeave();
    void Click();

    // Draws the widget and its children into target; rect is the widget's rectangle in the
    // coordinates of the target's surface.
    void Render(graphics::Bitmap* target, const graphics::Rect& rect);
    // Puts a state image (a temporary copy, which may be changed) onto target at position,
    // according to AlphaFormat and AlphaValue.
    void ComposeImage(graphics::Bitmap* target, graphics::Point position, graphics::Bitmap* image);

    GsWidgetObserver* Observer() const { return m_Observer; }
    void SetObserver(GsWidgetObserver* observer) { m_Observer = observer; }
    int ContentWidth() const { return m_ContentWidth; }
    int ContentHeight() const { return m_ContentHeight; }
    void SetContentSize(int width, int height);
    GsWidget* Parent() const { return m_Parent; }
    WidgetOptions Options() const { return m_Options; }
    void SetOptions(WidgetOptions options) { m_Options = options; }
    bool HasOption(WidgetOption option) const { return (m_Options & option) != 0; }
    int Left() const { return m_Bounds.Left; }
    int Top() const { return m_Bounds.Top; }
    int Width() const { return m_Bounds.Width(); }
    int Height() const { return m_Bounds.Height(); }
    graphics::Rect BoundsRect() const { return m_Bounds; }
    bool Visible() const { return m_Visible; }
    bool Enabled() const { return m_Enabled; }
    bool MouseTransparent() const { return m_MouseTransparent; }
    void SetMouseTransparent(bool value) { m_MouseTransparent = value; }
    bool AutoSize() const { return m_AutoSize; }
    bool TransparentHit() const { return m_TransparentHit; }
    void SetTransparentHit(bool value) { m_TransparentHit = value; }
    std::uint8_t HitAlphaLimit() const { return m_HitAlphaLimit; }
    void SetHitAlphaLimit(std::uint8_t value) { m_HitAlphaLimit = value; }
    std::uint8_t AlphaValue() const { return m_AlphaValue; }
    GsAlphaFormat AlphaFormat() const { return m_AlphaFormat; }
    void SetAlphaFormat(GsAlphaFormat format) { m_AlphaFormat = format; }
    bool Hovered() const { return m_Hovered; }
    // None, the widget itself, or the child that took the mouse-down.
    GsWidget* Captured() const { return m_Captured; }
    GsCustomControl* Owner() const { return m_Owner; }
    void SetOwner(GsCustomControl* owner) { m_Owner = owner; }
    graphics::Point ScrollOrigin() const { return m_ScrollOrigin; }
    void SetScrollOrigin(graphics::Point origin) { m_ScrollOrigin = origin; }
    const std::string& Text() const { return m_Text; }
    int ChildCount() const { return static_cast<int>(m_Children.size()); }
    GsWidget* Child(int index) const { return m_Children.at(static_cast<std::size_t>(index)).get(); }
    // The widget with no parent above this one.
    GsWidget* Root();
    // Expires when the widget is destroyed; check it after calling out to a handler.
    framework::LifeWatch Life() const { return m_Life.Watch(); }

    WidgetPaintEvent OnPaint;
    WidgetNotifyEvent OnClick;
    WidgetMouseEvent OnMouseDown;
    WidgetMouseEvent OnMouseUp;
    WidgetMouseMoveEvent OnMouseMove;
    WidgetNotifyEvent OnMouseEnter;
    WidgetNotifyEvent OnMouseLeave;
    WidgetNotifyEvent OnResize;

protected:
    void SetCaptured(GsWidget* captured) { m_Captured = captured; }
    void SetHovered(bool hovered) { m_Hovered = hovered; }

private:
    void Adopt(std::unique_ptr<GsWidget> child);
    // Takes child out of the child list (and the capture) and hands it over.
    std::unique_ptr<GsWidget> TakeChild(GsWidget* child);
    bool NegotiateSize(int& width, int& height);
    bool Eligible(const GsWidget* child) const;
    bool AcceptsInput() const { return m_Enabled && !m_MouseTransparent && m_Visible; }
    graphics::Point ToLocal(int x, int y) const;
    GsWidget* ChildAt(graphics::Point local);
    // Each of these answers false when a handler destroyed this widget.
    bool MouseEnterSelf();
    bool LeaveChildrenExcept(const GsWidget* keep);
    bool RouteMouseDown(framework::MouseButton button, framework::ShiftState shift, int x, int y);
    bool ReleaseOnSelf(framework::MouseButton button, framework::ShiftState shift, int x, int y);
    void RenderNormal(graphics::Bitmap* target, const graphics::Rect& rect);
    void RenderScrolled(graphics::Bitmap* target, const graphics::Rect& rect);

    GsWidgetObserver* m_Observer = nullptr;
    int m_ContentWidth = 0;
    int m_ContentHeight = 0;
    GsWidget* m_Parent = nullptr;
    WidgetOptions m_Options = ClickOnRelease;
    graphics::Rect m_Bounds;
    bool m_Visible = true;
    bool m_Enabled = true;
    bool m_MouseTransparent = false;
    bool m_AutoSize = true;
    bool m_TransparentHit = true;
    std::uint8_t m_HitAlphaLimit = kDefaultHitAlphaLimit;
    std::uint8_t m_AlphaValue = 255;
    GsAlphaFormat m_AlphaFormat = gafPremultiplied;
    bool m_Hovered = false;
    GsWidget* m_Captured = nullptr;
    GsCustomControl* m_Owner = nullptr;
    graphics::Point m_ScrollOrigin;
    std::string m_Text;
    std::vector<std::unique_ptr<GsWidget>> m_Children;
    framework::Liveness m_Life;
};

// A widget with a caption: word wrap, alignment, layout and margins, drawn with the glowing
// caption style of the state.
class WdgCustomControl : public GsWidget {
public:
    WdgCustomControl();
    ~WdgCustomControl() override;

    // Draws the caption into bitmap (which holds the state image) with the style of state.
    virtual void DrawText(graphics::Bitmap* bitmap, ButtonState state);
    // The glow painter of the caption style of a state.
    virtual GsOuterGlowTextEffectPainter* GetTextEffect(ButtonState state) = 0;
    virtual void SetAlignment(TAlignment alignment) { m_Alignment = alignment; }
    virtual void SetLayout(TTextLayout layout) { m_Layout = layout; }
    // Copies the four margins into the widget's own margins.
    virtual void SetTextMargins(const GsTextMargins& margins);

    bool WordWrap() const { return m_WordWrap; }
    void SetWordWrap(bool wordWrap) { m_WordWrap = wordWrap; }
    TAlignment Alignment() const { return m_Alignment; }
    TTextLayout Layout() const { return m_Layout; }
    GsTextMargins& TextMargins() { return *m_TextMargins; }
    const GsTextMargins& TextMargins() const { return *m_TextMargins; }

    // The DrawText flags of the layout; one line, centred vertically, unless it wraps.
    unsigned TextFormat() const;

private:
    bool m_WordWrap = false;
    TAlignment m_Alignment = taCenter;
    TTextLayout m_Layout = tlCenter;
    std::unique_ptr<GsTextMargins> m_TextMargins;
};

// The DrawText flags of a caption's alignment, layout and word wrap.
unsigned CaptionFormat(TAlignment alignment, TTextLayout layout, bool wordWrap);

} // namespace gs

// The hover period of a kit control in ms, and how a held left button shortens it at every
// hover repeat, down to the shortest period.
constexpr int kHoverTime = 200;
constexpr int kHoverRepeatStep = 20;
constexpr int kShortestHoverTime = 20;

// Whether RenderControl also copies the picture onto the control's own surface.
enum class RenderMode { BitmapOnly, ToSurface };

// What GsCustomControl::DrawInto draws: the control alone or with its kit children, and whether
// an invisible control is drawn all the same.
enum class DrawScope { ControlOnly, WithChildren };
enum class WhenHidden { Skip, DrawAnyway };

// A windowed control of the kit: owns its widget (made by CreateWidget on first access),
// forwards input to it, tracks hover with auto-repeat, and draws it into bitmaps.
class GsCustomControl : public framework::Control {
public:
    explicit GsCustomControl(framework::Component* owner = nullptr);
    // Concrete controls destroy their widget in their own destructors (ReleaseWidget) so that
    // it dies before the control's parts it refers to.
    ~GsCustomControl() override;

    // Sets the bitmap's size to the control's and renders into it (RenderControl, bitmap only).
    virtual void RenderTo(graphics::Bitmap* bitmap);
    // Draws the control (and, with children, its kit children) into a window-sized bitmap at
    // the control's position. Nothing when invisible unless forced.
    virtual void DrawInto(graphics::Bitmap* bitmap, DrawScope scope, WhenHidden hidden) = 0;
    // Rectangle test in control coordinates: 0 <= x < Width and 0 <= y < Height.
    virtual bool HitTest(int x, int y);
    // Takes the widget's size: bounds := (Left, Top, widget width, widget height).
    virtual void AdjustToWidget();
    // Draws the control into bitmap and, with ToSurface, copies the result onto its surface.
    virtual void RenderControl(graphics::Bitmap* bitmap, RenderMode mode) = 0;
    virtual void EraseBackground() {}
    // The widget type of the control, handed to the control; the base makes none.
    virtual std::unique_ptr<gs::GsWidget> CreateWidget() { return nullptr; }

    // The widget, created on first access (null for controls without one).
    gs::GsWidget* Widget();
    bool Repeated() const { return m_Repeated; }
    void SetRepeated(bool repeated) { m_Repeated = repeated; }
    bool MouseInside() const { return m_MouseInside; }
    bool LeftPressed() const { return m_LeftPressed; }
    graphics::Bitmap* InputBkgnd() const { return m_InputBkgnd; }
    int HoverTime() const { return m_HoverTime; }

    // Fired after every Paint; the window recomposes its picture from it.
    framework::NotifyEvent OnAfterPaint;

    // Handlers as the window delivers them (public so that containers and tests can feed them).
    void MouseDown(framework::MouseButton button, framework::ShiftState shift, int x, int y) override;
    void MouseUp(framework::MouseButton button, framework::ShiftState shift, int x, int y) override;
    void MouseMove(framework::ShiftState shift, int x, int y) override;
    void SetEnabled(bool enabled) override;

protected:
    // Destroys the widget now (concrete controls call it from their destructors).
    void ReleaseWidget();
    // Only for descendants that keep the input background themselves.
    void StoreInputBkgnd(graphics::Bitmap* bitmap) { m_InputBkgnd = bitmap; }

    bool EraseBkgnd() override;
    void Paint() override;
    void DoEnter() override;
    void DoExit() override;
    void RepaintForFocus();
    void MouseEnter() override {}
    void MouseLeave() override {}
    void MouseHover(framework::ShiftState shift, int x, int y) override;
    void TrackedMouseLeave() override;
    void CaptureChanged() override;

private:
    void ArmTracking();

    std::unique_ptr<gs::GsWidget> m_Widget;
    bool m_Repeated = false;
    bool m_MouseInside = false;
    bool m_LeftPressed = false;
    graphics::Bitmap* m_InputBkgnd = nullptr;
    int m_HoverTime = kHoverTime;
};
