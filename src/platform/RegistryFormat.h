#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The text of one registry key file, in .reg syntax:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_LOCAL_MACHINE\Software\TOLV\TOLV Watchdog Timer]
//   "LAST_STATE"=dword:0000000f
//   "Name"="text with \"quotes\" and \\ backslashes"
//   "Bin"=hex:01,02
//   @=hex(1):61,0a,62,00
//
// Strings are written in quotes only when they hold printable text and one terminating NUL;
// any other REG_SZ data (newlines, control bytes, no terminator, inner NULs) is written as
// hex(1) so that it comes back byte for byte. Types other than REG_SZ, REG_BINARY and a 4-byte
// REG_DWORD are written as hex(N). Long hex values may continue on indented lines after a
// trailing backslash, as exported files do.
//
// Parsing never fails: a line that is not a well-formed value (bad syntax, NULs, binary
// garbage) is kept verbatim and reads as no value; a rewritten file carries such lines
// unchanged, so a write never destroys what it could not read. Of several lines with one value
// name the last one counts; value names compare without regard to ASCII case.
namespace platform::regfile {

struct RegValue {
    std::string name;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    bool operator==(const RegValue&) const = default;
};

// One logical line: a parsed value, or the verbatim text of anything else (headers, comments,
// blank and damaged lines). Verbatim text holds no final newline and may span physical lines.
struct RegLine {
    std::optional<RegValue> value;
    std::string text;
};

struct RegDocument {
    std::vector<RegLine> lines;
};

RegDocument ParseRegText(std::string_view text);

// The file text of a document for the key keyName (e.g. "HKEY_LOCAL_MACHINE\Software").
// A document without a version or key header line gets both in front.
std::string FormatRegText(const RegDocument& document, std::string_view keyName);

// The line of one value, without a newline.
std::string FormatValueLine(const RegValue& value);

// The value that counts for name, or null.
const RegValue* FindValue(const RegDocument& document, std::string_view name);

// Rewrites every well-formed line of that name with the value, or appends one. Verbatim lines
// are never touched.
void SetValue(RegDocument& document, RegValue value);

// A value name the file can hold: no control characters.
bool IsValidValueName(std::string_view name);

} // namespace platform::regfile
