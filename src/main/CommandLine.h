#pragma once

#include <string_view>
#include <vector>

// The program's one switch, "h" (start hidden). Only '-' introduces a switch and the letter is
// compared without regard to case: "-h" and "-H" match; "/h", "-hx" and "h" do not.
bool HasHiddenSwitch(const std::vector<std::string_view>& arguments);
