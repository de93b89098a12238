#include <gtest/gtest.h>

#include <QImage>
#include <QTest>
#include <QWidget>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "FrameworkFixture.h"
#include "gui/framework/Form.h"
#include "gui/framework/Timer.h"

using namespace framework;

namespace {

// A form that writes its events into a log, as a program's form binds its handlers.
class LoggingForm : public Form {
public:
    explicit LoggingForm(std::vector<std::string>* log, bool* destroyed = nullptr)
        : m_Log(log), m_Destroyed(destroyed)
    {
        OnCreate = [this](Component* sender) { Add(sender, "create"); };
        OnShow = [this](Component* sender) { Add(sender, "show"); };
        OnHide = [this](Component* sender) { Add(sender, "hide"); };
        OnClose = [this](Component* sender, CloseAction& action) {
            Add(sender, "close");
            action = m_Action;
        };
    }
    ~LoggingForm() override
    {
        if (m_Destroyed)
            *m_Destroyed = true;
    }

    CloseAction m_Action = caHide;

private:
    void Add(Component* sender, const char* what) { m_Log->push_back(sender == this ? what : "wrong sender"); }

    std::vector<std::string>* m_Log;
    bool* m_Destroyed;
};

QImage Grab(Form& form)
{
    return form.Host()->grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

TEST_F(FrameworkTest, CreateFiresOnceAndTheFirstFormIsTheMainForm)
{
    std::vector<std::string> log;
    auto* main = m_App->CreateForm<LoggingForm>(&log);
    auto* other = m_App->CreateForm<LoggingForm>(&log);
    EXPECT_EQ(m_App->MainForm(), main);
    EXPECT_NE(m_App->MainForm(), other);
    main->Show();
    main->Hide();
    main->Show();
    main->Create();
    EXPECT_EQ(log, (std::vector<std::string>{"create", "create", "show", "hide", "show"}));
    EXPECT_TRUE(main->Visible());
    EXPECT_TRUE(main->Host()->isVisible());
}

TEST_F(FrameworkTest, FormNotMadeByCreateFormIsCreatedAtFirstShow)
{
    std::vector<std::string> log;
    LoggingForm form(&log);
    EXPECT_TRUE(log.empty());
    form.Show();
    form.Show(); // already visible: no second show event
    EXPECT_EQ(log, (std::vector<std::string>{"create", "show"}));
}

TEST_F(FrameworkTest, CloseActionDecidesWhatHappensToAFormThatIsNotMain)
{
    std::vector<std::string> log;
    m_App->CreateForm<LoggingForm>(&log);
    auto* form = m_App->CreateForm<LoggingForm>(&log);
    form->Show();
    log.clear();

    form->m_Action = caNone;
    form->Close();
    EXPECT_TRUE(form->Visible());
    EXPECT_TRUE(form->Host()->isVisible());

    form->m_Action = caMinimize;
    form->Close();
    EXPECT_TRUE(form->Visible());
    EXPECT_EQ(form->GetWindowState(), wsMinimized);

    form->m_Action = caHide;
    form->Close();
    EXPECT_FALSE(form->Visible());
    EXPECT_FALSE(form->Host()->isVisible());
    EXPECT_FALSE(m_App->Terminated());
    EXPECT_EQ(log, (std::vector<std::string>{"close", "close", "close", "hide"}));
}

TEST_F(FrameworkTest, CloseQueryCanVetoBeforeTheCloseEvent)
{
    std::vector<std::string> log;
    auto* form = m_App->CreateForm<LoggingForm>(&log);
    form->Show();
    int queries = 0;
    form->OnCloseQuery = [&](Component*, bool& canClose) {
        ++queries;
        canClose = false;
    };
    form->Close();
    EXPECT_EQ(queries, 1);
    EXPECT_TRUE(form->Visible());
    EXPECT_FALSE(m_App->Terminated());
    EXPECT_EQ(log, (std::vector<std::string>{"create", "show"}));
}

TEST_F(FrameworkTest, ReleasedFormIsDestroyedAfterItsHandlerReturns)
{
    std::vector<std::string> log;
    bool destroyed = false;
    m_App->CreateForm<LoggingForm>(&log);
    auto* form = m_App->CreateForm<LoggingForm>(&log, &destroyed);
    form->Show();
    form->m_Action = caFree;
    form->Close();
    EXPECT_FALSE(destroyed); // the caller may still be inside the form
    EXPECT_FALSE(form->Host()->isVisible());
    m_App->ProcessMessages();
    EXPECT_TRUE(destroyed);
}

TEST_F(FrameworkTest, ClosingTheMainFormEndsTheLoop)
{
    std::vector<std::string> log;
    auto* main = m_App->CreateForm<LoggingForm>(&log);
    bool visibleInLoop = false;
    Timer timer;
    timer.SetInterval(1);
    timer.SetOnTimer([&](Component*) {
        timer.SetEnabled(false);
        visibleInLoop = main->Host()->isVisible();
        main->Close();
    });
    m_App->Run();
    EXPECT_TRUE(visibleInLoop);
    EXPECT_TRUE(m_App->Terminated());
    EXPECT_EQ(log, (std::vector<std::string>{"create", "show", "close"}));
}

TEST_F(FrameworkTest, HiddenStartRunsTheLoopWithoutShowingTheMainForm)
{
    std::vector<std::string> log;
    auto* main = m_App->CreateForm<LoggingForm>(&log);
    m_App->SetShowMainForm(false);
    bool visibleInLoop = true;
    Timer timer;
    timer.SetInterval(1);
    timer.SetOnTimer([&](Component*) {
        visibleInLoop = main->Host()->isVisible();
        m_App->Terminate();
    });
    m_App->Run();
    EXPECT_FALSE(visibleInLoop);
    EXPECT_EQ(log, (std::vector<std::string>{"create"}));
}

TEST_F(FrameworkTest, TerminateBeforeRunMakesRunReturnAtOnce)
{
    std::vector<std::string> log;
    m_App->CreateForm<LoggingForm>(&log);
    m_App->Terminate();
    m_App->Run(); // would wait for ever if the loop started
    EXPECT_EQ(log, (std::vector<std::string>{"create"}));
}

TEST_F(FrameworkTest, WindowManagerCloseGoesThroughTheFormsCloseRules)
{
    std::vector<std::string> log;
    m_App->CreateForm<LoggingForm>(&log);
    auto* form = m_App->CreateForm<LoggingForm>(&log);
    form->Show();
    form->m_Action = caNone;
    form->Host()->close();
    EXPECT_TRUE(form->Host()->isVisible());
    form->m_Action = caHide;
    form->Host()->close();
    EXPECT_FALSE(form->Visible());
    EXPECT_EQ(log, (std::vector<std::string>{"create", "create", "show", "close", "close", "hide"}));
}

TEST_F(FrameworkTest, RestoreBringsBackAMinimisedHiddenForm)
{
    std::vector<std::string> log;
    auto* form = m_App->CreateForm<LoggingForm>(&log);
    form->SetBounds(40, 50, 120, 80);
    form->Show();
    form->Minimize();
    form->Hide();
    form->Restore();
    EXPECT_TRUE(form->Visible());
    EXPECT_EQ(form->GetWindowState(), wsNormal);
    EXPECT_EQ(form->Left(), 40);
    EXPECT_EQ(form->Top(), 50);
    EXPECT_EQ(log, (std::vector<std::string>{"create", "show", "hide", "show"}));

    m_App->Minimize();
    EXPECT_EQ(form->GetWindowState(), wsMinimized);
    m_App->Restore();
    EXPECT_EQ(form->GetWindowState(), wsNormal);
}

TEST_F(FrameworkTest, ExtendedStyleSetsTheWindowFlagsAndKeepsTheWindowInPlace)
{
    Form form;
    form.SetBounds(30, 40, 100, 60);
    form.Show();
    form.SetExStyle(form.ExStyle() | WS_EX_TOPMOST | WS_EX_TOOLWINDOW);
    const Qt::WindowFlags flags = form.Host()->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_TRUE(flags & Qt::FramelessWindowHint);
    EXPECT_TRUE(form.Host()->isVisible());
    EXPECT_EQ(form.Host()->geometry(), QRect(30, 40, 100, 60));

    // An application-window style wins over the tool window: the taskbar entry stays.
    form.SetExStyle(form.ExStyle() | WS_EX_APPWINDOW);
    EXPECT_EQ(form.Host()->windowFlags() & Qt::WindowType_Mask, Qt::Window);
    form.SetExStyle(WS_EX_TRANSPARENT);
    EXPECT_TRUE(form.Host()->windowFlags() & Qt::WindowTransparentForInput);
    EXPECT_FALSE(form.Host()->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(form.ExStyleWrites(), 3);
}

// A tiling compositor floats a window whose smallest and largest sizes agree, at that size;
// any other window is stretched into a tile.
TEST_F(FrameworkTest, FormSizeIsFixedAtEveryBoundsChange)
{
    Form form;
    form.SetBounds(30, 40, 100, 60);
    EXPECT_EQ(form.Host()->minimumSize(), QSize(100, 60));
    EXPECT_EQ(form.Host()->maximumSize(), QSize(100, 60));
    form.Show();
    form.SetBounds(30, 40, 50, 20); // smaller than the size fixed before
    EXPECT_EQ(form.Host()->geometry(), QRect(30, 40, 50, 20));
    EXPECT_EQ(form.Host()->minimumSize(), QSize(50, 20));
    EXPECT_EQ(form.Host()->maximumSize(), QSize(50, 20));
    form.SetWidth(70); // larger again
    EXPECT_EQ(form.Host()->geometry(), QRect(30, 40, 70, 20));
    EXPECT_EQ(form.Host()->maximumSize(), QSize(70, 20));
    // New window flags rebuild the native window; the size stays fixed.
    form.SetExStyle(WS_EX_TOOLWINDOW | WS_EX_TOPMOST);
    EXPECT_EQ(form.Host()->geometry(), QRect(30, 40, 70, 20));
    EXPECT_EQ(form.Host()->minimumSize(), QSize(70, 20));
    EXPECT_EQ(form.Host()->maximumSize(), QSize(70, 20));
}

TEST_F(FrameworkTest, OpaqueFormPaintsItsColour)
{
    Form form;
    form.SetBounds(0, 0, 4, 3);
    form.SetColor(0x00336699); // red 0x99, green 0x66, blue 0x33
    QImage image = Grab(form);
    ASSERT_EQ(image.size(), QSize(4, 3));
    EXPECT_EQ(image.pixel(0, 0), qRgba(0x99, 0x66, 0x33, 255));
    EXPECT_EQ(image.pixel(3, 2), qRgba(0x99, 0x66, 0x33, 255));
}

TEST_F(FrameworkTest, MouseInputOnTheHostReachesTheForm)
{
    Form form;
    form.SetBounds(100, 100, 50, 40);
    form.Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.Host()));
    std::vector<std::string> log;
    form.OnMouseDown = [&](Component* sender, MouseButton button, ShiftState shift, int x, int y) {
        log.push_back("down " + std::to_string(button) + " " + std::to_string(shift) + " " +
                      std::to_string(x) + "," + std::to_string(y) + (sender == &form ? "" : " wrong sender"));
    };
    form.OnMouseUp = [&](Component*, MouseButton button, ShiftState shift, int x, int y) {
        log.push_back("up " + std::to_string(button) + " " + std::to_string(shift) + " " +
                      std::to_string(x) + "," + std::to_string(y));
    };
    QTest::mousePress(form.Host(), Qt::RightButton, Qt::ShiftModifier, QPoint(5, 7));
    QTest::mouseRelease(form.Host(), Qt::RightButton, Qt::ShiftModifier, QPoint(6, 8));
    EXPECT_EQ(log, (std::vector<std::string>{
                       "down " + std::to_string(mbRight) + " " + std::to_string(ssShift | ssRight) + " 5,7",
                       "up " + std::to_string(mbRight) + " " + std::to_string(ssShift) + " 6,8"}));
}

namespace {

// Shows the form at 100, 100; a left press on its background starts a window drag.
void ShowDraggable(Form& form)
{
    form.SetBounds(100, 100, 50, 40);
    form.Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.Host()));
    form.OnMouseDown = [&form](Component*, MouseButton button, ShiftState, int, int) {
        if (button == mbLeft)
            form.StartWindowDrag();
    };
}

} // namespace

