// The background gradients of the main window and the lock screen, and the
// stored colour choice.
#pragma once

#include <string_view>

#include "platform/ui.h"
#include "ui/main_window.h"

namespace kv {

class FormBase;

// The colour of band m (0 at the top, 255 at the bottom) for a colour name;
// names other than the five paint blue.
platform::Rgb band_color(std::string_view name, int m);

// Paints the 256 bands of `color` over a client area.
void paint_gradient(platform::Painter& painter, std::string_view color);
// Outside a paint: has the form repaint its gradient.
void paint_gradient(FormBase& form);

// The background colour as the main window carries it: its "Background
// Color" menu, the stored choice and the log headings' colour.
class ColourMenu {
public:
    explicit ColourMenu(MainWindow& main) : main_(main) {}

    // Reads "Color" into current_color and sets the colour checkmarks and
    // the log heading colours.
    void load_color();
    // Stores current_color, repaints the main window and reads the value
    // back.
    void set_color();

    void mnuRed_Click() { choose_color("red"); }
    void mnuGreen_Click() { choose_color("green"); }
    void mnuBlue_Click() { choose_color("blue"); }
    void mnuPurple_Click() { choose_color("purple"); }
    void mnuYellow_Click() { choose_color("yellow"); }

private:
    void choose_color(const char* name);

    MainWindow& main_;
};

}  // namespace kv
