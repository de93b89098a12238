#pragma once

// Pieces of the base widget and base control tests: a widget that records what reaches its
// hooks and paints one colour, a kit control that owns one, and a fixture with a shown form.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "QtTestApp.h"
#include "gui/controls/GsWidget.h"
#include "gui/framework/Application.h"
#include "gui/framework/Form.h"
#include "gui/graphics/image.h"
#include "platform/MessageBox.h"

namespace widgettest {

// 0xAARRGGBB of a pixel (alpha 255 for 24-bit bitmaps).
inline std::uint32_t Pixel(const graphics::Bitmap& bitmap, int x, int y)
{
    const std::uint8_t* p = bitmap.ScanLine(y) + x * bitmap.BytesPerPixel();
    const std::uint32_t a = bitmap.BytesPerPixel() == 4 ? p[3] : 255;
    return (a << 24) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[1]) << 8) | p[0];
}

inline void SetPixel(graphics::Bitmap& bitmap, int x, int y, std::uint32_t argb)
{
    std::uint8_t* p = bitmap.ScanLine(y) + x * bitmap.BytesPerPixel();
    p[0] = std::uint8_t(argb);
    p[1] = std::uint8_t(argb >> 8);
    p[2] = std::uint8_t(argb >> 16);
    if (bitmap.BytesPerPixel() == 4)
        p[3] = std::uint8_t(argb >> 24);
}

inline void Fill(graphics::Bitmap& bitmap, std::uint32_t argb)
{
    for (int y = 0; y < bitmap.Height(); ++y)
        for (int x = 0; x < bitmap.Width(); ++x)
            SetPixel(bitmap, x, y, argb);
}

// Records its hooks into a shared log as "<name> <hook> <args>" and paints its colour over
// the rectangle it is given (nothing when the colour is 0).
class LogWidget : public gs::GsWidget {
public:
    LogWidget(std::string name, std::vector<std::string>* log, std::uint32_t color = 0)
        : m_Name(std::move(name)), m_Log(log), m_Color(color)
    {
    }

    bool refuseResize = false;
    int maxWidth = 0; // CanResize clamps the width to this when set
    bool autoSize = false;
    int autoWidth = 0;
    int autoHeight = 0;
    bool* destroyed = nullptr;
    std::vector<graphics::Point> paintOrigins;

    ~LogWidget() override
    {
        if (destroyed)
            *destroyed = true;
    }

    void Paint(graphics::Bitmap* target, const graphics::Rect& rect) override
    {
        paintOrigins.push_back(target->Canvas().ViewportOrigin());
        if (m_Color == 0)
            return;
        graphics::Bitmap layer(rect.Width(), rect.Height());
        Fill(layer, m_Color);
        ComposeImage(target, {rect.Left, rect.Top}, &layer);
    }
    void DoMouseMove(framework::ShiftState, int x, int y) override { Add("move", x, y); }
    void DoMouseDown(framework::MouseButton b, framework::ShiftState, int x, int y) override
    {
        Add("down" + std::to_string(int(b)), x, y);
    }
    void DoMouseUp(framework::MouseButton b, framework::ShiftState, int x, int y) override
    {
        Add("up" + std::to_string(int(b)), x, y);
    }
    void DoMouseLeave() override { Add("leave"); }
    void DoMouseEnter() override { Add("enter"); }
    void DoClick() override { Add("click"); }
    bool CanResize(int& w, int&) override
    {
        if (refuseResize)
            return false;
        if (maxWidth > 0 && w > maxWidth)
            w = maxWidth;
        return true;
    }
    bool CanAutoSize(int& w, int& h) override
    {
        if (!autoSize)
            return GsWidget::CanAutoSize(w, h);
        w = autoWidth;
        h = autoHeight;
        return true;
    }

private:
    void Add(const std::string& what, int x, int y) { Add(what + " " + std::to_string(x) + "," + std::to_string(y)); }
    void Add(const std::string& what)
    {
        if (m_Log)
            m_Log->push_back(m_Name + " " + what);
    }

    std::string m_Name;
    std::vector<std::string>* m_Log;
    std::uint32_t m_Color;
};

// A kit control whose widget is a LogWidget at (0, 0), rendered plainly.
class LogControl : public GsCustomControl {
public:
    explicit LogControl(std::vector<std::string>* log = nullptr, std::uint32_t color = 0xFF102030)
        : m_Log(log), m_Color(color)
    {
        Widget();
    }
    ~LogControl() override { ReleaseWidget(); }

    LogWidget* Root() { return static_cast<LogWidget*>(Widget()); }

    std::unique_ptr<gs::GsWidget> CreateWidget() override
    {
        return std::make_unique<LogWidget>("root", m_Log, m_Color);
    }
    void RenderControl(graphics::Bitmap* bitmap, RenderMode mode) override
    {
        ++renders;
        Widget()->Render(bitmap, Widget()->BoundsRect());
        if (mode == RenderMode::ToSurface)
            graphics::PutBitmapArea(&Canvas(), ClientRect(), bitmap, {0, 0});
    }
    void DrawInto(graphics::Bitmap* bitmap, DrawScope, WhenHidden hidden) override
    {
        if (!Visible() && hidden == WhenHidden::Skip)
            return;
        Widget()->Render(bitmap, BoundsRect());
    }
    void EraseBackground() override { ++erases; }

    int renders = 0;
    int erases = 0;

    using framework::Control::PaintPending;

private:
    std::vector<std::string>* m_Log;
    std::uint32_t m_Color;
};

// One application object per case, message boxes recorded, and a shown form.
class WidgetTest : public testing::Test {
protected:
    void SetUp() override
    {
        testsupport::QtTestApp();
        platform::SetMessageBoxHook([this](const std::string& text, const std::string&, unsigned) {
            m_Boxes.push_back(text);
            return int(platform::IDOK);
        });
        m_App = std::make_unique<framework::Application>(m_Argc, m_Argv);
        m_Form = std::make_unique<framework::Form>();
        m_Form->SetBounds(0, 0, 200, 150);
        m_Form->Show();
        Flush();
    }
    void TearDown() override
    {
        m_Form.reset();
        m_App.reset();
        platform::SetMessageBoxHook(nullptr);
    }

    static void Flush() { QCoreApplication::processEvents(); }

    int m_Argc = 1;
    char m_Name[8] = "program";
    char* m_Argv[2] = {m_Name, nullptr};
    std::unique_ptr<framework::Application> m_App;
    std::unique_ptr<framework::Form> m_Form;
    std::vector<std::string> m_Boxes;
};

} // namespace widgettest
