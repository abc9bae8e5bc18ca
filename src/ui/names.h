// Names of a form's controls, menu items and timers, checked against its
// layout table when the program is compiled: a misspelt name does not
// build. The argument of a checked name must be a string literal (or another
// constant); the error then reads "... is not a constant expression" at the
// line that names it.
#pragma once

#include <string_view>

#include "platform/ui.h"

namespace kv {

namespace names {

consteval bool has_control(const platform::FormSpec& form, std::string_view name) {
    for (const auto& c : form.controls)
        if (name == c.name) return true;
    return false;
}

consteval bool has_menu(const platform::FormSpec& form, std::string_view name) {
    for (const auto& m : form.menus)
        if (name == m.name) return true;
    return false;
}

consteval bool has_timer(const platform::FormSpec& form, std::string_view name) {
    for (const auto& t : form.timers)
        if (name == t.name) return true;
    return false;
}

// Reached only while compiling a name that the layout does not have; being
// no constant expression, it stops the compiler there.
inline void not_in_the_layout() {}

}  // namespace names

// A control of the form laid out by Spec (all elements of a control array
// share its name).
template <const platform::FormSpec& Spec>
struct ControlName {
    consteval ControlName(const char* name) : text(name) {
        if (!names::has_control(Spec, name)) names::not_in_the_layout();
    }
    std::string_view text;
};

// A menu item of the form laid out by Spec.
template <const platform::FormSpec& Spec>
struct MenuName {
    consteval MenuName(const char* name) : text(name) {
        if (!names::has_menu(Spec, name)) names::not_in_the_layout();
    }
    std::string_view text;
};

// A timer of the form laid out by Spec.
template <const platform::FormSpec& Spec>
struct TimerName {
    consteval TimerName(const char* name) : text(name) {
        if (!names::has_timer(Spec, name)) names::not_in_the_layout();
    }
    std::string_view text;
};

}  // namespace kv
