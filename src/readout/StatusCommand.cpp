#include "readout/StatusCommand.h"

#include "platform/InstanceLock.h"
#include "readout/StoredSettings.h"
#include "tolv/BiosInterface.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <linux/watchdog.h>
#include <optional>
#include <utility>
#include <vector>

namespace readout {

namespace {

// What is known of the watchdog and the program, gathered once and then printed either way.
struct Facts {
    std::optional<TlAcpiWatchdogReport> report;
    std::string libraryError;
    platform::LockHolder program;
    std::optional<bool> holdsWatchdog;
    StoredSettings stored;
    bool wrong = false;
    std::vector<std::string> problems;
};

std::optional<bool> Flag(std::int32_t value)
{
    if (value == TLACPI_UNKNOWN)
        return std::nullopt;
    return value != 0;
}

std::optional<std::int32_t> Number(std::int32_t value)
{
    if (value < 0)
        return std::nullopt;
    return value;
}

std::vector<std::string> OptionWords(std::uint32_t options)
{
    static constexpr struct {
        std::uint32_t bit;
        const char* word;
    } kWords[] = {
        {WDIOF_OVERHEAT, "overheat"},     {WDIOF_FANFAULT, "fanfault"},     {WDIOF_EXTERN1, "extern1"},
        {WDIOF_EXTERN2, "extern2"},       {WDIOF_POWERUNDER, "powerunder"}, {WDIOF_CARDRESET, "cardreset"},
        {WDIOF_POWEROVER, "powerover"},   {WDIOF_SETTIMEOUT, "settimeout"}, {WDIOF_MAGICCLOSE, "magicclose"},
        {WDIOF_PRETIMEOUT, "pretimeout"}, {WDIOF_ALARMONLY, "alarmonly"},   {WDIOF_KEEPALIVEPING, "keepaliveping"},
    };
    std::vector<std::string> words;
    for (const auto& option : kWords) {
        if (options & option.bit)
            words.emplace_back(option.word);
    }
    return words;
}

// "watchdog", "other" or "unknown". A driver that does not offer the card-reset bit leaves a
// clear boot status meaning nothing.
std::string RestartCause(const std::optional<TlAcpiWatchdogReport>& report)
{
    if (!report)
        return "unknown";
    if (report->restartId[0] != '\0' || (report->bootStatus > 0 && (report->bootStatus & WDIOF_CARDRESET)))
        return "watchdog";
    if (report->bootStatus < 0 || (report->options != 0 && !(report->options & WDIOF_CARDRESET)))
        return "unknown";
    return "other";
}

// seconds since 1970 as "2026-12-09T10:00:03Z"; empty for 0 (unknown) or a time gmtime refuses.
std::string IsoTime(std::int64_t seconds)
{
    const auto time = static_cast<std::time_t>(seconds);
    std::tm parts{};
    char text[64];
    if (seconds == 0 || !gmtime_r(&time, &parts) || std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts) == 0)
        return {};
    return text;
}

std::optional<bool> HoldsWatchdog(const Facts& facts)
{
    if (facts.program.state != platform::LockHolder::State::Held)
        return facts.program.state == platform::LockHolder::State::Free ? std::optional<bool>(false) : std::nullopt;
    const auto& report = facts.report;
    if (facts.program.pid == 0 || !report)
        return std::nullopt;
    if (!report->present || report->running == 0)
        return false;
    if (report->holderPid != 0)
        return report->holderPid == facts.program.pid;
    // Running, and nobody this process can see holds it: another user's process may.
    return std::nullopt;
}

void Wrong(Facts& facts, std::string problem)
{
    facts.wrong = true;
    facts.problems.push_back(std::move(problem));
}

std::string Countdown(const TlAcpiWatchdogReport& report)
{
    if (report.timeLeft >= 0)
        return "the machine restarts in " + std::to_string(report.timeLeft) + " s";
    if (report.timeout >= 0)
        return "the machine restarts within " + std::to_string(report.timeout) + " s";
    return "the machine restarts soon";
}

// Stored off is as it should be; stored on needs a running copy of the program and a running
// watchdog. A missing device, firmware library or store is wrong either way.
void Judge(Facts& facts)
{
    const auto& report = facts.report;
    if (!report)
        Wrong(facts, facts.libraryError.empty() ? "the firmware library does not tell what the watchdog knows"
                                                : "the firmware library cannot be loaded: " + facts.libraryError);
    else if (!report->present)
        Wrong(facts, report->problem[0] ? std::string(report->problem) : "no watchdog at " + std::string(report->path));
    else if (report->problem[0])
        facts.problems.emplace_back(report->problem);
    if (!facts.stored.readable)
        Wrong(facts, "the settings cannot be read: " + facts.stored.error);
    if (!facts.stored.on && report && report->running == 1 && report->holder[0] == '\0'
        && facts.program.state == platform::LockHolder::State::Free)
        // Told, not judged: the holder may be another user's process that this one cannot see.
        facts.problems.push_back("the countdown runs and no program that holds the watchdog was found: "
                                 + Countdown(*report));
    if (!facts.stored.on || !report || !report->present)
        return;
    const bool runs = report->running == 1 || (report->running == TLACPI_UNKNOWN && facts.holdsWatchdog == true);
    switch (facts.program.state) {
    case platform::LockHolder::State::Unknown:
        Wrong(facts, "cannot tell whether a copy of the program runs: " + facts.program.error);
        break;
    case platform::LockHolder::State::Free:
        Wrong(facts, runs ? "the countdown runs with nobody to kick it: " + Countdown(*report)
                          : "stored on, but no copy of the program runs to kick the watchdog");
        break;
    case platform::LockHolder::State::Held:
        if (!runs)
            Wrong(facts, "stored on, but the watchdog does not run");
        break;
    }
}

Facts Gather()
{
    Facts facts;
    facts.report = tolv::ReadWatchdogReport();
    if (!facts.report)
        facts.libraryError = tolv::LastFirmwareError();
    facts.program = platform::FindInstanceLockHolder("TOLV_WATCHDOG_TIMER");
    facts.holdsWatchdog = HoldsWatchdog(facts);
    facts.stored = ReadStoredSettings();
    Judge(facts);
    return facts;
}

// Control characters would break the one line a fact has.
std::string OneLine(std::string_view text)
{
    std::string line(text);
    for (char& c : line) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = ' ';
    }
    return line;
}

