#include "platform/PowerEvents.h"

#include "ChildProgram.h"
#include "LogindMock.h"
#include "PrivateBus.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <poll.h>

using platform::PowerEvent;
using platform::PowerEvents;
using testsupport::BusKind;
using testsupport::LogindMock;
using testsupport::PrivateBus;
using testsupport::ScopedVariable;
using testsupport::WaitUntil;

namespace platform {
// Names in failure messages instead of numbers.
void PrintTo(PowerEvent event, std::ostream* out)
{
    *out << PowerEventName(event);
}
} // namespace platform

namespace {

using Calls = std::vector<std::vector<std::string>>;

constexpr std::chrono::seconds kWait{10};
const std::vector<std::string> kInhibit{"sleep:shutdown", "TOLV Watchdog Timer",
                                        "Switching the hardware watchdog off", "delay"};

// Waits as the program's event loop does: for one of Fds() to become readable, then Dispatch,
// until condition holds. Short poll slices, as some conditions change inside the mock alone.
bool DispatchUntil(PowerEvents& source, const std::function<bool()>& condition)
{
    const auto deadline = std::chrono::steady_clock::now() + kWait;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::vector<pollfd> items;
        for (int fd : source.Fds())
            items.push_back(pollfd{fd, POLLIN, 0});
        if (::poll(items.data(), items.size(), 20) > 0)
            source.Dispatch();
    }
    return true;
}

struct Recorder {
    std::vector<PowerEvent> events;
    std::vector<std::string> log;
    PowerEvents::Handler Handler()
    {
        return [this](PowerEvent event) { events.push_back(event); };
    }
    PowerEvents::LogHandler Log()
    {
        return [this](const std::string& line) { log.push_back(line); };
    }
    long LogLines(const std::string& part) const
    {
        return std::count_if(log.begin(), log.end(), [&](const std::string& line) {
            return line.find(part) != std::string::npos;
        });
    }
};

// Raising a watched signal that nobody handles would end the test program.
bool Handled(int signal)
{
    struct sigaction now {};
    return ::sigaction(signal, nullptr, &now) == 0 && now.sa_handler != SIG_DFL;
}

ScopedVariable NoSystemBus()
{
    return ScopedVariable(testsupport::BusAddressVariable(BusKind::System),
                          "unix:path=" + (testsupport::Root() / "no-bus").string());
}

class PowerEventsBus : public testing::Test {
protected:
    void SetUp() override
    {
        m_Bus = std::make_unique<PrivateBus>(BusKind::System);
        ASSERT_TRUE(m_Bus->Started()) << m_Bus->Error();
    }
    std::unique_ptr<PrivateBus> m_Bus;
};

class PowerEventsLogind : public PowerEventsBus {
protected:
    void SetUp() override
    {
        PowerEventsBus::SetUp();
        m_Logind = std::make_unique<LogindMock>();
        ASSERT_TRUE(m_Logind->Ready()) << m_Logind->Error();
    }
    void TearDown() override { m_Logind.reset(); }
    bool Emit(bool shutdown, bool starting) const
    {
        return shutdown ? m_Logind->EmitPrepareForShutdown(starting)
                        : m_Logind->EmitPrepareForSleep(starting);
    }
    std::unique_ptr<LogindMock> m_Logind;
};

} // namespace

TEST_F(PowerEventsLogind, OpenTakesTheDelayInhibitorAndTheEndLetsItGo)
{
    Recorder recorder;
    {
        PowerEvents source(recorder.Handler());
        ASSERT_TRUE(source.Open()) << source.Status();
        EXPECT_TRUE(source.InhibitorHeld());
        EXPECT_EQ(m_Logind->InhibitCalls(), Calls{kInhibit});
        EXPECT_EQ(m_Logind->HeldInhibitors(), 1);
        EXPECT_EQ(source.Fds().size(), 2u);
    }
    EXPECT_TRUE(WaitUntil([&] { return m_Logind->HeldInhibitors() == 0; }, kWait));
    EXPECT_TRUE(recorder.events.empty());
}

struct PrepareRow {
    const char* name;
    bool shutdown;
    PowerEvent starting;
    PowerEvent ended;
};

