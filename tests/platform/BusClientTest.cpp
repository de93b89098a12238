#include "platform/BusClient.h"

#include "PrivateBus.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>

using platform::BusCallError;
using platform::BusMethod;
using platform::CallSessionBusMethod;
using platform::IsSessionBusNameAvailable;
using testsupport::FakeBusService;
using testsupport::PrivateBus;

namespace {

constexpr const char* kName = "org.example.TolvFake";
constexpr const char* kPath = "/Fake";

BusMethod Method(const char* member, const char* destination = kName)
{
    return BusMethod{destination, kPath, kName, member};
}

FakeBusService::Options FakeOptions()
{
    FakeBusService::Options options;
    options.name = kName;
    options.path = kPath;
    options.interface = kName;
    return options;
}

// Runs call and hands back the BusCallError it throws; fails the test when it does not throw.
template <typename Call>
BusCallError ErrorOf(Call call)
{
    try {
        call();
    } catch (const BusCallError& error) {
        return error;
    }
    ADD_FAILURE() << "no BusCallError";
    return BusCallError("", "");
}

// Points the session bus at a socket where nothing listens.
class NoSessionBus {
public:
    NoSessionBus()
    {
        if (const char* saved = std::getenv("DBUS_SESSION_BUS_ADDRESS"))
            m_Saved = saved;
        const std::string nowhere = "unix:path=" + (testsupport::Root() / "no-bus").string();
        ::setenv("DBUS_SESSION_BUS_ADDRESS", nowhere.c_str(), 1);
    }
    ~NoSessionBus()
    {
        if (m_Saved)
            ::setenv("DBUS_SESSION_BUS_ADDRESS", m_Saved->c_str(), 1);
        else
            ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    }

private:
    std::optional<std::string> m_Saved;
};

} // namespace

TEST(BusClient, ArgumentsArriveInOrderAsUnsignedValues)
{
    PrivateBus bus;
    ASSERT_TRUE(bus.Started()) << bus.Error();
    FakeBusService service(FakeOptions());
    ASSERT_TRUE(service.Ready()) << service.Error();

    const std::array<std::uint32_t, 2> extremes{0xFFFFFFFFu, 0};
    const std::array<std::uint32_t, 2> times{90, 60};
    CallSessionBusMethod(Method("SetTime"), extremes);
    CallSessionBusMethod(Method("SetTime"), times);
    CallSessionBusMethod(Method("Start"), {});

    auto calls = service.Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].member, "SetTime");
    EXPECT_EQ(calls[0].arguments, (std::vector<std::uint32_t>{0xFFFFFFFFu, 0}));
    EXPECT_EQ(calls[1].arguments, (std::vector<std::uint32_t>{90, 60}));
    EXPECT_EQ(calls[2].member, "Start");
    EXPECT_TRUE(calls[2].arguments.empty());
}

TEST(BusClient, FailuresCarryTheBusMessage)
{
    PrivateBus bus;
    ASSERT_TRUE(bus.Started()) << bus.Error();
    auto options = FakeOptions();
    options.methods = {"Start", "Close", "SetTime"};
    options.failing = {"Close"};
    FakeBusService service(options);
    ASSERT_TRUE(service.Ready()) << service.Error();

    BusCallError missingMethod = ErrorOf([] { CallSessionBusMethod(Method("Stop"), {}); });
    EXPECT_EQ(missingMethod.ErrorName(), "org.freedesktop.DBus.Error.UnknownMethod");
    EXPECT_NE(std::string(missingMethod.what()).find("Unknown method Stop"), std::string::npos)
        << missingMethod.what();
    EXPECT_FALSE(missingMethod.IsServiceMissing());

    BusCallError refused = ErrorOf([] { CallSessionBusMethod(Method("Close"), {}); });
    EXPECT_EQ(refused.ErrorName(), "com.example.Fake.Error.Failed");
    EXPECT_STREQ(refused.what(), "The fake refuses Close");

    // A signature the service does not take is the service's error, passed on as it is.
    BusCallError badArguments = ErrorOf([] { CallSessionBusMethod(Method("Start"), {{1u}}); });
    EXPECT_EQ(badArguments.ErrorName(), "org.freedesktop.DBus.Error.InvalidArgs");

    // Exactly one attempt per call, nothing retried.
    auto calls = service.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].member, "Close");
}

TEST(BusClient, AServiceThatCannotBeStartedIsMissing)
{
    PrivateBus bus;
    ASSERT_TRUE(bus.Started()) << bus.Error();
    bus.AddActivatableService(kName, "/bin/false");
    BusCallError error = ErrorOf([] { CallSessionBusMethod(Method("Start"), {}); });
    EXPECT_TRUE(error.IsServiceMissing()) << error.ErrorName();
    EXPECT_NE(std::string(error.what()).find(kName), std::string::npos) << error.what();
}

TEST(BusClient, AServiceThatNeverAnswersEndsInAnError)
{
    PrivateBus bus;
    ASSERT_TRUE(bus.Started()) << bus.Error();
    auto options = FakeOptions();
    options.silent = {"Start"};
    FakeBusService service(options);
    ASSERT_TRUE(service.Ready()) << service.Error();
    BusCallError error = ErrorOf(
        [] { CallSessionBusMethod(Method("Start"), {}, std::chrono::milliseconds(200)); });
    EXPECT_FALSE(std::string(error.what()).empty());
    EXPECT_EQ(service.Calls().size(), 1u);
}

TEST(BusClient, NoSessionBusIsAnErrorNotACrash)
{
    NoSessionBus none;
    BusCallError error = ErrorOf([] { CallSessionBusMethod(Method("Start"), {}); });
    EXPECT_NE(std::string(error.what()).find("session bus"), std::string::npos) << error.what();
    EXPECT_FALSE(IsSessionBusNameAvailable(kName));

    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::optional<std::string> savedRuntime;
    if (runtime)
        savedRuntime = runtime;
    ::setenv("XDG_RUNTIME_DIR", testsupport::Root().c_str(), 1);
    EXPECT_FALSE(IsSessionBusNameAvailable(kName));
    EXPECT_THROW(CallSessionBusMethod(Method("Start"), {}), BusCallError);
    if (savedRuntime)
        ::setenv("XDG_RUNTIME_DIR", savedRuntime->c_str(), 1);
    else
        ::unsetenv("XDG_RUNTIME_DIR");
}
