#include "gui/controls/GsImage.h"

#include "gui/graphics/image.h"

using graphics::Bitmap;
using graphics::Point;
using graphics::Rect;

// ---- GsImage -------------------------------------------------------------------------------------

GsImage::GsImage(framework::Component* owner) : framework::GraphicControl(owner) {}

GsImage::~GsImage() = default;

void GsImage::SetPicture(const Bitmap& picture)
{
    if (&picture != &m_Picture)
        m_Picture.Assign(picture);
    PictureChanged();
}

void GsImage::PictureChanged()
{
    if (AutoSize() && m_Picture.Width() > 0 && m_Picture.Height() > 0)
        SetBounds(Left(), Top(), m_Picture.Width(), m_Picture.Height());
    Invalidate();
}

void GsImage::SetAlphaChannel(bool value)
{
    if (m_AlphaChannel == value)
        return;
    m_AlphaChannel = value;
    PictureChanged();
}

void GsImage::SetAlphaBlend(bool value)
{
    if (m_AlphaBlend == value)
        return;
    m_AlphaBlend = value;
    PictureChanged();
}

void GsImage::SetAlphaValue(std::uint8_t value)
{
    if (m_AlphaValue == value)
        return;
    m_AlphaValue = value;
    // Without blending the value does not show, so nothing needs repainting.
    if (m_AlphaBlend)
        PictureChanged();
}

void GsImage::SetAlphaFormat(GsAlphaFormat value)
{
    if (m_AlphaFormat == value)
        return;
    m_AlphaFormat = value;
    Invalidate();
}

bool GsImage::CanAutoSize(int& width, int& height)
{
    width = m_Picture.Width();
    height = m_Picture.Height();
    return true;
}

void GsImage::Paint(graphics::Canvas& canvas)
{
    if (Width() == 0 || Height() == 0 || m_Picture.Empty())
        return;
    const Rect client = ClientRect();
    if (!m_AlphaChannel || m_Picture.PixelFormat() != graphics::pf32bit) {
        // Opaque and stretched to the image's size.
        canvas.CopyArea(client, m_Picture.Canvas(),
                        Rect{0, 0, m_Picture.Width(), m_Picture.Height()}, graphics::cmSrcCopy);
        return;
    }
    // Both blends draw the picture at its natural size from the top-left corner.
    if (!m_AlphaBlend)
        graphics::DrawLayerOnCanvasSoftware(&canvas, client, &m_Picture, Point{0, 0}, 255);
    else if (m_AlphaFormat == gafPremultiplied)
        graphics::DrawLayerOnCanvas(&canvas, client, &m_Picture, Point{0, 0}, m_AlphaValue);
    else
        graphics::DrawLayerOnCanvasSoftware(&canvas, client, &m_Picture, Point{0, 0},
                                            m_AlphaValue);
}

void GsImage::RenderTo(Bitmap* bitmap)
{
    bitmap->SetSize(Width(), Height());
    graphics::PutBitmapArea(&bitmap->Canvas(), Rect{0, 0, Width(), Height()}, &m_Picture,
                            Point{0, 0});
}

void GsImage::DrawInto(Bitmap* container)
{
    if (m_Picture.Empty())
        return;
    // Premultiplied blending needs a 32-bit layer; any other picture is copied opaquely
    // rather than trusted to the blend.
    if (m_Picture.PixelFormat() != graphics::pf32bit) {
        graphics::PutBitmapArea(&container->Canvas(), BoundsRect(), &m_Picture, Point{0, 0});
        return;
    }
    graphics::BlendLayer(container, BoundsRect(), &m_Picture, Point{0, 0}, 255);
}

// ---- gs::WdgImage --------------------------------------------------------------------------------

namespace gs {

WdgImage::WdgImage() = default;

WdgImage::~WdgImage() = default;

void WdgImage::SetBitmap(const graphics::Bitmap& bitmap)
{
    if (&bitmap != &m_Bitmap)
        m_Bitmap.Assign(bitmap);
    BitmapChanged();
}

void WdgImage::BitmapChanged()
{
    if (AutoSize() && m_Bitmap.Width() >= 1 && m_Bitmap.Height() >= 1) {
        if (Width() != m_Bitmap.Width())
            SetWidth(m_Bitmap.Width());
        if (Height() != m_Bitmap.Height())
            SetHeight(m_Bitmap.Height());
    }
    Invalidate();
}

void WdgImage::SetAutoSize(bool autoSize)
{
    if (AutoSize() == autoSize)
        return;
    GsWidget::SetAutoSize(autoSize);
    if (autoSize && !m_Bitmap.Empty())
        SetBounds(Left(), Top(), m_Bitmap.Width(), m_Bitmap.Height());
}

void WdgImage::Paint(graphics::Bitmap* target, const graphics::Rect& rect)
{
    if (m_Bitmap.Empty())
        return;
    if (AlphaFormat() == gafPremultiplied && m_Bitmap.PixelFormat() == graphics::pf32bit) {
        ComposeImage(target, Point{rect.Left, rect.Top}, &m_Bitmap);
        return;
    }
    // Composing may premultiply or widen the image it is given: hand it a copy.
    graphics::Bitmap copy;
    copy.Assign(m_Bitmap);
    ComposeImage(target, Point{rect.Left, rect.Top}, &copy);
}

} // namespace gs
