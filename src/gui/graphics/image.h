#pragma once

#include "gui/graphics/Bitmap.h"
#include "gui/graphics/Canvas.h"

#include <cstdint>
#include <filesystem>

// The pixel operations the skinned interface is drawn with, on row pointers.
//
// Conventions: 32-bit pixels are B, G, R, A in memory; rectangles have exclusive right and
// bottom edges; a source origin is the layer pixel that lands on the rectangle's top-left
// corner; opacity 255 is opaque and 0 invisible.
//
// Which colour each operation expects of its layer:
//   BlendLayer, AlphaBlendLayer, DrawLayerOnCanvas                  premultiplied 32-bit
//   BlendLayerSoftware, BlendStraight24, DrawLayerOnCanvasSoftware  straight 32-bit, onto 24-bit
//
// Bitmaps and surfaces are borrowed, never kept. Paths are std::filesystem::path throughout.
namespace graphics {

// B, G, R := B, G, R * A div 255 (truncated) for every pixel; nothing unless 32-bit.
void PremultiplyAlpha(Bitmap* bitmap);

// The part of rect (on dst) that both dst and the layer from srcOrigin cover; srcOrigin is
// moved by what was cut from the left and top. The result may be empty or of negative size.
Rect ClipBlendArea(Bitmap* dst, const Rect& rect, Bitmap* layer, Point& srcOrigin);

// Straight-alpha software blend of a 32-bit layer onto dst, which is made 24-bit first.
// No clipping: rect and the layer area from srcOrigin must lie inside both bitmaps.
void BlendStraight24(Bitmap* dst, const Rect& rect, Bitmap* src, Point srcOrigin,
                     std::uint8_t opacity);

// Premultiplied "over" with a constant opacity, onto any bitmap through its surface (so the
// surface's origin and clip region apply to rect). A 32-bit layer blends by its per-pixel
// alpha, a 24-bit one by the opacity alone. Nothing is drawn when the layer area from
// srcOrigin does not lie inside the layer or the size is negative.
void AlphaBlendLayer(Bitmap* dst, const Rect& rect, Bitmap* layer, Point srcOrigin,
                     std::uint8_t opacity);

// ClipBlendArea on a copy of srcOrigin, then BlendStraight24.
void BlendLayerSoftware(Bitmap* dst, const Rect& rect, Bitmap* src, Point srcOrigin,
                        std::uint8_t opacity);

// Requires a 32-bit layer; ClipBlendArea on a copy of srcOrigin, then AlphaBlendLayer.
void BlendLayer(Bitmap* dst, const Rect& rect, Bitmap* layer, Point srcOrigin,
                std::uint8_t opacity);

// Resizes bitmap to rect's size and copies the area rect of the surface into it at (0, 0).
void GrabCanvasArea(Canvas* canvas, Bitmap* bitmap, const Rect& rect);

// Sets the surface's copy mode to cmSrcCopy and copies the area of bitmap that starts at
// srcOrigin and has rect's size onto rect.
void PutBitmapArea(Canvas* canvas, const Rect& rect, Bitmap* bitmap, Point srcOrigin);

// Grab the area into a temporary bitmap (32-bit, resp. 24-bit), blend the layer onto it with
// BlendLayer (resp. BlendLayerSoftware), put it back.
void DrawLayerOnCanvas(Canvas* canvas, const Rect& rect, Bitmap* layer, Point srcOrigin,
                       std::uint8_t opacity);
void DrawLayerOnCanvasSoftware(Canvas* canvas, const Rect& rect, Bitmap* layer,
                               Point srcOrigin, std::uint8_t opacity);

// Decodes a PNG file into bitmap as 32-bit B, G, R, A with colour premultiplied by alpha; the
// alpha mode is left as it is. A missing, unreadable, non-PNG or absurdly large file leaves
// the bitmap empty (0 x 0). Silent.
void LoadPngImagePlain(const std::filesystem::path& path, Bitmap* bitmap);

// LoadPngImagePlain, then switches the alpha mode to premultiplied (see
// Bitmap::SetAlphaMode); an empty result is reported with the message box
// "Can not load image <path>" captioned "LoadImage".
void LoadPngImage(const std::filesystem::path& path, Bitmap* bitmap);

// Largest image the loaders accept.
constexpr int kMaxImageSide = 16384;
constexpr std::int64_t kMaxImagePixels = 64LL * 1024 * 1024;

// The folder of the skin images: the program's folder + "resource/UI/" (with the trailing
// separator). Computed on each call.
std::filesystem::path SkinFolder();

} // namespace graphics
