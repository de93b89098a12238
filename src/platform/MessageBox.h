#pragma once

#include <functional>
#include <string>

// User messages from code below the window framework (a failed program start, an image that
// cannot be loaded) go through one hook. The GUI installs a hook that shows a real message box;
// tests install one that records the call. Without a hook the message goes to stderr.
namespace platform {

enum MessageBoxFlags : unsigned {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_YESNO = 0x4,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONWARNING = 0x30,
    MB_ICONINFORMATION = 0x40,
};

enum MessageBoxResult : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

using MessageBoxHook =
    std::function<int(const std::string& text, const std::string& caption, unsigned flags)>;

// Installs the hook and answers the previous one.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

// Shows a message box through the hook; answers the button pressed (IDOK without a hook).
int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags = MB_OK);

} // namespace platform
