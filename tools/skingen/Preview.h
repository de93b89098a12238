#pragma once

#include <QImage>
#include <QString>

namespace skin {

// Composes the main window from the skin files in `skinFolder` the way the program places
// them: once with the watchdog on (everything enabled) and once off (times locked), side by
// side. Texts that the program draws at run time are drawn here in their fonts and colours.
// Missing files leave their control out, as in the program.
QImage ComposePreview(const QString& skinFolder);

} // namespace skin
