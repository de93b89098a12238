#pragma once

// The native window behind a Form (framework-internal).

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <cstdint>

#include "gui/framework/InputWidget.h"

namespace framework {

class Form;

class FormHost : public InputWidget {
public:
    explicit FormHost(Form& form);

    // Layered: the host shows the pushed image, per-pixel alpha included. Not layered: it is
    // opaque in the form's colour, and the pushed image is dropped.
    bool Layered() const { return m_Layered; }
    void SetLayered(bool layered);
    void SetOpaqueColor(QColor color);

    // A premultiplied ARGB image shown as it is, pixel for pixel, from the top-left corner.
    void SetImage(QImage image);
    const QImage& Image() const { return m_Image; }

    // Places the window and fixes its size: the user never resizes a form, and a window whose
    // smallest and largest sizes agree floats at that size on a tiling compositor (sway)
    // instead of being stretched into a tile. A compositor may ignore the position (Wayland
    // always does).
    void SetBounds(const QRect& bounds);

    // Maps the extended style's window-manager bits onto the window flags.
    void ApplyExStyle(std::uint32_t style);

    void StartDrag();

protected:
    void paintEvent(QPaintEvent* event) override;
    void MousePressed(const MouseInput& input) override;
    void MouseReleased(const MouseInput& input) override;
    void MouseMoved(const MouseInput& input) override;
    void closeEvent(QCloseEvent* event) override;
    // Keys while no control has the focus.
    void keyPressEvent(QKeyEvent* event) override;

private:
    Form& m_Form;
    QImage m_Image;
    QColor m_Color;
    bool m_Layered = false;
    // Fallback when the platform cannot move the window itself (no window manager).
    bool m_ManualDrag = false;
    QPoint m_PressGlobal;
    QPoint m_DragOffset;
};

} // namespace framework
