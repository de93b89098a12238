#pragma once

#include "LogindMock.h"
#include "ProgramRun.h"
#include "PrivateBus.h"
#include "TestSupport.h"
#include "XSession.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace systeme2e {

// The program in a private X session (window manager, no compositor, no tray) with the stand-in
// for logind on a private system bus. The members start in this order and end in reverse, so
// the program ends before the bus and the session it uses.
struct LogindScene {
    explicit LogindScene(const Settings& settings) : program(settings) {}

    // Starts the program and waits until it took the stored state and holds its delay
    // inhibitor. Call under ASSERT_NO_FATAL_FAILURE.
    void Start(const std::vector<std::string>& arguments = {})
    {
        ASSERT_TRUE(session.Started()) << session.Error();
        ASSERT_TRUE(systemBus.Started()) << systemBus.Error();
        ASSERT_TRUE(logind.Ready()) << logind.Error();
        ASSERT_TRUE(program.Start(arguments));
        ASSERT_TRUE(program.WaitUntilSettled()) << program.Describe();
        ASSERT_TRUE(testsupport::WaitUntil([&] { return logind.HeldInhibitors() == 1; }, kWait))
            << program.Describe();
    }

    testsupport::XSession session;
    testsupport::PrivateBus systemBus{testsupport::BusKind::System};
    testsupport::LogindMock logind;
    ProgramRun program;
};

} // namespace systeme2e
