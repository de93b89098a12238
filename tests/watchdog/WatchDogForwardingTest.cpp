#include "watchdog/WatchDogForwarding.h"

#include "platform/BusClient.h"
#include "platform/WindowMessages.h"

#include "PrivateBus.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <vector>

using platform::MessageWindow;
using platform::WindowMessage;
using testsupport::FakeBusService;
using testsupport::PrivateBus;
using testsupport::ReceivedCall;

namespace {

FakeBusService::Options AutomationServer()
{
    FakeBusService::Options options;
    options.name = kAutomationProgId;
    options.path = "/WatchDogControl";
    options.interface = kAutomationProgId;
    return options;
}

std::vector<std::string> Members(const std::vector<ReceivedCall>& calls)
{
    std::vector<std::string> members;
    for (const auto& call : calls)
        members.push_back(call.member);
    return members;
}

std::string MessageOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    ADD_FAILURE() << "no error was raised";
    return "";
}

class ServiceWindow {
public:
    ServiceWindow() : m_Window("TMainForm", "WdtSVR") { m_Created = m_Window.Create(); }
    bool Created() const { return m_Created; }
    std::vector<WindowMessage> Received()
    {
        std::vector<WindowMessage> received;
        m_Window.ReadPending([&](const WindowMessage& message) { received.push_back(message); });
        return received;
    }

private:
    MessageWindow m_Window;
    bool m_Created = false;
};

} // namespace

TEST(WatchDogDllCom, EachOperationIsOneCallWithTheRestartTimeFirst)
{
    PrivateBus bus;
    ASSERT_TRUE(bus.Started()) << bus.Error();
    FakeBusService server(AutomationServer());
    ASSERT_TRUE(server.Ready()) << server.Error();

    WatchDogDllCom control;
    // The main window's apply flow: Close, SetTime, Start, each a complete exchange.
    control.Close();
    control.SetTime(90, 60);
    control.Start();
    control.Stop();
    EXPECT_FALSE(control.WriteTimer(30));

    auto calls = server.Calls();
    EXPECT_EQ(Members(calls), (std::vector<std::string>{"Close", "SetTime", "Start", "Stop"}));
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[1].arguments, (std::vector<std::uint32_t>{90, 60}));
}

TEST(WatchDogDllCom, AMissingServerIsAnErrorNamingTheProgId)
{
    PrivateBus bus;
    ASSERT_TRUE(bus.Started()) << bus.Error();
    WatchDogDllCom control;
    const std::string message = MessageOf([&] { control.Start(); });
    EXPECT_NE(message.find(kAutomationProgId), std::string::npos) << message;
    EXPECT_THROW(control.SetTime(60, 55), std::runtime_error);
    EXPECT_THROW(control.Close(), std::runtime_error);
}

TEST(WatchDogDllCom, AMissingMethodIsAnErrorCarryingTheBusMessage)
{
    PrivateBus bus;
    ASSERT_TRUE(bus.Started()) << bus.Error();
    auto options = AutomationServer();
    options.methods = {"Start", "Close", "SetTime"};
    FakeBusService server(options);
    ASSERT_TRUE(server.Ready()) << server.Error();

    WatchDogDllCom control;
    const std::string message = MessageOf([&] { control.Stop(); });
    EXPECT_NE(message.find("Unknown method Stop"), std::string::npos) << message;
    // The next operation is not affected: no connection is kept.
    control.Start();
    EXPECT_EQ(Members(server.Calls()), (std::vector<std::string>{"Start"}));
}

