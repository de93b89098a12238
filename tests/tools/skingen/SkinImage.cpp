#include "SkinImage.h"

#include "TestSupport.h"

#include <algorithm>
#include <cstdlib>

namespace skintest {

std::filesystem::path SkinFolder()
{
    return testsupport::BinFolder() / "resource" / "UI";
}

QImage LoadSkin(const QString& name)
{
    const QImage image(QString::fromStdString((SkinFolder() / name.toStdString()).string()));
    return image.isNull() ? image : image.convertToFormat(QImage::Format_ARGB32);
}

double ChangedShare(const QImage& a, const QImage& b)
{
    if (a.size() != b.size() || a.isNull())
        return 1.0;
    long changed = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            const int d = std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                    std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
            changed += d > 16;
        }
    return double(changed) / (a.width() * a.height());
}

double MeanSaturation(const QImage& image)
{
    double sum = 0;
    long count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qAlpha(p) <= 128)
                continue;
            sum += QColor(p).hsvSaturationF();
            ++count;
        }
    return count ? sum / count : 0;
}

int LuminanceRange(const QImage& image)
{
    int low = 255, high = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qAlpha(p) <= 128)
                continue;
            low = std::min(low, qGray(p));
            high = std::max(high, qGray(p));
        }
    return high >= low ? high - low : 0;
}

double MeanLuminance(const QImage& image, const QRect& rect)
{
    double sum = 0;
    const QRect r = rect.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            sum += qGray(p) * qAlpha(p) / 255.0;
        }
    return r.isEmpty() ? 0 : sum / (r.width() * r.height());
}

double AlphaCentreY(const QImage& image)
{
    double weighted = 0, total = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const int a = qAlpha(image.pixel(x, y));
            weighted += a * (y + 0.5);
            total += a;
        }
    return total > 0 ? weighted / total : -1;
}

} // namespace skintest
