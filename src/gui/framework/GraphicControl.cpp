#include "gui/framework/GraphicControl.h"

namespace framework {

GraphicControl::GraphicControl(Component* owner) : BaseControl(owner) {}

GraphicControl::~GraphicControl() = default;

void GraphicControl::Invalidate()
{
    if (Visible() && Parent())
        Parent()->Invalidate();
}

void GraphicControl::Paint(graphics::Canvas&) {}

void GraphicControl::BoundsChanged(bool sizeChanged)
{
    BaseControl::BoundsChanged(sizeChanged);
    Invalidate();
}

void GraphicControl::VisibleChanged()
{
    // Showing or hiding changes what the parent shows either way.
    if (Parent())
        Parent()->Invalidate();
}

void GraphicControl::CaptionChanged()
{
    AdjustSize();
}

} // namespace framework
