// The background gradients of the main window and the lock screen, and the
// stored colour choice.
#pragma once

#include <string_view>

#include "platform/ui.h"

namespace kv {

class Program;
class FormBase;

// The colour of band m (0 at the top, 255 at the bottom) for a colour name;
// names other than the five paint blue.
platform::Rgb band_color(std::string_view name, int m);

// Paints the 256 bands of `color` over a client area.
void paint_gradient(platform::Painter& painter, std::string_view color);
// Outside a paint: has the form repaint its gradient.
void paint_gradient(FormBase& form);

// Reads "Color" into current_color and sets the colour checkmarks and the
// log heading colours.
void load_color(Program& program);
// Stores current_color, repaints the main window and reads the value back.
void set_color(Program& program);

}  // namespace kv
