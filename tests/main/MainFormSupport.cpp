#include "MainFormFixture.h"

#include <fstream>

std::vector<std::string> MainFormTest::TraceLines()
{
    std::ifstream in(GetLogFolder() + "trace.log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        const auto space = line.find(' ');
        lines.push_back(space == std::string::npos ? line : line.substr(space + 1));
    }
    return lines;
}
