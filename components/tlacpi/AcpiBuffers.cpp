#include "AcpiBuffers.h"

#include <cstddef>
#include <cstring>

namespace tlacpi {

namespace {

struct Header {
    std::uint32_t magic;
    std::uint32_t count;
};

struct Entry {
    std::uint32_t data;
    std::uint32_t last;
};

bool ReadHeader(const void* buffer, Header& header)
{
    if (!buffer)
        return false;
    std::memcpy(&header, buffer, sizeof header);
    return header.magic == ListMagic || header.magic == DescriptionMagic;
}

} // namespace

bool FillBuffer(void* buffer, std::uint32_t* size, std::uint32_t magic,
                const std::vector<std::uint32_t>& words)
{
    if (!buffer || !size)
        return false;
    const std::uint64_t needed = sizeof(Header) + std::uint64_t(words.size()) * sizeof(Entry);
    if (needed > *size)
        return false;
    auto* bytes = static_cast<unsigned char*>(buffer);
    const Header header{magic, static_cast<std::uint32_t>(words.size())};
    std::memcpy(bytes, &header, sizeof header);
    bytes += sizeof header;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const Entry entry{words[i], i + 1 == words.size() ? 1u : 0u};
        std::memcpy(bytes, &entry, sizeof entry);
        bytes += sizeof entry;
    }
    *size = static_cast<std::uint32_t>(needed);
    return true;
}

Handle FirstEntry(const void* buffer)
{
    Header header;
    if (!ReadHeader(buffer, header) || header.count == 0)
        return 0;
    return reinterpret_cast<Handle>(static_cast<const unsigned char*>(buffer) + sizeof(Header));
}

std::int32_t EntryCount(const void* buffer)
{
    Header header;
    if (!ReadHeader(buffer, header) || header.magic != ListMagic)
        return 0;
    return static_cast<std::int32_t>(header.count);
}

void* EntryData(Handle entry)
{
    return entry ? reinterpret_cast<void*>(entry + offsetof(Entry, data)) : nullptr;
}

Handle NextEntry(Handle entry)
{
    if (!entry)
        return 0;
    Entry current;
    std::memcpy(&current, reinterpret_cast<const void*>(entry), sizeof current);
    return current.last ? 0 : entry + sizeof(Entry);
}

} // namespace tlacpi
