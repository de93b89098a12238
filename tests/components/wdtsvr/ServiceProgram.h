#pragma once

#include "SimState.h"

#include "platform/WindowMessages.h"

#include "ChildProgram.h"
#include "PrivateBus.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

// The service program run by a test on the simulated firmware in the test's own root. Its
// system bus is a dead address unless the test starts a private one, so that it never talks to
// the machine's logind.
namespace wdtsvrtest {

using namespace std::chrono_literals;

inline constexpr auto kPatience = 30s; // generous: the machine may be busy building

class WdtServiceProgram : public testing::Test {
protected:
    void SetUp() override
    {
        m_Firmware = testsupport::Root() / "firmware";
        ::setenv("TLACPI_FIRMWARE", ("sim:" + m_Firmware.string()).c_str(), 1);
    }
    void TearDown() override { ::unsetenv("TLACPI_FIRMWARE"); }

    std::unique_ptr<testsupport::ChildProgram> StartService(
        const std::string& logName = "service.log")
    {
        auto service = std::make_unique<testsupport::ChildProgram>(
            testsupport::BinFolder() / "TolvWdtSVR", std::vector<std::string>{},
            testsupport::Root() / logName);
        EXPECT_TRUE(service->Started());
        EXPECT_TRUE(testsupport::WaitUntil([] { return ServiceWindowExists(); }, kPatience))
            << service->Log();
        return service;
    }
    static bool ServiceWindowExists()
    {
        return platform::FindWindow("TMainForm", "WdtSVR").has_value();
    }
    std::optional<tlacpi::SimState> Firmware() const
    {
        return tlacpi::ReadSimState(m_Firmware / tlacpi::SimStateFileName);
    }
    bool FirmwareShows(bool armed, std::uint32_t timeout, std::uint64_t minimumWrites = 1) const
    {
        auto state = Firmware();
        return state && state->armed == armed && state->timeout == timeout &&
               state->writes >= minimumWrites;
    }
    std::string FirmwareText() const
    {
        return testsupport::ReadFile(m_Firmware / tlacpi::SimStateFileName);
    }

    std::filesystem::path m_Firmware;
    // A PrivateBus of kind System started by a test names its own address while it lives.
    testsupport::ScopedVariable m_NoSystemBus{
        testsupport::BusAddressVariable(testsupport::BusKind::System),
        "unix:path=" + (testsupport::Root() / "no-system-bus").string()};
};

inline bool LogHas(const testsupport::ChildProgram& program, const std::string& text)
{
    return program.Log().find(text) != std::string::npos;
}

} // namespace wdtsvrtest
