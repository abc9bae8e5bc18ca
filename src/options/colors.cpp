#include "options/colors.h"

#include "platform/registry.h"
#include "platform/system.h"
#include "store/settings.h"
#include "ui/maker.h"

namespace kv {

namespace {

const Colour& colour_named(std::string_view name) {
    for (const auto& c : kColours)
        if (name == c.name) return c;
    return kColours[0];
}

std::uint8_t between(std::uint8_t top, std::uint8_t bottom, int m) {
    return static_cast<std::uint8_t>(top + (bottom - top) * m / 255);
}

}  // namespace

platform::Rgb band_color(std::string_view name, int m) {
    const Colour& c = colour_named(name);
    return {between(c.top.r, c.bottom.r, m), between(c.top.g, c.bottom.g, m),
            between(c.top.b, c.bottom.b, m)};
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
    const auto stored = store::read_value(store::kVendorKey, "Color");
    if (!stored) {
        // Blue with no checkmark: a checkmark left from before would claim a
        // colour that may not be stored. A window not loaded has none yet.
        current_color_ = "blue";
        if (main_.loaded())
            for (const auto& c : kColours) main_.menu(c.menu).set_checked(false);
        return;
    }
    current_color_ = *stored;
    show_checks();
}

// The checkmark of the current colour and its headings; a name that is no
// colour clears the checkmarks and leaves the headings.
void ColourMenu::show_checks() {
    for (const auto& c : kColours) main_.menu(c.menu).set_checked(false);
    for (const auto& c : kColours) {
        if (current_color_ != c.name) continue;
        main_.menu(c.menu).set_checked(true);
        main_.ctl("Label4", 0).set_fore_color(c.heading);
        main_.ctl("Label4", 1).set_fore_color(c.heading);
        break;
    }
}

// The chosen colour goes to the paint as it is; only when the registry did
// not take it is the stored one read back, so that the window never shows a
// colour that is not stored, and the user is told why, as every option that
// is not stored is.
void ColourMenu::set_color() {
    const platform::Result stored = store::write_value(store::kVendorKey, "Color", current_color_);
    if (stored) {
        show_checks();
    } else {
        load_color();
        platform::message_box(store::not_stored_text("The colour", stored),
                              platform::kMbOkExclamation, KV_APP_TITLE);
    }
    paint_gradient(main_);
}

// Then the whole window is repainted at once, with the new gradient.
void ColourMenu::choose(const Colour& colour) {
    current_color_ = colour.name;
    set_color();
    main_.window().update();
}

}  // namespace kv
