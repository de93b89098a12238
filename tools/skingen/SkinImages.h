#pragma once

#include <QImage>
#include <QString>

#include <vector>

// The pictures of the default skin. Each function draws one file's picture, premultiplied.
namespace skin {

enum class Look { Normal, Hover, Pressed, Disabled };

QImage Background();
QImage TrayIcon();
// The tray picture's design at size x size pixels, for the desktop's icon theme.
QImage AppIcon(int size);

QImage CloseButton(Look look);
QImage MinimizeButton(Look look);
QImage ApplyButton(Look look);
QImage MarkBox(bool checked, Look look);
QImage Switch(bool on, Look look);
QImage Arrow(bool up, Look look);

QImage SliderBar(bool enabled);
QImage LineHead(bool enabled);
QImage Line(bool enabled);
QImage LineEnd();
QImage Ball(Look look);

struct SkinFile {
    QString name;
    QImage (*draw)();
};

// Every file of the skin folder with the function that draws it, in a fixed order.
const std::vector<SkinFile>& SkinFiles();

// Writes every picture as a straight-alpha 32-bit PNG into `folder`; false on the first
// file that cannot be written (its name goes to `failed`).
bool WriteSkin(const QString& folder, QString* failed);

// The sizes of the program's icon in the icon theme.
inline constexpr int kAppIconSizes[] = {32, 48, 64, 128, 256};

// Writes the program's icon in every size as <folder>/<n>x<n>/apps/<name>.png (the layout of
// an icon theme such as hicolor); false on the first file that cannot be written.
bool WriteAppIcons(const QString& folder, const QString& name, QString* failed);

} // namespace skin
