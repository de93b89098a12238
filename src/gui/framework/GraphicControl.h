#pragma once

#include "gui/framework/Control.h"

namespace framework {

// A windowless control: it has bounds, a parent, visibility and a caption but no widget of its
// own. It draws on its parent control's surface when the parent paints (the surface's viewport
// origin at the control's top-left, clipped to its rectangle), and a repaint of it is a repaint
// of its parent. It takes no mouse or keyboard input.
class GraphicControl : public BaseControl {
public:
    explicit GraphicControl(Component* owner = nullptr);
    ~GraphicControl() override;

    // Invalidates the parent control when the control is showing there; nothing on a form.
    void Invalidate() override;

    // Draws the control onto a surface whose viewport origin is the control's top-left corner;
    // the base draws nothing.
    virtual void Paint(graphics::Canvas& canvas);

protected:
    void BoundsChanged(bool sizeChanged) override;
    void VisibleChanged() override;
    void CaptionChanged() override;
};

} // namespace framework
