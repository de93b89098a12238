// kitgallery: every control of the skinned kit in each of its states, on the default skin.
//   kitgallery                       shows the gallery window
//   kitgallery --screenshot OUT.png  writes the composed picture instead (no display needed)
#include <QApplication>

#include <cstdio>
#include <cstring>
#include <string>

#include "GalleryForm.h"
#include "gui/framework/Application.h"
#include "gui/graphics/Bitmap.h"
#include "gui/graphics/Canvas.h"

// fontconfig keeps its caches until the process ends; that is not a leak of ours.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

int main(int argc, char** argv)
{
    const char* screenshot = nullptr;
    if (argc == 3 && std::strcmp(argv[1], "--screenshot") == 0) {
        screenshot = argv[2];
        // A picture only: no window is ever shown.
        qputenv("QT_QPA_PLATFORM", "offscreen");
    } else if (argc != 1) {
        std::fprintf(stderr, "usage: kitgallery [--screenshot OUT.png]\n");
        return 2;
    }

    framework::Application app(argc, argv);
    graphics::InstallFontSubstitutions();
    auto* gallery = app.CreateForm<TGalleryForm>();

    if (screenshot) {
        graphics::Bitmap frame;
        gallery->Compose(frame);
        if (!frame.Image().save(QString::fromLocal8Bit(screenshot), "PNG")) {
            std::fprintf(stderr, "kitgallery: cannot write %s\n", screenshot);
            return 1;
        }
        return 0;
    }
    gallery->Present();
    app.Run();
    return 0;
}
