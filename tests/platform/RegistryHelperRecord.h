#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// Self-checking records that the churning writer stores: the sequence number, then a run of
// bytes whose length and content follow from it. A torn or mixed file cannot pass the check.
namespace registrytest {

inline std::uint8_t RecordByte(std::uint32_t sequence, std::uint32_t index)
{
    return static_cast<std::uint8_t>(sequence * 31 + index * 7 + 1);
}

inline std::vector<std::uint8_t> MakeRecord(std::uint32_t sequence)
{
    std::vector<std::uint8_t> record;
    for (int i = 0; i < 4; ++i)
        record.push_back(static_cast<std::uint8_t>(sequence >> (8 * i)));
    std::uint32_t length = 100 + (sequence * 37) % 900;
    for (std::uint32_t i = 0; i < length; ++i)
        record.push_back(RecordByte(sequence, i));
    return record;
}

// The sequence number of a well-formed record.
inline std::optional<std::uint32_t> CheckRecord(const std::vector<std::uint8_t>& record)
{
    if (record.size() < 4)
        return std::nullopt;
    std::uint32_t sequence = record[0] | record[1] << 8 | record[2] << 16 | static_cast<std::uint32_t>(record[3]) << 24;
    if (record != MakeRecord(sequence))
        return std::nullopt;
    return sequence;
}

} // namespace registrytest
