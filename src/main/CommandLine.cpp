#include "main/CommandLine.h"

bool HasHiddenSwitch(const std::vector<std::string_view>& arguments)
{
    for (std::string_view argument : arguments) {
        if (argument == "-h" || argument == "-H")
            return true;
    }
    return false;
}
