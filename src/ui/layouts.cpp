#include "ui/layouts.h"

#include <span>

namespace kv::layout {

namespace {

template <class T>
int find(std::span<const T> table, std::string_view name, auto&& also) {
    for (std::size_t i = 0; i < table.size(); ++i)
        if (name == table[i].name && also(table[i])) return static_cast<int>(i);
    return -1;
}

}  // namespace

int control_position(const platform::FormSpec& form, std::string_view name, int index) {
    return find(form.controls, name,
                [index](const platform::ControlSpec& c) { return c.index == index; });
}

int menu_position(const platform::FormSpec& form, std::string_view name) {
    return find(form.menus, name, [](const platform::MenuSpec&) { return true; });
}

}  // namespace kv::layout
