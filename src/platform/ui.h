// The windowing toolkit: forms built from layout tables, their controls,
// menus and timers. Layouts are in twips; the back end turns them into pixels
// by the display's DPI. Events go to a FormEvents object that the portable
// code supplies.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system.h"

namespace kv::platform {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// --- layout tables -------------------------------------------------------

// Outside tools (and the end-to-end tests) find the program's windows by
// class and its controls by id: a form's window class is "Kv" followed by
// FormSpec::name, and a control's id is kFirstControlId plus its position in
// FormSpec::controls. A menu item's command id is kFirstMenuId plus its
// position in FormSpec::menus.
inline constexpr int kFirstControlId = 1000;
inline constexpr int kFirstMenuId = 2000;

enum class ControlKind { Button, Label, TextBox, ListBox, Shape, Line, Picture };
enum class Align { Left, Center, Right };
enum class Icon { None, Program, About };

struct FontSpec {
    const char* face = nullptr;  // nullptr: "MS Sans Serif" 8.25 pt regular
    double points = 8.25;
    bool bold = false;
    bool italic = false;
};

// Control flags.
enum : unsigned {
    kHidden = 1u << 0,
    kTransparent = 1u << 1,  // labels: draw the text only
    kDefault = 1u << 2,      // buttons: Enter presses it
    kCancel = 1u << 3,       // buttons: Esc presses it
    kSorted = 1u << 4,       // list boxes
    kPassword = 1u << 5,     // text boxes: every character shown as "*"
    kWrap = 1u << 6,         // labels: word wrap
    kAutoSize = 1u << 7,     // labels: size to the text
    kFilled = 1u << 8,       // shapes: filled with the back colour
};

struct ControlSpec {
    const char* name = "";
    int index = -1;  // element of a control array, -1 for a plain control
    ControlKind kind = ControlKind::Label;
    const char* text = "";
    const char* tooltip = "";
    // Twips, relative to the client area. Lines: x1, y1, x2, y2.
    int left = 0, top = 0, width = 0, height = 0;
    int tab = -1;
    unsigned flags = 0;
    Align align = Align::Left;
    FontSpec font{};
    std::optional<Rgb> fore{};
    std::optional<Rgb> back{};  // std::nullopt: system default
    int line_width = 1;         // lines and shapes, pixels
    Icon picture = Icon::None;  // pictures
    int max_length = 0;         // text boxes: the most characters typed or pasted, 0 any
    // Labels: the control this label names for screen readers. It goes just
    // before that control in the window order, where they look for its name.
    const char* label_for = nullptr;
};

enum class Key { None, F9, F11, F12 };

// Menu tree in order; depth 0 is the menu bar. A caption "-" is a separator.
struct MenuSpec {
    const char* name = "";
    const char* caption = "";
    int depth = 0;
    Key shortcut = Key::None;
    bool enabled = true;
    bool in_bar = true;  // false: a pop-up menu that the bar never shows
};

struct TimerSpec {
    const char* name = "";
    unsigned interval_ms = 0;
};

enum class Frame { Sizable, FixedDialog, FixedDialogNoCaption };

struct FormSpec {
    const char* name = "";
    const char* caption = "";
    int client_width = 0, client_height = 0;  // twips
    Frame frame = Frame::Sizable;
    bool minimize_box = false;
    bool in_taskbar = true;
    std::optional<Rgb> back{};
    std::optional<Rgb> fore{};
    FontSpec font{};
    Icon icon = Icon::Program;
    std::span<const ControlSpec> controls{};  // front to back
    std::span<const MenuSpec> menus{};
    std::span<const TimerSpec> timers{};
    // Its controls are made once it shows, not with the window (a splash,
    // whose load shows it before it fills them): the window is on the
    // screen sooner, and they are there for its first paint.
    bool controls_after_show = false;
};

// --- events --------------------------------------------------------------

class Painter {
public:
    virtual ~Painter() = default;
    virtual Point client_size() const = 0;  // pixels
    virtual void fill_rect(const Rect& r, Rgb color) = 0;
};

enum class MouseButton { Left = 1, Right = 2, Middle = 4 };

// Window commands that the system carries out for a form: from its system
// menu, title bar and frame, the window's activation key (HotKey), the Alt
// key that opens the menus from the keyboard (KeyMenu), and the application
// keys (Mail, Browser, media ...: AppCommand), which the shell would answer
// by starting an application.
enum class SysCommand { Minimize, Maximize, Restore, Move, Size, HotKey, KeyMenu, AppCommand };

class FormEvents {
public:
    virtual ~FormEvents() = default;
    // The client area needs painting. The back end paints shapes, lines and
    // pictures over what the handler painted.
    virtual void on_paint(Painter&) {}
    virtual void on_click(std::string_view /*control*/, int /*index*/) {}
    virtual void on_menu(std::string_view /*item*/) {}
    // A menu is about to open: the item whose submenu it is.
    virtual void on_menu_open(std::string_view /*item*/) {}
    virtual void on_timer(std::string_view /*timer*/) {}
    virtual void on_mouse_down(std::string_view /*control*/, MouseButton) {}
    // The user or another program asked the window to close. The handler
    // unloads the form (or does nothing to keep it).
    virtual void on_close() {}
    // The session is about to end (sign-out, restart, shut down). A reason
    // refuses it: the system shows it, and the user may end the session
    // anyway.
    virtual std::string_view end_session_refusal() { return {}; }
    // The session ends now all the same (the user ended it anyway): the
    // process ends with it.
    virtual void on_session_end() {}
    // The system is about to carry out a window command; false refuses it.
    // An accepted HotKey restores and activates the window.
    virtual bool on_sys_command(SysCommand) { return true; }
    // While true, the window stays topmost whatever asks to move it in the
    // order of the windows.
    virtual bool keeps_top() { return false; }
    // The form lost the keyboard: another window, of this program or another,
    // became the active one or took the window system's keyboard focus.
    virtual void on_deactivate() {}
    // The window moved to a screen of another DPI and was laid out again
    // from its twips.
    virtual void on_dpi_changed() {}
};

// --- forms ---------------------------------------------------------------

enum class WindowState { Normal, Minimized, Maximized };

class Form;

class Control {
public:
    void set_text(std::string_view text);
    std::string text() const;
    void set_visible(bool on);
    bool visible() const;
    void set_enabled(bool on);
    bool enabled() const;
    void set_fore_color(Rgb c);
    Rgb fore_color() const;
    void set_focus();
    Rect screen_rect() const;  // GetWindowRect
    NativeWindow handle() const;
    // Labels: the text is an alert (the lock's wrong-answer message). Screen
    // readers are told when it is turned on; in high contrast it shows in
    // the highlight colours.
    void set_alert(bool on);

