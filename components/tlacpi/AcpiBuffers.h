#pragma once

#include <cstdint>
#include <vector>

// The layout of the buffers the firmware library fills for its caller. A buffer starts with a
// header (magic word, entry count) followed by entries of two 32-bit words: the entry's data
// and a flag that marks the last entry. An entry handle is the entry's address; the data
// pointer of an entry points at its data word. An item list holds one entry per item
// identifier; an item description starts with the identifier, followed by its access flags.
namespace tlacpi {

using Handle = std::uintptr_t;

inline constexpr std::uint32_t ListMagic = 0x4c4c5754;        // "TWLL"
inline constexpr std::uint32_t DescriptionMagic = 0x44445754; // "TWDD"

// Access flags in an item description.
inline constexpr std::uint32_t AccessRead = 1;
inline constexpr std::uint32_t AccessWrite = 2;

// Fills buffer (of *size bytes) with the words as entries. On success *size becomes the number
// of bytes used; a null or too small buffer is left untouched and answers false.
bool FillBuffer(void* buffer, std::uint32_t* size, std::uint32_t magic,
                const std::vector<std::uint32_t>& words);

// The first entry of a filled list or description; 0 for an empty or unknown buffer.
Handle FirstEntry(const void* buffer);
// The number of entries of a filled list; 0 for an unknown buffer.
std::int32_t EntryCount(const void* buffer);
// The data of an entry; null for handle 0.
void* EntryData(Handle entry);
// The entry after this one; 0 after the last entry and for handle 0.
Handle NextEntry(Handle entry);

} // namespace tlacpi
