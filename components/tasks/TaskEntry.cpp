#include "TaskEntry.h"

#include "platform/Paths.h"


namespace tasks {

namespace {

// File names are at most 255 bytes; ".desktop" takes 8 of them.
constexpr std::size_t kMaxFileNameLength = 255 - 8;

void AppendUtf8(std::string& out, char32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

bool NeedsExecQuoting(std::string_view argument)
{
    if (argument.empty())
        return true;
    return argument.find_first_of(" \t\n\"'\\><~|&;$*?#()`") != std::string_view::npos;
}

std::string UnescapeStringValue(std::string_view value)
{
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        switch (value[++i]) {
        case 's': out += ' '; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case '\\': out += '\\'; break;
        default: // not an escape of string values; kept for the Exec quoting to read
            out += '\\';
            out += value[i];
            break;
        }
    }
    return out;
}

} // namespace

std::optional<std::string> Utf16ToUtf8(const char16_t* text)
{
    if (!text)
        return std::nullopt;
    std::string out;
    for (const char16_t* c = text; *c; ++c) {
        char32_t code = *c;
        if (code >= 0xD800 && code <= 0xDBFF) {
            const char32_t low = c[1];
            if (low < 0xDC00 || low > 0xDFFF)
                return std::nullopt;
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            ++c;
        } else if (code >= 0xDC00 && code <= 0xDFFF) {
            return std::nullopt;
        }
        AppendUtf8(out, code);
    }
    return out;
}

std::optional<std::string> TaskFileName(std::string_view taskName)
{
    if (taskName.empty() || taskName.size() > kMaxFileNameLength)
        return std::nullopt;
    std::string name;
    bool onlyDots = true;
    for (const char c : taskName) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || byte < 0x20 || byte == 0x7F)
            return std::nullopt;
        if (c != '.')
            onlyDots = false;
        name += c == ' ' ? '-' : c;
    }
    if (onlyDots)
        return std::nullopt;
    return name;
}

std::optional<std::filesystem::path> TaskEntryPath(std::string_view taskName)
{
    const std::optional<std::string> name = TaskFileName(taskName);
    if (!name)
        return std::nullopt;
    return platform::AutostartFolder() / (*name + ".desktop");
}

std::string QuoteExecArgument(std::string_view argument)
{
    std::string out;
    const bool quote = NeedsExecQuoting(argument);
    if (quote)
        out += '"';
    for (const char c : argument) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\'))
            out += '\\';
        if (c == '%')
            out += '%'; // a literal percent sign, not a field code
        out += c;
    }
    if (quote)
        out += '"';
    return out;
}

std::string EscapeStringValue(std::string_view value)
{
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        case ' ':
            // Readers drop blanks after the '='; a leading one must be escaped to survive.
            out += i == 0 ? "\\s" : " ";
            break;
        default: out += c; break;
        }
    }
    return out;
}

std::string BuildDesktopEntry(std::string_view taskName, std::string_view program,
                              const std::vector<std::string>& arguments)
{
    // The program is always quoted, whatever it contains.
    std::string exec = "\"";
    for (const char c : program) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            exec += '\\';
        if (c == '%')
            exec += '%';
        exec += c;
    }
    exec += '"';
    for (const std::string& argument : arguments)
        exec += ' ' + QuoteExecArgument(argument);

    std::string text = "[Desktop Entry]\n"
                       "Type=Application\n";
    text += "Name=" + EscapeStringValue(taskName) + "\n";
    text += "Exec=" + EscapeStringValue(exec) + "\n";
    text += "X-GNOME-Autostart-enabled=true\n"
            "NoDisplay=true\n";
    return text;
}

std::optional<std::string> ReadEntryValue(std::string_view entryText, std::string_view key)
{
    bool inMainGroup = false;
    std::size_t start = 0;
    while (start < entryText.size()) {
        std::size_t end = entryText.find('\n', start);
        if (end == std::string_view::npos)
            end = entryText.size();
        std::string_view line = entryText.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() == '#')
            continue;
        if (line.front() == '[') {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup || line.substr(0, key.size()) != key)
            continue;
        std::string_view rest = line.substr(key.size());
        while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t'))
            rest.remove_prefix(1);
        if (rest.empty() || rest.front() != '=')
            continue;
        rest.remove_prefix(1);
        while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t'))
            rest.remove_prefix(1);
        return UnescapeStringValue(rest);
    }
    return std::nullopt;
}

std::optional<std::vector<std::string>> ParseExecValue(std::string_view exec)
{
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (c == '%') {
            if (i + 1 < exec.size() && exec[i + 1] == '%') {
                current += '%';
                inArgument = true;
                ++i;
                continue;
            }
            return std::nullopt;
        }
        if (quoted) {
            if (c == '"') {
                quoted = false;
            } else if (c == '\\') {
                if (i + 1 == exec.size())
                    return std::nullopt;
                const char next = exec[++i];
                if (next != '"' && next != '`' && next != '$' && next != '\\')
                    return std::nullopt;
                current += next;
            } else {
                current += c;
            }
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\n') {
            if (inArgument) {
                arguments.push_back(std::move(current));
                current.clear();
                inArgument = false;
            }
            continue;
        }
        inArgument = true;
        if (c == '"')
            quoted = true;
        else
            current += c;
    }
    if (quoted)
        return std::nullopt;
    if (inArgument)
        arguments.push_back(std::move(current));
    return arguments;
}

} // namespace tasks
