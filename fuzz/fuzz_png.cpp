// PNG decoding as the skin loader does it, from a file, and the blends over whatever comes out.
#include "gui/graphics/image.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

// The loader reads files: each input goes through one scratch file, removed at exit.
struct ScratchFile {
    std::string path = "/tmp/tolv-fuzz-png-" + std::to_string(getpid()) + ".png";
    ~ScratchFile() { (void)unlink(path.c_str()); }
};

const std::string& InputPath()
{
    static const ScratchFile file;
    return file.path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    {
        std::ofstream out(InputPath(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    graphics::Bitmap image;
    graphics::LoadPngImagePlain(InputPath(), &image);
    if (image.Empty())
        return 0;
    if (image.PixelFormat() != graphics::pf32bit || image.Width() > graphics::kMaxImageSide ||
        image.Height() > graphics::kMaxImageSide)
        std::abort();
    // Premultiplied colour never exceeds its alpha.
    for (int y = 0; y < image.Height(); ++y) {
        const std::uint8_t* p = image.ScanLine(y);
        for (int x = 0; x < image.Width(); ++x, p += 4)
            if (p[0] > p[3] || p[1] > p[3] || p[2] > p[3])
                std::abort();
    }
    const int dx = size > 0 ? int(data[size - 1] % 40) - 20 : 0;
    const int dy = size > 1 ? int(data[size - 2] % 40) - 20 : 0;
    graphics::Bitmap target(16, 16);
    graphics::BlendLayer(&target, graphics::Rect{dx, dy, dx + 32, dy + 32}, &image,
                         graphics::Point{-dy, dx}, 200);
    graphics::Bitmap software(16, 16, graphics::pf24bit);
    graphics::BlendLayerSoftware(&software, graphics::Rect{dy, dx, 16, 16}, &image,
                                 graphics::Point{dx, -dy}, 77);
    graphics::DrawLayerOnCanvas(&target.Canvas(), graphics::Rect{-dx, dy, 12, 40}, &image,
                                graphics::Point{dy, dy}, 255);
    return 0;
}
