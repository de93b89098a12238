#include "AutomationServer.h"
#include "SimState.h"

#include "platform/BusClient.h"
#include "watchdog/WatchDogForwarding.h"

#include "ChildProgram.h"
#include "PrivateBus.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <span>
#include <systemd/sd-bus.h>

using namespace std::chrono_literals;
using testsupport::ChildProgram;
using testsupport::PrivateBus;
using testsupport::WaitUntil;

namespace {

constexpr auto kPatience = 30s; // generous: the machine may be busy building

std::filesystem::path ServerProgram()
{
    return testsupport::BinFolder() / "TolvWatchDogTimerSVR";
}

// Every test runs the server on simulated firmware in its own root.
class AutomationServerProgram : public testing::Test {
protected:
    void SetUp() override
    {
        m_Firmware = testsupport::Root() / "firmware";
        ::setenv("TLACPI_FIRMWARE", ("sim:" + m_Firmware.string()).c_str(), 1);
        m_Bus = std::make_unique<PrivateBus>();
        ASSERT_TRUE(m_Bus->Started()) << m_Bus->Error();
    }
    void TearDown() override
    {
        m_Bus.reset();
        ::unsetenv("TLACPI_FIRMWARE");
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
    std::unique_ptr<ChildProgram> StartServer(const std::string& logName = "server.log")
    {
        auto server = std::make_unique<ChildProgram>(
            ServerProgram(), std::vector<std::string>{}, testsupport::Root() / logName);
        EXPECT_TRUE(server->Started());
        EXPECT_TRUE(WaitUntil([] { return IsDllComAvailable(); }, kPatience)) << server->Log();
        return server;
    }

    std::filesystem::path m_Firmware;
    std::unique_ptr<PrivateBus> m_Bus;
};

// The process that owns name on the session bus, or 0.
pid_t OwnerPid(const char* name)
{
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0)
        return 0;
    sd_bus_message* reply = nullptr;
    std::uint32_t pid = 0;
    if (sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                           "org.freedesktop.DBus", "GetConnectionUnixProcessID", nullptr, &reply,
                           "s", name) >= 0)
        (void)sd_bus_message_read(reply, "u", &pid);
    sd_bus_message_unref(reply);
    sd_bus_flush_close_unref(bus);
    return static_cast<pid_t>(pid);
}

// Removes an environment variable while it lives, then gives back its value.
class UnsetVariable {
public:
    explicit UnsetVariable(const char* name) : m_Name(name)
    {
        if (const char* value = std::getenv(name))
            m_Saved = value;
        ::unsetenv(name);
    }
    ~UnsetVariable()
    {
        if (m_Saved)
            ::setenv(m_Name, m_Saved->c_str(), 1);
    }
    UnsetVariable(const UnsetVariable&) = delete;
    UnsetVariable& operator=(const UnsetVariable&) = delete;

private:
    const char* m_Name;
    std::optional<std::string> m_Saved;
};

// The error a method call answers; empty when it succeeded.
std::string CallError(const char* member, std::span<const std::uint32_t> arguments = {})
{
    const platform::BusMethod method{kAutomationProgId, "/WatchDogControl", kAutomationProgId,
                                     member};
    try {
        platform::CallSessionBusMethod(method, arguments);
    } catch (const platform::BusCallError& error) {
        return error.ErrorName() + ": " + error.what();
    }
    return {};
}

} // namespace

TEST(ControllerTimes, AcceptOnlyWhatFitsASigned32BitNumber)
{
    EXPECT_EQ(automation::ControllerTimes(0, 0), std::make_pair(0, 0));
    EXPECT_EQ(automation::ControllerTimes(90, 60), std::make_pair(90, 60));
    EXPECT_EQ(automation::ControllerTimes(0x7FFFFFFFu, 1), std::make_pair(INT32_MAX, 1));
    EXPECT_FALSE(automation::ControllerTimes(0x80000000u, 1).has_value());
    EXPECT_FALSE(automation::ControllerTimes(1, 0xFFFFFFFFu).has_value());
}

