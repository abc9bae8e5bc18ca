#include "options/colors.h"

#include <array>
#include <string>

#include "store/settings.h"
#include "ui/state.h"

namespace kv {

namespace {

struct ColorEntry {
    const char* name;
    MenuName<layout::kForm1> menu;
    platform::Rgb heading;
};

// In the order load_color compares them.
constexpr std::array<ColorEntry, 5> kColors{{
    {"blue", "mnuBlue", {255, 255, 0}},
    {"red", "mnuRed", {0, 0, 0}},
    {"purple", "mnuPurple", {0, 0, 0}},
    {"yellow", "mnuYellow", {0, 0, 0}},
    {"green", "mnuGreen", {0, 0, 0}},
}};

}  // namespace

platform::Rgb band_color(std::string_view name, int m) {
    const auto fade = static_cast<std::uint8_t>(255 - m);
    if (name == "green") return {0, fade, 0};
    if (name == "red") return {fade, 0, 0};
    if (name == "purple") return {255, fade, 255};
    if (name == "yellow") return {255, fade, 0};
    return {0, 0, fade};
}

void paint_gradient(platform::Painter& painter, std::string_view color) {
    const platform::Point size = painter.client_size();
    // In high contrast the system's window colour, which its text colours
    // are chosen to be read on.
    if (const auto sys = platform::system_colours(); sys.high_contrast) {
        painter.fill_rect({0, 0, size.x, size.y}, sys.window);
        return;
    }
    // The client area is 256 units high; band m runs from unit m to m + 1.
    // Later bands are painted over earlier ones where rounding overlaps them.
    for (int m = 0; m < 256; ++m) {
        const int top = m * size.y / 256;
        int bottom = ((m + 1) * size.y + 255) / 256;
        if (bottom <= top) bottom = top + 1;
        painter.fill_rect({0, top, size.x, bottom}, band_color(color, m));
    }
}

void paint_gradient(FormBase& form) { form.window().invalidate(); }

void ColourMenu::load_color() {
    ProgramState& state = main_.state();
    const auto stored = store::read_value(store::kVendorKey, "Color");
    if (!stored) {
        // Blue with no checkmark: a checkmark left from before would claim a
        // colour that may not be stored. A window not loaded has none yet.
        state.current_color = "blue";
        if (main_.loaded())
            for (const auto& c : kColors) main_.menu(c.menu).set_checked(false);
        return;
    }
    state.current_color = *stored;
    for (const auto& c : kColors) main_.menu(c.menu).set_checked(false);
    for (const auto& c : kColors) {
        if (state.current_color != c.name) continue;
        main_.menu(c.menu).set_checked(true);
        main_.ctl("Label4", 0).set_fore_color(c.heading);
        main_.ctl("Label4", 1).set_fore_color(c.heading);
        break;
    }
}

void ColourMenu::set_color() {
    store::write_value(store::kVendorKey, "Color", main_.state().current_color);
    paint_gradient(main_);
    load_color();
}

// Then the whole window is repainted at once, with the new gradient.
void ColourMenu::choose_color(const char* name) {
    main_.state().current_color = name;
    set_color();
    main_.window().invalidate();
    main_.window().update();
}

}  // namespace kv
