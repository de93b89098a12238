#pragma once

#include "PrivateBus.h"
#include "TestSupport.h"

#include <filesystem>

// The program's surroundings in these tests: the firmware is simulated under Root()/sim and no
// bus reaches the program, so the direct backend drives the firmware, the tray is the session's
// XEmbed tray and no real logind is asked for anything.
struct SimulatedMachine {
    const std::filesystem::path sim = testsupport::Root() / "sim";
    testsupport::ScopedVariable firmware{"TLACPI_FIRMWARE", "sim:" + sim.string()};
    testsupport::ScopedVariable noSessionBus{"DBUS_SESSION_BUS_ADDRESS",
                                             "unix:path=" + (testsupport::Root() / "no-session-bus").string()};
    testsupport::ScopedVariable noSystemBus{"DBUS_SYSTEM_BUS_ADDRESS",
                                            "unix:path=" + (testsupport::Root() / "no-system-bus").string()};
};