TEST_F(FrameworkTest, BackgroundDragMovesTheWindowWithoutAWindowManager)
{
    Form form;
    ShowDraggable(form);
    QTest::mousePress(form.Host(), Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseMove(form.Host(), QPoint(30, 25));
    QTest::mouseRelease(form.Host(), Qt::LeftButton, {}, QPoint(30, 25));
    EXPECT_EQ(form.Left(), 120);
    EXPECT_EQ(form.Top(), 115);
    // Without a press the window stays where it is.
    QTest::mouseMove(form.Host(), QPoint(5, 5));
    EXPECT_EQ(form.Left(), 120);
}

// A left press on the background arms a move; the window follows the pointer only once it has
// left the press point by the platform's drag distance (10 here) with the button still held.
struct PointerStep {
    enum Kind { Press, Move, Release } kind;
    QPoint at;
};
struct DragRow {
    const char* name;
    std::vector<PointerStep> steps;
    QPoint end; // where the window is afterwards; it starts at 100, 100
    friend void PrintTo(const DragRow& row, std::ostream* out) { *out << row.name; }
};

class BackgroundDrag : public FrameworkTest, public testing::WithParamInterface<DragRow> {};

TEST_P(BackgroundDrag, MovesTheWindowOnlyPastTheDragDistanceWithTheButtonHeld)
{
    Form form;
    ShowDraggable(form);
    for (const PointerStep& step : GetParam().steps) {
        if (step.kind == PointerStep::Press)
            QTest::mousePress(form.Host(), Qt::LeftButton, {}, step.at);
        else if (step.kind == PointerStep::Move)
            QTest::mouseMove(form.Host(), step.at);
        else
            QTest::mouseRelease(form.Host(), Qt::LeftButton, {}, step.at);
    }
    EXPECT_EQ(QPoint(form.Left(), form.Top()), GetParam().end);
}

const DragRow kDragRows[] = {
    {"ClickWithoutMotion",
     {{PointerStep::Press, {10, 10}}, {PointerStep::Release, {10, 10}}, {PointerStep::Move, {40, 30}}},
     {100, 100}},
    {"MotionWithinTheDragDistance",
     {{PointerStep::Press, {10, 10}}, {PointerStep::Move, {14, 13}}, {PointerStep::Release, {14, 13}}},
     {100, 100}},
    {"MotionPastTheDragDistance",
     {{PointerStep::Press, {10, 10}}, {PointerStep::Move, {30, 25}}, {PointerStep::Release, {30, 25}},
      {PointerStep::Move, {5, 5}}},
     {120, 115}},
};
INSTANTIATE_TEST_SUITE_P(Form, BackgroundDrag, testing::ValuesIn(kDragRows),
                         [](const testing::TestParamInfo<DragRow>& row) { return row.param.name; });

TEST_F(FrameworkTest, ErrorInAnEventHandlerIsShownAndTheProgramGoesOn)
{
    Form form;
    form.SetBounds(0, 0, 20, 20);
    form.OnShow = [](Component*) { throw std::runtime_error("show failed"); };
    form.Show();
    EXPECT_TRUE(form.Visible());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.Host()));

    form.OnMouseDown = [](Component*, MouseButton, ShiftState, int, int) { throw 42; };
    QTest::mouseClick(form.Host(), Qt::LeftButton, {}, QPoint(3, 3));

    m_App->SetTitle("Watchdog");
    form.OnCreate = [](Component*) { throw std::logic_error("never"); }; // already created
    form.OnHide = [](Component*) { throw std::runtime_error("hide failed"); };
    form.Hide();
    EXPECT_FALSE(form.Host()->isVisible());

    ASSERT_EQ(m_Boxes.size(), 3u);
    EXPECT_EQ(m_Boxes[0].text, "show failed");
    EXPECT_EQ(m_Boxes[0].caption, "framework_tests");
    EXPECT_EQ(m_Boxes[0].flags, unsigned(platform::MB_OK | platform::MB_ICONERROR));
    EXPECT_EQ(m_Boxes[1].text, ""); // not an error object
    EXPECT_EQ(m_Boxes[2].text, "hide failed");
    EXPECT_EQ(m_Boxes[2].caption, "Watchdog");
}
