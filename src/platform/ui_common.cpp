// Name lookups in the layout tables and the lock's key rules, shared by both
// back ends.
#include <cstdio>
#include <cstdlib>

#include "platform/ui.h"

namespace kv::platform {

namespace {
[[noreturn]] void unknown(const char* what, std::string_view name, const FormSpec& spec) {
    std::fprintf(stderr, "%s: no %s named %.*s\n", spec.name, what, static_cast<int>(name.size()),
                 name.data());
    std::abort();
}
}  // namespace

// Ids are positions in the form's tables; the back end maps them to its
// native ids (kFirstControlId, kFirstMenuId).
int Form::control_id(std::string_view name, int index) const {
    for (std::size_t i = 0; i < spec_.controls.size(); ++i)
        if (name == spec_.controls[i].name && index == spec_.controls[i].index)
            return static_cast<int>(i);
    if (index >= 0) {
        std::fprintf(stderr, "%s: no control named %.*s(%d)\n", spec_.name,
                     static_cast<int>(name.size()), name.data(), index);
        std::abort();
    }
    unknown("control", name, spec_);
}

int Form::menu_id(std::string_view name) const {
    for (std::size_t i = 0; i < spec_.menus.size(); ++i)
        if (name == spec_.menus[i].name) return static_cast<int>(i);
    unknown("menu item", name, spec_);
}

int Form::timer_id(std::string_view name) const {
    for (std::size_t i = 0; i < spec_.timers.size(); ++i)
        if (name == spec_.timers[i].name) return static_cast<int>(i);
    unknown("timer", name, spec_);
}

bool is_task_key(std::uint32_t vk, bool alt, bool ctrl) {
    switch (vk) {
        case 0x5B:  // VK_LWIN
        case 0x5C:  // VK_RWIN
            return true;
        case 0x09:  // VK_TAB: Alt+Tab, Alt+Shift+Tab
            return alt;
        case 0x1B:  // VK_ESCAPE: Alt+Esc, Ctrl+Esc, Ctrl+Shift+Esc
            return alt || ctrl;
        case 0x20:  // VK_SPACE: Alt+Space opens the system menu
            return alt && !ctrl;
        default:
            return false;
    }
}

bool KeyGate::swallow(std::uint32_t vk, bool up, bool alt, bool ctrl, bool lock_in_front) {
    const std::size_t key = vk & 0xFF;
    if (up) {
        if (!passed_[key]) return true;
        passed_[key] = false;
        return false;
    }
    constexpr std::uint32_t kF4 = 0x73, kFirstAppKey = 0xA6, kLastAppKey = 0xB7;
    const bool held = !lock_in_front || is_task_key(vk, alt, ctrl) || (vk == kF4 && alt) ||
                      (vk >= kFirstAppKey && vk <= kLastAppKey);
    // A repeat swallowed after its first press went on still lets the
    // release through.
    if (!held) passed_[key] = true;
    return held;
}

AccessHotkeysOff::AccessHotkeysOff() {
    for (int i = 0; i < kAccessFeatures; ++i) {
        const auto f = static_cast<AccessFeature>(i);
        const auto flags = access_flags(f);
        if (flags && (*flags & kHotkeyActive) && set_access_flags(f, *flags & ~kHotkeyActive))
            before_[i] = flags;
    }
}

AccessHotkeysOff::~AccessHotkeysOff() {
    for (int i = 0; i < kAccessFeatures; ++i)
        if (before_[i]) set_access_flags(static_cast<AccessFeature>(i), *before_[i]);
}

Control Form::control(std::string_view name, int index) {
    return Control(this, control_id(name, index));
}
MenuItem Form::menu(std::string_view name) { return MenuItem(this, menu_id(name)); }
Timer Form::timer(std::string_view name) { return Timer(this, timer_id(name)); }

}  // namespace kv::platform