std::string Words(std::optional<bool> value, const char* yes, const char* no)
{
    return value ? (*value ? yes : no) : "unknown";
}

std::string Seconds(std::int32_t value)
{
    return value >= 0 ? std::to_string(value) + " s" : "unknown";
}

std::string ProgramText(const Facts& facts)
{
    switch (facts.program.state) {
    case platform::LockHolder::State::Free:
        return "does not run";
    case platform::LockHolder::State::Held:
        return facts.program.pid ? "runs (process " + std::to_string(facts.program.pid) + ")"
                                 : "runs (outside this process's view)";
    case platform::LockHolder::State::Unknown:
        break;
    }
    return "unknown (" + OneLine(facts.program.error) + ")";
}

std::string StoredText(const StoredSettings& stored)
{
    if (!stored.readable)
        return "cannot be read (" + OneLine(stored.error) + ")";
    std::string text = stored.on ? "on" : "off";
    if (stored.restart)
        text += ", restart countdown " + std::to_string(*stored.restart) + " s";
    if (stored.reload)
        text += ", reload period " + std::to_string(*stored.reload) + " s";
    return text;
}

std::string RestartText(const std::optional<TlAcpiWatchdogReport>& report)
{
    const std::string cause = RestartCause(report);
    if (cause != "watchdog")
        return cause == "other" ? "not by the watchdog" : "unknown";
    const std::string at = IsoTime(report->restartAt);
    return at.empty() ? "by the watchdog" : "by the watchdog, its countdown ran out at " + at;
}

void PrintText(const Facts& facts, std::ostream& out)
{
    std::vector<std::pair<std::string, std::string>> lines;
    if (const auto& r = facts.report) {
        std::string options;
        for (const std::string& word : OptionWords(r->options))
            options += (options.empty() ? "" : " ") + word;
        lines = {
            {"Device", OneLine(r->path) + (r->present ? " (present)" : " (missing)")},
            {"Identity", r->identity[0] ? OneLine(r->identity) : "unknown"},
            {"Firmware version", std::to_string(r->firmwareVersion)},
            {"Options", options.empty() ? "none known" : options},
            {"Watchdog", Words(Flag(r->running), "runs", "stopped")},
            {"Countdown", Seconds(r->timeout)},
            {"Time left", Seconds(r->timeLeft)},
            {"Nowayout", Words(Flag(r->noWayOut), "yes", "no")},
            {"Held by", r->holder[0] ? OneLine(r->holder) : "no other program found"},
        };
    } else {
        lines = {{"Device", "unknown (no firmware library)"}};
    }
    lines.insert(lines.end(), {
        {"Last restart", RestartText(facts.report)},
        {"Program", ProgramText(facts)},
        {"Program holds it", Words(facts.holdsWatchdog, "yes", "no")},
        {"Stored settings", StoredText(facts.stored)},
        {"State", facts.wrong ? "wrong" : "ok"},
    });
    for (const std::string& problem : facts.problems)
        lines.emplace_back("Problem", OneLine(problem));
    std::size_t width = 0;
    for (const auto& line : lines)
        width = std::max(width, line.first.size());
    for (const auto& [label, value] : lines)
        out << label << ':' << std::string(width - label.size() + 1, ' ') << value << '\n';
}

