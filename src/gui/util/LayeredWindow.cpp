#include "gui/util/LayeredWindow.h"

#include "gui/framework/Form.h"
#include "gui/graphics/Bitmap.h"

namespace gs {

using framework::BlendFunction;

namespace {
constexpr std::uint32_t kLayeredBits = framework::WS_EX_LAYERED | framework::WS_EX_TRANSPARENT;
} // namespace

PerPixelLayeredWindowBase::PerPixelLayeredWindowBase() : m_UpdateLayeredWindow(&framework::UpdateLayeredWindow) {}

PerPixelLayeredWindowBase::~PerPixelLayeredWindowBase() = default;

bool PerPixelLayeredWindowBase::SetLayeredStyle(framework::Form* window, bool layered, bool transparent)
{
    if (!window)
        return false;
    const std::uint32_t style = window->ExStyle();
    const std::uint32_t wanted =
        (transparent ? framework::WS_EX_TRANSPARENT : 0u) | (layered ? framework::WS_EX_LAYERED : 0u);
    if (wanted == (style & kLayeredBits))
        return false;
    window->SetExStyle(wanted | (style & ~kLayeredBits));
    return true;
}

void PerPixelLayeredWindowBase::UpdateWindowImage(framework::Form* window, const graphics::Bitmap* bitmap)
{
    if (!window)
        return;
    const graphics::Bitmap* image = GetImageHandle(bitmap);
    const bool perPixel = image && image->PixelFormat() == graphics::pf32bit && UsePerPixelAlpha;
    // The alpha format is per-pixel even without per-pixel alpha: a bitmap of another depth
    // then shows opaque under the constant alpha.
    BlendFunction blend;
    blend.BlendOp = framework::AC_SRC_OVER;
    blend.BlendFlags = 0;
    blend.SourceConstantAlpha = 255;
    blend.AlphaFormat = framework::AC_SRC_ALPHA;
    if (UseConstantAlpha || perPixel) {
        SetLayeredStyle(window, true, ClickThrough);
        if (UseConstantAlpha)
            blend.SourceConstantAlpha = ConstantAlpha;
        PushImage(window, image, blend, framework::ULW_ALPHA);
    } else if (UseColorKey) {
        SetLayeredStyle(window, true, ClickThrough);
        PushImage(window, image, blend, framework::ULW_COLORKEY);
    } else if (SetLayeredStyle(window, false, ClickThrough)) {
        window->Redraw();
    }
}

void PerPixelLayeredWindowBase::PushImage(framework::Form* window, const graphics::Bitmap* image,
                                          const BlendFunction& blend, std::uint32_t flags)
{
    if (!m_UpdateLayeredWindow)
        return;
    // The current corner as destination: the window keeps its place; it takes the size.
    const framework::WindowPoint destination{window->Left(), window->Top()};
    framework::WindowSize size;
    framework::PixelView pixels;
    if (image && !image->Empty()) {
        size = {image->Width(), image->Height()};
        pixels.bits = image->ScanLine(0);
        pixels.width = image->Width();
        pixels.height = image->Height();
        pixels.stride = static_cast<int>(image->Image().bytesPerLine());
        pixels.bitsPerPixel = image->PixelFormat() == graphics::pf32bit ? 32 : 24;
    }
    // The result is not needed: a refused picture leaves the window as it was.
    (void)m_UpdateLayeredWindow(window, &destination, &size, &pixels, {0, 0}, ColorKey, &blend, flags);
}

} // namespace gs
