// TaskEnroll: creates or deletes the autostart task that starts a program at log-on.
// Exit status: 0 done (deleting a missing task included), 1 the entry could not be written or
// deleted, 2 a bad command line.

#include "EnrollSwitches.h"

#include <cstdio>

namespace {

constexpr const char* kUsage =
    "usage: TaskEnroll -R -T:<task name> -P:<program path> [-A:<arguments>]\n"
    "       TaskEnroll -D -T:<task name>\n";

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);

    tasks::EnrollSwitches switches;
    std::string error;
    if (!tasks::ParseEnrollSwitches(args, switches, error)) {
        std::fprintf(stderr, "TaskEnroll: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (!tasks::RunEnroll(switches, error)) {
        std::fprintf(stderr, "TaskEnroll: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
