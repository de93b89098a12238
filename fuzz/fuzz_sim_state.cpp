// The simulated firmware's state file as the monitor reads it, and the library's buffer walk.
#include "../components/tlacpi/AcpiBuffers.h"
#include "../components/tlacpi/SimState.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto state = tlacpi::ParseSimState(text)) {
        const auto again = tlacpi::ParseSimState(tlacpi::FormatSimState(*state));
        if (!again || again->armed != state->armed || again->timeout != state->timeout
            || again->writtenMs != state->writtenMs || again->writes != state->writes)
            std::abort();
    }

    // Words from the input into a buffer of an input-chosen size; the walk must stay inside.
    std::vector<std::uint32_t> words(size / 4);
    if (!words.empty())
        std::memcpy(words.data(), data, words.size() * 4);
    std::uint32_t bufferSize = size ? data[0] : 0;
    std::vector<unsigned char> storage(bufferSize ? bufferSize : 1);  // exact size: ASan sees overruns
    unsigned char* buffer = storage.data();
    if (tlacpi::FillBuffer(buffer, &bufferSize, tlacpi::ListMagic, words)) {
        std::int32_t seen = 0;
        for (auto entry = tlacpi::FirstEntry(buffer); entry; entry = tlacpi::NextEntry(entry))
            if (++seen > tlacpi::EntryCount(buffer))
                std::abort();
        if (seen != tlacpi::EntryCount(buffer))
            std::abort();
    }
    return 0;
}
