#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// An autostart task is an XDG autostart entry: <autostart folder>/<file name>.desktop, started
// by the session at log-on. These helpers are shared by the probe library and the enrolment
// tool.
namespace tasks {

// UTF-16 (zero-terminated) to UTF-8; empty when the text is not valid UTF-16 (lone surrogates).
std::optional<std::string> Utf16ToUtf8(const char16_t* text);

// The entry's file name without ".desktop": blanks become '-'. Empty when the task name cannot
// name a file: empty, containing '/', a control character or only dots, or too long.
std::optional<std::string> TaskFileName(std::string_view taskName);

// <autostart folder>/<file name>.desktop, or empty for a task name that cannot name a file.
std::optional<std::filesystem::path> TaskEntryPath(std::string_view taskName);

// One argument of an Exec line, quoted when it needs to be: double quotes around it, with '"',
// '`', '$' and '\' escaped by a backslash; '%' is doubled in every case. The result is the
// value before the string escaping of the file (see EscapeStringValue).
std::string QuoteExecArgument(std::string_view argument);

// The escaping of string values in desktop files: '\' as "\\", newline, tab and carriage
// return as "\n", "\t", "\r".
std::string EscapeStringValue(std::string_view value);

// The text of the entry that starts `program` with `arguments` at log-on.
std::string BuildDesktopEntry(std::string_view taskName, std::string_view program,
                              const std::vector<std::string>& arguments);

// Reads back the value of `key` in the [Desktop Entry] group, string escapes undone; empty when
// the key is missing.
std::optional<std::string> ReadEntryValue(std::string_view entryText, std::string_view key);

// Splits an Exec value (string escapes already undone) into its arguments; empty when it is
// malformed (an unterminated quote, a bad escape or a stray field code).
std::optional<std::vector<std::string>> ParseExecValue(std::string_view exec);

} // namespace tasks
