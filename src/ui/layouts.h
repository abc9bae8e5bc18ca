// The design state of the program's four windows: every control, menu item
// and timer with its geometry (twips), texts, fonts and colours. The tables
// are plain data; the platform builds the native windows from them.
#pragma once

#include <string_view>

#include "platform/ui.h"

namespace kv::layout {

// The main window.
extern const platform::FormSpec kForm1;
// The lock screen.
extern const platform::FormSpec kForm4;
// The splash window shown at start-up.
extern const platform::FormSpec kSplash;
// The About window.
extern const platform::FormSpec kAboutBox;

// Position of a control in a form's table (its native id is
// platform::kFirstControlId plus this), or -1 when the form has no such
// control. `index` is the element of a control array, -1 for a plain control.
int control_position(const platform::FormSpec& form, std::string_view name, int index = -1);

// Position of a menu item in a form's menu table, or -1.
int menu_position(const platform::FormSpec& form, std::string_view name);

}  // namespace kv::layout
