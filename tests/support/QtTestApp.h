#pragma once

// Header-only: the Qt application of a widget test program, made on first use and kept for the
// whole run (Qt allows one per process; it is deliberately never freed, the process ends with
// it). Programs that include this link Qt Widgets themselves.

#include <QApplication>

namespace testsupport {

void UseQtLeakSuppressions();

inline QApplication& QtTestApp()
{
    UseQtLeakSuppressions();
    static int argc = 1;
    static char name[] = "tolv-test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

} // namespace testsupport
