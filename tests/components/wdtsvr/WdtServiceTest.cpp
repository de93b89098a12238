#include "ServiceMessage.h"
#include "ServiceProgram.h"
#include "SimState.h"

#include "platform/WindowMessages.h"
#include "tolv/BiosInterface.h"
#include "watchdog/WatchDogForwarding.h"

#include "ChildProgram.h"
#include "FakeFirmware.h"
#include "PrivateBus.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace std::chrono_literals;
using platform::WindowMessage;
using testsupport::ChildProgram;
using testsupport::WaitUntil;
using wdtsvr::ServiceCommand;
using wdtsvrtest::kPatience;
using wdtsvrtest::LogHas;
using wdtsvrtest::WdtServiceProgram;

namespace {

struct MessageRow {
    const char* name;
    WindowMessage message;
    ServiceCommand::Kind kind;
};

// Names in failure messages instead of bytes.
template <typename Row>
void PrintRow(const Row& row, std::ostream* out)
{
    *out << row.name;
}

void PrintTo(const MessageRow& row, std::ostream* out)
{
    PrintRow(row, out);
}

class ServiceMessages : public testing::TestWithParam<MessageRow> {};

// Records the operations in the order they arrive.
class RecordingControl : public CWatchDogControl {
public:
    void Start() override { calls.push_back("Start"); }
    void Stop() override { calls.push_back("Stop"); }
    void Close() override { calls.push_back("Close"); }
    int SetTime(std::int32_t restart, std::int32_t reload) override
    {
        calls.push_back("SetTime(" + std::to_string(restart) + ", " + std::to_string(reload) + ")");
        return 0;
    }
    bool WriteTimer(std::int32_t seconds) override
    {
        calls.push_back("WriteTimer(" + std::to_string(seconds) + ")");
        return writeResult;
    }
    std::string CloseFailure() const override { return closeFailure; }
    std::vector<std::string> calls;
    bool writeResult = true;
    std::string closeFailure;
};

} // namespace

TEST_P(ServiceMessages, AreUnderstoodAsArmCloseOrNothing)
{
    const MessageRow& row = GetParam();
    ServiceCommand command = wdtsvr::InterpretMessage(row.message);
    EXPECT_EQ(command.kind, row.kind);
    RecordingControl control;
    wdtsvr::ServiceState armedService{true};
    const std::string line = wdtsvr::Apply(control, command, row.message, armedService);
    switch (row.kind) {
    case ServiceCommand::Kind::Arm:
        EXPECT_EQ(control.calls,
                  (std::vector<std::string>{"SetTime(" + std::to_string(row.message.wParam) +
                                                ", " + std::to_string(row.message.lParam) + ")",
                                            "Start"}));
        break;
    case ServiceCommand::Kind::Close:
        EXPECT_EQ(control.calls, (std::vector<std::string>{"Close"}));
        break;
    case ServiceCommand::Kind::Refuse:
        EXPECT_TRUE(control.calls.empty());
        EXPECT_NE(line.find("refused"), std::string::npos) << line;
        break;
    case ServiceCommand::Kind::Ignore:
        EXPECT_TRUE(control.calls.empty());
        EXPECT_NE(line.find("ignored"), std::string::npos) << line;
        break;
    }
    EXPECT_NE(line.find(std::to_string(row.message.wParam)), std::string::npos) << line;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ServiceMessages,
    testing::Values(
        MessageRow{"Arm", {2054, 90, 60}, ServiceCommand::Kind::Arm},
        MessageRow{"ArmWithShortTimes", {2054, 1, 1}, ServiceCommand::Kind::Refuse},
        MessageRow{"Close", {2054, 0, 0}, ServiceCommand::Kind::Close},
        MessageRow{"OnlyReload", {2054, 0, 60}, ServiceCommand::Kind::Refuse},
        MessageRow{"OnlyRestart", {2054, 90, 0}, ServiceCommand::Kind::Refuse},
        MessageRow{"NegativeRestart", {2054, -1, 5}, ServiceCommand::Kind::Refuse},
        MessageRow{"NegativeReload", {2054, 5, INT32_MIN}, ServiceCommand::Kind::Refuse},
        MessageRow{"CloseRequestOfTheMainWindow", {2044, 0, 0}, ServiceCommand::Kind::Ignore},
        MessageRow{"OtherMessage", {2055, 90, 60}, ServiceCommand::Kind::Ignore}),
    [](const testing::TestParamInfo<MessageRow>& info) { return std::string(info.param.name); });