TEST(WatchDogDllCom, NegativeTimesAreRefusedBeforeAnythingIsSent)
{
    PrivateBus bus;
    ASSERT_TRUE(bus.Started()) << bus.Error();
    FakeBusService server(AutomationServer());
    ASSERT_TRUE(server.Ready()) << server.Error();

    WatchDogDllCom control;
    EXPECT_NE(MessageOf([&] { control.SetTime(-1, 55); }).find("-1"), std::string::npos);
    EXPECT_NE(MessageOf([&] { control.SetTime(60, INT32_MIN); }).find("reload"),
              std::string::npos);
    control.SetTime(0, 0);
    control.SetTime(INT32_MAX, 1);
    auto calls = server.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].arguments, (std::vector<std::uint32_t>{0, 0}));
    EXPECT_EQ(calls[1].arguments, (std::vector<std::uint32_t>{0x7FFFFFFFu, 1}));
}

TEST(IsDllComAvailable, FollowsTheServerOnTheBus)
{
    PrivateBus bus;
    ASSERT_TRUE(bus.Started()) << bus.Error();
    EXPECT_FALSE(IsDllComAvailable());
    {
        FakeBusService server(AutomationServer());
        ASSERT_TRUE(server.Ready()) << server.Error();
        EXPECT_TRUE(IsDllComAvailable());
    }
    EXPECT_FALSE(IsDllComAvailable());
    bus.AddActivatableService(kAutomationProgId, "/bin/false");
    EXPECT_TRUE(IsDllComAvailable());
}

TEST(IsDllComAvailable, NoBusAtAllAnswersFalse)
{
    const char* saved = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    std::optional<std::string> keep;
    if (saved)
        keep = saved;
    const std::string nowhere = "unix:path=" + (testsupport::Root() / "nobody-listens").string();
    ::setenv("DBUS_SESSION_BUS_ADDRESS", nowhere.c_str(), 1);
    EXPECT_NO_THROW(EXPECT_FALSE(IsDllComAvailable()));
    if (keep)
        ::setenv("DBUS_SESSION_BUS_ADDRESS", keep->c_str(), 1);
    else
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
}

TEST(WatchDogWMI, StartPostsTheStoredTimesAndCloseTwoZeros)
{
    ServiceWindow service;
    ASSERT_TRUE(service.Created());
    WatchDogWMI control;

    EXPECT_EQ(control.SetTime(90, 60), 1);
    EXPECT_TRUE(service.Received().empty()) << "SetTime only stores";
    control.Start();
    control.Stop();
    control.Close();
    EXPECT_FALSE(control.WriteTimer(30));

    auto received = service.Received();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].message, 2054u);
    EXPECT_EQ(received[0].wParam, 90);
    EXPECT_EQ(received[0].lParam, 60);
    EXPECT_EQ(received[1].message, 2054u);
    EXPECT_EQ(received[1].wParam, 0);
    EXPECT_EQ(received[1].lParam, 0);
}

TEST(WatchDogWMI, StartBeforeSetTimePostsTwoZeros)
{
    ServiceWindow service;
    ASSERT_TRUE(service.Created());
    WatchDogWMI control;
    control.Start();
    auto received = service.Received();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].message, 2054u);
    EXPECT_EQ(received[0].wParam, 0);
    EXPECT_EQ(received[0].lParam, 0);
}

TEST(WatchDogWMI, WithoutTheServiceWindowNothingHappens)
{
    WatchDogWMI control;
    control.SetTime(30, 25);
    EXPECT_NO_THROW(control.Start());
    EXPECT_NO_THROW(control.Close());

    // The window is looked up afresh for each message: one that appears later is found.
    ServiceWindow service;
    ASSERT_TRUE(service.Created());
    control.Start();
    auto received = service.Received();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].wParam, 30);
    EXPECT_EQ(received[0].lParam, 25);
}

TEST(WatchDogWMI, AWindowOfAnotherCaptionIsNotTheService)
{
    MessageWindow other("TMainForm", "TOLV Watchdog Timer");
    ASSERT_TRUE(other.Create()) << other.LastError();
    WatchDogWMI control;
    control.SetTime(30, 25);
    control.Start();
    int received = 0;
    other.ReadPending([&](const WindowMessage&) { ++received; });
    EXPECT_EQ(received, 0);
}
