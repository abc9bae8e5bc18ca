// The background gradients of the main window and the lock screen, and the
// stored colour choice.
#pragma once

#include <string>
#include <string_view>

#include "platform/ui.h"
#include "ui/main_window.h"

namespace kv {

class FormBase;

// A background colour: its stored name, its gradient from the top band to
// the bottom one, its item of "Background Color" and the colour of the log
// headings while it is chosen.
struct Colour {
    const char* name;
    platform::Rgb top;
    platform::Rgb bottom;
    MenuName<layout::kForm1> menu;
    platform::Rgb heading;
};

// Every colour, in the order a stored name is compared with them; a name
// that is none of them paints as the first.
inline constexpr Colour kColours[] = {
    {"blue", {0, 0, 255}, {0, 0, 0}, "mnuBlue", {255, 255, 0}},
    {"red", {255, 0, 0}, {0, 0, 0}, "mnuRed", {0, 0, 0}},
    {"purple", {255, 255, 255}, {255, 0, 255}, "mnuPurple", {0, 0, 0}},
    {"yellow", {255, 255, 0}, {255, 0, 0}, "mnuYellow", {0, 0, 0}},
    {"green", {0, 255, 0}, {0, 0, 0}, "mnuGreen", {0, 0, 0}},
};

// The colour of band m (0 at the top, 255 at the bottom) for a colour name.
platform::Rgb band_color(std::string_view name, int m);

// Paints the 256 bands of `color` over a client area.
void paint_gradient(platform::Painter& painter, std::string_view color);
// Outside a paint: has the form repaint its gradient.
void paint_gradient(FormBase& form);

// The background colour as the main window carries it: the current colour,
// its "Background Color" menu, the stored choice and the log headings'
// colour.
class ColourMenu {
public:
    explicit ColourMenu(MainWindow& main) : main_(main) {}

    // The name both windows paint; empty until the first load or choice.
    const std::string& current_color() const { return current_color_; }

    // Reads "Color" into the current colour and sets the colour checkmarks
    // and the log heading colours.
    void load_color();
    // Stores the current colour and shows it: checkmark, headings and a
    // repaint of the main window. What is not stored is read back instead.
    void set_color();
    // A colour's menu item: chosen, stored and painted at once.
    void choose(const Colour& colour);

private:
    void show_checks();

    MainWindow& main_;
    std::string current_color_;
};

}  // namespace kv
