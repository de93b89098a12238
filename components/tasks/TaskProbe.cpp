// libTaskProbe.so: tells whether an autostart task exists.

#include "TaskEntry.h"

#include <cstdint>

// 0 when the task's autostart entry exists and is in force; 1 when it does not; 2 when the name
// is missing, not valid UTF-16 or cannot name an entry.
extern "C" __attribute__((visibility("default"))) std::int32_t
CheckScheduleTaskExist(const char16_t* name)
{
    const auto text = tasks::Utf16ToUtf8(name);
    if (!text)
        return 2;
    const auto path = tasks::TaskEntryPath(*text);
    if (!path)
        return 2;
    return tasks::IsEntryActive(*path) ? 0 : 1;
}
