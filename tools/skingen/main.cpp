// skingen: draws the default skin of the main window and, on request, a preview of the window
// composed from a skin folder.
//   skingen OUTPUT_FOLDER
//   skingen --preview OUTPUT.png SKIN_FOLDER
//   skingen --icons ICON_THEME_FOLDER NAME
#include "Preview.h"
#include "SkinImages.h"

#include <QFont>
#include <QGuiApplication>

#include <cstdio>
#include <cstring>

// fontconfig keeps its caches until the process ends; that is not a leak of ours.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

int main(int argc, char** argv)
{
    // Pictures only: no window is ever opened.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QFont::insertSubstitution("Candara", "Carlito");
    QFont::insertSubstitution("Century Gothic", "URW Gothic");
    QFont::insertSubstitution("Arial", "Liberation Sans");

    if (argc == 4 && std::strcmp(argv[1], "--preview") == 0) {
        const QImage preview = skin::ComposePreview(QString::fromLocal8Bit(argv[3]));
        if (!preview.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
            std::fprintf(stderr, "skingen: cannot write %s\n", argv[2]);
            return 1;
        }
        return 0;
    }
    QString failed;
    if (argc == 4 && std::strcmp(argv[1], "--icons") == 0) {
        if (!skin::WriteAppIcons(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                                 &failed)) {
            std::fprintf(stderr, "skingen: cannot write %s\n", qPrintable(failed));
            return 1;
        }
        return 0;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: skingen OUTPUT_FOLDER\n       skingen --preview OUTPUT.png SKIN_FOLDER\n"
                             "       skingen --icons ICON_THEME_FOLDER NAME\n");
        return 2;
    }
    if (!skin::WriteSkin(QString::fromLocal8Bit(argv[1]), &failed)) {
        std::fprintf(stderr, "skingen: cannot write %s\n", qPrintable(failed));
        return 1;
    }
    return 0;
}
