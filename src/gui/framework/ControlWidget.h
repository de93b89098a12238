#pragma once

// The input widget behind a windowed Control (framework-internal).

#include <functional>

#include "gui/framework/InputWidget.h"

namespace framework {

class Control;

// Paints nothing and hands every input event to its control. Once its control is gone
// (Detach) it ignores everything until the event loop deletes it.
class ControlWidget : public InputWidget {
public:
    explicit ControlWidget(Control* control);

    Control* Owner() const { return m_Control; }
    void Detach() { m_Control = nullptr; }

protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void MousePressed(const MouseInput& input) override;
    void MouseReleased(const MouseInput& input) override;
    void MouseMoved(const MouseInput& input) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    // Records the pointer for the hover notification, then runs call guarded.
    void Deliver(const MouseInput& input, const std::function<void()>& call);

    Control* m_Control;
};

} // namespace framework
