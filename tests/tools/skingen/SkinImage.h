#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>

#include <filesystem>

// Reading and measuring the skin pictures in the tests.
namespace skintest {

// The skin folder the build writes beside the program.
std::filesystem::path SkinFolder();

// A picture of the skin folder as straight 32-bit ARGB; null when missing.
QImage LoadSkin(const QString& name);

// Share of pixels (0..1) where any channel, alpha included, differs by more than 16.
double ChangedShare(const QImage& a, const QImage& b);

// Mean HSV saturation (0..1) of the pixels with alpha above 128.
double MeanSaturation(const QImage& image);

// Luminance range (max - min, 0..255) of the pixels with alpha above 128.
int LuminanceRange(const QImage& image);

// Mean luminance (0..255) of a rectangle, composited over black.
double MeanLuminance(const QImage& image, const QRect& rect);

// Alpha-weighted centre of a picture's rows, in pixels from its top edge.
double AlphaCentreY(const QImage& image);

} // namespace skintest
