#include "SimState.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace tlacpi;

TEST(SimState, FormatAndParseRoundTrip)
{
    SimState state{true, 60, 123456789012, 7};
    EXPECT_EQ(FormatSimState(state), "armed=1\ntimeout=60\nwritten_ms=123456789012\nwrites=7\n");
    const auto parsed = ParseSimState(FormatSimState(state));
    ASSERT_TRUE(parsed);
    EXPECT_TRUE(parsed->armed);
    EXPECT_EQ(parsed->timeout, 60u);
    EXPECT_EQ(parsed->writtenMs, 123456789012);
    EXPECT_EQ(parsed->writes, 7u);
}

TEST(SimState, ToleratesUnknownKeysCarriageReturnsAndAMissingFinalNewline)
{
    const auto parsed = ParseSimState("# note\r\nwrites=2\r\nextra=x\narmed=0\ntimeout=0\nwritten_ms=5");
    ASSERT_TRUE(parsed);
    EXPECT_FALSE(parsed->armed);
    EXPECT_EQ(parsed->writes, 2u);
    EXPECT_EQ(parsed->writtenMs, 5);
}

struct BadState {
    const char* name;
    const char* text;
};

void PrintTo(const BadState& state, std::ostream* out)
{
    *out << state.name;
}

class SimStateRejects : public testing::TestWithParam<BadState> {};

TEST_P(SimStateRejects, DamagedText)
{
    EXPECT_FALSE(ParseSimState(GetParam().text)) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Damaged, SimStateRejects,
    testing::Values(BadState{"Empty", ""},
                    BadState{"MissingWrites", "armed=1\ntimeout=60\nwritten_ms=1\n"},
                    BadState{"ArmedTwo", "armed=2\ntimeout=60\nwritten_ms=1\nwrites=1\n"},
                    BadState{"NegativeTimeout", "armed=1\ntimeout=-1\nwritten_ms=1\nwrites=1\n"},
                    BadState{"TrailingGarbage", "armed=1\ntimeout=60s\nwritten_ms=1\nwrites=1\n"},
                    BadState{"EmptyValue", "armed=1\ntimeout=\nwritten_ms=1\nwrites=1\n"},
                    BadState{"Overflow",
                             "armed=1\ntimeout=99999999999\nwritten_ms=1\nwrites=1\n"},
                    BadState{"Duplicate",
                             "armed=1\narmed=0\ntimeout=6\nwritten_ms=1\nwrites=1\n"}),
    [](const testing::TestParamInfo<BadState>& info) { return info.param.name; });

TEST(SimState, AtomicWriteReplacesTheFileAndLeavesNoTemporary)
{
    const auto folder = testsupport::Root() / "sim";
    std::filesystem::create_directories(folder);
    const auto file = folder / "watchdog.state";
    ASSERT_TRUE(WriteFileAtomically(file, "first\n"));
    ASSERT_TRUE(WriteFileAtomically(file, "second\n"));
    EXPECT_EQ(testsupport::ReadFile(file), "second\n");
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
        ++entries;
    EXPECT_EQ(entries, 1);
}

TEST(SimState, AtomicWriteIntoAMissingFolderFails)
{
    EXPECT_FALSE(WriteFileAtomically(testsupport::Root() / "nowhere" / "watchdog.state", "x"));
}

} // namespace
