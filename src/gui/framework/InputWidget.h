#pragma once

// The mouse translation shared by the framework's own widgets (framework-internal).

#include <QPoint>
#include <QWidget>

#include "gui/framework/Component.h"

namespace framework {

// One mouse event in the framework's terms. Positions are in the widget's coordinates and on
// the screen; the button is set for presses and releases only.
struct MouseInput {
    MouseButton button = mbLeft;
    ShiftState shift = 0;
    QPoint position;
    QPoint global;
};

// A QWidget that hands Qt's presses, double clicks, releases and moves on as MouseInput.
// Buttons the framework does not report (back, forward, ...) never arrive; a double click
// arrives as a press with ssDouble in its shift state.
class InputWidget : public QWidget {
public:
    using QWidget::QWidget;

protected:
    virtual void MousePressed(const MouseInput& input) = 0;
    virtual void MouseReleased(const MouseInput& input) = 0;
    virtual void MouseMoved(const MouseInput& input) = 0;

    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    enum class PressKind { Single, Double };
    void Press(QMouseEvent* event, PressKind kind);
};

} // namespace framework
