// Name lookups in the layout tables, the lock's key rules, the window order
// and the colours controls are drawn with, shared by both back ends.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>

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
    // PrtScn with or without Alt: a capture tool would open over the lock.
    constexpr std::uint32_t kF4 = 0x73, kSnapshot = 0x2C, kFirstAppKey = 0xA6, kLastAppKey = 0xB7;
    const bool held = !lock_in_front || is_task_key(vk, alt, ctrl) || (vk == kF4 && alt) ||
                      vk == kSnapshot || (vk >= kFirstAppKey && vk <= kLastAppKey);
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

namespace {
bool focusable(ControlKind k) {
    return k == ControlKind::Button || k == ControlKind::TextBox || k == ControlKind::ListBox;
}
}  // namespace

std::vector<int> window_order(const FormSpec& form) {
    const auto& cs = form.controls;
    const auto n = static_cast<int>(cs.size());
    std::vector<int> focus;
    for (int i = 0; i < n; ++i)
        if (focusable(cs[i].kind)) focus.push_back(i);
    std::stable_sort(focus.begin(), focus.end(), [&cs](int a, int b) {
        const auto rank = [](int tab) { return tab < 0 ? 1 << 30 : tab; };
        return rank(cs[a].tab) < rank(cs[b].tab);
    });
    const auto names = [&cs](int label, int target) {
        return cs[label].kind == ControlKind::Label && cs[label].label_for &&
               std::string_view(cs[label].label_for) == cs[target].name;
    };
    std::vector<int> order;
    for (int f : focus) {
        for (int i = 0; i < n; ++i)
            if (names(i, f)) order.push_back(i);
        order.push_back(f);
    }
    for (int i = 0; i < n; ++i)
        if (cs[i].kind == ControlKind::Label &&
            std::find(order.begin(), order.end(), i) == order.end())
            order.push_back(i);
    return order;
}

DrawColours draw_colours(const ControlSpec& c, const std::optional<Rgb>& set_fore, bool alert,
                         Rgb standard, const SystemColours& sys) {
    const bool transparent = c.kind == ControlKind::Label && (c.flags & kTransparent);
    if (!sys.high_contrast) {
        const bool filled = c.kind != ControlKind::Shape || (c.flags & kFilled);
        return {set_fore.value_or(c.fore.value_or(standard)),
                transparent || !filled ? std::nullopt : c.back};
    }
    if (alert) return {sys.highlight_text, sys.highlight};
    // Boxes and lists keep the system's own colours; filled shapes and
    // labels that are not transparent fill with the window colour.
    if (c.kind == ControlKind::TextBox || c.kind == ControlKind::ListBox)
        return {sys.window_text, std::nullopt};
    const bool filled = c.kind == ControlKind::Shape ? (c.flags & kFilled) != 0
                                                     : c.kind == ControlKind::Label && !transparent;
    return {sys.window_text, filled ? std::optional<Rgb>(sys.window) : std::nullopt};
}

Control Form::control(std::string_view name, int index) {
    return Control(this, control_id(name, index));
}
MenuItem Form::menu(std::string_view name) { return MenuItem(this, menu_id(name)); }
Timer Form::timer(std::string_view name) { return Timer(this, timer_id(name)); }

}  // namespace kv::platform
