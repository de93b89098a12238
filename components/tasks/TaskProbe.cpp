// libTaskProbe.so: tells whether an autostart task exists.

#include "AutostartFolders.h"
#include "TaskEntry.h"

#include <cstdint>

// 0 when the task's autostart entry starts the program at this person's log-on (the person's
// own entry when there is one, else the system-wide one); 1 when it does not; 2 when the name
// is missing, not valid UTF-16 or cannot name an entry.
extern "C" __attribute__((visibility("default"))) std::int32_t
CheckScheduleTaskExist(const char16_t* name)
{
    const auto text = tasks::Utf16ToUtf8(name);
    if (!text)
        return 2;
    const auto fileName = tasks::TaskFileName(*text);
    if (!fileName)
        return 2;
    return tasks::IsEntryInForce(*fileName + ".desktop") ? 0 : 1;
}