TEST(ServiceMessages, AReloadNotShorterThanTheCountdownIsRefusedRatherThanArmedWithAWarning)
{
    RecordingControl control;
    wdtsvr::ServiceState state;
    const WindowMessage message{2054, 30, 30};
    const std::string line =
        wdtsvr::Apply(control, wdtsvr::InterpretMessage(message), message, state);
    EXPECT_TRUE(control.calls.empty());
    EXPECT_EQ(line.find("warning"), std::string::npos) << line;
    EXPECT_NE(line.find("refused"), std::string::npos) << line;
}

namespace {

// Messages in order to one service, answering the calls each one made.
std::vector<std::vector<std::string>> Deliver(RecordingControl& control,
                                              wdtsvr::ServiceState& state,
                                              const std::vector<WindowMessage>& messages,
                                              std::vector<std::string>* lines = nullptr)
{
    std::vector<std::vector<std::string>> calls;
    for (const WindowMessage& message : messages) {
        control.calls.clear();
        const std::string line =
            wdtsvr::Apply(control, wdtsvr::InterpretMessage(message), message, state);
        if (lines)
            lines->push_back(line);
        calls.push_back(control.calls);
    }
    return calls;
}

using Calls = std::vector<std::string>;

} // namespace

TEST(ServiceState, ACloseWithNothingArmedHereWritesZeroForACountdownLeftByAnEarlierService)
{
    RecordingControl control;
    wdtsvr::ServiceState state;
    std::vector<std::string> lines;
    const auto calls =
        Deliver(control, state, {{2054, 0, 0}, {2054, 30, 5}, {2054, 0, 0}, {2054, 0, 0}}, &lines);
    // The backend knows nothing of the earlier service's countdown; its Close would do nothing.
    EXPECT_EQ(calls[0], (Calls{"Close", "WriteTimer(0)"}));
    EXPECT_NE(lines[0].find("0 written"), std::string::npos) << lines[0];
    EXPECT_EQ(calls[1], (Calls{"SetTime(30, 5)", "Start"}));
    // Armed here: the backend's Close switches it off.
    EXPECT_EQ(calls[2], (Calls{"Close"}));
    EXPECT_EQ(calls[3], (Calls{"Close", "WriteTimer(0)"}));
}

TEST(ServiceState, AZeroTheFirmwareRefusesIsLoggedWithItsReason)
{
    testsupport::FakeFirmware firmware;
    tolv::SetLastFirmwareErrorForTesting("Watchdog device /dev/watchdog cannot be switched off");
    RecordingControl control;
    control.writeResult = false;
    wdtsvr::ServiceState state;
    std::vector<std::string> lines;
    (void)Deliver(control, state, {{2054, 0, 0}}, &lines);
    EXPECT_NE(lines[0].find("could not be switched off: Watchdog device /dev/watchdog cannot"),
              std::string::npos)
        << lines[0];
    tolv::SetLastFirmwareErrorForTesting("");
}

