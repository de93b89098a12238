// What assistive technology is told of a windowed control's enabled state: nothing while its
// window is not on screen (telling would start the accessibility bridge before the window's
// first frame), the change once it is.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QCoreApplication>
#include <algorithm>
#include <memory>
#include <vector>

#include "FrameworkFixture.h"
#include "gui/framework/Control.h"
#include "gui/framework/Form.h"

using namespace framework;

namespace {

std::vector<QObject*> g_StateChanges;

void RecordUpdate(QAccessibleEvent* event)
{
    if (event->type() == QAccessible::StateChanged)
        g_StateChanges.push_back(event->object());
}

class AccessibilityTest : public FrameworkTest {
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        g_StateChanges.clear();
        QAccessible::setActive(true);
        m_Previous = QAccessible::installUpdateHandler(RecordUpdate);
    }
    void TearDown() override
    {
        QAccessible::installUpdateHandler(m_Previous);
        QAccessible::setActive(false);
        FrameworkTest::TearDown();
    }

    QAccessible::UpdateHandler m_Previous = nullptr;
};

} // namespace

TEST_F(AccessibilityTest, AnEnabledChangeIsAnnouncedOnlyOnceTheWindowIsOnScreen)
{
    const struct {
        bool formShown;
        bool announced;
    } cases[] = {{false, false}, {true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.formShown ? "shown form" : "form not shown yet");
        g_StateChanges.clear();
        Form form;
        form.SetBounds(0, 0, 200, 150);
        if (c.formShown)
            form.Show();
        auto control = std::make_unique<Control>();
        control->SetParent(&form);
        control->SetBounds(10, 10, 40, 30);
        QCoreApplication::processEvents();
        control->SetEnabled(false);
        const auto* widget = static_cast<QObject*>(control->Handle());
        const bool announced =
            std::find(g_StateChanges.begin(), g_StateChanges.end(), widget) != g_StateChanges.end();
        EXPECT_EQ(announced, c.announced);
        EXPECT_FALSE(control->Handle()->isEnabled()) << "the widget itself follows the control";
    }
}
