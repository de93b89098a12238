// A handler may destroy its own control. Each row binds one handler to destroy the control and
// drives the input that reaches it through Qt; nothing may touch the control afterwards
// (AddressSanitizer reports any use after the free).

#include "GsButtonTestSupport.h"
#include "GsWidgetTestSupport.h"

#include <QEvent>
#include <QPointer>

#include <functional>
#include <string>

#include "gui/controls/GsExtraCtrl.h"
#include "gui/controls/TolvScrollBar.h"
#include "gui/graphics/image.h"

using kittest::KitTest;
using kittest::Solid;

namespace {

using Destroy = std::function<void()>;
using Control = std::unique_ptr<GsCustomControl>;

struct DestroyRow {
    const char* name;
    // Makes the control on the form with one handler bound to destroy.
    std::function<Control(framework::Form&, const Destroy&)> make;
    // Drives the input; positions are taken before the first event.
    std::function<void(GsCustomControl&)> act;
};

void Click(GsCustomControl& control)
{
    QTest::mouseClick(control.Handle(), Qt::LeftButton, {}, QPoint(4, 4));
}

void Space(GsCustomControl& control)
{
    QTest::keyClick(control.Handle(), Qt::Key_Space);
}

// Hovers, presses, then the pointer leaves with the button held.
void PressAndLeave(GsCustomControl& control)
{
    QPointer<QWidget> input = control.Handle();
    kittest::HoverAt(input, QPoint(4, 4));
    QTest::mousePress(input, Qt::LeftButton, {}, QPoint(4, 4));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(input, &leave);
    QTest::mouseRelease(input, Qt::LeftButton, {}, QPoint(4, 4));
}

template <typename T>
std::unique_ptr<T> OnForm(framework::Form& form)
{
    auto control = std::make_unique<T>(&form);
    control->SetParent(&form);
    return control;
}

Control CheckBox(framework::Form& form, const std::function<void(GsCheckBox&)>& bind)
{
    auto box = OnForm<GsCheckBox>(form);
    box->Appearance().Unchecked().SetRaised(*Solid(16, 16, kittest::kRaisedColor));
    box->SetTabStop(true);
    bind(*box);
    return box;
}

Control Button(framework::Form& form, const Destroy& destroy)
{
    auto button = OnForm<GsButton>(form);
    button->Appearance().SetRaised(*Solid(16, 16, kittest::kRaisedColor));
    button->OnClick = [destroy](framework::Component*) { destroy(); };
    return button;
}

Control Slider(framework::Form& form, const std::function<void(OcHMSlider&)>& bind)
{
    form.SetBounds(0, 0, 420, 120);
    auto slider = OnForm<OcHMSlider>(form);
    slider->SetBounds(10, 20, 0, 100);
    slider->SetMax(255);
    slider->SetMin(10);
    slider->SetPosition(60);
    bind(*slider);
    return slider;
}

// The middle of the slider's thumb, in the control's coordinates.
QPoint ThumbMiddle(GsCustomControl& control)
{
    WdgMinorSlider& slider = static_cast<OcHMSlider&>(control).MinorSlider();
    const gs::GsWidget& thumb = *slider.Thumb();
    return {thumb.Left() + thumb.Width() / 2, thumb.Top() + thumb.Height() / 2};
}

void PressTrack(GsCustomControl& control)
{
    const QPoint track = ThumbMiddle(control) + QPoint(60, 0);
    QTest::mouseClick(control.Handle(), Qt::LeftButton, {}, track);
}

void DragThumb(GsCustomControl& control)
{
    const QPoint thumb = ThumbMiddle(control);
    QPointer<QWidget> input = control.Handle();
    QTest::mousePress(input, Qt::LeftButton, {}, thumb);
    QTest::mouseMove(input, thumb + QPoint(7, 0));
    QTest::mouseRelease(input, Qt::LeftButton, {}, thumb + QPoint(7, 0));
}

// A plain kit control whose root widget's event destroys it.
Control Plain(const std::function<void(gs::GsWidget&)>& bind)
{
    auto control = std::make_unique<widgettest::LogControl>();
    control->SetBounds(0, 0, 20, 20);
    bind(*control->Widget());
    return control;
}

Control PlainOnForm(framework::Form& form, const std::function<void(gs::GsWidget&)>& bind)
{
    Control control = Plain(bind);
    control->SetParent(&form);
    return control;
}

const DestroyRow kRows[] = {
    {"CheckBoxChangeFromAClick",
     [](framework::Form& f, const Destroy& d) {
         return CheckBox(f, [d](GsCheckBox& b) { b.OnChange = [d](framework::Component*) { d(); }; });
     },
     Click},
    {"CheckBoxChangeFromTheSpaceKey",
     [](framework::Form& f, const Destroy& d) {
         return CheckBox(f, [d](GsCheckBox& b) { b.OnChange = [d](framework::Component*) { d(); }; });
     },
     Space},
    {"CheckBoxKeyPress",
     [](framework::Form& f, const Destroy& d) {
         return CheckBox(f, [d](GsCheckBox& b) { b.OnKeyPress = [d](framework::Component*, char16_t&) { d(); }; });
     },
     Space},
    {"CheckBoxClick",
     [](framework::Form& f, const Destroy& d) {
         return CheckBox(f, [d](GsCheckBox& b) { b.OnClick = [d](framework::Component*) { d(); }; });
     },
     Click},
    {"ButtonClick", Button, Click},
    {"SliderChangeFromATrackPress",
     [](framework::Form& f, const Destroy& d) {
         return Slider(f, [d](OcHMSlider& s) { s.OnChange = [d](framework::Component*) { d(); }; });
     },
     PressTrack},
    {"SliderThumbDrag",
     [](framework::Form& f, const Destroy& d) {
         return Slider(f, [d](OcHMSlider& s) { s.OnDragThumb = [d](framework::Component*, double) { d(); }; });
     },
     DragThumb},
    {"SliderEndOfDrag",
     [](framework::Form& f, const Destroy& d) {
         return Slider(f, [d](OcHMSlider& s) { s.OnEndDragThumb = [d](framework::Component*) { d(); }; });
     },
     DragThumb},
    {"WidgetMouseDown",
     [](framework::Form& f, const Destroy& d) {
         return PlainOnForm(f, [d](gs::GsWidget& w) { w.OnMouseDown = [d](gs::GsWidget*, auto, auto, int, int) { d(); }; });
     },
     Click},
    {"WidgetMouseUp",
     [](framework::Form& f, const Destroy& d) {
         return PlainOnForm(f, [d](gs::GsWidget& w) { w.OnMouseUp = [d](gs::GsWidget*, auto, auto, int, int) { d(); }; });
     },
     Click},
    {"WidgetClickOnRelease",
     [](framework::Form& f, const Destroy& d) {
         return PlainOnForm(f, [d](gs::GsWidget& w) { w.OnClick = [d](gs::GsWidget*) { d(); }; });
     },
     Click},
    {"WidgetMouseEnter",
     [](framework::Form& f, const Destroy& d) {
         return PlainOnForm(f, [d](gs::GsWidget& w) { w.OnMouseEnter = [d](gs::GsWidget*) { d(); }; });
     },
     [](GsCustomControl& c) { kittest::HoverAt(c.Handle(), QPoint(4, 4)); }},
    {"WidgetMouseLeave",
     [](framework::Form& f, const Destroy& d) {
         return PlainOnForm(f, [d](gs::GsWidget& w) { w.OnMouseLeave = [d](gs::GsWidget*) { d(); }; });
     },
     PressAndLeave},
};

class HandlerDestroysControl : public KitTest, public testing::WithParamInterface<DestroyRow> {
protected:
    void TearDown() override
    {
        QTestPrivate::qtestMouseButtons = Qt::NoButton;
        KitTest::TearDown();
    }
};

} // namespace

