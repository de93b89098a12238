// A small program that drives the registry store and the other machine-wide files from another
// process, for the tests that need a second writer, a process killed mid-write, or another user.
//
//   registry-test-helper open   <subkey> <access>     prints the answer of RegOpenKeyExA
//   registry-test-helper create <subkey>              prints the answer of RegCreateKeyExA
//   registry-test-helper read   <subkey> <name>       prints "<answer> <dword>"
//   registry-test-helper count  <subkey> <name> <n>   writes 0 .. n-1; exit 0 when all succeed
//   registry-test-helper churn  <subkey>              prints "ready", then writes records until
//                                                     killed, counting on from the stored counter
//   registry-test-helper lock   <name>                takes the single-instance lock and prints
//                                                     "acquired", "held" or "failed <why>"
//   registry-test-helper window <class> <caption>     makes the window, prints "ready" (or
//                                                     "failed <why>") and then the first message
//                                                     as "<message> <wParam> <lParam>"
//   registry-test-helper find   <class> <caption>     prints "found" or "none"
//   registry-test-helper log    <text>                appends <text> to the trace log
//   registry-test-helper peek   <file>                opens <file> for reading without blocking,
//                                                     prints "opened" or the reason it could not
//   registry-test-helper replace-self                 replaces its own file by a copy, as a
//                                                     package upgrade does, then prints ProgramFile()
//
// <access> is a number (e.g. 0xF003F). The files are the ones under $TOLV_ROOT.

#include "RegistryHelperRecord.h"

#include "platform/InstanceLock.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/WindowMessages.h"
#include "system/common.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <string>
#include <unistd.h>

using namespace platform;

namespace {

int Open(const char* subKey, const char* access)
{
    HKEY key = nullptr;
    LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, static_cast<REGSAM>(std::strtoul(access, nullptr, 0)), &key);
    std::printf("%d\n", result);
    if (key)
        RegCloseKey(key);
    return 0;
}

int Create(const char* subKey)
{
    HKEY key = nullptr;
    LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr);
    std::printf("%d\n", result);
    if (key)
        RegCloseKey(key);
    return 0;
}

int Read(const char* subKey, const char* name)
{
    HKEY key = nullptr;
    LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, KEY_READ, &key);
    DWORD value = 0;
    if (result == ERROR_SUCCESS) {
        DWORD size = sizeof value;
        result = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
        RegCloseKey(key);
    }
    std::printf("%d %u\n", result, value);
    return 0;
}

int Count(const char* subKey, const char* name, const char* count)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr)
        != ERROR_SUCCESS)
        return 1;
    int failures = 0;
    DWORD n = static_cast<DWORD>(std::strtoul(count, nullptr, 0));
    for (DWORD i = 0; i < n; ++i)
        if (RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&i), sizeof i) != ERROR_SUCCESS)
            ++failures;
    RegCloseKey(key);
    return failures == 0 ? 0 : 1;
}

int Churn(const char* subKey)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr)
        != ERROR_SUCCESS)
        return 1;
    // Carry on from the last counter stored, so that records grow across restarts.
    std::uint32_t start = 0;
    DWORD size = sizeof start;
    DWORD type = REG_NONE;
    if (RegQueryValueExA(key, "Counter", nullptr, &type, reinterpret_cast<BYTE*>(&start), &size) == ERROR_SUCCESS)
        ++start;
    std::printf("ready\n");
    std::fflush(stdout);
    for (std::uint32_t i = start;; ++i) {
        std::vector<std::uint8_t> record = registrytest::MakeRecord(i);
        if (RegSetValueExA(key, "Record", 0, REG_BINARY, record.data(), static_cast<DWORD>(record.size()))
                != ERROR_SUCCESS
            || RegSetValueExA(key, "Counter", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&i), sizeof i)
                != ERROR_SUCCESS)
            return 1;
    }
}

int Lock(const char* name)
{
    platform::InstanceLock lock(name);
    switch (lock.Acquire()) {
    case platform::InstanceLock::Result::Acquired:
        std::printf("acquired\n");
        break;
    case platform::InstanceLock::Result::HeldElsewhere:
        std::printf("held\n");
        break;
    case platform::InstanceLock::Result::Failed:
        std::printf("failed %s\n", lock.Error().c_str());
        break;
    }
    return 0;
}

int Window(const char* className, const char* caption)
{
    platform::MessageWindow window(className, caption);
    if (!window.Create()) {
        std::printf("failed %s\n", window.LastError().c_str());
        return 0;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    // Waits for the test, which posts from another process; a lost message ends the wait.
    pollfd watch{window.Fd(), POLLIN, 0};
    while (poll(&watch, 1, 20000) == 1) {
        if (window.ReadPending([](const platform::WindowMessage& message) {
                std::printf("%u %d %d\n", message.message, message.wParam, message.lParam);
            }) > 0)
            return 0;
    }
    std::printf("timeout\n");
    return 1;
}

int Find(const char* className, const char* caption)
{
    std::printf("%s\n", platform::FindWindow(className, caption) ? "found" : "none");
    return 0;
}

int Peek(const char* file)
{
    const int fd = open(file, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    std::printf("%s\n", fd >= 0 ? "opened" : std::strerror(errno));
    if (fd >= 0)
        close(fd);
    return 0;
}

int ReplaceSelf()
{
    const std::filesystem::path self = platform::ProgramFile();
    const std::filesystem::path copy = self.string() + ".upgrade";
    std::error_code ec;
    std::filesystem::copy_file(self, copy, ec);
    if (ec || std::rename(copy.c_str(), self.c_str()) != 0)
        return 1;
    std::printf("%s\n", platform::ProgramFile().c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "open" && argc == 4)
        return Open(argv[2], argv[3]);
    if (mode == "create" && argc == 3)
        return Create(argv[2]);
    if (mode == "read" && argc == 4)
        return Read(argv[2], argv[3]);
    if (mode == "count" && argc == 5)
        return Count(argv[2], argv[3], argv[4]);
    if (mode == "churn" && argc == 3)
        return Churn(argv[2]);
    if (mode == "lock" && argc == 3)
        return Lock(argv[2]);
    if (mode == "window" && argc == 4)
        return Window(argv[2], argv[3]);
    if (mode == "find" && argc == 4)
        return Find(argv[2], argv[3]);
    if (mode == "log" && argc == 3) {
        TraceLog("%s", argv[2]);
        return 0;
    }
    if (mode == "peek" && argc == 3)
        return Peek(argv[2]);
    if (mode == "replace-self" && argc == 2)
        return ReplaceSelf();
    std::fprintf(stderr,
                 "usage: registry-test-helper open|create|read|count|churn|lock|window|find|log|peek|replace-self ...\n");
    return 2;
}
