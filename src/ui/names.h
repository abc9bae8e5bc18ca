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

consteval bool has(const auto& table, std::string_view name) {
    for (const auto& entry : table)
        if (name == entry.name) return true;
    return false;
}

// Reached only while compiling a name that the layout does not have; being
// no constant expression, it stops the compiler there.
inline void not_in_the_layout() {}

// A name from the table Table of the form laid out by Spec.
template <const platform::FormSpec& Spec, auto Table>
struct Checked {
    consteval Checked(const char* name) : text(name) {
        if (!has(Spec.*Table, name)) not_in_the_layout();
    }
    std::string_view text;
};

// A name of the same kind that may be left out: empty when it is.
template <const platform::FormSpec& Spec, auto Table>
struct CheckedOrNone {
    constexpr CheckedOrNone() = default;
    consteval CheckedOrNone(const char* name) : text(Checked<Spec, Table>(name).text) {}
    std::string_view text{};
};

}  // namespace names

// A control of the form laid out by Spec (all elements of a control array
// share its name).
template <const platform::FormSpec& Spec>
using ControlName = names::Checked<Spec, &platform::FormSpec::controls>;
// A menu item of the form laid out by Spec.
template <const platform::FormSpec& Spec>
using MenuName = names::Checked<Spec, &platform::FormSpec::menus>;
// A control or a menu item, or none.
template <const platform::FormSpec& Spec>
using ControlNameOrNone = names::CheckedOrNone<Spec, &platform::FormSpec::controls>;
template <const platform::FormSpec& Spec>
using MenuNameOrNone = names::CheckedOrNone<Spec, &platform::FormSpec::menus>;
// A timer of the form laid out by Spec.
template <const platform::FormSpec& Spec>
using TimerName = names::Checked<Spec, &platform::FormSpec::timers>;

}  // namespace kv
