#pragma once

#include <cstdint>

#include "gui/framework/LayeredUpdate.h"

namespace framework {
class Form;
}
namespace graphics {
class Bitmap;
}

namespace gs {

// Presents a top-level window as one 32-bit picture with per-pixel alpha: the window takes the
// bitmap's size, keeps its place, and shows the pixels (premultiplied) under an optional
// constant alpha. Used only on the user-interface thread.
class PerPixelLayeredWindowBase {
public:
    PerPixelLayeredWindowBase();
    virtual ~PerPixelLayeredWindowBase();
    PerPixelLayeredWindowBase(const PerPixelLayeredWindowBase&) = delete;
    PerPixelLayeredWindowBase& operator=(const PerPixelLayeredWindowBase&) = delete;

    // The pixels behind a bitmap, as the presenter hands them to the window.
    virtual const graphics::Bitmap* GetImageHandle(const graphics::Bitmap* bitmap) = 0;

    // Each setter stores the low byte of its argument.
    void SetUseConstantAlpha(int value) { UseConstantAlpha = static_cast<std::uint8_t>(value); }
    void SetConstantAlpha(int value) { ConstantAlpha = static_cast<std::uint8_t>(value); }
    void SetUsePerPixelAlpha(int value) { UsePerPixelAlpha = static_cast<std::uint8_t>(value); }

    // Shows the bitmap as the window's picture, or makes the window opaque when neither alpha
    // mode nor the colour key applies (a 24-bit bitmap without constant alpha).
    void UpdateWindowImage(framework::Form* window, const graphics::Bitmap* bitmap);

    // Sets or clears the layered and mouse-transparent bits of the window's extended style;
    // true when that changed the style. The style is written only on a change.
    bool SetLayeredStyle(framework::Form* window, bool layered, bool transparent);

    std::uint32_t ColorKey = 0xFFFFFFFF; // 0x00BBGGRR; the default matches no colour
    std::uint8_t UseColorKey = 0;
    std::uint8_t ClickThrough = 0; // the window lets the mouse through
    std::uint8_t UseConstantAlpha = 0;
    std::uint8_t ConstantAlpha = 255;
    std::uint8_t UsePerPixelAlpha = 0;

protected:
    using UpdateLayeredWindowProc = bool (*)(framework::Form*, const framework::WindowPoint*,
                                             const framework::WindowSize*, const framework::PixelView*,
                                             framework::WindowPoint, std::uint32_t,
                                             const framework::BlendFunction*, std::uint32_t);

    // The platform's entry, taken when the presenter is made; without one nothing is pushed.
    UpdateLayeredWindowProc m_UpdateLayeredWindow = nullptr;

private:
    void PushImage(framework::Form* window, const graphics::Bitmap* image, const framework::BlendFunction& blend,
                   std::uint32_t flags);
};

// The presenter of the main window: a bitmap is its own handle and stays owned by the caller.
class TPerPixelLayeredWindowMaker : public PerPixelLayeredWindowBase {
public:
    const graphics::Bitmap* GetImageHandle(const graphics::Bitmap* bitmap) override { return bitmap; }
};

} // namespace gs
