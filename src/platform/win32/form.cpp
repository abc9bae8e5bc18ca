// Forms: creation, showing, modality, window state and the messages of the
// form's own window.
#include <windows.h>

#include <string>
#include <utility>

#include "platform/ui.h"
#include "platform/win32/form_impl.h"

namespace kv::platform {

using win32::from_hwnd;

// --- Form ----------------------------------------------------------------

Form::Form(const FormSpec& spec, FormEvents& events)
    : spec_(spec), events_(events), impl_(std::make_unique<Impl>(*this, spec, events)) {}

Form::~Form() { impl_->destroy(); }

void Form::create() { impl_->create(); }
void Form::destroy() { impl_->destroy(); }
bool Form::created() const { return impl_->exists(); }
void Form::show() { impl_->show(); }
void Form::show_modal() { impl_->show_modal(); }
void Form::hide() { impl_->hide(); }
bool Form::visible() const { return impl_->exists() && IsWindowVisible(impl_->hwnd()); }
void Form::set_state(WindowState s) { impl_->set_state(s); }
WindowState Form::state() const { return impl_->state(); }

void Form::set_caption(std::string_view text) {
    if (impl_->exists()) SetWindowTextA(impl_->hwnd(), std::string(text).c_str());
}

std::string Form::caption() const {
    return impl_->exists() ? win32::window_text(impl_->hwnd()) : std::string{};
}

void Form::set_outer_size_twips(int width, int height) {
    if (!impl_->exists()) return;
    impl_->outer_twips = SIZE{width, height};
    SetWindowPos(impl_->hwnd(), nullptr, 0, 0, impl_->px_x(width), impl_->px_y(height),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

Rect Form::outer_rect() const {
    RECT r{};
    if (impl_->exists()) GetWindowRect(impl_->hwnd(), &r);
    return win32::from_rect(r);
}

void Form::center_on_screen() {
    if (!impl_->exists()) return;
    RECT r{};
    GetWindowRect(impl_->hwnd(), &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    SetWindowPos(impl_->hwnd(), nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - h) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::move_to(int left, int top) {
    if (impl_->exists())
        SetWindowPos(impl_->hwnd(), nullptr, left, top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// An owned box stays above its owner, also a topmost one: it is hidden
// while the form takes input over it, so that it neither covers the form nor
// takes a click.
void Form::set_enabled(bool on) {
    if (!impl_->exists()) return;
    const HWND w = impl_->hwnd();
    HWND& box = impl_->hidden_box;
    if (on) {
        if (const HWND b = win32::owned_box(w); b && !box) {
            box = b;
            ShowWindow(box, SW_HIDE);
        }
        EnableWindow(w, TRUE);
        return;
    }
    EnableWindow(w, FALSE);
    if (box && IsWindow(box)) {
        ShowWindow(box, SW_SHOW);
        SetForegroundWindow(box);
    }
    box = nullptr;
}

void Form::invalidate() {
    if (impl_->exists()) InvalidateRect(impl_->hwnd(), nullptr, TRUE);
}

void Form::update() {
    if (impl_->exists()) UpdateWindow(impl_->hwnd());
}

NativeWindow Form::handle() const { return from_hwnd(impl_->hwnd()); }

void Form::popup_menu(std::string_view name) { impl_->popup_menu(menu_id(name)); }

// --- lifecycle -----------------------------------------------------------

Form::Impl::~Impl() { destroy(); }

void Form::Impl::create() {
    if (exists()) return;

    const std::string cls = std::string("Kv") + spec.name;
    register_class(cls.c_str(), CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, win32::icon(spec.icon, false),
                   win32::icon(spec.icon, true));

    // Transparent labels draw the form's painted background themselves, so
    // the form need not paint under its children.
    DWORD style = WS_CLIPCHILDREN;
    DWORD ex_style = 0;
    switch (spec.frame) {
        case Frame::Sizable:
            style |= WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
            break;
        case Frame::FixedDialog:
            style |= WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
            ex_style |= WS_EX_DLGMODALFRAME;
            break;
        case Frame::FixedDialogNoCaption:
            style |= WS_POPUP | WS_DLGFRAME;
            // Without a title bar, a tool window looks the same and needs no
            // owner to keep off the task bar: the splash does not wait for
            // the hidden owner to be made.
            if (!spec.in_taskbar) ex_style |= WS_EX_TOOLWINDOW;
            break;
    }
    if (spec.minimize_box && spec.frame != Frame::FixedDialogNoCaption) style |= WS_MINIMIZEBOX;
    // An owned window has no task-bar button.
    HWND owner = spec.in_taskbar || (ex_style & WS_EX_TOOLWINDOW) ? nullptr : win32::hidden_owner();

    win32::filter_modal_loops();
    controls.clear();
    controls.resize(spec.controls.size());
    timers_on.assign(spec.timers.size(), false);
    pending_minimized = false;
    saved_focus = nullptr;
    if (spec.back && !system_colours().high_contrast)
        form_brush.reset(CreateSolidBrush(win32::to_colorref(*spec.back)));

    outer_twips.reset();
    dpi_x = win32::screen_dpi().x;
    dpi_y = win32::screen_dpi().y;
    win32::Menu bar = build_menus();
    const int client_w = px_x(spec.client_width);
    const int client_h = px_y(spec.client_height);
    RECT r{0, 0, client_w, client_h};
    AdjustWindowRectEx(&r, style, bar ? TRUE : FALSE, ex_style);
    int w = r.right - r.left, h = r.bottom - r.top;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
    if (!create_window(ex_style, cls.c_str(), spec.caption, style, x, y, w, h, owner, bar.get()))
        return;
    bar.release();  // the window owns its menu bar now

    // A menu bar that wraps onto a second line takes client area that the
    // frame calculation did not know of.
    RECT got{};
    GetClientRect(hwnd(), &got);
    if (got.right != client_w || got.bottom != client_h) {
        w += client_w - got.right;
        h += client_h - got.bottom;
        SetWindowPos(hwnd(), nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
                     (GetSystemMetrics(SM_CYSCREEN) - h) / 2, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
    }

    // The title bar and the task bar show the class's icons: setting the same
    // icons on the window as well would make Wine's X11 driver build the
    // window's icon properties twice, about 5 ms of every lock.

    controls_made = false;
    if (!spec.controls_after_show) make_controls();
}

void Form::Impl::make_controls() {
    controls_made = true;
    create_children();
    create_tool_tips();
    // Shown on a screen of another DPI than the system's.
    if (const int dpi = win32::window_dpi(hwnd()); dpi > 0 && dpi != dpi_y) change_dpi(dpi);
}

void Form::Impl::destroy() {
    if (!exists()) return;
    end_modal();
    destroy_window();
}

void Form::Impl::on_destroyed() {
    controls_made = false;
    modal = false;
    disabled_by_modal.clear();
    controls.clear();
    controls.resize(spec.controls.size());
    timers_on.assign(spec.timers.size(), false);
    menus.clear();
    loose_menus.clear();
    accelerators.reset();
    background.reset();
    fonts.clear();
    form_brush.reset();
    saved_focus = nullptr;
    pending_minimized = false;
    hidden_box = nullptr;
}

void Form::Impl::show() {
    if (!exists()) return;
    if (pending_minimized) {
        pending_minimized = false;
        ShowWindow(hwnd(), SW_SHOWMINIMIZED);
        if (!controls_made) make_controls();
        return;
    }
    ShowWindow(hwnd(), SW_SHOW);
    if (!controls_made) make_controls();
    // Under a box it owns, the box takes the foreground, as when Windows
    // activates a disabled owner.
    if (!IsIconic(hwnd())) SetForegroundWindow(win32::usable_self(hwnd()));
}

void Form::Impl::hide() {
    if (!exists()) return;
    end_modal();
    ShowWindow(hwnd(), SW_HIDE);
}

void Form::Impl::set_state(WindowState s) {
    if (!exists()) return;
    if (!IsWindowVisible(hwnd())) {
        pending_minimized = s == WindowState::Minimized;
        return;
    }
    pending_minimized = false;
    switch (s) {
        case WindowState::Minimized:
            if (!IsIconic(hwnd())) ShowWindow(hwnd(), SW_MINIMIZE);
            break;
        case WindowState::Maximized:
            if (!IsZoomed(hwnd())) ShowWindow(hwnd(), SW_MAXIMIZE);
            break;
        case WindowState::Normal:
            // A window minimised from the maximised state restores to it
            // first.
            for (int i = 0; i < 2 && (IsIconic(hwnd()) || IsZoomed(hwnd())); ++i)
                ShowWindow(hwnd(), SW_RESTORE);
            break;
    }
}

WindowState Form::Impl::state() const {
    if (!exists()) return WindowState::Normal;
    if (!IsWindowVisible(hwnd()))
        return pending_minimized ? WindowState::Minimized : WindowState::Normal;
    if (IsIconic(hwnd())) return WindowState::Minimized;
    return IsZoomed(hwnd()) ? WindowState::Maximized : WindowState::Normal;
}

// --- modality ----------------------------------------------------------------

namespace {

struct OwnedBox {
    HWND owner;
    HWND found;
};

BOOL CALLBACK find_owned_box(HWND w, LPARAM p) noexcept {
    auto* box = reinterpret_cast<OwnedBox*>(p);
    if (GetWindow(w, GW_OWNER) != box->owner || !IsWindowVisible(w) || !IsWindowEnabled(w))
        return TRUE;
    box->found = w;
    return FALSE;
}

}  // namespace

namespace win32 {

HWND owned_box(HWND owner) {
    OwnedBox box{owner, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), &find_owned_box, reinterpret_cast<LPARAM>(&box));
    return box.found;
}

HWND usable_self(HWND w) {
    if (IsWindowEnabled(w)) return w;
    const HWND box = owned_box(w);
    return box ? box : w;
}

}  // namespace win32

namespace {

struct DisableContext {
    HWND modal;
    std::vector<HWND>* disabled;
};

BOOL CALLBACK disable_other(HWND w, LPARAM p) noexcept {
    auto* ctx = reinterpret_cast<DisableContext*>(p);
    if (w != ctx->modal && GetWindow(w, GW_OWNER) != ctx->modal && IsWindowVisible(w) &&
        IsWindowEnabled(w)) {
        EnableWindow(w, FALSE);
        ctx->disabled->push_back(w);
    }
    return TRUE;
}

}  // namespace

void Form::Impl::show_modal() {
    if (!exists() || modal) return;
    if (!controls_made) make_controls();
    const HWND self = hwnd();
    const HWND previous = win32::active_form();
    // Owned by the form it was opened from, so it stays in front of it.
    if (!spec.in_taskbar && previous && previous != self)
        SetWindowLongPtrA(self, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(previous));

    DisableContext ctx{self, &disabled_by_modal};
    EnumThreadWindows(GetCurrentThreadId(), &disable_other, reinterpret_cast<LPARAM>(&ctx));
    modal = true;
    active_before_modal = previous;

    ShowWindow(self, SW_SHOW);
    SetForegroundWindow(self);
    UpdateWindow(self);

    MSG msg{};
    while (modal && hwnd() == self && IsWindowVisible(self)) {
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(msg.wParam));  // for the outer loop
            break;
        }
        if (got == -1) break;
        win32::dispatch_message(msg);
    }
    end_modal();
}

void Form::Impl::end_modal() {
    if (!modal) return;
    modal = false;
    for (HWND w : disabled_by_modal)
        if (IsWindow(w)) EnableWindow(w, TRUE);
    disabled_by_modal.clear();
    const HWND previous = active_before_modal;
    active_before_modal = nullptr;
    if (previous && IsWindow(previous) && IsWindowVisible(previous)) SetForegroundWindow(previous);
}

// --- messages ------------------------------------------------------------

namespace {

// The window commands a form hears of, by their WM_SYSCOMMAND values.
constexpr std::pair<WPARAM, SysCommand> kSysCommands[] = {
    {SC_MINIMIZE, SysCommand::Minimize}, {SC_MAXIMIZE, SysCommand::Maximize},
    {SC_RESTORE, SysCommand::Restore},   {SC_MOVE, SysCommand::Move},
    {SC_SIZE, SysCommand::Size},         {SC_HOTKEY, SysCommand::HotKey},
    {SC_KEYMENU, SysCommand::KeyMenu},
};

std::optional<SysCommand> sys_command_of(WPARAM wp) {
    for (const auto& [value, command] : kSysCommands)
        if ((wp & 0xFFF0) == value) return command;
    return std::nullopt;
}

}  // namespace

LRESULT Form::Impl::handle_message(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == win32::menu_state_message() && msg != 0) {
        if (wp >= menus.size() || !menus[wp].parent) return -1;
        const UINT state = GetMenuState(menus[wp].parent, menus[wp].position, MF_BYPOSITION);
        return state == static_cast<UINT>(-1) ? -1 : static_cast<LRESULT>(state);
    }
    switch (msg) {
        case WM_ERASEBKGND:
            return on_erase_background(reinterpret_cast<HDC>(wp));
        case WM_PAINT:
            paint_form();
            return 0;
        case WM_COMMAND:
            on_command(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp));
            return 0;
        case WM_TIMER:
            on_timer(wp);
            return 0;
        case WM_INITMENUPOPUP:
            for (std::size_t i = 0; i < menus.size(); ++i)
                if (menus[i].submenu == reinterpret_cast<HMENU>(wp))
                    events.on_menu_open(spec.menus[i].name);
            return 0;
        case WM_CLOSE:
            events.on_close();  // the handler decides whether the form goes
            return 0;
        case WM_ENDSESSION:
            if (wp) {
                events.on_session_end();
                events.on_close();
            }
            return 0;
        case WM_WINDOWPOSCHANGING:
            if (events.keeps_top()) {
                auto& pos = *reinterpret_cast<WINDOWPOS*>(lp);
                pos.hwndInsertAfter = HWND_TOPMOST;
                pos.flags &= ~static_cast<UINT>(SWP_NOZORDER);
            }
            return default_handling(msg, wp, lp);
        case WM_SYSCOMMAND:
            if (const auto c = sys_command_of(wp); c && !events.on_sys_command(*c)) return 0;
            return default_handling(msg, wp, lp);
        case WM_APPCOMMAND:
            // Answered here when refused, rather than handed on to the shell.
            if (!events.on_sys_command(SysCommand::AppCommand)) return TRUE;
            return default_handling(msg, wp, lp);
        case WM_QUERYENDSESSION:
            return end_session_allowed() ? TRUE : FALSE;
        case WM_HOTKEY:
            if (events.on_sys_command(SysCommand::HotKey)) on_hotkey();
            return 0;
        case WM_ACTIVATE:
            on_activate(LOWORD(wp) != WA_INACTIVE, HIWORD(wp) != 0);
            return 0;
        case WM_CANCELMODE:
            // Wine sends it to the foreground window whose X window lost the
            // keyboard focus, which no activation message reports.
            PostMessageA(hwnd(), win32::kWmDeactivated, 0, 0);
            return default_handling(msg, wp, lp);
        case win32::kWmDeactivated:
            events.on_deactivate();
            return 0;
        case WM_SETFOCUS:
            restore_focus();
            return 0;
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
            return on_control_color(msg, reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp));
        case WM_DPICHANGED:
            // The suggested rectangle is not used: the window keeps its
            // centre and takes its size from its twips.
            change_dpi(HIWORD(wp));
            return 0;
        case WM_SETTINGCHANGE:
        case WM_SYSCOLORCHANGE:
            // High contrast turned on or off, or other colours: at once.
            win32::refresh_system_colours();
            repaint_all();
            return default_handling(msg, wp, lp);
        case DM_GETDEFID:
            return on_get_default_id();
        case DM_SETDEFID:
            return TRUE;
        case win32::kWmUpdateDefault:
            update_default_button();
            return 0;
        default:
            return default_handling(msg, wp, lp);
    }
}

// A refusal is shown with its reason where the system can (Windows Vista
// and later), which then offers to end the session anyway.
bool Form::Impl::end_session_allowed() {
    const std::string_view reason = events.end_session_refusal();
    if (reason.empty()) return true;
    using Create = BOOL(WINAPI*)(HWND, LPCWSTR);
    static const auto create = reinterpret_cast<Create>(reinterpret_cast<void*>(
        win32::library_function("user32.dll", "ShutdownBlockReasonCreate")));
    if (create) create(hwnd(), std::wstring(reason.begin(), reason.end()).c_str());
    return false;
}

bool Form::Impl::pretranslate(MSG& msg) {
    // Menu shortcut keys act while the form is active and usable; a
    // minimised or disabled form ignores them.
    if (accelerators && (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) &&
        IsWindowEnabled(hwnd()) && !IsIconic(hwnd()) &&
        TranslateAcceleratorA(hwnd(), accelerators.get(), &msg))
        return true;
    // Tab, Enter (default button), Esc (cancel button) and access keys.
    return IsDialogMessageA(hwnd(), &msg) != 0;
}

LRESULT Form::Impl::on_erase_background(HDC dc) {
    RECT r{};
    GetClientRect(hwnd(), &r);
    FillRect(dc, &r, back_brush());
    return 1;
}

void Form::Impl::on_command(int id, int code, HWND from) {
    // Dialog keys: Esc arrives as IDCANCEL, Enter without a default button
    // as IDOK.
    if (from == nullptr && id == IDCANCEL) {
        if (cancel_button >= 0) click_button(cancel_button);
        return;
    }
    if (from == nullptr && id == IDOK) return;
    if (from == nullptr && (code == 0 || code == 1)) {  // menu or accelerator
        on_menu_command(id - kFirstMenuId);
        return;
    }
    const int pos = id - kFirstControlId;
    if (pos < 0 || pos >= static_cast<int>(controls.size())) return;
    if (control_spec(pos).kind == ControlKind::Button && code == BN_CLICKED) click_button(pos);
}

void Form::Impl::on_menu_command(int pos) {
    if (pos < 0 || pos >= static_cast<int>(menus.size()) || !menus[pos].command) return;
    const UINT state = GetMenuState(menus[pos].parent, menus[pos].position, MF_BYPOSITION);
    if (state == static_cast<UINT>(-1) || (state & (MF_GRAYED | MF_DISABLED))) return;
    events.on_menu(spec.menus[pos].name);
}

void Form::Impl::click_button(int pos) {
    const HWND b = child(pos);
    if (!b || !IsWindowEnabled(b) || !(GetWindowLongA(b, GWL_STYLE) & WS_VISIBLE)) return;
    events.on_click(control_spec(pos).name, control_spec(pos).index);
}

void Form::Impl::on_timer(WPARAM id) {
    const auto pos = static_cast<std::size_t>(id - win32::kFirstTimerId);
    if (id < win32::kFirstTimerId || pos >= timers_on.size() || !timers_on[pos]) return;
    events.on_timer(spec.timers[pos].name);
}

void Form::Impl::on_hotkey() {
    // As Windows does for a window's own hot key: restore and activate.
    if (IsIconic(hwnd())) ShowWindow(hwnd(), SW_RESTORE);
    SetForegroundWindow(hwnd());
}

void Form::Impl::on_activate(bool active, bool minimized) {
    if (!active) {
        const HWND f = GetFocus();
        if (f && IsChild(hwnd(), f)) saved_focus = f;
        // Heard once the activation has moved on: taking the keyboard back
        // from inside the change itself would fight it.
        PostMessageA(hwnd(), win32::kWmDeactivated, 0, 0);
        return;
    }
    if (!minimized) restore_focus();
}

void Form::Impl::restore_focus() {
    HWND target = saved_focus;
    if (!target || !IsWindow(target) || !IsChild(hwnd(), target) || !IsWindowVisible(target) ||
        !IsWindowEnabled(target))
        target = GetNextDlgTabItem(hwnd(), nullptr, FALSE);
    if (target && target != hwnd() && (GetWindowLongA(target, GWL_STYLE) & WS_TABSTOP))
        SetFocus(target);
}

void Form::Impl::move_focus_from(HWND from) {
    HWND next = GetNextDlgTabItem(hwnd(), from, FALSE);
    if (next && next != from && IsWindowVisible(next) && IsWindowEnabled(next))
        SetFocus(next);
    else
        SetFocus(hwnd());
}

LRESULT Form::Impl::on_control_color(UINT msg, HDC dc, HWND from) {
    const int pos = position_of(from);
    if (pos < 0)
        return default_handling(msg, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(from));
    const ControlSpec& c = control_spec(pos);
    const ControlState& s = controls[pos];
    // In high contrast the system's own colours.
    if (system_colours().high_contrast && c.kind != ControlKind::Label)
        return default_handling(msg, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(from));
    const std::optional<Rgb> fore = s.fore ? s.fore : c.fore;
    switch (c.kind) {
        case ControlKind::Button:
            SetBkColor(dc, spec.back ? win32::to_colorref(*spec.back) : GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<LRESULT>(back_brush());
        case ControlKind::Label:
            SetBkMode(dc, TRANSPARENT);
            if (fore) SetTextColor(dc, win32::to_colorref(*fore));
            return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
        default: {
            const LRESULT standard =
                default_handling(msg, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(from));
            if (fore) SetTextColor(dc, win32::to_colorref(*fore));
            if (c.back && s.back_brush) {
                SetBkColor(dc, win32::to_colorref(*c.back));
                return reinterpret_cast<LRESULT>(s.back_brush.get());
            }
            return standard;
        }
    }
}

LRESULT Form::Impl::on_get_default_id() const {
    if (default_button < 0) return 0;
    return MAKELRESULT(kFirstControlId + default_button, DC_HASDEFID);
}

// The button with the focus is the default one while it has it; otherwise
// the form's own default button is.
void Form::Impl::update_default_button() {
    const HWND focus = GetFocus();
    int wanted = default_button;
    for (std::size_t i = 0; i < controls.size(); ++i)
        if (controls[i].hwnd == focus && spec.controls[i].kind == ControlKind::Button)
            wanted = static_cast<int>(i);
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const HWND b = controls[i].hwnd;
        if (!b || spec.controls[i].kind != ControlKind::Button) continue;
        const bool is_default = (GetWindowLongA(b, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
        const bool want_default = static_cast<int>(i) == wanted;
        if (is_default != want_default)
            SendMessageA(b, BM_SETSTYLE, want_default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
    }
}

int Form::Impl::position_of(HWND w) const {
    if (!w) return -1;
    const int pos = GetDlgCtrlID(w) - kFirstControlId;
    if (pos < 0 || pos >= static_cast<int>(controls.size()) || controls[pos].hwnd != w) return -1;
    return pos;
}

void Form::Impl::popup_menu(int pos) {
    if (!exists() || pos < 0 || pos >= static_cast<int>(menus.size())) return;
    const HMENU m = menus[pos].submenu;
    if (!m) return;
    POINT at{};
    GetCursorPos(&at);
    TrackPopupMenu(m, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd(),
                   nullptr);
}

Rgb Form::Impl::default_fore(ControlKind kind) const {
    const bool window_like = kind == ControlKind::ListBox || kind == ControlKind::TextBox;
    return win32::from_colorref(GetSysColor(window_like ? COLOR_WINDOWTEXT : COLOR_BTNTEXT));
}

HBRUSH Form::Impl::back_brush() const {
    if (form_brush) return form_brush.get();
    return GetSysColorBrush(system_colours().high_contrast ? COLOR_WINDOW : COLOR_BTNFACE);
}

}  // namespace kv::platform
