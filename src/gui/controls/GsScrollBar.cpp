#include "gui/controls/GsScrollBar.h"

#include "platform/Assert.h"

#include <algorithm>
#include <cmath>

namespace gs {

WdgCustomScrollBar::WdgCustomScrollBar() = default;
WdgCustomScrollBar::~WdgCustomScrollBar() = default;

int WdgCustomScrollBar::ClampedTrackLength()
{
    // A slider whose images are missing has no track; it must not map onto negative pixels.
    return std::max(0, TrackLength());
}

int WdgCustomScrollBar::PositionToPixel(std::int32_t position)
{
    const int length = ClampedTrackLength();
    long double pixel = 0;
    if (m_Min < m_Max) {
        // Extended precision and 64-bit differences: the full 32-bit range must not overflow.
        const long double share = (static_cast<long double>(position) - m_Min) /
                                  (static_cast<long double>(m_Max) - m_Min);
        pixel = std::trunc(share * length + 0.5L);
    }
    pixel = std::clamp<long double>(pixel, 0, length);
    return static_cast<int>(pixel) + TrackStart();
}

double WdgCustomScrollBar::PixelToPosition(int pixel)
{
    const int length = ClampedTrackLength();
    double value = m_Min;
    if (length > 0) {
        value = (static_cast<double>(pixel) - TrackStart()) / length *
                    (static_cast<double>(m_Max) - m_Min) +
                m_Min;
    }
    // Max first, then Min: when the range is inverted, Min wins.
    if (value > m_Max)
        value = m_Max;
    if (value < m_Min)
        value = m_Min;
    return value;
}

std::int32_t WdgCustomScrollBar::RoundedPosition(int pixel)
{
    return static_cast<std::int32_t>(std::trunc(PixelToPosition(pixel) + 0.5));
}

void WdgCustomScrollBar::ApplyPosition(std::int32_t position)
{
    if (position > m_Max)
        position = m_Max;
    if (position < m_Min)
        position = m_Min;
    m_Position = position;
    SetThumbPos(PositionToPixel(position));
    m_PositionSet = true;
}

void WdgCustomScrollBar::Changed()
{
    Invalidate();
    OnChange(this);
}

void WdgCustomScrollBar::SetPosition(std::int32_t position)
{
    if (position == m_Position && m_PositionSet)
        return;
    // A value that clamps to the current position still notifies: listeners count on hearing
    // every value they were given that was not the position itself.
    ApplyPosition(position);
    Changed();
}

void WdgCustomScrollBar::SetMax(std::int32_t max)
{
    if (max == m_Max)
        return;
    m_Max = max;
    // The re-clamp notifies without comparing: a new maximum is a change of the slider even
    // when the position stays where it was.
    ApplyPosition(m_Position);
    Changed();
}

void WdgCustomScrollBar::SetMin(std::int32_t min)
{
    if (min == m_Min)
        return;
    m_Min = min;
    Invalidate();
}

void WdgCustomScrollBar::InitParam(std::int32_t max, std::int32_t min, std::int32_t position)
{
    // A quiet initialisation: the range is stored as it is, without the notification a new
    // maximum would send.
    m_Max = max;
    m_Min = min;
    ApplyPosition(position);
    Invalidate();
}

void WdgCustomScrollBar::ThumbMouseDown(framework::MouseButton button, int x, int y)
{
    if (button != framework::mbLeft)
        return;
    m_Dragging = true;
    SetDragAnchor(x, y);
    OnStartDragThumb(this);
}

void WdgCustomScrollBar::ThumbMouseMove(framework::ShiftState shift, int x, int y)
{
    if (!m_Dragging)
        return;
    if (!(shift & framework::ssLeft)) {
        m_Dragging = false;
        return;
    }
    const int old = GetThumbPos();
    const int start = TrackStart();
    const int moved = std::clamp(old + DragOffset(x, y), start, start + ClampedTrackLength());
    const framework::LifeWatch life = Life();
    OnDragThumb(this, PixelToPosition(old));
    if (life.expired() || moved == old)
        return;
    SetThumbPos(moved);
    m_Position = RoundedPosition(GetThumbPos());
    Changed();
}

void WdgCustomScrollBar::ThumbMouseUp()
{
    if (!m_Dragging)
        return;
    m_Dragging = false;
    m_Position = RoundedPosition(GetThumbPos());
    const int snapped = PositionToPixel(m_Position);
    if (snapped != GetThumbPos()) {
        const framework::LifeWatch life = Life();
        SetThumbPos(snapped);
        Changed();
        if (life.expired())
            return;
    }
    OnEndDragThumb(this);
}

GsCustomSlider::GsCustomSlider(framework::Component* owner) : GsCustomButton(owner) {}

GsCustomSlider::~GsCustomSlider() = default;

WdgCustomScrollBar& GsCustomSlider::Slider()
{
    auto* slider = dynamic_cast<WdgCustomScrollBar*>(Widget());
    TOLV_ASSERT(slider != nullptr);
    return *slider;
}

framework::AccessibleFacts GsCustomSlider::Facts()
{
    framework::AccessibleFacts facts{framework::AccessibleFacts::Kind::Field};
    if (const auto* slider = dynamic_cast<WdgCustomScrollBar*>(Widget())) {
        facts.value = slider->Position();
        facts.minimum = slider->Min();
        facts.maximum = slider->Max();
    }
    return facts;
}

void GsCustomSlider::SetFactsValue(int value)
{
    if (dynamic_cast<WdgCustomScrollBar*>(Widget()))
        SetPosition(value);
}

bool GsCustomSlider::CanAutoSize(int& width, int& height)
{
    GsWidget* widget = Widget();
    if (!widget)
        return true;
    return ProposeSize(widget->Width(), widget->Height(), width, height);
}

} // namespace gs