TEST_F(AutomationServerProgram, TheFirstCallStartsItAndItDrivesTheFirmware)
{
    // The activation file the build generates, as a session bus would find it.
    const auto generated = testsupport::BinFolder().parent_path() /
                           "share/dbus-1/services/TolvWatchDogTimerSVR.WatchDogControl.service";
    const std::string activation = testsupport::ReadFile(generated);
    ASSERT_NE(activation.find("Exec=" + ServerProgram().string()), std::string::npos)
        << activation;
    m_Bus->InstallServiceFile(generated);
    ASSERT_TRUE(IsDllComAvailable());

    WatchDogDllCom control;
    // The restart countdown is written at once, so the argument order shows in the firmware.
    control.SetTime(30, 1);
    EXPECT_TRUE(FirmwareShows(true, 30));
    control.Start();
    // The kick thread arms the firmware and then writes the countdown again every reload period.
    EXPECT_TRUE(WaitUntil([&] { return FirmwareShows(true, 30, 4); }, kPatience))
        << testsupport::ReadFile(m_Firmware / tlacpi::SimStateFileName);
    control.Close();
    EXPECT_TRUE(FirmwareShows(false, 0));

    const pid_t server = OwnerPid(kAutomationProgId);
    EXPECT_GT(server, 0);
    // A new instance per operation would lose the times; the server keeps them.
    control.Start();
    EXPECT_TRUE(WaitUntil([&] { return FirmwareShows(true, 30); }, kPatience));
    EXPECT_EQ(OwnerPid(kAutomationProgId), server);
    control.Close();
    EXPECT_TRUE(FirmwareShows(false, 0));

    // The bus going away ends the activated server too.
    m_Bus.reset();
    EXPECT_TRUE(WaitUntil([&] { return ::kill(server, 0) != 0; }, kPatience));
}

TEST_F(AutomationServerProgram, StopSignalClosesTheWatchdogBeforeExit)
{
    auto server = StartServer();
    WatchDogDllCom control;
    control.SetTime(45, 5);
    control.Start();
    ASSERT_TRUE(WaitUntil([&] { return FirmwareShows(true, 45, 2); }, kPatience));

    ASSERT_TRUE(server->Signal(SIGTERM));
    auto ended = server->Wait(kPatience);
    ASSERT_TRUE(ended.has_value()) << server->Log();
    EXPECT_TRUE(ended->exited);
    EXPECT_EQ(ended->code, 0) << server->Log();
    EXPECT_TRUE(FirmwareShows(false, 0)) << server->Log();

    const std::string log = server->Log();
    EXPECT_NE(log.find("SetTime(45, 5)"), std::string::npos) << log;
    EXPECT_NE(log.find("Start"), std::string::npos) << log;
    EXPECT_NE(log.find("SIGTERM"), std::string::npos) << log;
}

TEST_F(AutomationServerProgram, LosingTheBusClosesTheWatchdog)
{
    auto server = StartServer();
    WatchDogDllCom control;
    control.SetTime(45, 5);
    control.Start();
    ASSERT_TRUE(WaitUntil([&] { return FirmwareShows(true, 45, 2); }, kPatience));

    m_Bus.reset();
    auto ended = server->Wait(kPatience);
    ASSERT_TRUE(ended.has_value()) << server->Log();
    EXPECT_TRUE(ended->exited);
    EXPECT_EQ(ended->code, 1);
    EXPECT_TRUE(FirmwareShows(false, 0)) << server->Log();
}

TEST_F(AutomationServerProgram, TimesBeyondASigned32BitNumberAreRefused)
{
    auto server = StartServer();
    const platform::BusMethod setTime{kAutomationProgId, "/WatchDogControl", kAutomationProgId,
                                      "SetTime"};
    const std::uint32_t tooLong[] = {0x80000000u, 5};
    try {
        platform::CallSessionBusMethod(setTime, tooLong);
        ADD_FAILURE() << "accepted";
    } catch (const platform::BusCallError& error) {
        EXPECT_EQ(error.ErrorName(), "org.freedesktop.DBus.Error.InvalidArgs");
        EXPECT_NE(std::string(error.what()).find("2147483648"), std::string::npos)
            << error.what();
    }
    EXPECT_FALSE(Firmware().has_value()) << "nothing reached the firmware";

    // A call with the wrong signature is refused by the bus library, and the server lives on.
    const std::uint32_t one[] = {5};
    EXPECT_THROW(platform::CallSessionBusMethod(setTime, one), platform::BusCallError);
    WatchDogDllCom control;
    control.SetTime(20, 5);
    EXPECT_TRUE(FirmwareShows(true, 20));
    control.Close(); // not running: writes nothing
    EXPECT_TRUE(FirmwareShows(true, 20));
    ASSERT_TRUE(server->Signal(SIGTERM));
    EXPECT_TRUE(server->Wait(kPatience).has_value());
}

TEST_F(AutomationServerProgram, ASecondServerLeavesTheFirstAlone)
{
    auto first = StartServer("first.log");
    ChildProgram second(ServerProgram(), {}, testsupport::Root() / "second.log");
    auto ended = second.Wait(kPatience);
    ASSERT_TRUE(ended.has_value()) << second.Log();
    EXPECT_EQ(ended->code, 1);
    EXPECT_NE(second.Log().find("cannot own"), std::string::npos) << second.Log();
    // It says who holds the name, so the one to end can be found.
    EXPECT_NE(second.Log().find("taken by :"), std::string::npos) << second.Log();
    EXPECT_NE(second.Log().find("(process " + std::to_string(first->Pid()) + ", "),
              std::string::npos)
        << second.Log();

    EXPECT_EQ(OwnerPid(kAutomationProgId), first->Pid());
    WatchDogDllCom control;
    control.SetTime(20, 5);
    EXPECT_TRUE(FirmwareShows(true, 20));
}

