// Splits arbitrary argument text, then checks that quoting every argument and splitting again
// gives the same arguments back.
#include "system/autostart.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> words = SplitCommandLine(text);
    std::string joined;
    for (const std::string& word : words)
        joined += ' ' + QuoteCommandLineArgument(word);
    if (SplitCommandLine(joined) != words)
        std::abort();
    return 0;
}
