#include "platform/MessageBox.h"

#include <cstdio>
#include <utility>

namespace platform {

namespace {
MessageBoxHook& Hook()
{
    static MessageBoxHook hook;
    return hook;
}
} // namespace

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook)
{
    return std::exchange(Hook(), std::move(hook));
}

int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags)
{
    if (Hook())
        return Hook()(text, caption, flags);
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return IDOK;
}

} // namespace platform
