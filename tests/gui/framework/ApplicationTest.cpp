#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFont>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <thread>
#include <string>

#include "FrameworkFixture.h"
#include "QtTestApp.h"
#include "gui/framework/Application.h"
#include "platform/MessageBox.h"
#include "platform/UiThread.h"

using namespace framework;

namespace {

struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
    const QWidget* parent = nullptr;
};

// Answers the next real message box by clicking one of its buttons.
int AnswerNextBox(QMessageBox::StandardButton answer, const std::string& text, const std::string& caption,
                  unsigned flags, SeenBox& seen)
{
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll.stop();
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.buttons = int(box->standardButtons());
        seen.parent = box->parentWidget();
        box->button(answer)->click();
    });
    poll.start();
    return platform::ShowMessageBox(text, caption, flags);
}

} // namespace

TEST(Application, ShowsRealMessageBoxesWithTheButtonsOfTheFlagsOverTheShownMainWindow)
{
    testsupport::QtTestApp();
    int argc = 1;
    char name[] = "program";
    char* argv[] = {name, nullptr};
    Application app(argc, argv);

    SeenBox seen;
    EXPECT_EQ(AnswerNextBox(QMessageBox::Yes, "Switch model?", "Question", platform::MB_YESNO | platform::MB_ICONQUESTION,
                            seen),
              platform::IDYES);
    EXPECT_EQ(seen.title, "Question");
    EXPECT_EQ(seen.text, "Switch model?");
    EXPECT_EQ(seen.icon, QMessageBox::Question);
    EXPECT_EQ(seen.buttons, int(QMessageBox::Yes | QMessageBox::No));

    EXPECT_EQ(AnswerNextBox(QMessageBox::No, "x", "c", platform::MB_YESNO, seen), platform::IDNO);
    EXPECT_EQ(AnswerNextBox(QMessageBox::Cancel, "x", "c", platform::MB_OKCANCEL | platform::MB_ICONWARNING, seen),
              platform::IDCANCEL);
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(AnswerNextBox(QMessageBox::Ok, "Can not load image a.png", "LoadImage", platform::MB_OK, seen),
              platform::IDOK);
    EXPECT_EQ(seen.buttons, int(QMessageBox::Ok));
    EXPECT_EQ(seen.icon, QMessageBox::NoIcon);

    // A compositor keeps a box over the window only when it is attached to it; with no window
    // shown it stands alone.
    EXPECT_EQ(seen.parent, nullptr) << "no main form yet";

    Form* form = app.CreateForm<Form>();
    form->SetBounds(0, 0, 40, 30);
    EXPECT_EQ(AnswerNextBox(QMessageBox::Ok, "x", "c", platform::MB_OK, seen), platform::IDOK);
    EXPECT_EQ(seen.parent, nullptr) << "a hidden window cannot hold the box";

    form->Show();
    EXPECT_EQ(AnswerNextBox(QMessageBox::Ok, "x", "c", platform::MB_OK, seen), platform::IDOK);
    EXPECT_EQ(seen.parent, form->Host());

    form->Hide();
    EXPECT_EQ(AnswerNextBox(QMessageBox::Ok, "x", "c", platform::MB_OK, seen), platform::IDOK);
    EXPECT_EQ(seen.parent, nullptr);
}

TEST(Application, RemovesItsMessageBoxHookWhenItEnds)
{
    testsupport::QtTestApp();
    int argc = 1;
    char name[] = "program";
    char* argv[] = {name, nullptr};
    {
        Application app(argc, argv);
    }
    // A message after the end must not reach a dead Qt hook.
    EXPECT_FALSE(platform::SetMessageBoxHook(nullptr));
}

TEST_F(FrameworkTest, KeepsAMessageBoxHookInstalledBeforeIt)
{
    EXPECT_EQ(platform::ShowMessageBox("hello", "cap", platform::MB_OK), platform::IDOK);
    ASSERT_EQ(m_Boxes.size(), 1u);
    EXPECT_EQ(m_Boxes[0].text, "hello");
}

