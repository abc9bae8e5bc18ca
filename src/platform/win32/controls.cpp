// Controls, menu items and timers of a form, addressed by their position in
// the form's layout table.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "platform/win32/form_impl.h"

namespace kv::platform {

namespace {

bool is_label(const Form::Impl& f, int pos) {
    return f.control_spec(pos).kind == ControlKind::Label;
}

bool is_windowed(const Form::Impl& f, int pos) {
    const ControlKind k = f.control_spec(pos).kind;
    return k != ControlKind::Shape && k != ControlKind::Line && k != ControlKind::Picture;
}

}  // namespace

// --- Control ---------------------------------------------------------------

void Control::set_text(std::string_view text) {
    Form::Impl& f = form_->impl();
    const HWND h = f.child(id_);
    if (!h || f.control_spec(id_).kind == ControlKind::ListBox) return;
    SetWindowTextA(h, std::string(text).c_str());
    if (is_label(f, id_)) f.refresh_label(id_);
}

std::string Control::text() const {
    const Form::Impl& f = form_->impl();
    const HWND h = f.child(id_);
    if (!h) return {};
    if (f.control_spec(id_).kind == ControlKind::ListBox) return list_item(list_index());
    return win32::window_text(h);
}

void Control::set_visible(bool on) {
    Form::Impl& f = form_->impl();
    if (!f.exists()) return;
    if (!is_windowed(f, id_)) {
        if (f.controls[id_].visible == on) return;
        f.controls[id_].visible = on;
        f.invalidate_drawn(id_);
        return;
    }
    const HWND h = f.child(id_);
    if (!h || visible() == on) return;
    const bool had_focus = !on && GetFocus() == h;
    ShowWindow(h, on ? SW_SHOWNA : SW_HIDE);
    if (had_focus) f.move_focus_from(h);
    if (is_label(f, id_)) f.refresh_label(id_);
}

bool Control::visible() const {
    const Form::Impl& f = form_->impl();
    if (!f.exists()) return (f.control_spec(id_).flags & kHidden) == 0;
    if (!is_windowed(f, id_)) return f.controls[id_].visible;
    const HWND h = f.child(id_);
    return h && (GetWindowLongA(h, GWL_STYLE) & WS_VISIBLE) != 0;
}

void Control::set_enabled(bool on) {
    Form::Impl& f = form_->impl();
    const HWND h = f.child(id_);
    if (!h) return;
    const bool had_focus = !on && GetFocus() == h;
    EnableWindow(h, on ? TRUE : FALSE);
    if (had_focus) f.move_focus_from(h);
}

bool Control::enabled() const {
    const HWND h = form_->impl().child(id_);
    return h ? IsWindowEnabled(h) != 0 : true;
}

void Control::set_fore_color(Rgb c) {
    Form::Impl& f = form_->impl();
    if (!f.exists()) return;
    f.controls[id_].fore = c;
    if (!is_windowed(f, id_)) {
        f.invalidate_drawn(id_);
    } else if (is_label(f, id_)) {
        f.refresh_label(id_);
    } else if (const HWND h = f.child(id_)) {
        InvalidateRect(h, nullptr, TRUE);
    }
}

Rgb Control::fore_color() const {
    const Form::Impl& f = form_->impl();
    const ControlSpec& c = f.control_spec(id_);
    if (f.exists() && f.controls[id_].fore) return *f.controls[id_].fore;
    return c.fore.value_or(f.default_fore(c.kind));
}

void Control::set_alert(bool on) {
    Form::Impl& f = form_->impl();
    const HWND h = f.child(id_);
    if (!h || !is_label(f, id_) || f.controls[id_].alert == on) return;
    f.controls[id_].alert = on;
    f.refresh_label(id_);
    if (on) NotifyWinEvent(EVENT_SYSTEM_ALERT, h, OBJID_WINDOW, CHILDID_SELF);
}

void Control::set_focus() {
    if (const HWND h = form_->impl().child(id_)) SetFocus(h);
}

Rect Control::screen_rect() const {
    const Form::Impl& f = form_->impl();
    if (!f.exists()) return {};
    RECT r{};
    if (const HWND h = f.child(id_)) {
        GetWindowRect(h, &r);
    } else {
        r = f.controls[id_].rect;
        MapWindowPoints(f.hwnd(), nullptr, reinterpret_cast<POINT*>(&r), 2);
    }
    return win32::from_rect(r);
}

NativeWindow Control::handle() const { return win32::from_hwnd(form_->impl().child(id_)); }

// --- list boxes --------------------------------------------------------------

namespace {

HWND list_of(Form* form, int id) {
    const Form::Impl& f = form->impl();
    return f.control_spec(id).kind == ControlKind::ListBox ? f.child(id) : nullptr;
}

}  // namespace

void Control::list_add(std::string_view item) {
    if (const HWND h = list_of(form_, id_))
        SendMessageA(h, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(std::string(item).c_str()));
}

// LB_INSERTSTRING does not sort, even in a sorted list.
void Control::list_insert(int index, std::string_view item) {
    if (const HWND h = list_of(form_, id_))
        SendMessageA(h, LB_INSERTSTRING, index,
                     reinterpret_cast<LPARAM>(std::string(item).c_str()));
}

namespace {

std::wstring wide(std::string_view text) {
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), w.data(), n);
    return w;
}

}  // namespace

