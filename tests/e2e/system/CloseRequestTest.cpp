#include "LogindScene.h"

#include "platform/WindowMessages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;
using namespace systeme2e;
using testsupport::WaitUntil;

// Another program asks the main window to close by posting it message 2044: the watchdog is
// switched off, the program ends, and the stored state stays what it was, so the next start
// switches the watchdog on again. Other messages and broken datagrams change nothing.
namespace {

constexpr std::uint32_t kCloseRequest = 2044;

// One datagram of any size to the window's socket, as a broken or hostile sender would send.
bool SendDatagram(const std::filesystem::path& socket, const std::vector<std::uint8_t>& bytes)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socket.native().size() >= sizeof address.sun_path)
        return false;
    std::strcpy(address.sun_path, socket.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const ssize_t sent = ::sendto(fd, bytes.data(), bytes.size(), MSG_DONTWAIT,
                                  reinterpret_cast<const sockaddr*>(&address), sizeof address);
    ::close(fd);
    return sent == static_cast<ssize_t>(bytes.size());
}

// The close request's number in native byte order, followed by extra zero bytes.
std::vector<std::uint8_t> CloseRequestBytes(std::size_t size)
{
    std::vector<std::uint8_t> bytes(size, 0);
    std::memcpy(bytes.data(), &kCloseRequest, std::min(size, sizeof kCloseRequest));
    return bytes;
}

bool WindowViewable()
{
    const auto windows = testsupport::FindWindows(kCaption);
    return !windows.empty() && testsupport::IsViewable(windows.front());
}

TEST(CloseRequest, HiddenStartWithoutATrayShowsTheWindowAndOnlyMessage2044EndsTheProgram)
{
    // The system bus here only marks a point in the program's event loop (see below).
    LogindScene scene(Settings{.lastState = kMarkOn});
    ASSERT_NO_FATAL_FAILURE(scene.Start({"-h"}));
    ProgramRun& program = scene.program;
    // With no tray to live in, the hidden start shows the window all the same.
    EXPECT_TRUE(WaitUntil(WindowViewable, kWait)) << program.Describe();
    ASSERT_TRUE(program.WriteLastState(kMarkOn));

    const auto window = platform::FindWindow(kWindowClass, kCaption);
    ASSERT_TRUE(window.has_value()) << program.Describe();
    EXPECT_TRUE(platform::PostMessage(*window, kCloseRequest + 1, 0, 0));
    EXPECT_TRUE(SendDatagram(window->socket, CloseRequestBytes(4)));
    EXPECT_TRUE(SendDatagram(window->socket, CloseRequestBytes(16)));
    EXPECT_TRUE(SendDatagram(window->socket, {}));
    // A logind signal from another client only writes a trace line; once it is there, the
    // program's loop has read what was sent before it.
    const testsupport::BusForger other;
    ASSERT_TRUE(other.SendPrepare("PrepareForSleep", false));
    ASSERT_TRUE(WaitUntil(
        [&] { return program.TraceHasLineStarting("ignored PrepareForSleep from"); }, kWait))
        << program.Describe();
    EXPECT_TRUE(program.Running()) << program.Describe();
    EXPECT_TRUE(program.Armed()) << "only message 2044 switches the watchdog off";
    EXPECT_TRUE(WindowViewable());
    EXPECT_TRUE(platform::FindWindow(kWindowClass, kCaption).has_value());

    ASSERT_TRUE(platform::PostMessage(*window, kCloseRequest, 0, 0));
    const auto exit = program.WaitForExit(kWait);
    ASSERT_TRUE(exit.has_value()) << "message 2044 did not end the program" << program.Describe();
    EXPECT_TRUE(exit->exited && exit->code == 0)
        << "code " << exit->code << ", signal " << exit->signal << program.Describe();
    EXPECT_TRUE(program.Disarmed()) << program.Describe();
    EXPECT_EQ(program.LastState(), kMarkOn) << "a close request must not store the switch";
    EXPECT_FALSE(platform::FindWindow(kWindowClass, kCaption).has_value());
    EXPECT_EQ(program.TraceCount("Main UI shut down"), 0) << program.Describe();
}

} // namespace
