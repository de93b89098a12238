// Reads arbitrary bytes as an autostart entry and an Exec value; then uses the bytes as a task
// name, program and arguments and checks that the written entry reads back the same.
#include "../components/tasks/TaskEntry.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (auto exec = tasks::ReadEntryValue(text, "Exec"))
        (void)tasks::ParseExecValue(*exec);
    (void)tasks::ParseExecValue(text);
    (void)tasks::TaskFileName(text);

    // Pieces separated by a 0x01 byte: program, then arguments.
    std::vector<std::string> pieces(1);
    for (const char c : text) {
        if (c == '\x01')
            pieces.emplace_back();
        else
            pieces.back() += c;
    }
    const std::string program = pieces.front();
    const std::vector<std::string> arguments(pieces.begin() + 1, pieces.end());
    const std::string entry = tasks::BuildDesktopEntry(program, program, arguments);
    if (tasks::ReadEntryValue(entry, "Name") != program)
        std::abort();
    const auto exec = tasks::ReadEntryValue(entry, "Exec");
    if (!exec)
        std::abort();
    const auto parsed = tasks::ParseExecValue(*exec);
    std::vector<std::string> expected = {program};
    expected.insert(expected.end(), arguments.begin(), arguments.end());
    if (!parsed || *parsed != expected)
        std::abort();
    return 0;
}
