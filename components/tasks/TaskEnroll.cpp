// TaskEnroll: creates or deletes the autostart task that starts a program at log-on.
// Exit status: 0 done (deleting a missing task included), 1 the entry could not be written or
// deleted, 2 a bad command line.

#include "EnrollSwitches.h"

#include <cstdio>

namespace {

constexpr const char* kUsage =
    "usage: TaskEnroll -R -T:<task name> -P:<program path> [-A:<arguments>]\n"
    "       TaskEnroll -D -T:<task name>\n"
    "       TaskEnroll --help\n"
    "-R creates or replaces the autostart entry of the task, which starts the program with\n"
    "the arguments at log-on: the system-wide one when this user may write it, else the\n"
    "user's own ($XDG_CONFIG_HOME/autostart or ~/.config/autostart). -D deletes the entries\n"
    "this user may delete. Values follow a colon and may be quoted:\n"
    "-T:\"TOLV WatchDog Timer\". Exit status: 0 done, 1 the entry could not be written or\n"
    "deleted, 2 a bad command line.\n";

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);

    if (args.size() == 1 && args[0] == "--help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    tasks::EnrollSwitches switches;
    std::string error;
    if (!tasks::ParseEnrollSwitches(args, switches, error)) {
        std::fprintf(stderr, "TaskEnroll: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    std::string notice;
    if (!tasks::RunEnroll(switches, error, &notice)) {
        std::fprintf(stderr, "TaskEnroll: %s\n", error.c_str());
        return 1;
    }
    if (!notice.empty())
        std::fprintf(stdout, "TaskEnroll: %s\n", notice.c_str());
    return 0;
}