namespace {

// The gap the service keeps between the two times: a reload period close to the countdown lets
// it run out between two kicks. Each refused pair is sent to a service that has armed 30 and 5:
// nothing of it may change, and the line says why.
struct GapRow {
    const char* name;
    std::int32_t restart;
    std::int32_t reload;
    ServiceCommand::Kind kind;
    const char* reason; // what the line says after "refused ..." for Refuse rows
};

void PrintTo(const GapRow& row, std::ostream* out)
{
    PrintRow(row, out);
}

class ServiceTimes : public testing::TestWithParam<GapRow> {};

TEST_P(ServiceTimes, ArmOnlyWithTheGapAndRefuseOtherPairsWithTheReason)
{
    const GapRow& row = GetParam();
    const WindowMessage message{2054, row.restart, row.reload};
    const ServiceCommand command = wdtsvr::InterpretMessage(message);
    EXPECT_EQ(command.kind, row.kind);

    RecordingControl control;
    wdtsvr::ServiceState state;
    (void)Deliver(control, state, {{2054, 30, 5}});
    std::vector<std::string> lines;
    const auto calls = Deliver(control, state, {message, {2054, 0, 0}}, &lines);
    const std::string times = std::to_string(row.restart) + ", " + std::to_string(row.reload);
    if (row.kind == ServiceCommand::Kind::Arm) {
        EXPECT_EQ(calls[0], (Calls{"SetTime(" + times + ")", "Start"})) << lines[0];
        return;
    }
    EXPECT_TRUE(calls[0].empty()) << lines[0];
    EXPECT_EQ(lines[0], "message 2054 (" + times +
                            "): refused, the watchdog is left as it was: " + row.reason);
    // Still armed here: the Close that follows is the backend's alone.
    EXPECT_EQ(calls[1], Calls{"Close"}) << lines[1];
}

constexpr auto kArm = ServiceCommand::Kind::Arm;
constexpr auto kRefuse = ServiceCommand::Kind::Refuse;

INSTANTIATE_TEST_SUITE_P(
    Table, ServiceTimes,
    testing::Values(
        GapRow{"ReloadLongerThanTheCountdown", 10, 60, kRefuse,
               "the reload period (60 s) must be at least 5 s shorter than the restart "
               "countdown (10 s)"},
        GapRow{"ExactlyTheGap", 10, 5, kArm, ""},
        GapRow{"OneSecondShortOfTheGap", 10, 6, kRefuse,
               "the reload period (6 s) must be at least 5 s shorter than the restart "
               "countdown (10 s)"},
        GapRow{"LongestCountdown", 255, 250, kArm, ""},
        GapRow{"CountdownTooLong", 256, 20, kRefuse,
               "the restart countdown (256 s) must be 10 to 255 s"},
        GapRow{"CountdownTooShort", 9, 4, kRefuse,
               "the restart countdown (9 s) must be 10 to 255 s"},
        GapRow{"ReloadTooShort", 30, 4, kRefuse, "the reload period (4 s) must be at least 5 s"},
        GapRow{"SmallestReload", 30, INT32_MIN, kRefuse,
               "the reload period (-2147483648 s) must be at least 5 s"}),
    [](const testing::TestParamInfo<GapRow>& info) { return std::string(info.param.name); });

// Sleep and shutdown as the service meets them: each step is a message, or a power event
// handed over as the loop does; each row says what the watchdog heard at each step.
struct PowerStep {
    enum class Kind { Message, PowerDown, PowerUp } kind;
    WindowMessage message{};
};

struct PowerRow {
    const char* name;
    std::vector<PowerStep> steps;
    std::vector<Calls> calls;
    const char* closeFailure = "";
};

void PrintTo(const PowerRow& row, std::ostream* out)
{
    PrintRow(row, out);
}

class ServicePower : public testing::TestWithParam<PowerRow> {};

TEST_P(ServicePower, ClosesWhatItArmedBeforePowerDownAndArmsItAgainAfterwards)
{
    const PowerRow& row = GetParam();
    RecordingControl control;
    control.closeFailure = row.closeFailure;
    wdtsvr::ServiceState state;
    std::vector<Calls> calls;
    for (const PowerStep& step : row.steps) {
        control.calls.clear();
        std::string line;
        switch (step.kind) {
        case PowerStep::Kind::Message:
            line = wdtsvr::Apply(control, wdtsvr::InterpretMessage(step.message), step.message,
                                 state);
            break;
        case PowerStep::Kind::PowerDown:
            line = wdtsvr::PauseForPowerDown(control, state, "before sleep");
            break;
        case PowerStep::Kind::PowerUp:
            line = wdtsvr::ResumeAfterPowerDown(control, state, "after wake");
            break;
        }
        calls.push_back(control.calls);
        if (*row.closeFailure && step.kind == PowerStep::Kind::PowerDown) {
            EXPECT_NE(line.find(row.closeFailure), std::string::npos) << line;
        }
    }
    EXPECT_EQ(calls, row.calls);
}

const PowerStep kDown{PowerStep::Kind::PowerDown};
const PowerStep kUp{PowerStep::Kind::PowerUp};
PowerStep Post(std::int32_t restart, std::int32_t reload)
{
    return PowerStep{PowerStep::Kind::Message, {2054, restart, reload}};
}

INSTANTIATE_TEST_SUITE_P(
    Table, ServicePower,
    testing::Values(
        PowerRow{"ArmedIsClosedAndArmedAgainWithItsTimes",
                 {Post(30, 5), kDown, kUp, kDown, kUp},
                 {{"SetTime(30, 5)", "Start"}, {"Close"}, {"SetTime(30, 5)", "Start"}, {"Close"},
                  {"SetTime(30, 5)", "Start"}}},
        PowerRow{"OffStaysOff", {Post(30, 5), Post(0, 0), kDown, kUp}, {{"SetTime(30, 5)", "Start"},
                 {"Close"}, {}, {}}},
        PowerRow{"NothingArmedSinceTheStart", {kDown, kUp}, {{}, {}}},
        PowerRow{"AWakeWithoutASleepArmsNothing", {Post(30, 5), kUp}, {{"SetTime(30, 5)", "Start"},
                 {}}},
        PowerRow{"ARefusedPairKeepsTheTimesToArmAgain",
                 {Post(30, 5), Post(10, 60), kDown, kUp},
                 {{"SetTime(30, 5)", "Start"}, {}, {"Close"}, {"SetTime(30, 5)", "Start"}}},
        PowerRow{"SwitchedOffWhileAsleepStaysOff",
                 {Post(30, 5), kDown, Post(0, 0), kUp},
                 {{"SetTime(30, 5)", "Start"}, {"Close"}, {"Close"}, {}}},
        PowerRow{"ArmedWhileAsleepIsNotArmedTwice",
                 {Post(30, 5), kDown, Post(40, 10), kUp},
                 {{"SetTime(30, 5)", "Start"}, {"Close"}, {"SetTime(40, 10)", "Start"}, {}}},
        PowerRow{"ACloseTheBackendCannotDoLeavesItRunning",
                 {Post(30, 5), kDown, kUp},
                 {{"SetTime(30, 5)", "Start"}, {"Close"}, {}},
                 "the device cannot be stopped"}),
    [](const testing::TestParamInfo<PowerRow>& info) { return std::string(info.param.name); });

} // namespace

