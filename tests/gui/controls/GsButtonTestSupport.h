#pragma once

// Shared pieces of the button and check-box tests: tiny solid state images, pixel reads, and a
// shown form whose controls get real Qt input.

#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>

#include <cstdint>
#include <memory>

#include "QtTestApp.h"
#include "TestSupport.h"
#include "gui/framework/Application.h"
#include "gui/framework/Form.h"
#include "gui/graphics/Bitmap.h"
#include "platform/MessageBox.h"

namespace kittest {

// B, G, R, A packed as 0xAARRGGBB for readable expectations.
inline std::uint32_t Pixel(const graphics::Bitmap& bitmap, int x, int y)
{
    const std::uint8_t* p = bitmap.ScanLine(y) + x * bitmap.BytesPerPixel();
    const std::uint32_t a = bitmap.BytesPerPixel() == 4 ? p[3] : 255;
    return (a << 24) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[1]) << 8) | p[0];
}

// A 32-bit image of one premultiplied colour (0xAARRGGBB).
inline std::unique_ptr<graphics::Bitmap> Solid(int width, int height, std::uint32_t argb)
{
    auto bitmap = std::make_unique<graphics::Bitmap>(width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bitmap->ScanLine(y);
        for (int x = 0; x < width; ++x) {
            row[x * 4 + 0] = std::uint8_t(argb);
            row[x * 4 + 1] = std::uint8_t(argb >> 8);
            row[x * 4 + 2] = std::uint8_t(argb >> 16);
            row[x * 4 + 3] = std::uint8_t(argb >> 24);
        }
    }
    return bitmap;
}

inline void SetPixel(graphics::Bitmap& bitmap, int x, int y, std::uint32_t argb)
{
    std::uint8_t* p = bitmap.ScanLine(y) + x * 4;
    p[0] = std::uint8_t(argb);
    p[1] = std::uint8_t(argb >> 8);
    p[2] = std::uint8_t(argb >> 16);
    p[3] = std::uint8_t(argb >> 24);
}

// Moves the pointer onto the widget at p. Qt drops a move to where the pointer already is (a
// case before may have left it there), so it first goes one pixel beside p.
inline void HoverAt(QWidget* widget, QPoint p)
{
    QTest::mouseMove(widget, p + QPoint(1, 0));
    QTest::mouseMove(widget, p);
}

// One colour per state, all opaque, so a rendered pixel names the state image.
constexpr std::uint32_t kRaisedColor = 0xFFC00000;
constexpr std::uint32_t kSunkenColor = 0xFF00C000;
constexpr std::uint32_t kHoveredColor = 0xFF0000C0;
constexpr std::uint32_t kDisabledColor = 0xFF808080;

// A shown form for controls that need real input, with message boxes recorded instead of shown.
class KitTest : public testing::Test {
protected:
    void SetUp() override
    {
        testsupport::QtTestApp();
        platform::SetMessageBoxHook([](const std::string&, const std::string&, unsigned) { return int(platform::IDOK); });
        m_App = std::make_unique<framework::Application>(m_Argc, m_Argv);
        m_Form = std::make_unique<framework::Form>();
        m_Form->SetBounds(0, 0, 200, 120);
        m_Form->Show();
        Pump();
    }

    void TearDown() override
    {
        m_Form.reset();
        m_App.reset();
        platform::SetMessageBoxHook(nullptr);
    }

    void Pump()
    {
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }

    int m_Argc = 1;
    char m_Name[8] = "program";
    char* m_Argv[2] = {m_Name, nullptr};
    std::unique_ptr<framework::Application> m_App;
    std::unique_ptr<framework::Form> m_Form;
};

} // namespace kittest
