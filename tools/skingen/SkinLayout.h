#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

// Where the main window places its controls (client coordinates, pixels) and the picture
// sizes that make them fit. Rectangles have exclusive right and bottom edges.
namespace skin::layout {

inline constexpr QSize Window{424, 544};
// The opaque panel; the margin around it carries the drop shadow (deeper below).
inline constexpr QRect Panel{6, 2, 412, 532};
inline constexpr int PanelRadius = 10;
inline constexpr int HeaderBottom = 64;
inline constexpr int FooterTop = 494;
inline constexpr int RestartDivider = 233;
inline constexpr int ReloadDivider = 432;

inline constexpr QPoint CloseAt{394, 4};
inline constexpr QPoint MinimizeAt{374, 4};
inline constexpr QPoint ApplyAt{304, 501};
inline constexpr QPoint StartupMarkAt{78, 450};
inline constexpr QPoint SwitchAt{307, 27};
inline constexpr QPoint RestartSlider{34, 190};
inline constexpr QPoint ResetSlider{34, 381};
// Arrow buttons: slider left + 228; up = slider top - 49, down = up + 23.
inline constexpr int ArrowLeft = RestartSlider.x() + 228;
inline constexpr int ArrowUpAbove = 49;
inline constexpr int ArrowPitch = 23;

inline constexpr QSize WindowButtonSize{20, 20};
inline constexpr QSize ApplySize{100, 26};
inline constexpr QSize MarkSize{20, 20};
inline constexpr QSize SwitchSize{72, 28};
inline constexpr QSize ArrowSize{24, 22};
inline constexpr QSize BallSize{20, 20};
inline constexpr QSize LineTile{8, 8};
// The track overlay is drawn 10 pixels above the slider and the ball 1 pixel below its top,
// so the bar is 22 pixels taller than the ball for the track to pass through the ball's centre.
inline constexpr QSize BarSize{354, BallSize.height() + 22};
// The filled line is pulled under the ball: it ends head + line - 3 pixels right of the
// thumb's left edge; the unfilled line starts 10 pixels right of it.
inline constexpr int TrackInset = 5;
inline constexpr QSize TraySize{32, 32};

// Readout wells behind the big numbers, arrows and "seconds" captions.
inline constexpr QRect RestartWell{155, 129, 247, 58};
inline constexpr QRect ResetWell{155, 320, 247, 58};

} // namespace skin::layout
