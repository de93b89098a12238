// The program's entry: the commands that need no window (status, usage) first, then one copy
// per machine (a second start brings the first one's window forward, or says which file stops
// it), the hidden start, the main window and the tray, then the event loop until the main
// window closes. A window start ends with exit status 0 in every case.

#include <cstdio>
#include <iostream>
#include <string_view>
#include <thread>
#include <vector>

#include <QDBusConnection>
#include <QFontDatabase>

#include "gui/framework/Application.h"
#include "gui/graphics/Canvas.h"
#include "main/CommandLine.h"
#include "main/InvisibleForm.h"
#include "gui/controls/GsTrayIcon.h"
#include "main/MainForm.h"
#include "platform/InstanceLock.h"
#include "platform/MessageBox.h"
#include "platform/WindowMessages.h"
#include "readout/RestartNotice.h"
#include "readout/StatusCommand.h"

#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif

// fontconfig keeps its caches until the process ends, and so do Qt's Wayland client (the
// compositor's objects) and Qt's StatusNotifier tray (its bus connection); none is a leak of ours.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libwayland-client.so\nleak:libQt6WaylandClient.so\nleak:libQt6DBus.so\n";
}

namespace {

// The session bus connection, made once. Qt keeps the bus's thread until the process ends;
// its data is allocated in Qt Core, and since Qt's libraries have no frame pointers the
// allocation's stack sometimes ends there, short of the bus library that the suppression above
// names. What is allocated while connecting is therefore left out of the leak check.
void ConnectSessionBus()
{
#ifdef __SANITIZE_ADDRESS__
    const __lsan::ScopedDisabler notChecked;
#endif
    (void)QDBusConnection::sessionBus();
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    // Before the instance lock and any Qt object: the status runs beside a running copy, fast
    // and without a display.
    const CommandLineChoice choice = ParseCommandLine(arguments);
    switch (choice.action) {
    case CommandLineChoice::Action::Status:
        return readout::PrintStatus(choice.json, std::cout);
    case CommandLineChoice::Action::Help:
        std::cout << UsageText();
        return 0;
    case CommandLineChoice::Action::UsageError:
        std::cerr << "tolv-watchdog-timer: " << choice.problem << "\n\n" << UsageText();
        return 2;
    case CommandLineChoice::Action::Window:
        break;
    }

    // Held, never released, until the process ends; the kernel drops it with the process.
    static platform::InstanceLock instance("TOLV_WATCHDOG_TIMER");
    const platform::InstanceLock::Result locked = instance.Acquire();
    if (locked == platform::InstanceLock::Result::HeldElsewhere) {
        // One copy per machine. This user's copy is asked to show its window; a copy of another
        // user cannot be reached from here, so the person is told which file stops this start.
        const auto running = platform::FindWindow("TMainForm", "TOLV Watchdog Timer");
        if (!running || !platform::PostMessage(*running, TMainForm::kShowRequest, 0, 0))
            std::fprintf(stderr,
                         "TOLV Watchdog Timer: another copy is already running (it holds %s); "
                         "this one ends.\n",
                         instance.Path().c_str());
        return 0;
    }

    const bool hidden = HasHiddenSwitch(arguments);

    framework::Application app(argc, argv);
    app.SetTitle("TOLV Watchdog Timer");
    app.SetDesktopFileName("tolv-watchdog-timer");
    // The notification area icon asks the session bus for a StatusNotifier host. Connecting
    // takes tens of milliseconds (more when the session's bus must be launched first), so it
    // is begun here and made while the main window is built; the icon then finds it ready.
    // Joined before the application ends.
    const std::jthread sessionBus(ConnectSessionBus);
    // The labels' first text reads the font list (fontconfig's configuration and caches); read
    // here on a thread of its own, it is ready when the window is first composed. Reading the
    // list does not look at the font substitutions the main thread installs meanwhile.
    const std::jthread fontList([] { (void)QFontDatabase::families(); });
    try {
        graphics::InstallFontSubstitutions();
        if (locked == platform::InstanceLock::Result::Failed)
            platform::ShowMessageBox("Cannot make sure that only one copy of the program runs: "
                                         + instance.Error(),
                                     "TOLV Watchdog Timer", platform::MB_OK | platform::MB_ICONWARNING);
        app.SetShowMainForm(!hidden);
        MainFormOptions options;
        options.hiddenSwitch = hidden;
        auto* mainForm = app.CreateForm<TMainForm>(options);
        // The tray's owner refers to the main window, which must exist first.
        auto* trayForm = app.CreateForm<TInvisibleForm>(*mainForm);
        // A hidden start without a notification area would leave the program out of reach.
        if (hidden && !trayForm->TrayIcon().IsAdded())
            app.SetShowMainForm(true);
        if (const auto notice = readout::TakeRestartNotice())
            trayForm->TellAtStart(*notice);
        app.Run();
    } catch (...) {
        framework::HandleException();
    }
    return 0;
}
