#include <gtest/gtest.h>

#include "main/CommandLine.h"

TEST(HasHiddenSwitch, OnlyDashHInEitherCase)
{
    struct Row {
        std::vector<std::string_view> arguments;
        bool hidden;
    };
    const Row rows[] = {
        {{}, false},           {{"-h"}, true},     {{"-H"}, true},   {{"/h"}, false},
        {{"-hx"}, false},      {{"h"}, false},     {{"--h"}, false}, {{"-"}, false},
        {{"x", "-h"}, true},   {{"-hidden"}, false},
    };
    for (const Row& row : rows) {
        std::string shown;
        for (std::string_view argument : row.arguments)
            shown += std::string(argument) + " ";
        EXPECT_EQ(HasHiddenSwitch(row.arguments), row.hidden) << shown;
    }
}
