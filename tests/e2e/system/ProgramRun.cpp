#include "ProgramRun.h"

#include "TestSupport.h"

#include "system/WinRegistry.h"

#include <algorithm>
#include <sstream>
#include <thread>

using namespace std::chrono_literals;
using testsupport::Root;

namespace systeme2e {
namespace {

constexpr const char* kSettingsKey = "Software\\TOLV\\TOLV Watchdog Timer";

std::filesystem::path TraceFile()
{
    return Root() / "var/lib/TOLV/TolvWatchDogTimer/trace.log";
}

bool WriteSettings(const Settings& settings)
{
    RegistryKey key;
    if (!key.Open(platform::HKEY_LOCAL_MACHINE, kSettingsKey, KeyAccess::CreateIfMissing))
        return false;
    const bool written = key.WriteDword("LAST_STATE", settings.lastState)
        && key.WriteDword("REBOOT_TIME", settings.rebootTime)
        && key.WriteDword("RESET_TIME", settings.resetTime);
    key.Flush();
    return written;
}

} // namespace

const std::vector<std::string>& InhibitArguments()
{
    static const std::vector<std::string> arguments{
        "sleep:shutdown", "TOLV Watchdog Timer", "Switching the hardware watchdog off", "delay"};
    return arguments;
}

ProgramRun::ProgramRun(const Settings& settings)
    : m_Settings(settings)
    , m_Sim(Root() / "sim")
    , m_Firmware("TLACPI_FIRMWARE", "sim:" + m_Sim.string())
{
    std::filesystem::create_directories(m_Sim);
}

ProgramRun::~ProgramRun() = default;

bool ProgramRun::Start(const std::vector<std::string>& arguments)
{
    if (!WriteSettings(m_Settings))
        return false;
    m_SessionBus = std::make_unique<testsupport::PrivateBus>(testsupport::BusKind::Session);
    if (!m_SessionBus->Started())
        return false;
    m_Program = std::make_unique<testsupport::ChildProgram>(
        testsupport::BinFolder() / "TolvWatchDogTimer", arguments, Root() / "program.log");
    return m_Program->Started();
}

bool ProgramRun::Seed() const
{
    return WriteSettings(m_Settings);
}

bool ProgramRun::StartThrough(const std::vector<std::string>& launcher, const std::vector<std::string>& arguments)
{
    if (launcher.empty())
        return false;
    std::vector<std::string> words(launcher.begin() + 1, launcher.end());
    words.push_back((testsupport::BinFolder() / "TolvWatchDogTimer").string());
    words.insert(words.end(), arguments.begin(), arguments.end());
    m_Program = std::make_unique<testsupport::ChildProgram>(launcher.front(), words, Root() / "program.log");
    return m_Program->Started();
}

bool ProgramRun::WaitUntilSettled()
{
    const bool on = m_Settings.lastState != 0;
    return testsupport::WaitUntil(
        [&] {
            if (!Running())
                return true;
            if (!on)
                return LastState() == kStateOff;
            const auto firmware = Firmware();
            return firmware && firmware->armed && firmware->timeout == m_Settings.rebootTime
                && LastState() == kStateOn;
        },
        kStartWait)
        && Running();
}

bool ProgramRun::Running()
{
    return m_Program && !m_Program->Wait(0ms).has_value();
}

std::optional<testsupport::ChildExit> ProgramRun::WaitForExit(std::chrono::milliseconds timeout)
{
    return m_Program ? m_Program->Wait(timeout) : std::nullopt;
}

bool ProgramRun::Signal(int signal) const
{
    return m_Program && m_Program->Signal(signal);
}

std::optional<tlacpi::SimState> ProgramRun::Firmware() const
{
    return tlacpi::ReadSimState(m_Sim / tlacpi::SimStateFileName);
}

bool ProgramRun::Armed() const
{
    const auto firmware = Firmware();
    return firmware && firmware->armed;
}

bool ProgramRun::Disarmed() const
{
    const auto firmware = Firmware();
    return firmware && !firmware->armed;
}

std::vector<std::string> ProgramRun::Trace() const
{
    std::vector<std::string> texts;
    std::istringstream lines(testsupport::ReadFile(TraceFile()));
    std::string line;
    while (std::getline(lines, line)) {
        const auto blank = line.find(' ');
        texts.push_back(blank == std::string::npos ? line : line.substr(blank + 1));
    }
    return texts;
}

long ProgramRun::TraceCount(const std::string& text) const
{
    const auto texts = Trace();
    return std::count(texts.begin(), texts.end(), text);
}

bool ProgramRun::TraceHasInOrder(const std::vector<std::string>& texts) const
{
    const auto lines = Trace();
    auto at = lines.begin();
    for (const auto& text : texts) {
        at = std::find(at, lines.end(), text);
        if (at == lines.end())
            return false;
        ++at;
    }
    return true;
}

bool ProgramRun::TraceHasLineStarting(const std::string& start) const
{
    const auto lines = Trace();
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return line.rfind(start, 0) == 0; });
}

std::optional<std::uint32_t> ProgramRun::LastState() const
{
    RegistryKey key;
    std::uint32_t value = 0;
    if (!key.Open(platform::HKEY_LOCAL_MACHINE, kSettingsKey, KeyAccess::OpenExisting)
        || !key.ReadDword("LAST_STATE", value))
        return std::nullopt;
    return value;
}

bool ProgramRun::WriteLastState(std::uint32_t value) const
{
    RegistryKey key;
    if (!key.Open(platform::HKEY_LOCAL_MACHINE, kSettingsKey, KeyAccess::OpenExisting))
        return false;
    const bool written = key.WriteDword("LAST_STATE", value);
    key.Flush();
    return written;
}

std::string ProgramRun::Describe() const
{
    return "\n--- trace.log\n" + testsupport::ReadFile(TraceFile()) + "--- watchdog.state\n"
        + testsupport::ReadFile(m_Sim / tlacpi::SimStateFileName) + "--- program output\n"
        + (m_Program ? m_Program->Log() : std::string("(not started)\n"));
}

std::unique_ptr<testsupport::ScopedVariable> NoSystemBus()
{
    return std::make_unique<testsupport::ScopedVariable>(
        "DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (Root() / "no-system-bus").string());
}

std::optional<double> MillisecondsUntil(const std::function<bool()>& condition,
                                        std::chrono::steady_clock::time_point since,
                                        std::chrono::milliseconds timeout)
{
    const auto deadline = since + timeout;
    for (;;) {
        const bool holds = condition();
        const auto now = std::chrono::steady_clock::now();
        if (holds)
            return std::chrono::duration<double, std::milli>(now - since).count();
        if (now >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(1ms);
    }
}

} // namespace systeme2e
