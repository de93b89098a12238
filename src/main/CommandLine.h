#pragma once

#include <string>
#include <string_view>
#include <vector>

// The program's one switch, "h" (start hidden). Only '-' introduces a switch and the letter is
// compared without regard to case: "-h" and "-H" match; "/h", "-hx" and "h" do not.
bool HasHiddenSwitch(const std::vector<std::string_view>& arguments);

// What a command line asks for. Options of two dashes are the commands that run without a
// window: "--status" with an optional "--json" (in either order, nothing else beside them) and
// "--help" alone. Any other two-dash option, "--json" without "--status", or a command with
// more beside it is a usage error. Everything else starts the window, as the switches say.
struct CommandLineChoice {
    enum class Action { Window, Status, Help, UsageError };
    Action action = Action::Window;
    bool json = false;
    // For a usage error: what was wrong, in words ("unknown option --jsn").
    std::string problem;
};
CommandLineChoice ParseCommandLine(const std::vector<std::string_view>& arguments);

// The usage text, for stdout on --help and stderr on a usage error.
const char* UsageText();