void PrintTo(const PrepareRow& row, std::ostream* out)
{
    *out << row.name;
}

class PowerEventsPrepare : public PowerEventsLogind,
                           public testing::WithParamInterface<PrepareRow> {};

TEST_P(PowerEventsPrepare, TheInhibitorIsLetGoAfterTheHandlerAndTakenAgainAfterwards)
{
    const PrepareRow& row = GetParam();
    std::vector<PowerEvent> events;
    std::vector<bool> heldInHandler;
    std::vector<int> logindCountInHandler;
    const PowerEvents* watched = nullptr;
    PowerEvents source([&](PowerEvent event) {
        events.push_back(event);
        heldInHandler.push_back(watched->InhibitorHeld());
        logindCountInHandler.push_back(m_Logind->HeldInhibitors());
    });
    watched = &source;
    ASSERT_TRUE(source.Open()) << source.Status();

    ASSERT_TRUE(Emit(row.shutdown, true));
    ASSERT_TRUE(DispatchUntil(source, [&] { return !events.empty(); }));
    EXPECT_EQ(events, std::vector{row.starting});
    EXPECT_EQ(heldInHandler, std::vector{true});
    EXPECT_EQ(logindCountInHandler, std::vector{1});
    EXPECT_FALSE(source.InhibitorHeld());
    EXPECT_TRUE(WaitUntil([&] { return m_Logind->HeldInhibitors() == 0; }, kWait));

    ASSERT_TRUE(Emit(row.shutdown, false));
    ASSERT_TRUE(DispatchUntil(source, [&] { return source.InhibitorHeld(); }));
    EXPECT_EQ(events, (std::vector{row.starting, row.ended}));
    EXPECT_EQ(m_Logind->InhibitCalls(), (Calls{kInhibit, kInhibit}));
    EXPECT_EQ(m_Logind->HeldInhibitors(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    PowerEvents, PowerEventsPrepare,
    testing::Values(PrepareRow{"Sleep", false, PowerEvent::Suspend, PowerEvent::Resume},
                    PrepareRow{"Shutdown", true, PowerEvent::Shutdown,
                               PowerEvent::ShutdownCancelled}),
    [](const testing::TestParamInfo<PrepareRow>& info) { return info.param.name; });

// Signals that logind did not send, or that end what logind never began: none may reach the
// handler or cost the inhibitor. Around each row's signals the real logind sends its own, which
// must arrive exactly as sent: the row's signals came before the next real one, so they have
// been handled by the time it arrives.
enum class Before { Awake, Asleep, ShuttingDown };

struct IgnoredRow {
    const char* name;
    Before before;
    bool (*send)(const testsupport::BusForger& forger, const LogindMock& logind);
};

void PrintTo(const IgnoredRow& row, std::ostream* out)
{
    *out << row.name;
}

struct RealSignal {
    bool shutdown;
    bool starting;
};

// What logind sends before and after the row's signals. While asleep or shutting down, a start
// of the other kind comes next: a wake or cancel taken from the row would arrive before it,
// and logind's own one after it would then count as an end with nothing begun.
std::pair<std::vector<RealSignal>, std::vector<RealSignal>> RealSignals(Before before)
{
    switch (before) {
    case Before::Awake: return {{}, {{false, true}, {false, false}}};
    case Before::Asleep: return {{{false, true}}, {{true, true}, {false, false}, {true, false}}};
    case Before::ShuttingDown:
        return {{{true, true}}, {{false, true}, {true, false}, {false, false}}};
    }
    return {};
}

PowerEvent EventOf(RealSignal signal)
{
    if (signal.shutdown)
        return signal.starting ? PowerEvent::Shutdown : PowerEvent::ShutdownCancelled;
    return signal.starting ? PowerEvent::Suspend : PowerEvent::Resume;
}

class PowerEventsIgnored : public PowerEventsLogind,
                           public testing::WithParamInterface<IgnoredRow> {};

TEST_P(PowerEventsIgnored, NeitherReachTheHandlerNorCostTheInhibitor)
{
    const IgnoredRow& row = GetParam();
    Recorder recorder;
    std::vector<bool> heldInHandler;
    const PowerEvents* watched = nullptr;
    PowerEvents source([&](PowerEvent event) {
        recorder.events.push_back(event);
        heldInHandler.push_back(watched->InhibitorHeld());
    });
    watched = &source;
    source.SetLog(recorder.Log());
    ASSERT_TRUE(source.Open()) << source.Status();
    testsupport::BusForger forger;
    ASSERT_TRUE(forger.Ready());

    const auto [before, after] = RealSignals(row.before);
    std::vector<PowerEvent> expected;
    for (RealSignal signal : before) {
        ASSERT_TRUE(Emit(signal.shutdown, signal.starting));
        expected.push_back(EventOf(signal));
    }
    ASSERT_TRUE(DispatchUntil(source, [&] { return recorder.events.size() == expected.size(); }));
    ASSERT_TRUE(row.send(forger, *m_Logind));
    for (RealSignal signal : after) {
        ASSERT_TRUE(Emit(signal.shutdown, signal.starting));
        expected.push_back(EventOf(signal));
    }
    ASSERT_TRUE(DispatchUntil(source, [&] {
        return recorder.events.size() >= expected.size() && source.InhibitorHeld();
    }));

    EXPECT_EQ(recorder.events, expected);
    std::vector<bool> heldExpected(expected.size(), false);
    heldExpected[0] = true;
    EXPECT_EQ(heldInHandler, heldExpected);
    EXPECT_EQ(m_Logind->InhibitCalls(), (Calls{kInhibit, kInhibit}));
    EXPECT_TRUE(WaitUntil([&] { return m_Logind->HeldInhibitors() == 1; }, kWait));
    EXPECT_EQ(recorder.LogLines("logind left"), 0);
}

template <bool shutdown, bool starting>
bool ForgePrepare(const testsupport::BusForger& forger, const LogindMock&)
{
    return forger.SendPrepare(shutdown ? "PrepareForShutdown" : "PrepareForSleep", starting);
}

bool ForgeLogindLeft(const testsupport::BusForger& forger, const LogindMock& logind)
{
    return forger.SendOwnerChanged("org.freedesktop.login1", logind.UniqueName(), "");
}

// Claims logind's name for the forger, then speaks as logind.
bool ForgeLogindHandedOver(const testsupport::BusForger& forger, const LogindMock& logind)
{
    return forger.SendOwnerChanged("org.freedesktop.login1", logind.UniqueName(),
                                   forger.UniqueName()) &&
           forger.SendPrepare("PrepareForSleep", true);
}

bool LogindEndsWhatItNeverBegan(const testsupport::BusForger&, const LogindMock& logind)
{
    return logind.EmitPrepareForSleep(false) && logind.EmitPrepareForShutdown(false);
}

INSTANTIATE_TEST_SUITE_P(
    PowerEvents, PowerEventsIgnored,
    testing::Values(
        IgnoredRow{"ForgedSleep", Before::Awake, ForgePrepare<false, true>},
        IgnoredRow{"ForgedShutdown", Before::Awake, ForgePrepare<true, true>},
        IgnoredRow{"ForgedWakeWhileAsleep", Before::Asleep, ForgePrepare<false, false>},
        IgnoredRow{"ForgedCancelWhileShuttingDown", Before::ShuttingDown, ForgePrepare<true, false>},
        IgnoredRow{"ForgedLogindLeft", Before::Awake, ForgeLogindLeft},
        IgnoredRow{"ForgedLogindHandedToTheForger", Before::Awake, ForgeLogindHandedOver},
        IgnoredRow{"LogindEndsWhatItNeverBegan", Before::Awake, LogindEndsWhatItNeverBegan}),
    [](const testing::TestParamInfo<IgnoredRow>& info) { return info.param.name; });

TEST_F(PowerEventsLogind, AnInhibitorGrantedAfterTheSuspendHandlerIsLetGoAtOnce)
{
    // A short wake: logind suspends again before it answers the request for a new inhibitor.
    std::vector<PowerEvent> events;
    PowerEvents source([&](PowerEvent event) {
        events.push_back(event);
        if (event == PowerEvent::Resume) {
            EXPECT_TRUE(m_Logind->EmitPrepareForSleep(true));
            EXPECT_TRUE(m_Logind->Pause());
        }
    });
    ASSERT_TRUE(source.Open()) << source.Status();
    ASSERT_TRUE(m_Logind->EmitPrepareForSleep(true));
    ASSERT_TRUE(DispatchUntil(source, [&] { return events.size() == 1; }));
    ASSERT_TRUE(m_Logind->EmitPrepareForSleep(false));
    ASSERT_TRUE(DispatchUntil(source, [&] { return events.size() == 3; }));
    EXPECT_EQ(events[2], PowerEvent::Suspend);

    ASSERT_TRUE(m_Logind->Continue());
    EXPECT_TRUE(DispatchUntil(source, [&] {
        return m_Logind->InhibitCalls().size() == 2 && m_Logind->HeldInhibitors() == 0;
    }));
    EXPECT_FALSE(source.InhibitorHeld());
}

TEST_F(PowerEventsLogind, ARefusedInhibitorIsLoggedOnceAndEventsStillArrive)
{
    ASSERT_TRUE(m_Logind->RefuseInhibit("Refused by the test"));
    Recorder recorder;
    PowerEvents source(recorder.Handler());
    source.SetLog(recorder.Log());
    ASSERT_TRUE(source.Open()) << source.Status();
    EXPECT_FALSE(source.InhibitorHeld());
    EXPECT_EQ(source.Status(), "inhibitor refused: Refused by the test");

    ASSERT_TRUE(m_Logind->EmitPrepareForSleep(true));
    ASSERT_TRUE(m_Logind->EmitPrepareForSleep(false));
    ASSERT_TRUE(DispatchUntil(source, [&] { return recorder.events.size() == 2; }));
    ASSERT_TRUE(WaitUntil([&] { return m_Logind->InhibitCalls().size() == 2; }, kWait));
    // logind refused the second request before sending this signal, so the refusal has been
    // handled once the signal is.
    ASSERT_TRUE(m_Logind->EmitPrepareForShutdown(true));
    ASSERT_TRUE(DispatchUntil(source, [&] { return recorder.events.size() == 3; }));
    EXPECT_EQ(recorder.events,
              (std::vector{PowerEvent::Suspend, PowerEvent::Resume, PowerEvent::Shutdown}));
    EXPECT_EQ(recorder.LogLines("inhibitor refused: Refused by the test"), 1);
    EXPECT_FALSE(source.InhibitorHeld());
}

TEST_F(PowerEventsLogind, LogindLeavingEndsTheEventsQuietly)
{
    Recorder recorder;
    PowerEvents source(recorder.Handler());
    source.SetLog(recorder.Log());
    ASSERT_TRUE(source.Open()) << source.Status();
    m_Logind->Stop();
    EXPECT_TRUE(DispatchUntil(source, [&] { return recorder.LogLines("logind left") == 1; }));
    EXPECT_FALSE(source.InhibitorHeld());
    EXPECT_EQ(source.Fds().size(), 2u);
    EXPECT_TRUE(recorder.events.empty());
}

TEST_F(PowerEventsBus, WithoutLogindOpenFailsAndALaterLogindIsTakenUp)
{
    Recorder recorder;
    PowerEvents source(recorder.Handler());
    EXPECT_FALSE(source.Open());
    EXPECT_NE(source.Status().find("logind is not on the system bus"), std::string::npos)
        << source.Status();
    EXPECT_FALSE(source.InhibitorHeld());

    LogindMock logind;
    ASSERT_TRUE(logind.Ready()) << logind.Error();
    EXPECT_TRUE(DispatchUntil(source, [&] { return source.InhibitorHeld(); }));
    EXPECT_EQ(logind.InhibitCalls(), Calls{kInhibit});
    ASSERT_TRUE(logind.EmitPrepareForSleep(true));
    EXPECT_TRUE(DispatchUntil(source, [&] { return !recorder.events.empty(); }));
    EXPECT_EQ(recorder.events, std::vector{PowerEvent::Suspend});
}

TEST_F(PowerEventsLogind, LosingTheBusLeavesTheSignalWatch)
{
    Recorder recorder;
    PowerEvents source(recorder.Handler());
    ASSERT_TRUE(source.Open()) << source.Status();
    m_Bus.reset();
    EXPECT_TRUE(DispatchUntil(source, [&] { return source.Fds().size() == 1; }));
    EXPECT_NE(source.Status().find("connection lost"), std::string::npos) << source.Status();
    EXPECT_FALSE(source.InhibitorHeld());

    ASSERT_TRUE(Handled(SIGHUP));
    ASSERT_EQ(::raise(SIGHUP), 0);
    EXPECT_TRUE(DispatchUntil(source, [&] { return !recorder.events.empty(); }));
    EXPECT_EQ(recorder.events, std::vector{PowerEvent::SessionEnd});
}

namespace {
volatile sig_atomic_t g_OwnHandlerCalls = 0;
void CountOwnSignal(int)
{
    g_OwnHandlerCalls = g_OwnHandlerCalls + 1;
}
} // namespace

TEST(PowerEventsSignals, WithoutABusEachSignalIsOneSessionEndAndTheOldDispositionsComeBack)
{
    // The end of the session, and Ctrl-C or Ctrl-\ in a terminal: none may end the process
    // with the watchdog armed.
    const std::array<int, 4> signals{SIGHUP, SIGTERM, SIGINT, SIGQUIT};
    const ScopedVariable noBus = NoSystemBus();
    struct sigaction own {};
    own.sa_handler = CountOwnSignal;
    std::array<struct sigaction, signals.size()> saved{};
    for (std::size_t i = 0; i < signals.size(); ++i)
        ASSERT_EQ(::sigaction(signals[i], &own, &saved[i]), 0);
    g_OwnHandlerCalls = 0;
    {
        Recorder recorder;
        PowerEvents source(recorder.Handler());
        EXPECT_FALSE(source.Open());
        EXPECT_NE(source.Status().find("no system bus"), std::string::npos) << source.Status();
        EXPECT_EQ(source.Fds().size(), 1u);
        for (int signal : signals)
            ASSERT_EQ(::raise(signal), 0);
        ASSERT_EQ(::raise(SIGHUP), 0);
        EXPECT_TRUE(DispatchUntil(source, [&] { return recorder.events.size() >= 5; }));
        source.Dispatch();
        EXPECT_EQ(recorder.events, std::vector(5, PowerEvent::SessionEnd));
        EXPECT_EQ(g_OwnHandlerCalls, 0);
    }
    for (int signal : signals)
        ASSERT_EQ(::raise(signal), 0);
    EXPECT_EQ(g_OwnHandlerCalls, 4);
    for (std::size_t i = 0; i < signals.size(); ++i)
        (void)::sigaction(signals[i], &saved[i], nullptr);
}

TEST(PowerEventsSignals, OnlyOneSourceWatchesAndTheOtherLeavesItAlone)
{
    const ScopedVariable noBus = NoSystemBus();
    Recorder first, second;
    PowerEvents watching(first.Handler());
    (void)watching.Open();
    {
        PowerEvents other(second.Handler());
        other.SetLog(second.Log());
        (void)other.Open();
        EXPECT_EQ(second.LogLines("already watched"), 1);
        EXPECT_TRUE(other.Fds().empty());
    }
    ASSERT_TRUE(Handled(SIGHUP));
    ASSERT_EQ(::raise(SIGHUP), 0);
    EXPECT_TRUE(DispatchUntil(watching, [&] { return !first.events.empty(); }));
    EXPECT_EQ(first.events, std::vector{PowerEvent::SessionEnd});
    EXPECT_TRUE(second.events.empty());
}

TEST(PowerEventsSignals, AHandlerMayEndTheSource)
{
    const ScopedVariable noBus = NoSystemBus();
    int calls = 0;
    std::unique_ptr<PowerEvents> source;
    source = std::make_unique<PowerEvents>([&](PowerEvent) {
        ++calls;
        source.reset();
    });
    (void)source->Open();
    ASSERT_EQ(::raise(SIGHUP), 0);
    ASSERT_EQ(::raise(SIGTERM), 0);
    source->Dispatch();
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(source);
}
