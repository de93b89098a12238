#pragma once

// The skinned horizontal slider of the window's time fields: the widget WdgMinorSlider (a bar,
// a track overlay filled up to the thumb, a ball-shaped thumb, all from skin images) and its
// control OcHMSlider.

#include <array>
#include <memory>

#include "gui/controls/GsScrollBar.h"
#include "gui/graphics/Bitmap.h"

namespace gs {
class WdgButton;
class WdgCheckBox;
class WdgImage;
} // namespace gs

// A horizontal slider drawn from the skin: the bar, an overlay that shows the track filled up
// to the thumb in the normal colours and unfilled beyond it in the unavailable ones, and the
// thumb. Pixels are the thumb's Left in the slider's coordinates.
class WdgMinorSlider : public gs::WdgCustomScrollBar {
public:
    WdgMinorSlider();
    ~WdgMinorSlider() override;

    void SetEnabled(bool enabled) override;
    // The children draw; the slider itself draws nothing.
    void Paint(graphics::Bitmap* target, const graphics::Rect& rect) override;
    // A click on the track steps by LineSize towards the click; a click on the thumb does not.
    void DoMouseDown(framework::MouseButton button, framework::ShiftState shift, int x,
                     int y) override;
    // A move without the left button ends a drag wherever the pointer is, not only over the
    // thumb (a release outside the window never reaches the thumb).
    void DoMouseMove(framework::ShiftState shift, int x, int y) override;
    void DoMouseLeave() override;
    void DoMouseEnter() override;

    // Bar width minus thumb width, taken from the first slider whose images gave a track and
    // kept for every slider (they all share the skin).
    int TrackLength() override;
    int TrackStart() override { return 0; }
    int AxisCoordinate(int x, int) override { return x; }
    int DragOffset(int x, int) override { return x - m_DragAnchor; }
    void SetDragAnchor(int x, int) override { m_DragAnchor = x; }
    int GetThumbPos() override;
    void SetThumbPos(int pixel) override;

    // Draws the track overlay for the thumb's position and the enabled state.
    void RebuildBar();

    gs::WdgButton* Bar() const { return m_Bar; }
    gs::WdgCheckBox* Thumb() const { return m_Thumb; }
    gs::WdgImage* Overlay() const { return m_Overlay; }

    // Image sets: 0 unavailable, 1 normal; in each the bar, the line head, the line base and
    // the line.
    enum ImageIndex { imBar = 0, imHead = 1, imBase = 2, imLine = 3 };
    graphics::Bitmap* Image(int set, ImageIndex index) const;

private:
    using ImageSet = std::array<std::unique_ptr<graphics::Bitmap>, 4>;

    void LoadImages();
    void CreateBar();
    void CreateOverlay();
    void CreateThumb();

    // Children, owned through the widget's child list.
    gs::WdgButton* m_Bar = nullptr;
    gs::WdgImage* m_Overlay = nullptr;
    gs::WdgCheckBox* m_Thumb = nullptr;
    int m_DragAnchor = 0;
    std::array<ImageSet, 2> m_Images;
};

// The skinned horizontal slider control; its widget's events reach the control's events with
// the control as sender.
class OcHMSlider : public gs::GsCustomSlider {
public:
    explicit OcHMSlider(framework::Component* owner = nullptr);
    ~OcHMSlider() override;

    std::unique_ptr<gs::GsWidget> CreateWidget() override;
    WdgMinorSlider& MinorSlider();
};