    // List boxes. Sorted lists keep their items in ascending text order
    // (list_order); list_insert puts an item at an index, sorted or not.
    void list_add(std::string_view item);
    void list_insert(int index, std::string_view item);
    void list_remove(int index);
    void list_clear();
    int list_count() const;
    std::string list_item(int index) const;
    int list_index() const;  // -1 when nothing is selected
    void set_list_index(int index);

private:
    friend class Form;
    Control(Form* f, int id) : form_(f), id_(id) {}
    Form* form_;
    int id_;
};

class MenuItem {
public:
    void set_checked(bool on);
    bool checked() const;
    void set_enabled(bool on);
    bool enabled() const;
    // The system's shield beside the caption: the command needs an
    // administrator's consent.
    void set_shield(bool on);
    bool shield() const;

private:
    friend class Form;
    MenuItem(Form* f, int id) : form_(f), id_(id) {}
    Form* form_;
    int id_;
};

class Timer {
public:
    // Enabling a running timer leaves its count as it is.
    void set_enabled(bool on);
    bool enabled() const;

private:
    friend class Form;
    Timer(Form* f, int id) : form_(f), id_(id) {}
    Form* form_;
    int id_;
};

class Form {
public:
    Form(const FormSpec& spec, FormEvents& events);
    ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    const FormSpec& spec() const { return spec_; }

    // Builds the native window in its design state, hidden, centred.
    void create();
    // Destroys the native window; timers stop.
    void destroy();
    bool created() const;

    void show();
    // Shows the form and returns when it is hidden or destroyed; the other
    // forms take no input meanwhile.
    void show_modal();
    void hide();
    bool visible() const;
    void set_state(WindowState s);
    WindowState state() const;
    void set_caption(std::string_view text);
    std::string caption() const;
    void set_outer_size_twips(int width, int height);
    Rect outer_rect() const;  // screen pixels
    void center_on_screen();
    void move_to(int left, int top);  // the outer top left, screen pixels
    // A box the form owns disables it while open. Enabled, the form takes
    // input over it, and the box is hidden; disabled again, the box shows in
    // front again.
    void set_enabled(bool on);
    void invalidate();  // repaint the whole client area
    void update();      // delivers a pending paint now (UpdateWindow)
    NativeWindow handle() const;

    Control control(std::string_view name, int index = -1);
    MenuItem menu(std::string_view name);
    Timer timer(std::string_view name);
    // Shows a pop-up menu at the pointer; both buttons choose its items.
    void popup_menu(std::string_view name);

    struct Impl;
    Impl& impl() { return *impl_; }
    const Impl& impl() const { return *impl_; }

private:
    int control_id(std::string_view name, int index) const;
    int menu_id(std::string_view name) const;
    int timer_id(std::string_view name) const;

    const FormSpec& spec_;
    FormEvents& events_;
    std::unique_ptr<Impl> impl_;
};

// The order of a sorted list box: negative when `a` comes before `b`, 0 when
// they compare equal (case is ignored), positive after.
int list_order(std::string_view a, std::string_view b);

// --- shared by both back ends (ui_common.cpp) -------------------------------

// The order of a form's controls in its native window order (positions in
// FormSpec::controls; drawn controls left out): the focusable ones in tab
// order, each preceded by the label that names it, then the other labels
// from front to back. Dialog keys walk this order, and screen readers name a
// box or list by the label just before it.
std::vector<int> window_order(const FormSpec& form);

// The system's colours, and whether the user turned high contrast on: then
// every form paints with these instead of its gradients and fixed colours.
struct SystemColours {
    bool high_contrast = false;
    Rgb window{255, 255, 255};          // COLOR_WINDOW
    Rgb window_text{0, 0, 0};           // COLOR_WINDOWTEXT
    Rgb highlight{0, 120, 215};         // COLOR_HIGHLIGHT
    Rgb highlight_text{255, 255, 255};  // COLOR_HIGHLIGHTTEXT
};
SystemColours system_colours();

// What a control is drawn with: its text (or line) colour and, unless it is
// transparent or left to the system (nullopt), its back colour.
struct DrawColours {
    Rgb fore;
    std::optional<Rgb> back;
};
// `set_fore` is the colour set at run time, `standard` the system's default
// text colour for the control. In high contrast the system's window colours
// replace the layout's, and an alert (the lock's wrong-answer message) shows
// in the highlight colours.
DrawColours draw_colours(const ControlSpec& c, const std::optional<Rgb>& set_fore, bool alert,
                         Rgb standard, const SystemColours& sys);

// Runs the message loop until the process ends.
int run_message_loop();

// Twips to pixels at the display's DPI (15 twips per pixel at 96 DPI).
int twips_to_px_x(int twips);
int twips_to_px_y(int twips);

}  // namespace kv::platform
