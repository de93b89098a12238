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

TEST(ParseCommandLine, TheCommandsWithoutAWindowTakeNothingElse)
{
    using Action = CommandLineChoice::Action;
    struct Row {
        std::vector<std::string_view> arguments;
        Action action;
        bool json;
    };
    const Row rows[] = {
        {{}, Action::Window, false},
        {{"-h"}, Action::Window, false},
        {{"x"}, Action::Window, false},
        {{"--status"}, Action::Status, false},
        {{"--status", "--json"}, Action::Status, true},
        {{"--json", "--status"}, Action::Status, true},
        {{"--help"}, Action::Help, false},
        {{"--json"}, Action::UsageError, false},
        {{"--status", "-h"}, Action::UsageError, false},
        {{"--status", "x"}, Action::UsageError, false},
        {{"--status", "--status"}, Action::UsageError, false},
        {{"--status", "--json", "--json"}, Action::UsageError, false},
        {{"--status", "--help"}, Action::UsageError, false},
        {{"-h", "--help"}, Action::UsageError, false},
        {{"-h", "--verbose"}, Action::UsageError, false},
        {{"--"}, Action::UsageError, false},
    };
    for (const Row& row : rows) {
        std::string shown;
        for (std::string_view argument : row.arguments)
            shown += std::string(argument) + " ";
        const CommandLineChoice choice = ParseCommandLine(row.arguments);
        EXPECT_EQ(choice.action, row.action) << shown;
        EXPECT_EQ(choice.json, row.json) << shown;
        EXPECT_EQ(choice.problem.empty(), row.action != Action::UsageError) << shown;
    }
}