TEST_P(HandlerDestroysControl, NothingTouchesTheControlAfterwards)
{
    Control control;
    bool destroyed = false;
    control = GetParam().make(*m_Form, [&] {
        control.reset();
        destroyed = true;
    });
    ASSERT_TRUE(control);
    Pump();
    GetParam().act(*control);
    Pump();
    EXPECT_TRUE(destroyed) << "the handler never ran";
}

INSTANTIATE_TEST_SUITE_P(Events, HandlerDestroysControl, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<DestroyRow>& info) { return std::string(info.param.name); });

TEST(WidgetOwnership, ADeletedChildLeavesItsParent)
{
    bool destroyed = false;
    widgettest::LogWidget root("root", nullptr);
    root.SetBounds(0, 0, 50, 50);
    auto* child = root.AddChild(std::make_unique<widgettest::LogWidget>("child", nullptr));
    child->SetBounds(0, 0, 10, 10);
    child->destroyed = &destroyed;
    auto* other = root.AddChild(std::make_unique<widgettest::LogWidget>("other", nullptr));
    root.MouseDown(framework::mbLeft, framework::ssLeft, 5, 5);
    ASSERT_EQ(root.Captured(), child);

    delete child;
    EXPECT_TRUE(destroyed);
    ASSERT_EQ(root.ChildCount(), 1) << "the parent still holds the deleted child";
    EXPECT_EQ(root.Child(0), other);
    EXPECT_EQ(root.Captured(), nullptr);
    // The root's destructor runs next; a child left in its list would be freed a second time.
}
