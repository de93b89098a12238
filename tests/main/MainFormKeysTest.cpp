// The window driven from the keyboard (focus order, field keys, Space) and what assistive
// technology reads from it; Return, Escape and the focus mark on screen are proven by the
// whole-program keyboard test.

#include "MainFormFixture.h"

#include <QAccessible>
#include <QTest>
#include <QWidget>

#include <initializer_list>
#include <map>

#include "gui/controls/GsButton.h"
#include "gui/controls/GsExtraCtrl.h"
#include "gui/controls/TolvScrollBar.h"
#include "gui/framework/FocusChain.h"

namespace {

class Keyboard : public MainFormTest {
protected:
    // The watchdog on with the given times, the window shown and active.
    void StartOn(std::uint32_t restart, std::uint32_t reload)
    {
        WriteDword("LAST_STATE", 15);
        WriteDword("REBOOT_TIME", restart);
        WriteDword("RESET_TIME", reload);
        Create();
        form->TrayHoldsIcon = [] { return true; };
        form->Show();
        Settle();
        form->Host()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form->Host()));
        Settle();
    }

    static void Settle()
    {
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }

    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : form->Host();
        QTest::keyClick(target, key, modifiers);
        Settle();
    }

    framework::Control* Focused() const { return framework::FocusedControl(*form); }
};

} // namespace