TEST_F(FrameworkTest, GuardedShowsErrorsAndSwallowsThem)
{
    m_App->SetTitle("TOLV");
    Guarded([] { throw std::runtime_error("Bus error: no such service"); });
    bool ran = false;
    Guarded([&] { ran = true; });
    EXPECT_TRUE(ran);
    ASSERT_EQ(m_Boxes.size(), 1u);
    EXPECT_EQ(m_Boxes[0].text, "Bus error: no such service");
    EXPECT_EQ(m_Boxes[0].caption, "TOLV");
}

TEST_F(FrameworkTest, ErrorDisplayThatFailsItselfDoesNotEscape)
{
    platform::SetMessageBoxHook([](const std::string&, const std::string&, unsigned) -> int {
        throw std::runtime_error("display broken");
    });
    Guarded([] { throw std::runtime_error("first"); }); // must not terminate the program
    SUCCEED();
}

TEST_F(FrameworkTest, OnlyOneApplicationPerProcess)
{
    EXPECT_DEATH(Application second(m_Argc, m_Argv), "Assertion failed: g_Application == nullptr");
}

TEST_F(FrameworkTest, WorkerCallsRunOnTheUserInterfaceThreadFromTheLoop)
{
    std::atomic<bool> done{false};
    bool ranOnUiThread = false;
    std::thread worker([&] {
        platform::Synchronize([&] { ranOnUiThread = platform::IsUiThread(); });
        done = true;
    });
    // Only the event loop runs the queued call; without the wake-up the worker waits for ever.
    EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 10000));
    worker.join();
    EXPECT_TRUE(ranOnUiThread);
}

TEST_F(FrameworkTest, SkinFacesMapToTheInstalledFonts)
{
    EXPECT_TRUE(QFont::substitutes("Candara").contains("Carlito", Qt::CaseInsensitive));
    EXPECT_TRUE(QFont::substitutes("Century Gothic").contains("URW Gothic", Qt::CaseInsensitive));
}

// A window is centred in the primary screen's work area wherever that lies on the desktop, and
// pushed back inside it when it would stick out.
struct PlacementRow {
    const char* name;
    WorkArea area;
    int width;
    int height;
    int left;
    int top;
};

class CentredInTable : public testing::TestWithParam<PlacementRow> {};

TEST_P(CentredInTable, PlacesTheWindow)
{
    const PlacementRow& row = GetParam();
    const WorkArea place = CentredIn(row.area, row.width, row.height);
    EXPECT_EQ(place.left, row.left);
    EXPECT_EQ(place.top, row.top);
    EXPECT_EQ(place.width, row.width);
    EXPECT_EQ(place.height, row.height);
}

INSTANTIATE_TEST_SUITE_P(
    Application, CentredInTable,
    testing::Values(PlacementRow{"ScreenAtOrigin", {0, 0, 1280, 800}, 424, 544, 428, 128},
                    PlacementRow{"OddRoomTruncates", {0, 0, 1281, 801}, 424, 544, 428, 128},
                    PlacementRow{"PrimaryRightOfAnother", {1280, 0, 1280, 1024}, 424, 544, 1708, 240},
                    PlacementRow{"PanelAtTheTopAndLeft", {40, 30, 1240, 740}, 424, 544, 448, 128},
                    PlacementRow{"PrimaryLeftOfAnother", {-1024, 0, 1024, 768}, 424, 544, -724, 112},
                    PlacementRow{"TallerThanTheAreaKeepsItsTop", {0, 0, 640, 512}, 424, 544, 108, 0},
                    PlacementRow{"LargerThanTheAreaKeepsItsCorner", {1280, 16, 200, 100}, 424, 544, 1280, 16},
                    PlacementRow{"NoScreen", {0, 0, 0, 0}, 424, 544, 0, 0}),
    [](const testing::TestParamInfo<PlacementRow>& info) { return std::string(info.param.name); });
