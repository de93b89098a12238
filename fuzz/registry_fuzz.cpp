// Parses arbitrary key file text, rewrites it with one more value, and checks that the rewrite
// is stable and loses nothing: every value reads back the same, and every line the parser could
// not take as a value comes back verbatim.
#include "platform/RegistryFormat.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace platform::regfile;

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    RegDocument document = ParseRegText(text);
    SetValue(document, RegValue{"LAST_STATE", 4, {15, 0, 0, 0}});
    std::string once = FormatRegText(document, "HKEY_LOCAL_MACHINE\\Software\\TOLV\\TOLV Watchdog Timer");

    RegDocument reread = ParseRegText(once);
    const RegValue* written = FindValue(reread, "LAST_STATE");
    Check(written && *written == (RegValue{"LAST_STATE", 4, {15, 0, 0, 0}}));
    for (const RegLine& line : document.lines) {
        if (line.value) {
            const RegValue* found = FindValue(reread, line.value->name);
            Check(found && *found == *FindValue(document, line.value->name));
        } else {
            Check(once.find(line.text) != std::string::npos);
        }
    }
    Check(FormatRegText(reread, "HKEY_LOCAL_MACHINE\\Other") == once);
    return 0;
}
