#pragma once

// The input widget behind a windowed Control (framework-internal).

#include <QWidget>

namespace framework {

class Control;

// Paints nothing and hands every input event to its control. Once its control is gone
// (Detach) it ignores everything until the event loop deletes it.
class ControlWidget : public QWidget {
public:
    explicit ControlWidget(Control* control);

    Control* Owner() const { return m_Control; }
    void Detach() { m_Control = nullptr; }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void Press(QMouseEvent* event, bool isDouble);

    Control* m_Control;
};

} // namespace framework
