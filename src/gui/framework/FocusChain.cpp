#include "gui/framework/FocusChain.h"

#include <QWidget>

#include "gui/framework/Control.h"
#include "gui/framework/ControlWidget.h"
#include "gui/framework/Form.h"

namespace framework {

void SetFocusOrder(const std::vector<Control*>& order)
{
    QWidget* previous = nullptr;
    for (Control* control : order) {
        control->SetTabStop(true);
        QWidget* widget = control->Handle();
        if (previous && widget)
            QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
    // Qt may keep the window itself anywhere in the ring, so the window's first focus is
    // given, not left to the ring: it is the widget the window focuses when it becomes active.
    if (!order.empty() && order.front()->Handle())
        order.front()->Handle()->setFocus(Qt::OtherFocusReason);
}

Control* FocusedControl(const Form& form)
{
    const QWidget* host = form.Host();
    if (!host)
        return nullptr;
    const auto* widget = dynamic_cast<const ControlWidget*>(host->focusWidget());
    return widget && widget->hasFocus() ? widget->Owner() : nullptr;
}

} // namespace framework
