#pragma once

// The keyboard focus order of a form's controls.

#include <vector>

namespace framework {

class Control;
class Form;

// Makes each control a tab stop and puts them in this order for Tab (Shift+Tab goes back);
// controls left out keep their own focus policy. All must sit on the same form. The first takes
// the focus when the window becomes active.
void SetFocusOrder(const std::vector<Control*>& order);

// The control that holds the keyboard focus in the form's window, null when none does.
Control* FocusedControl(const Form& form);

} // namespace framework