// The length of the well-formed UTF-8 sequence at the start of text, or 0.
std::size_t Utf8Length(std::string_view text)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
        code = lead & 0x1f;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        code = lead & 0x0f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        code = lead & 0x07;
    }
    if (length == 0 || text.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xc0) != 0x80)
            return 0;
        code = (code << 6) | (byte(i) & 0x3f);
    }
    // Overlong forms, surrogates and values beyond Unicode are not UTF-8.
    static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[length] || (code >= 0xd800 && code <= 0xdfff) || code > 0x10ffff)
        return 0;
    return length;
}

std::string JsonText(std::string_view text)
{
    return text.empty() ? "null" : JsonString(text);
}

std::string JsonFlag(std::optional<bool> value)
{
    return value ? (*value ? "true" : "false") : "null";
}

template <typename T>
std::string JsonNumber(std::optional<T> value)
{
    return value ? std::to_string(*value) : "null";
}

void PrintDeviceJson(const std::optional<TlAcpiWatchdogReport>& r, std::ostream& out)
{
    if (!r) {
        out << R"({"path":null,"present":null,"identity":null,"firmware_version":null,"options":[],)"
            << R"("running":null,"timeout":null,"time_left":null,"nowayout":null,"holder":null,)"
            << R"("holder_pid":null,"problem":null})";
        return;
    }
    std::string options;
    for (const std::string& word : OptionWords(r->options))
        options += (options.empty() ? "" : ",") + JsonString(word);
    out << "{\"path\":" << JsonText(r->path) << ",\"present\":" << JsonFlag(r->present != 0)
        << ",\"identity\":" << JsonText(r->identity) << ",\"firmware_version\":" << r->firmwareVersion
        << ",\"options\":[" << options << "],\"running\":" << JsonFlag(Flag(r->running))
        << ",\"timeout\":" << JsonNumber(Number(r->timeout)) << ",\"time_left\":" << JsonNumber(Number(r->timeLeft))
        << ",\"nowayout\":" << JsonFlag(Flag(r->noWayOut)) << ",\"holder\":" << JsonText(r->holder)
        << ",\"holder_pid\":" << JsonNumber(r->holderPid > 0 ? std::optional(r->holderPid) : std::nullopt)
        << ",\"problem\":" << JsonText(r->problem) << '}';
}

void PrintJson(const Facts& facts, std::ostream& out)
{
    const auto& r = facts.report;
    const bool held = facts.program.state == platform::LockHolder::State::Held;
    const bool free = facts.program.state == platform::LockHolder::State::Free;
    const auto& stored = facts.stored;
    out << "{\"device\":";
    PrintDeviceJson(r, out);
    out << ",\"last_restart\":{\"cause\":" << JsonString(RestartCause(r))
        << ",\"at\":" << JsonText(r ? IsoTime(r->restartAt) : "") << ",\"id\":" << JsonText(r ? r->restartId : "")
        << "},\"program\":{\"running\":" << JsonFlag(held || free ? std::optional(held) : std::nullopt)
        << ",\"pid\":" << JsonNumber(held && facts.program.pid ? std::optional(facts.program.pid) : std::nullopt)
        << ",\"holds_watchdog\":" << JsonFlag(facts.holdsWatchdog)
        << "},\"stored\":{\"readable\":" << JsonFlag(stored.readable)
        << ",\"on\":" << JsonFlag(stored.readable ? std::optional(stored.on) : std::nullopt)
        << ",\"restart\":" << JsonNumber(stored.restart) << ",\"reload\":" << JsonNumber(stored.reload)
        << ",\"error\":" << JsonText(stored.error) << "},\"state\":" << JsonString(facts.wrong ? "wrong" : "ok")
        << ",\"problems\":[";
    for (std::size_t i = 0; i < facts.problems.size(); ++i)
        out << (i ? "," : "") << JsonString(facts.problems[i]);
    out << "]}\n";
}

} // namespace

std::string JsonString(std::string_view text)
{
    std::string json = "\"";
    while (!text.empty()) {
        const auto c = static_cast<unsigned char>(text.front());
        std::size_t used = 1;
        if (c == '"' || c == '\\') {
            json += '\\';
            json += static_cast<char>(c);
        } else if (c == '\n') {
            json += "\\n";
        } else if (c == '\t') {
            json += "\\t";
        } else if (c < 0x20 || c == 0x7f) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            json += escape;
        } else if (c < 0x80) {
            json += static_cast<char>(c);
        } else if ((used = Utf8Length(text)) != 0) {
            json.append(text.substr(0, used));
        } else {
            used = 1;
            json += "\\ufffd"; // a byte that is no UTF-8
        }
        text.remove_prefix(used);
    }
    return json + '"';
}

int PrintStatus(bool json, std::ostream& out)
{
    const Facts facts = Gather();
    if (json)
        PrintJson(facts, out);
    else
        PrintText(facts, out);
    return facts.wrong ? 1 : 0;
}

} // namespace readout
