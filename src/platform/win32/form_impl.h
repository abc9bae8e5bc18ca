// A form's native window: the top-level window, its child controls, menus,
// accelerators, tool tips and timers, built from the form's layout table.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/ui.h"
#include "platform/win32/handles.h"
#include "platform/win32/window.h"

namespace kv::platform {

struct Form::Impl final : win32::Window {
    Impl(Form& form, const FormSpec& spec, FormEvents& events)
        : form(form), spec(spec), events(events) {}
    ~Impl() override;

    // One entry per control of the layout table, by position.
    struct ControlState {
        HWND hwnd = nullptr;      // child window; nullptr for drawn controls
        RECT rect{};              // client pixels
        bool visible = false;     // drawn controls (child windows keep their own)
        std::optional<Rgb> fore;  // text (or line) colour set at run time
        HFONT font = nullptr;     // one of Impl::fonts
        win32::Brush back_brush;  // list and text boxes with a back colour
        bool alert = false;       // labels: see Control::set_alert
    };
    // Where a menu item lives: its menu and position there.
    struct MenuState {
        HMENU parent = nullptr;
        UINT position = 0;
        HMENU submenu = nullptr;  // items that open a submenu
        bool command = false;     // items that raise a menu event
    };

    // --- lifecycle (form.cpp) ---
    void create();
    void destroy();
    void show();
    void show_modal();
    void hide();
    void set_state(WindowState s);
    WindowState state() const;
    void popup_menu(int menu_position);

    // --- children, menus, fonts (form_build.cpp) ---
    HFONT font_for(const FontSpec& f);
    // Pixels for twips at the window's DPI.
    int px_x(int twips) const { return MulDiv(twips, dpi_x, 1440); }
    int px_y(int twips) const { return MulDiv(twips, dpi_y, 1440); }
    // Every control's place and font from its twips at the window's DPI.
    void layout_children();
    void create_children();
    // The controls, their tool tips and the DPI of the screen shown on.
    void make_controls();
    // The window moved to a screen of another DPI: it and its controls are
    // laid out again from their twips, at the same size in inches and about
    // the same centre.
    void change_dpi(int dpi);
    void create_tool_tips();
    // Builds the menu bar (nullptr when the form has none), the pop-up menus
    // outside the bar and the accelerator table.
    win32::Menu build_menus();

    // --- painting (form_paint.cpp) ---
    void paint_form();
    void paint_label(int pos, HDC target);
    // A label's text, colour or size changed: repaint it and the labels that
    // overlap it.
    void refresh_label(int pos);
    void invalidate_drawn(int pos);
    HBRUSH back_brush() const;
    // The colours control `pos` is drawn with now.
    DrawColours colours(int pos) const;
    // The system's colours or high contrast changed: every part repaints.
    void repaint_all();

    // --- helpers ---
    int position_of(HWND child) const;
    const ControlSpec& control_spec(int pos) const { return spec.controls[pos]; }
    HWND child(int pos) const {
        return pos >= 0 && pos < static_cast<int>(controls.size()) ? controls[pos].hwnd : nullptr;
    }
    void fit_label_to_text(int pos);
    // Moves the focus on when the control that has it goes away.
    void move_focus_from(HWND child);
    Rgb default_fore(ControlKind kind) const;

    Form& form;
    const FormSpec& spec;
    FormEvents& events;

    std::vector<ControlState> controls;
    std::vector<MenuState> menus;
    std::vector<bool> timers_on;
    std::vector<std::pair<std::string, win32::Font>> fonts;  // by a key of face, size, style
    win32::Brush form_brush;               // the back colour, when the form has one
    std::vector<win32::Menu> loose_menus;  // pop-up menus that no menu bar owns
    win32::Accelerators accelerators;
    win32::Bitmap background;  // the client area as last painted, no labels
    HWND saved_focus = nullptr;
    int default_button = -1;
    int cancel_button = -1;
    bool pending_minimized = false;
    bool controls_made = false;
    bool modal = false;
    std::vector<HWND> disabled_by_modal;
    HWND active_before_modal = nullptr;
    HWND hidden_box = nullptr;  // a box it owns, hidden while it takes input over it
    unsigned paint_count = 0;
    int dpi_x = 96, dpi_y = 96;
    std::optional<SIZE> outer_twips;  // the last size set in twips

private:
    LRESULT handle_message(UINT msg, WPARAM wp, LPARAM lp) override;
    bool pretranslate(MSG& msg) override;
    void on_destroyed() override;

