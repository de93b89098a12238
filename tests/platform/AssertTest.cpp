#include "platform/Assert.h"

#include <gtest/gtest.h>

namespace {

TEST(Assert, FailedCheckStopsWithExpressionFileAndLine)
{
    int opened = 1;
    EXPECT_DEATH(TOLV_ASSERT(opened == 0),
                 "^Assertion failed: opened == 0, file tests/platform/AssertTest, line [0-9]+\n");
}

TEST(Assert, PassingCheckContinues)
{
    int calls = 0;
    TOLV_ASSERT(++calls == 1);
    EXPECT_EQ(calls, 1);
}

TEST(Assert, SourcePathDropsExtensionButKeepsDottedFolders)
{
    char buffer[64];
    EXPECT_STREQ(platform::AssertionSourcePath("src/system/WinRegistry.cpp", buffer, sizeof buffer),
                 "src/system/WinRegistry");
    EXPECT_STREQ(platform::AssertionSourcePath("./src/v1.2/Header", buffer, sizeof buffer),
                 "src/v1.2/Header");
    EXPECT_STREQ(platform::AssertionSourcePath("abcdef.h", buffer, 4), "abc");
}

} // namespace