TEST_F(AutomationServerProgram, StartAfterStopArmsTheFirmwareAgain)
{
    auto server = StartServer();
    WatchDogDllCom control;
    control.SetTime(30, 1);
    control.Start();
    ASSERT_TRUE(WaitUntil([&] { return FirmwareShows(true, 30, 2); }, kPatience))
        << server->Log();
    control.Stop();
    control.Start();
    // Armed again, and kicked: the writes go on. (Whether the Stop's 0 reached the firmware
    // before is the backend's business, not the server's.)
    ASSERT_TRUE(WaitUntil([&] { return FirmwareShows(true, 30); }, kPatience)) << server->Log();
    const auto writes = Firmware()->writes;
    EXPECT_TRUE(WaitUntil([&] { return FirmwareShows(true, 30, writes + 2); }, kPatience))
        << server->Log();
    control.Close();
    EXPECT_TRUE(FirmwareShows(false, 0));
}

TEST_F(AutomationServerProgram, TimesThatLetTheCountdownRunOutAreRefused)
{
    auto server = StartServer();
    using Times = std::array<std::uint32_t, 2>;
    for (const Times& times : {Times{2, 5}, Times{5, 5}, Times{0, 0}, Times{30, 0}}) {
        const std::string error = CallError("SetTime", times);
        EXPECT_EQ(error.rfind("org.freedesktop.DBus.Error.InvalidArgs: SetTime(", 0), 0u) << error;
    }
    EXPECT_FALSE(Firmware().has_value()) << "nothing reached the firmware";
    EXPECT_NE(server->Log().find("refused: SetTime(2, 5)"), std::string::npos) << server->Log();
}

TEST_F(AutomationServerProgram, AFirmwareThatCannotBeArmedIsAnErrorReplyWithTheReason)
{
    ::setenv("TLACPI_FIRMWARE", "bogus", 1);
    auto server = StartServer();
    const std::uint32_t times[] = {30, 10};
    std::string error = CallError("SetTime", times);
    EXPECT_NE(error.find("org.freedesktop.DBus.Error.Failed"), std::string::npos) << error;
    EXPECT_NE(error.find("TLACPI_FIRMWARE=bogus is neither"), std::string::npos) << error;
    error = CallError("Start");
    EXPECT_NE(error.find("Start: TLACPI_FIRMWARE=bogus is neither"), std::string::npos) << error;
    // A missing device is named, with the cause a person can act on.
    server.reset();
    const auto missing = testsupport::Root() / "no-watchdog";
    ::setenv("TLACPI_FIRMWARE", ("device:" + missing.string()).c_str(), 1);
    server = StartServer("missing.log");
    error = CallError("Start");
    EXPECT_NE(error.find("No watchdog driver is loaded: nothing is at " + missing.string()),
              std::string::npos)
        << error;
}

TEST(AutomationServerCommandLine, HelpPrintsTheUsageAndAnythingElseIsRefused)
{
    for (const auto& [argument, code] : {std::pair{"--help", 0}, std::pair{"-h", 2}}) {
        ChildProgram server(ServerProgram(), {argument},
                            testsupport::Root() / (std::string(argument) + ".log"));
        auto ended = server.Wait(kPatience);
        ASSERT_TRUE(ended.has_value()) << argument;
        EXPECT_TRUE(ended->exited);
        EXPECT_EQ(ended->code, code) << argument << server.Log();
        EXPECT_NE(server.Log().find("usage: TolvWatchDogTimerSVR"), std::string::npos)
            << server.Log();
    }
}

TEST(AutomationServerCommandLine, WithoutASessionBusItSaysWhichVariableIsMissing)
{
    UnsetVariable address("DBUS_SESSION_BUS_ADDRESS");
    UnsetVariable runtime("XDG_RUNTIME_DIR"); // sd-bus would look for $XDG_RUNTIME_DIR/bus
    ChildProgram server(ServerProgram(), {}, testsupport::Root() / "server.log");
    auto ended = server.Wait(kPatience);
    ASSERT_TRUE(ended.has_value()) << server.Log();
    EXPECT_EQ(ended->code, 1);
    EXPECT_NE(server.Log().find("no session bus (DBUS_SESSION_BUS_ADDRESS is not set)"),
              std::string::npos)
        << server.Log();
}
