#pragma once

// The kit's value slider: the windowless model gs::WdgCustomScrollBar (range, position, the
// mapping between positions and thumb pixels, the thumb drag) and its control
// gs::GsCustomSlider. The concrete skinned slider is OcHMSlider (TolvScrollBar.h).

#include <cstdint>

#include "gui/controls/GsButton.h"
#include "gui/controls/GsWidget.h"
#include "gui/framework/Event.h"

namespace gs {

using ThumbDragEvent = framework::Event<framework::Component*, double>;
using WidgetThumbDragEvent = framework::Event<GsWidget*, double>;

// Range and position of a slider, and the thumb drag. Positions are clamped into [Min, Max]
// where they enter; when Min > Max, Min wins. Pixels are along the slider's axis, in the
// slider widget's coordinates.
class WdgCustomScrollBar : public GsWidget {
public:
    WdgCustomScrollBar();
    ~WdgCustomScrollBar() override;

    // Geometry supplied by the concrete slider.
    virtual int TrackLength() = 0;
    virtual int TrackStart() = 0;
    virtual int AxisCoordinate(int x, int y) = 0;
    // Pixels the thumb moves for a pointer at (x, y) in the thumb's own coordinates.
    virtual int DragOffset(int x, int y) = 0;
    virtual void SetDragAnchor(int x, int y) = 0;
    virtual int GetThumbPos() = 0;
    virtual void SetThumbPos(int pixel) = 0;
    // A new minimum only repaints: the position is not re-clamped until it is next applied.
    virtual void SetMin(std::int32_t min);
    // A new maximum re-clamps the position and notifies.
    virtual void SetMax(std::int32_t max);

    std::int32_t Max() const { return m_Max; }
    std::int32_t Min() const { return m_Min; }
    std::int32_t Position() const { return m_Position; }
    // Nothing when the value equals the position already applied; otherwise clamps, moves the
    // thumb and notifies (also when the clamped value is the old position).
    void SetPosition(std::int32_t position);
    std::int32_t LineSize() const { return m_LineSize; }
    void SetLineSize(std::int32_t lineSize) { m_LineSize = lineSize; }
    std::int32_t PageSize() const { return m_PageSize; }
    void SetPageSize(std::int32_t pageSize) { m_PageSize = pageSize; }
    // Stores the range and applies the position, all without the change notification.
    void InitParam(std::int32_t max, std::int32_t min, std::int32_t position);

    // The thumb pixel of a position: TrackStart plus the position's share of TrackLength,
    // rounded half up and kept on the track.
    int PositionToPixel(std::int32_t position);
    // The precise position of a thumb pixel, kept within [Min, Max] (Min winning).
    double PixelToPosition(int pixel);
    // PixelToPosition rounded half up (truncating toward zero after adding one half).
    std::int32_t RoundedPosition(int pixel);

    bool Dragging() const { return m_Dragging; }
    bool PositionSet() const { return m_PositionSet; }

    WidgetNotifyEvent OnChange;
    WidgetNotifyEvent OnStartDragThumb;
    WidgetNotifyEvent OnEndDragThumb;
    // Each pointer move of a drag, with the precise position of the thumb before the move.
    WidgetThumbDragEvent OnDragThumb;

protected:
    // Clamps (Min winning), stores, moves the thumb to the position's pixel.
    void ApplyPosition(std::int32_t position);
    // Repaints, then tells OnChange.
    void Changed();

    // The thumb's mouse events; x and y are the thumb's own coordinates.
    void ThumbMouseDown(framework::MouseButton button, int x, int y);
    void ThumbMouseMove(framework::ShiftState shift, int x, int y);
    void ThumbMouseUp();

private:
    int ClampedTrackLength();

    std::int32_t m_Max = 10;
    std::int32_t m_Min = 0;
    std::int32_t m_Position = 10;
    std::int32_t m_LineSize = 1;
    std::int32_t m_PageSize = 1;
    bool m_Dragging = false;
    bool m_PositionSet = false;
};

// The slider control: its properties are the widget's; the widget's events reach the
// control's events through the concrete slider.
class GsCustomSlider : public GsCustomButton {
public:
    explicit GsCustomSlider(framework::Component* owner = nullptr);
    ~GsCustomSlider() override;

    // The slider widget (made by the concrete control).
    WdgCustomScrollBar& Slider();

    std::int32_t Max() { return Slider().Max(); }
    void SetMax(std::int32_t value) { Slider().SetMax(value); }
    std::int32_t Min() { return Slider().Min(); }
    void SetMin(std::int32_t value) { Slider().SetMin(value); }
    std::int32_t Position() { return Slider().Position(); }
    void SetPosition(std::int32_t value) { Slider().SetPosition(value); }
    std::int32_t LineSize() { return Slider().LineSize(); }
    void SetLineSize(std::int32_t value) { Slider().SetLineSize(value); }
    // Stored and returned only.
    std::int32_t PageSize() { return Slider().PageSize(); }
    void SetPageSize(std::int32_t value) { Slider().SetPageSize(value); }
    void InitParam(std::int32_t max, std::int32_t min, std::int32_t position)
    {
        Slider().InitParam(max, min, position);
    }

    // A field with the position as its value; a value set from outside goes through
    // SetPosition (clamped, with OnChange) as any other.
    framework::AccessibleFacts Facts() override;
    void SetFactsValue(int value) override;

    framework::NotifyEvent OnChange;
    framework::NotifyEvent OnStartDragThumb;
    framework::NotifyEvent OnEndDragThumb;
    ThumbDragEvent OnDragThumb;

protected:
    // Proposes the widget's size unless the control already has it.
    bool CanAutoSize(int& width, int& height) override;
};

} // namespace gs