namespace {

bool SendRaw(const std::filesystem::path& socket, std::size_t size)
{
    int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
    std::vector<char> bytes(size, '\x06');
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
              ::send(fd, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(size);
    ::close(fd);
    return ok;
}

} // namespace

TEST_F(WdtServiceProgram, MessagesArmKickAndCloseTheFirmware)
{
    auto service = StartService();
    WatchDogWMI control;
    control.SetTime(30, 5);
    control.Start();
    // Armed with the restart countdown (SetTime and the kick thread's first write), then
    // written again every reload period.
    EXPECT_TRUE(WaitUntil([&] { return FirmwareShows(true, 30, 3); }, kPatience))
        << FirmwareText() << service->Log();

    // New times while running take effect at once.
    control.SetTime(20, 5);
    control.Start();
    const auto before = Firmware()->writes;
    EXPECT_TRUE(WaitUntil([&] { return FirmwareShows(true, 20, before + 3); }, kPatience))
        << FirmwareText() << service->Log();

    control.Close();
    EXPECT_TRUE(WaitUntil([&] { return FirmwareShows(false, 0); }, kPatience)) << FirmwareText();
    // The line is written once the operation has run, so it may trail the firmware's state.
    EXPECT_TRUE(
        WaitUntil([&] { return LogHas(*service, "message 2054 (0, 0): Close"); }, kPatience))
        << service->Log();
    EXPECT_TRUE(LogHas(*service, "message 2054 (30, 5): SetTime(30, 5), Start")) << service->Log();
}

TEST_F(WdtServiceProgram, MalformedDatagramsAreDroppedAndTheServiceCarriesOn)
{
    auto service = StartService();
    const auto socket = *platform::WindowSocketPath("TMainForm", "WdtSVR");
    for (std::size_t size : {std::size_t{0}, std::size_t{11}, std::size_t{13}, std::size_t{4096}})
        ASSERT_TRUE(SendRaw(socket, size)) << size;
    auto window = platform::FindWindow("TMainForm", "WdtSVR");
    ASSERT_TRUE(window.has_value());
    ASSERT_TRUE(platform::PostMessage(*window, 2054, 40, 5));
    EXPECT_TRUE(WaitUntil([&] { return FirmwareShows(true, 40); }, kPatience))
        << FirmwareText() << service->Log();
    EXPECT_TRUE(WaitUntil([&] { return LogHas(*service, "dropped"); }, kPatience))
        << service->Log();
    ASSERT_TRUE(service->Signal(SIGTERM));
    ASSERT_TRUE(service->Wait(kPatience).has_value());
}

TEST_F(WdtServiceProgram, StopSignalRemovesTheWindowAndClosesTheWatchdog)
{
    auto service = StartService();
    WatchDogWMI control;
    control.SetTime(45, 5);
    control.Start();
    ASSERT_TRUE(WaitUntil([&] { return FirmwareShows(true, 45, 2); }, kPatience))
        << FirmwareText() << service->Log();

    ASSERT_TRUE(service->Signal(SIGTERM));
    auto ended = service->Wait(kPatience);
    ASSERT_TRUE(ended.has_value()) << service->Log();
    EXPECT_TRUE(ended->exited);
    EXPECT_EQ(ended->code, 0) << service->Log();
    EXPECT_TRUE(FirmwareShows(false, 0)) << FirmwareText() << service->Log();
    EXPECT_FALSE(ServiceWindowExists());
    EXPECT_FALSE(std::filesystem::exists(*platform::WindowSocketPath("TMainForm", "WdtSVR")));
}

TEST_F(WdtServiceProgram, ASecondServiceLeavesTheFirstAlone)
{
    auto first = StartService("first.log");
    ChildProgram second(testsupport::BinFolder() / "TolvWdtSVR", {},
                        testsupport::Root() / "second.log");
    auto ended = second.Wait(kPatience);
    ASSERT_TRUE(ended.has_value()) << second.Log();
    EXPECT_EQ(ended->code, 1);
    EXPECT_NE(second.Log().find("already exists"), std::string::npos) << second.Log();

    WatchDogWMI control;
    control.SetTime(25, 5);
    control.Start();
    EXPECT_TRUE(WaitUntil([&] { return FirmwareShows(true, 25); }, kPatience)) << first->Log();
    control.Close();
    EXPECT_TRUE(WaitUntil([&] { return FirmwareShows(false, 0); }, kPatience)) << first->Log();
}

TEST_F(WdtServiceProgram, AKilledServiceIsReplacedByTheNextOne)
{
    {
        auto crashed = StartService("crashed.log");
        ASSERT_TRUE(crashed->Signal(SIGKILL));
        ASSERT_TRUE(crashed->Wait(kPatience).has_value());
    }
    // Its socket stays behind, but nobody answers there.
    EXPECT_TRUE(std::filesystem::exists(*platform::WindowSocketPath("TMainForm", "WdtSVR")));
    EXPECT_FALSE(ServiceWindowExists());

    auto next = StartService("next.log");
    WatchDogWMI control;
    control.SetTime(25, 5);
    control.Start();
    EXPECT_TRUE(WaitUntil([&] { return FirmwareShows(true, 25); }, kPatience)) << next->Log();
    ASSERT_TRUE(next->Signal(SIGTERM));
    ASSERT_TRUE(next->Wait(kPatience).has_value());
    EXPECT_TRUE(FirmwareShows(false, 0));
}

TEST_F(WdtServiceProgram, ACountdownLeftByAKilledServiceIsSwitchedOffByTheNextOnesClose)
{
    {
        auto killed = StartService("killed.log");
        WatchDogWMI control;
        control.SetTime(30, 5);
        control.Start();
        ASSERT_TRUE(WaitUntil([&] { return FirmwareShows(true, 30); }, kPatience))
            << FirmwareText() << killed->Log();
        ASSERT_TRUE(killed->Signal(SIGKILL));
        ASSERT_TRUE(killed->Wait(kPatience).has_value());
    }
    ASSERT_TRUE(FirmwareShows(true, 30)) << "nobody kicks it now";

    auto next = StartService("next.log");
    WatchDogWMI control;
    control.Close();
    EXPECT_TRUE(WaitUntil([&] { return FirmwareShows(false, 0); }, kPatience))
        << FirmwareText() << next->Log();
    EXPECT_TRUE(WaitUntil([&] { return LogHas(*next, "0 written"); }, kPatience))
        << next->Log();
}

TEST_F(WdtServiceProgram, ATolvRootTooLongForASocketSaysSo)
{
    const auto log = testsupport::Root() / "service.log";
    const auto deep = testsupport::Root() / std::string(120, 'r');
    std::unique_ptr<ChildProgram> service;
    {
        testsupport::ScopedVariable root("TOLV_ROOT", deep.string());
        service = std::make_unique<ChildProgram>(testsupport::BinFolder() / "TolvWdtSVR",
                                                 std::vector<std::string>{}, log);
    }
    auto ended = service->Wait(kPatience);
    ASSERT_TRUE(ended.has_value()) << service->Log();
    EXPECT_EQ(ended->code, 1);
    EXPECT_NE(service->Log().find("TOLV_ROOT is too long"), std::string::npos) << service->Log();
}

TEST(WdtServiceCommandLine, HelpPrintsTheUsageAndAnythingElseIsRefused)
{
    for (const auto& [argument, code] : {std::pair{"--help", 0}, std::pair{"--bogus", 2}}) {
        ChildProgram service(testsupport::BinFolder() / "TolvWdtSVR", {argument},
                             testsupport::Root() / (std::string(argument) + ".log"));
        auto ended = service.Wait(kPatience);
        ASSERT_TRUE(ended.has_value()) << argument;
        EXPECT_TRUE(ended->exited);
        EXPECT_EQ(ended->code, code) << argument << service.Log();
        EXPECT_NE(service.Log().find("usage: TolvWdtSVR"), std::string::npos) << service.Log();
    }
    EXPECT_FALSE(platform::FindWindow("TMainForm", "WdtSVR").has_value());
}
