#pragma once

// The native window behind a Form (framework-internal).

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <cstdint>
#include <utility>

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

    // A premultiplied ARGB image in window pixels, shown from the top-left corner: pixel for
    // pixel at a device scale of 1; otherwise scaled to device pixels once, here, with a smooth
    // filter, and the detail layer blended over it. Painting only copies the result.
    void SetImage(QImage image);
    const QImage& Image() const { return m_Image; }
    // Device pixels with their ratio set; used by the next SetImage when its size matches.
    void SetDetailLayer(QImage layer) { m_Detail = std::move(layer); }

    // Places the window and fixes its size: the user never resizes a form, and a window whose
    // smallest and largest sizes agree floats at that size on a tiling compositor (sway)
    // instead of being stretched into a tile. A compositor may ignore the position (Wayland
    // always does).
    void SetBounds(const QRect& bounds);

    // Maps the extended style's window-manager bits onto the window flags.
    void ApplyExStyle(std::uint32_t style);

    // Arms a move of the window from the last press: it starts once the pointer has moved
    // past the platform's drag distance with the left button still held (by hand on X11, by
    // the compositor on Wayland). A release first leaves the window where it is, so a click is
    // never a drag.
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
    QImage m_Detail;
    QColor m_Color;
    bool m_Layered = false;
    // The window follows the pointer only once the move has begun; Manual while the program
    // moves it itself.
    enum class Drag { None, Armed, Manual };
    // Answers whether the move consumed the pointer motion.
    bool FollowDrag(const MouseInput& input);

    Drag m_Drag = Drag::None;
    QPoint m_PressGlobal;
    QPoint m_DragOffset;
};

} // namespace framework
