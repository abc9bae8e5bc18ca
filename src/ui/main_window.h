// The main window as the subsystems' parts of it see it: a form with the
// main window's layout, whose names are checked when the program is built.
#pragma once

#include "ui/form_base.h"
#include "ui/layouts.h"

namespace kv {

using MainWindow = FormOf<layout::kForm1>;

}  // namespace kv
