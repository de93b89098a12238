#pragma once

#include "gui/controls/GsLabel.h"
#include "gui/controls/GsWidget.h"
#include "gui/framework/GraphicControl.h"
#include "gui/graphics/Bitmap.h"

#include <cstdint>

// A picture on its own surface or composed into a window bitmap, normally a 32-bit skin image
// with per-pixel alpha in premultiplied form.
class GsImage : public framework::GraphicControl, public gs::GsComponent {
public:
    explicit GsImage(framework::Component* owner = nullptr);
    ~GsImage() override;

    const graphics::Bitmap& Picture() const { return m_Picture; }
    // Copies the picture in; an auto-sized image takes its size.
    void SetPicture(const graphics::Bitmap& picture);
    // For changes made to the picture in place: re-fits an auto-sized image and repaints.
    void PictureChanged();
    graphics::Bitmap& EditPicture() { return m_Picture; }

    // Use the picture's alpha channel on screen; off draws it opaque and stretched.
    bool AlphaChannel() const { return m_AlphaChannel; }
    void SetAlphaChannel(bool value);
    // Apply AlphaValue on screen.
    bool AlphaBlend() const { return m_AlphaBlend; }
    void SetAlphaBlend(bool value);
    std::uint8_t AlphaValue() const { return m_AlphaValue; }
    void SetAlphaValue(std::uint8_t value);
    GsAlphaFormat AlphaFormat() const { return m_AlphaFormat; }
    void SetAlphaFormat(GsAlphaFormat value);

    void Paint(graphics::Canvas& canvas) override;

    // The area (0, 0, Width, Height) of the picture, copied as it is.
    void RenderTo(graphics::Bitmap* bitmap) override;
    // The picture blended at full opacity at the image's bounds; AlphaValue, AlphaBlend and
    // AlphaFormat do not apply here.
    void DrawInto(graphics::Bitmap* container) override;

protected:
    bool CanAutoSize(int& width, int& height) override;

private:
    graphics::Bitmap m_Picture;
    bool m_AlphaChannel = true;
    bool m_AlphaBlend = true;
    std::uint8_t m_AlphaValue = 255;
    GsAlphaFormat m_AlphaFormat = gafPremultiplied;
};

namespace gs {

// The kit's bitmap widget: shows a premultiplied bitmap with the widget's AlphaValue; with
// AutoSize the widget takes the bitmap's size.
class WdgImage : public GsWidget {
public:
    WdgImage();
    ~WdgImage() override;

    void SetAutoSize(bool autoSize) override;
    void Paint(graphics::Bitmap* target, const graphics::Rect& rect) override;

    const graphics::Bitmap& Bitmap() const { return m_Bitmap; }
    // Copies the bitmap in and runs BitmapChanged.
    void SetBitmap(const graphics::Bitmap& bitmap);
    // For changes made to the bitmap in place: takes its size when auto-sized, repaints.
    void BitmapChanged();
    graphics::Bitmap& EditBitmap() { return m_Bitmap; }

private:
    graphics::Bitmap m_Bitmap;
};

} // namespace gs
