#include "ChildProgram.h"
#include "TestSupport.h"

#include "platform/WindowMessages.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

// The helper the package runs before the program is removed or replaced, against a stand-in for
// the program's main window in the case's machine root.
namespace {

using namespace std::chrono_literals;
using testing::HasSubstr;
using testsupport::ChildProgram;

constexpr std::uint32_t kCloseRequest = 2044;
constexpr const char* kClass = "TMainForm";
constexpr const char* kCaption = "TOLV Watchdog Timer";

std::unique_ptr<ChildProgram> StartHelper(const std::vector<std::string>& arguments)
{
    auto helper = std::make_unique<ChildProgram>(testsupport::BinFolder() / "TolvCloseRequest",
                                                 arguments, testsupport::Root() / "helper.log");
    EXPECT_TRUE(helper->Started());
    return helper;
}

int ExitCode(ChildProgram& helper)
{
    const auto end = helper.Wait(30s);
    return end && end->exited ? end->code : -1;
}

// Waits for the first message to the window and answers it.
std::vector<platform::WindowMessage> Received(platform::MessageWindow& window)
{
    std::vector<platform::WindowMessage> received;
    testsupport::WaitUntil(
        [&] {
            window.ReadPending([&](const platform::WindowMessage& m) { received.push_back(m); });
            return !received.empty();
        },
        20s);
    return received;
}

TEST(TolvCloseRequest, WithNoRunningCopyEndsAtOnceWithSuccessAndSaysNothing)
{
    auto helper = StartHelper({});
    EXPECT_EQ(ExitCode(*helper), 0);
    EXPECT_EQ(helper->Log(), "");
}

TEST(TolvCloseRequest, ASocketLeftByAKilledCopyIsNoRunningCopy)
{
    const auto path = platform::WindowSocketPath(kClass, kCaption);
    ASSERT_TRUE(path.has_value());
    std::filesystem::create_directories(path->parent_path());
    std::filesystem::permissions(path->parent_path(), std::filesystem::perms::owner_all);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path->native().copy(address.sun_path, sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(fd); // the socket file stays, with nobody behind it

    auto helper = StartHelper({"--wait", "5"});
    EXPECT_EQ(ExitCode(*helper), 0) << helper->Log();
    EXPECT_EQ(helper->Log(), "");
}

TEST(TolvCloseRequest, AsksTheWindowToCloseAndWaitsUntilItIsGone)
{
    platform::MessageWindow window(kClass, kCaption);
    ASSERT_TRUE(window.Create()) << window.LastError();
    auto helper = StartHelper({"--wait", "30"});

    const auto received = Received(window);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].message, kCloseRequest);
    EXPECT_EQ(received[0].wParam, 0);
    EXPECT_EQ(received[0].lParam, 0);
    // Still answering: the helper waits for the window to go.
    EXPECT_FALSE(helper->Wait(300ms).has_value());

    window.Destroy();
    EXPECT_EQ(ExitCode(*helper), 0);
    EXPECT_THAT(helper->Log(), HasSubstr("asked 1 running copy to close"));
}

TEST(TolvCloseRequest, FailsWhenTheCopyStillAnswersAfterTheWait)
{
    platform::MessageWindow window(kClass, kCaption);
    ASSERT_TRUE(window.Create()) << window.LastError();
    auto helper = StartHelper({"--wait", "1"});
    EXPECT_EQ(ExitCode(*helper), 1);
    EXPECT_THAT(helper->Log(), HasSubstr("1 copy is still running after 1 s"));
    EXPECT_EQ(Received(window).size(), 1u) << "asked more than once";
}

struct BadLine {
    const char* name;
    std::vector<std::string> arguments;
};

void PrintTo(const BadLine& line, std::ostream* os)
{
    *os << line.name;
}

class TolvCloseRequestCommandLine : public testing::TestWithParam<BadLine> {};

TEST_P(TolvCloseRequestCommandLine, IsRefusedWithUsageAndNothingIsAsked)
{
    platform::MessageWindow window(kClass, kCaption);
    ASSERT_TRUE(window.Create()) << window.LastError();
    auto helper = StartHelper(GetParam().arguments);
    EXPECT_EQ(ExitCode(*helper), 2);
    EXPECT_THAT(helper->Log(), HasSubstr("usage: TolvCloseRequest"));
    std::size_t messages = 0;
    window.ReadPending([&](const platform::WindowMessage&) { ++messages; });
    EXPECT_EQ(messages, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, TolvCloseRequestCommandLine,
    testing::Values(BadLine{"WaitWithoutSeconds", {"--wait"}},
                    BadLine{"WordForSeconds", {"--wait", "ten"}},
                    BadLine{"TrailingText", {"--wait", "5s"}},
                    BadLine{"Negative", {"--wait", "-1"}},
                    BadLine{"AboveTheLongestWait", {"--wait", "601"}},
                    BadLine{"UnknownSwitch", {"-w", "5"}},
                    BadLine{"ExtraArgument", {"--wait", "5", "x"}}),
    [](const testing::TestParamInfo<BadLine>& info) { return info.param.name; });

} // namespace