TEST_F(Keyboard, TabWalksTheFocusOrderBothWaysSkippingTheDisabledApply)
{
    StartOn(60, 40);
    ASSERT_EQ(Focused(), form->Switch()) << "the window's first control takes the focus";
    const std::vector<framework::Control*> forward = {form->RebootSlider(), form->ResetSlider(),
                                                      form->StartupCheck(), form->MinimizeButton(),
                                                      form->CloseButton(), form->Switch()};
    for (framework::Control* expected : forward) {
        Key(Qt::Key_Tab);
        EXPECT_EQ(Focused(), expected);
    }
    for (auto it = forward.rbegin() + 1; it != forward.rend(); ++it) {
        Key(Qt::Key_Tab, Qt::ShiftModifier);
        EXPECT_EQ(Focused(), *it);
    }
    Key(Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(Focused(), form->Switch());
}

struct FieldKeyRow {
    const char* name;
    std::uint32_t restart, reload;
    int tabs; // 1: the restart field, 2: the reload field
    Qt::Key key;
    std::int32_t restartAfter, reloadAfter;
    bool applyAfter;
};

class FieldKeys : public Keyboard, public testing::WithParamInterface<FieldKeyRow> {};

TEST_P(FieldKeys, MoveTheFocusedFieldAsItsArrowsDo)
{
    const FieldKeyRow& row = GetParam();
    StartOn(row.restart, row.reload);
    for (int i = 0; i < row.tabs; ++i)
        Key(Qt::Key_Tab);
    Key(row.key);
    EXPECT_EQ(form->RebootSlider()->Position(), row.restartAfter);
    EXPECT_EQ(form->ResetSlider()->Position(), row.reloadAfter);
    EXPECT_EQ(form->ResetSlider()->Max(), row.restartAfter - form->MinGap());
    EXPECT_EQ(form->ApplyButton()->Enabled(), row.applyAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Keyboard, FieldKeys,
    testing::Values(FieldKeyRow{"DownOnTheRestartFieldPullsTheReloadAlong", 45, 40, 1, Qt::Key_Down, 44, 39, true},
                    FieldKeyRow{"PageDownMovesTenKeepingTheGap", 60, 55, 1, Qt::Key_PageDown, 50, 45, true},
                    FieldKeyRow{"PageUpStopsAt255", 250, 40, 1, Qt::Key_PageUp, 255, 40, true},
                    FieldKeyRow{"UpOnTheReloadFieldAtItsMaximumDoesNothing", 60, 55, 2, Qt::Key_Up, 60, 55, false},
                    FieldKeyRow{"UpOnTheSwitchMovesNoField", 60, 40, 0, Qt::Key_Up, 60, 40, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Keyboard, SpaceTogglesTheBoxAndTheSwitchWhichKeepsTheFocus)
{
    StartOn(60, 40);
    Key(Qt::Key_Return);
    EXPECT_EQ(std::count(control.calls.begin(), control.calls.end(), "SetTime(60,40)"), 1)
        << "Return applied with nothing to apply";
    for (int i = 0; i < 3; ++i)
        Key(Qt::Key_Tab);
    ASSERT_EQ(Focused(), form->StartupCheck());
    const bool before = form->StartupCheck()->Checked();
    Key(Qt::Key_Space);
    EXPECT_NE(form->StartupCheck()->Checked(), before);
    EXPECT_TRUE(m_Boxes.empty());

    for (int i = 0; i < 3; ++i)
        Key(Qt::Key_Tab, Qt::ShiftModifier);
    ASSERT_EQ(Focused(), form->Switch());
    Key(Qt::Key_Space);
    EXPECT_FALSE(form->Switch()->Checked());
    EXPECT_EQ(ReadDword("LAST_STATE"), 0u);
    EXPECT_EQ(Focused(), form->Switch());
    Key(Qt::Key_Space);
    EXPECT_TRUE(form->Switch()->Checked());
    EXPECT_EQ(Focused(), form->Switch());
    // While off only the switch and the window's buttons take part.
    Key(Qt::Key_Space);
    Key(Qt::Key_Tab);
    EXPECT_EQ(Focused(), form->MinimizeButton());
}

namespace {

struct AccessibleRow {
    QAccessible::Role role;
    int checked; // -1: not checkable
    int value, minimum, maximum;
};

// The accessible interfaces under the window, by name.
std::map<QString, QAccessibleInterface*> AccessibleByName(QWidget* window)
{
    std::map<QString, QAccessibleInterface*> byName;
    QAccessibleInterface* root = QAccessible::queryAccessibleInterface(window);
    for (int i = 0; root && i < root->childCount(); ++i) {
        QAccessibleInterface* child = root->child(i);
        if (child && !child->text(QAccessible::Name).isEmpty())
            byName[child->text(QAccessible::Name)] = child;
    }
    return byName;
}

} // namespace

TEST_F(Keyboard, AssistiveTechnologyReadsNamesRolesStatesAndFieldLimits)
{
    StartOn(60, 40);
    const std::map<QString, AccessibleRow> expected = {
        {"Watchdog Timer", {QAccessible::CheckBox, 1, 0, 0, 0}},
        {"System restart time", {QAccessible::SpinBox, -1, 60, 10, 255}},
        {"Reload system restart time", {QAccessible::SpinBox, -1, 40, 5, 55}},
        {"Launch on startup", {QAccessible::CheckBox, 0, 0, 0, 0}},
        {"Apply", {QAccessible::Button, -1, 0, 0, 0}},
        {"Minimize", {QAccessible::Button, -1, 0, 0, 0}},
        {"Close", {QAccessible::Button, -1, 0, 0, 0}},
    };
    auto found = AccessibleByName(form->Host());
    for (const auto& [name, row] : expected) {
        SCOPED_TRACE(name.toStdString());
        ASSERT_TRUE(found.count(name));
        QAccessibleInterface* item = found[name];
        EXPECT_EQ(item->role(), row.role);
        EXPECT_EQ(item->state().checkable, row.checked >= 0);
        EXPECT_EQ(item->state().checked, row.checked == 1);
        QAccessibleValueInterface* value = item->valueInterface();
        ASSERT_EQ(value != nullptr, row.role == QAccessible::SpinBox);
        if (!value)
            continue;
        EXPECT_EQ(value->currentValue().toInt(), row.value);
        EXPECT_EQ(value->minimumValue().toInt(), row.minimum);
        EXPECT_EQ(value->maximumValue().toInt(), row.maximum);
    }
    EXPECT_TRUE(found["Watchdog Timer"]->state().focused);

    // A value set from outside takes the fields' own path: the coupling and Apply follow.
    found["System restart time"]->valueInterface()->setCurrentValue(30);
    EXPECT_EQ(form->ResetSlider()->Position(), 25);
    EXPECT_EQ(found["Reload system restart time"]->valueInterface()->maximumValue().toInt(), 25);
    EXPECT_TRUE(form->ApplyButton()->Enabled());
}