    LRESULT on_erase_background(HDC dc);
    void on_command(int id, int code, HWND from);
    void on_menu_command(int pos);
    void on_timer(WPARAM id);
    void on_hotkey();
    bool end_session_allowed();
    void on_activate(bool active, bool minimized);
    void restore_focus();
    LRESULT on_control_color(UINT msg, HDC dc, HWND child);
    LRESULT on_get_default_id() const;
    void update_default_button();
    void click_button(int pos);
    void end_modal();
};

namespace win32 {

inline constexpr UINT kWmUpdateDefault = WM_APP + 1;
inline constexpr UINT kWmDeactivated = WM_APP + 2;
inline constexpr UINT_PTR kFirstTimerId = 1;

// The hidden window that owns the forms kept out of the task bar.
HWND hidden_owner();
// A visible, enabled window that `owner` owns (a box open over it).
HWND owned_box(HWND owner);
// The window itself, or while a box it owns has disabled it, that box.
HWND usable_self(HWND w);
// The program's icons (32 x 32 or 16 x 16), loaded once.
HICON icon(Icon which, bool small);
// Our form that is the active window of this thread, or nullptr.
HWND active_form();

// Puts `proc` in front of the control's own window procedure, which it
// passes messages on to (form_build.cpp).
void subclass(HWND w, WNDPROC proc);
// Procedures put in front of the child controls' own (form_build.cpp).
// Messages reach them in the control's own character set.
LRESULT CALLBACK list_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) noexcept;
LRESULT CALLBACK button_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) noexcept;

// The procedure put in front of labels, which are system static controls
// that the form draws (form_build.cpp).
LRESULT CALLBACK label_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) noexcept;

// The system's colours and high-contrast state, read once and again after
// each change of the settings (refresh_system_colours, form_paint.cpp).
void refresh_system_colours();

// A function of a system library loaded when first needed, which stays
// loaded for the rest of the process; nullptr when either is missing
// (ui_win32.cpp).
FARPROC library_function(const char* library, const char* name);

// The full path of the running executable, empty when it cannot be had
// (system_win32.cpp).
std::string module_path();

// Creates or opens the named mutex that the program's processes share across
// sessions ("Global\\..."): every signed-in user may wait for it and release
// it, administrators and the system hold every right. nullptr when it cannot
// be had (system_win32.cpp).
HANDLE shared_mutex(const char* name);

// The watching mode of the executable (fail_closed.cpp): the process that
// locks the session when the lock's process ends unanswered. Its exit code
// says whether it locked the session.
inline constexpr const char* kWatchSwitch = "/watch";
inline constexpr int kWatchLocked = 2;
int watch_main();

// The screen's pixels per logical inch, across (LOGPIXELSX) and down
// (LOGPIXELSY), asked once: fonts, twips and the input box all scale by it.
struct ScreenDpi {
    int x = 96;
    int y = 96;
};
const ScreenDpi& screen_dpi();

// Paints into a device context: forms and covers.
class DcPainter final : public Painter {
public:
    DcPainter(HDC dc, Point size) : dc_(dc), size_(size) {}
    Point client_size() const override { return size_; }
    // The stock DC brush takes each colour in turn: a gradient's 256 bands
    // need no brush of their own.
    void fill_rect(const Rect& r, Rgb color) override {
        const RECT rc = win32::to_rect(r);
        SetDCBrushColor(dc_, to_colorref(color));
        FillRect(dc_, &rc, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    }

private:
    HDC dc_;
    Point size_;
};

// Fonts: "MS Sans Serif" 8.25 pt unless the layout names a face, at the
// screen's DPI unless one is given.
Font create_font(const FontSpec& f, int dpi = 0);
// The DPI of the screen a window is on (GetDpiForWindow where the system
// has it), or 0.
int window_dpi(HWND w);

}  // namespace win32

}  // namespace kv::platform
