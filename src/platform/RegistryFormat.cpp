#include "platform/RegistryFormat.h"

#include <cstdio>

namespace platform::regfile {

namespace {

constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;

constexpr std::string_view kVersionLine = "Windows Registry Editor Version 5.00";
constexpr std::string_view kOldVersionLine = "REGEDIT4";

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    return true;
}

// A cursor over one logical line; every Take* answers false without consuming on a mismatch
// of its first character.
class Cursor {
public:
    explicit Cursor(std::string_view text) : m_text(text) {}

    bool AtEnd() const { return m_pos >= m_text.size(); }
    char Peek() const { return AtEnd() ? '\0' : m_text[m_pos]; }

    bool Take(char c)
    {
        if (AtEnd() || m_text[m_pos] != c)
            return false;
        ++m_pos;
        return true;
    }

    bool Take(std::string_view word)
    {
        if (m_text.substr(m_pos, word.size()) != word)
            return false;
        m_pos += word.size();
        return true;
    }

    void SkipBlanks()
    {
        while (!AtEnd() && IsBlank(m_text[m_pos]))
            ++m_pos;
    }

    // Skips blanks and "\" line continuations (a backslash, a newline, then the indent).
    void SkipBlanksAndContinuations()
    {
        for (;;) {
            SkipBlanks();
            std::size_t at = m_pos;
            if (!Take('\\'))
                return;
            Take('\r');
            if (!Take('\n')) {
                m_pos = at;
                return;
            }
        }
    }

    // A quoted string with \\ and \" escapes; control characters are not allowed inside.
    bool TakeQuoted(std::string& out)
    {
        if (!Take('"'))
            return false;
        while (!AtEnd()) {
            char c = m_text[m_pos++];
            if (c == '"')
                return true;
            if (c == '\\') {
                if (AtEnd())
                    return false;
                char escaped = m_text[m_pos++];
                if (escaped != '\\' && escaped != '"')
                    return false;
                out += escaped;
                continue;
            }
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t')
                return false;
            out += c;
        }
        return false;
    }

    // 1 to maxDigits hex digits.
    bool TakeHexNumber(std::uint32_t& out, int maxDigits)
    {
        int digits = 0;
        out = 0;
        while (!AtEnd() && HexDigit(m_text[m_pos]) >= 0) {
            if (++digits > maxDigits)
                return false;
            out = out * 16 + static_cast<std::uint32_t>(HexDigit(m_text[m_pos++]));
        }
        return digits > 0;
    }