// What a sorted list box compares with: the text in the user's locale,
// case ignored.
int list_order(std::string_view a, std::string_view b) {
    const std::wstring wa = wide(a), wb = wide(b);
    const int r = CompareStringW(GetUserDefaultLCID(), NORM_IGNORECASE, wa.c_str(),
                                 static_cast<int>(wa.size()), wb.c_str(),
                                 static_cast<int>(wb.size()));
    return r == 0 ? -1 : r - CSTR_EQUAL;
}

void Control::list_remove(int index) {
    if (const HWND h = list_of(form_, id_)) SendMessageA(h, LB_DELETESTRING, index, 0);
}

void Control::list_clear() {
    if (const HWND h = list_of(form_, id_)) SendMessageA(h, LB_RESETCONTENT, 0, 0);
}

int Control::list_count() const {
    const HWND h = list_of(form_, id_);
    if (!h) return 0;
    const LRESULT n = SendMessageA(h, LB_GETCOUNT, 0, 0);
    return n == LB_ERR ? 0 : static_cast<int>(n);
}

std::string Control::list_item(int index) const {
    const HWND h = list_of(form_, id_);
    if (!h || index < 0) return {};
    const LRESULT length = SendMessageA(h, LB_GETTEXTLEN, index, 0);
    if (length == LB_ERR || length <= 0) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const LRESULT got = SendMessageA(h, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    text.resize(got == LB_ERR ? 0 : static_cast<std::size_t>(got));
    return text;
}

int Control::list_index() const {
    const HWND h = list_of(form_, id_);
    if (!h) return -1;
    const LRESULT i = SendMessageA(h, LB_GETCURSEL, 0, 0);
    return i == LB_ERR ? -1 : static_cast<int>(i);
}

void Control::set_list_index(int index) {
    if (const HWND h = list_of(form_, id_)) SendMessageA(h, LB_SETCURSEL, index, 0);
}

// --- MenuItem ----------------------------------------------------------------

namespace {

const Form::Impl::MenuState* menu_state(Form* form, int id) {
    const Form::Impl& f = form->impl();
    if (!f.exists() || id < 0 || id >= static_cast<int>(f.menus.size())) return nullptr;
    const auto& s = f.menus[id];
    return s.parent ? &s : nullptr;
}

// The system's shield, drawn once at the small icon size into a bitmap with
// an alpha channel, which menus draw beside the caption (Windows Vista and
// later; before them there is none, and no item shows it).
HBITMAP shield_bitmap() {
    static const win32::Bitmap bitmap = [] {
        using GetStockIcon = HRESULT(WINAPI*)(SHSTOCKICONID, UINT, SHSTOCKICONINFO*);
        const auto get = reinterpret_cast<GetStockIcon>(reinterpret_cast<void*>(
            win32::library_function("shell32.dll", "SHGetStockIconInfo")));
        SHSTOCKICONINFO info{};
        info.cbSize = sizeof info;
        if (!get || FAILED(get(SIID_SHIELD, SHGSI_ICON | SHGSI_SMALLICON, &info)) || !info.hIcon)
            return win32::Bitmap{};
        const win32::IconHandle icon(info.hIcon);
        const int cx = GetSystemMetrics(SM_CXSMICON), cy = GetSystemMetrics(SM_CYSMICON);
        BITMAPINFO bits_info{};
        bits_info.bmiHeader.biSize = sizeof bits_info.bmiHeader;
        bits_info.bmiHeader.biWidth = cx;
        bits_info.bmiHeader.biHeight = -cy;  // top-down
        bits_info.bmiHeader.biPlanes = 1;
        bits_info.bmiHeader.biBitCount = 32;
        bits_info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        win32::Bitmap result(
            CreateDIBSection(nullptr, &bits_info, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (!result) return result;
        const win32::MemoryDC dc(nullptr);
        const win32::Selected into(dc.get(), result.get());
        DrawIconEx(dc.get(), 0, 0, icon.get(), cx, cy, 0, nullptr, DI_NORMAL);
        return result;
    }();
    return bitmap.get();
}

}  // namespace

void MenuItem::set_checked(bool on) {
    if (const auto* s = menu_state(form_, id_))
        CheckMenuItem(s->parent, s->position, MF_BYPOSITION | (on ? MF_CHECKED : MF_UNCHECKED));
}

bool MenuItem::checked() const {
    const auto* s = menu_state(form_, id_);
    if (!s) return false;
    const UINT state = GetMenuState(s->parent, s->position, MF_BYPOSITION);
    return state != static_cast<UINT>(-1) && (state & MF_CHECKED);
}

void MenuItem::set_enabled(bool on) {
    const auto* s = menu_state(form_, id_);
    if (!s) return;
    EnableMenuItem(s->parent, s->position, MF_BYPOSITION | (on ? MF_ENABLED : MF_GRAYED));
    const HWND w = form_->impl().hwnd();
    if (GetMenu(w) == s->parent) DrawMenuBar(w);
}

void MenuItem::set_shield(bool on) {
    const auto* s = menu_state(form_, id_);
    const HBITMAP shield = shield_bitmap();
    if (!s || !shield) return;
    MENUITEMINFOA item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_BITMAP;
    item.hbmpItem = on ? shield : nullptr;
    SetMenuItemInfoA(s->parent, s->position, TRUE, &item);
}

bool MenuItem::shield() const {
    const auto* s = menu_state(form_, id_);
    MENUITEMINFOA item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_BITMAP;
    return s && GetMenuItemInfoA(s->parent, s->position, TRUE, &item) && item.hbmpItem &&
           item.hbmpItem == shield_bitmap();
}

bool MenuItem::enabled() const {
    const auto* s = menu_state(form_, id_);
    if (!s) return form_->spec().menus[id_].enabled;
    const UINT state = GetMenuState(s->parent, s->position, MF_BYPOSITION);
    return state != static_cast<UINT>(-1) && !(state & (MF_GRAYED | MF_DISABLED));
}

// --- Timer -------------------------------------------------------------------

void Timer::set_enabled(bool on) {
    Form::Impl& f = form_->impl();
    if (!f.exists() || id_ < 0 || id_ >= static_cast<int>(f.timers_on.size())) return;
    if (f.timers_on[id_] == on) return;  // a running timer keeps its count
    f.timers_on[id_] = on;
    const UINT_PTR timer_id = win32::kFirstTimerId + static_cast<UINT_PTR>(id_);
    if (on)
        SetTimer(f.hwnd(), timer_id, form_->spec().timers[id_].interval_ms, nullptr);
    else
        KillTimer(f.hwnd(), timer_id);
}

bool Timer::enabled() const {
    const Form::Impl& f = form_->impl();
    return f.exists() && id_ >= 0 && id_ < static_cast<int>(f.timers_on.size()) && f.timers_on[id_];
}

}  // namespace kv::platform
