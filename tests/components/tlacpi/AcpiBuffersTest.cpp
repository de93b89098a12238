#include "AcpiBuffers.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using namespace tlacpi;

std::uint32_t DataOf(Handle entry)
{
    std::uint32_t word;
    std::memcpy(&word, EntryData(entry), sizeof word);
    return word;
}

TEST(AcpiBuffers, ListEntriesAreWalkedInOrderAndEndAfterTheLast)
{
    alignas(8) unsigned char buffer[64];
    std::uint32_t size = sizeof buffer;
    ASSERT_TRUE(FillBuffer(buffer, &size, ListMagic, {7, 8, 9}));
    EXPECT_EQ(size, 8u + 3 * 8);
    EXPECT_EQ(EntryCount(buffer), 3);
    Handle entry = FirstEntry(buffer);
    EXPECT_EQ(DataOf(entry), 7u);
    entry = NextEntry(entry);
    EXPECT_EQ(DataOf(entry), 8u);
    entry = NextEntry(entry);
    EXPECT_EQ(DataOf(entry), 9u);
    EXPECT_EQ(NextEntry(entry), 0u);
}

TEST(AcpiBuffers, TooSmallBufferIsRefusedAndLeftUntouched)
{
    unsigned char buffer[32];
    std::memset(buffer, 0xAB, sizeof buffer);
    std::uint32_t size = 8 + 3 * 8 - 1;
    EXPECT_FALSE(FillBuffer(buffer, &size, ListMagic, {1, 2, 3}));
    EXPECT_EQ(size, 8u + 3 * 8 - 1);
    for (unsigned char byte : buffer)
        ASSERT_EQ(byte, 0xAB);
    EXPECT_FALSE(FillBuffer(nullptr, &size, ListMagic, {1}));
    EXPECT_FALSE(FillBuffer(buffer, nullptr, ListMagic, {1}));
}

TEST(AcpiBuffers, ExactlyFittingBufferIsFilled)
{
    unsigned char buffer[16];
    std::uint32_t size = sizeof buffer;
    EXPECT_TRUE(FillBuffer(buffer, &size, DescriptionMagic, {0x11060007}));
    EXPECT_EQ(DataOf(FirstEntry(buffer)), 0x11060007u);
}

TEST(AcpiBuffers, EmptyListHasNoFirstEntry)
{
    unsigned char buffer[16];
    std::uint32_t size = sizeof buffer;
    ASSERT_TRUE(FillBuffer(buffer, &size, ListMagic, {}));
    EXPECT_EQ(EntryCount(buffer), 0);
    EXPECT_EQ(FirstEntry(buffer), 0u);
}

TEST(AcpiBuffers, UnknownBuffersAndNullHandlesAnswerNothing)
{
    unsigned char buffer[16] = {};
    EXPECT_EQ(FirstEntry(buffer), 0u);
    EXPECT_EQ(EntryCount(buffer), 0);
    EXPECT_EQ(FirstEntry(nullptr), 0u);
    EXPECT_EQ(EntryCount(nullptr), 0);
    EXPECT_EQ(EntryData(0), nullptr);
    EXPECT_EQ(NextEntry(0), 0u);
    // A description is not an item list: it has no entry count.
    std::uint32_t size = sizeof buffer;
    ASSERT_TRUE(FillBuffer(buffer, &size, DescriptionMagic, {5}));
    EXPECT_EQ(EntryCount(buffer), 0);
}

} // namespace