    // A comma-separated list of one- or two-digit hex bytes, possibly empty.
    bool TakeHexBytes(std::vector<std::uint8_t>& out)
    {
        SkipBlanksAndContinuations();
        if (AtEnd())
            return true;
        for (;;) {
            std::uint32_t byte = 0;
            if (!TakeHexNumber(byte, 2))
                return false;
            out.push_back(static_cast<std::uint8_t>(byte));
            SkipBlanksAndContinuations();
            if (AtEnd())
                return true;
            if (!Take(','))
                return false;
            SkipBlanksAndContinuations();
        }
    }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
};

std::optional<RegValue> ParseValueLine(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    Cursor cursor(line);
    RegValue value;
    if (!cursor.Take('@') && !cursor.TakeQuoted(value.name))
        return std::nullopt;
    if (!cursor.Take('='))
        return std::nullopt;

    if (cursor.Peek() == '"') {
        std::string text;
        if (!cursor.TakeQuoted(text))
            return std::nullopt;
        value.type = kRegSz;
        value.data.assign(text.begin(), text.end());
        value.data.push_back(0);
    } else if (cursor.Take("dword:")) {
        std::uint32_t number = 0;
        if (!cursor.TakeHexNumber(number, 8))
            return std::nullopt;
        value.type = kRegDword;
        for (int i = 0; i < 4; ++i)
            value.data.push_back(static_cast<std::uint8_t>(number >> (8 * i)));
    } else if (cursor.Take("hex")) {
        value.type = kRegBinary;
        if (cursor.Take('(')) {
            if (!cursor.TakeHexNumber(value.type, 8) || !cursor.Take(')'))
                return std::nullopt;
        }
        if (!cursor.Take(':') || !cursor.TakeHexBytes(value.data))
            return std::nullopt;
    } else {
        return std::nullopt;
    }
    cursor.SkipBlanks();
    if (!cursor.AtEnd())
        return std::nullopt;
    return value;
}

bool EndsWithBackslash(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return !line.empty() && line.back() == '\\';
}

std::string_view WithoutBom(std::string_view line)
{
    constexpr std::string_view bom = "\xEF\xBB\xBF";
    if (line.substr(0, bom.size()) == bom)
        line.remove_prefix(bom.size());
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

bool IsHeaderLine(std::string_view line)
{
    line = WithoutBom(line);
    return line == kVersionLine || line == kOldVersionLine || (!line.empty() && line.front() == '[');
}

bool IsPlainText(const std::vector<std::uint8_t>& data)
{
    if (data.empty() || data.back() != 0)
        return false;
    for (std::size_t i = 0; i + 1 < data.size(); ++i)
        if (data[i] < 0x20 || data[i] == 0x7F)
            return false;
    return true;
}

void AppendQuoted(std::string& out, std::string_view text)
{
    out += '"';
    for (char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    out += '"';
}

void AppendHex(std::string& out, const std::vector<std::uint8_t>& data)
{
    static const char digits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (i)
            out += ',';
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
}

} // namespace

RegDocument ParseRegText(std::string_view text)
{
    RegDocument document;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
        std::string_view line = text.substr(pos, (end == std::string_view::npos ? text.size() : end) - pos);
        // A trailing backslash continues the line when the next line is indented, as exported
        // hex values are; our own value lines never start with a blank, so they are never
        // swallowed by a damaged line before them.
        while (EndsWithBackslash(line) && next < text.size() && IsBlank(text[next])) {
            end = text.find('\n', next);
            next = end == std::string_view::npos ? text.size() : end + 1;
            line = text.substr(pos, (end == std::string_view::npos ? text.size() : end) - pos);
        }
        RegLine entry;
        entry.value = ParseValueLine(line);
        if (!entry.value)
            entry.text = std::string(line);
        document.lines.push_back(std::move(entry));
        pos = next;
    }
    return document;
}

std::string FormatValueLine(const RegValue& value)
{
    std::string line;
    if (value.name.empty())
        line += '@';
    else
        AppendQuoted(line, value.name);
    line += '=';
    if (value.type == kRegSz && IsPlainText(value.data)) {
        AppendQuoted(line, std::string_view(reinterpret_cast<const char*>(value.data.data()), value.data.size() - 1));
    } else if (value.type == kRegDword && value.data.size() == 4) {
        std::uint32_t number = value.data[0] | value.data[1] << 8 | value.data[2] << 16
            | static_cast<std::uint32_t>(value.data[3]) << 24;
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "dword:%08x", number);
        line += buffer;
    } else {
        if (value.type == kRegBinary) {
            line += "hex:";
        } else {
            char buffer[24];
            std::snprintf(buffer, sizeof buffer, "hex(%x):", value.type);
            line += buffer;
        }
        AppendHex(line, value.data);
    }
    return line;
}

std::string FormatRegText(const RegDocument& document, std::string_view keyName)
{
    std::string out;
    bool hasHeader = false;
    for (const RegLine& line : document.lines)
        hasHeader = hasHeader || (!line.value && IsHeaderLine(line.text));
    if (!hasHeader) {
        out += kVersionLine;
        out += "\n\n[";
        out += keyName;
        out += "]\n";
    }
    for (const RegLine& line : document.lines) {
        out += line.value ? FormatValueLine(*line.value) : line.text;
        out += '\n';
    }
    return out;
}

const RegValue* FindValue(const RegDocument& document, std::string_view name)
{
    for (auto it = document.lines.rbegin(); it != document.lines.rend(); ++it)
        if (it->value && SameName(it->value->name, name))
            return &*it->value;
    return nullptr;
}

void SetValue(RegDocument& document, RegValue value)
{
    // Duplicates are rewritten, not removed: dropping a line could join a damaged line ending
    // in a backslash with the line after it and so turn damage into a value.
    bool found = false;
    for (RegLine& line : document.lines) {
        if (line.value && SameName(line.value->name, value.name)) {
            line.value = value;
            found = true;
        }
    }
    if (!found)
        document.lines.push_back(RegLine{std::move(value), {}});
}

bool IsValidValueName(std::string_view name)
{
    for (char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return false;
    return true;
}

} // namespace platform::regfile
