// Building a form's native parts from its layout table: fonts, child
// controls in tab order, tool tips, menus and shortcut keys.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <optional>

#include "platform/win32/form_impl.h"
#include "platform/win32/resource_ids.h"

namespace kv::platform {

namespace win32 {

Font create_font(const FontSpec& f, int dpi) {
    const int height =
        -static_cast<int>(std::lround(f.points * (dpi > 0 ? dpi : screen_dpi().y) / 72.0));
    return Font(CreateFontA(height, 0, 0, 0, f.bold ? FW_BOLD : FW_NORMAL, f.italic ? TRUE : FALSE,
                            FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                            DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                            f.face ? f.face : "MS Sans Serif"));
}

}  // namespace win32

// Controls without a font of their own use "MS Sans Serif" 8.25 pt, with
// their bold and italic flags; the form's own font does not pass on to them.
HFONT Form::Impl::font_for(const FontSpec& f) {
    char key[128];
    std::snprintf(key, sizeof key, "%s|%.2f|%d|%d", f.face ? f.face : "", f.points, f.bold ? 1 : 0,
                  f.italic ? 1 : 0);
    for (const auto& [k, font] : fonts)
        if (k == key) return font.get();
    fonts.emplace_back(key, win32::create_font(f, dpi_y));
    return fonts.back().second.get();
}

namespace {

struct ChildClass {
    const char* cls;
    DWORD style;
    DWORD ex_style;
};

ChildClass child_class(const ControlSpec& c) {
    switch (c.kind) {
        case ControlKind::Button:
            return {"BUTTON",
                    static_cast<DWORD>(WS_TABSTOP |
                                       ((c.flags & kDefault) ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON)),
                    0};
        case ControlKind::TextBox:
            return {"EDIT",
                    static_cast<DWORD>(WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL |
                                       ((c.flags & kPassword) ? ES_PASSWORD : 0)),
                    WS_EX_CLIENTEDGE};
        case ControlKind::ListBox:
            return {"LISTBOX",
                    static_cast<DWORD>(WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_HASSTRINGS |
                                       LBS_NOINTEGRALHEIGHT | ((c.flags & kSorted) ? LBS_SORT : 0)),
                    WS_EX_CLIENTEDGE};
        default:
            // A static control, so that screen readers read it and name the
            // control after it by it; the form draws it (paint_label).
            return {"STATIC", SS_OWNERDRAW, 0};
    }
}

// The manifest's dependency on the common controls 6 sends every "Static"
// to their copy of it, and the first one loads them and their themes: the
// splash, which has labels only, would wait for that before it shows. Labels
// draw themselves and need nothing of that copy, so they are created in a
// context of their own that names the system's static control, and the
// common controls load with the first button, after the splash.
using ActCtxTraits = win32::Traits<HANDLE, win32::HandleKind::Kernel, &ReleaseActCtx>;

HANDLE labels_context() {
    static const win32::Unique<ActCtxTraits> context = [] {
        char path[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, path, sizeof path);
        ACTCTXA ctx{};
        ctx.cbSize = sizeof ctx;
        ctx.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
        ctx.lpSource = path;
        ctx.hModule = GetModuleHandleA(nullptr);
        ctx.lpResourceName = MAKEINTRESOURCEA(KV_LABELS_MANIFEST);
        const HANDLE h = CreateActCtxA(&ctx);
        return win32::Unique<ActCtxTraits>(h == INVALID_HANDLE_VALUE ? nullptr : h);
    }();
    return context.get();
}

// The labels' context is the active one while it lives; without it (it
// could not be made) the labels are the common controls' static controls.
class LabelsContext {
public:
    LabelsContext() {
        if (const HANDLE ctx = labels_context(); ctx && !ActivateActCtx(ctx, &cookie_)) cookie_ = 0;
    }
    ~LabelsContext() {
        if (cookie_) DeactivateActCtx(0, cookie_);
    }
    LabelsContext(const LabelsContext&) = delete;
    LabelsContext& operator=(const LabelsContext&) = delete;

private:
    ULONG_PTR cookie_ = 0;
};

}  // namespace

void Form::Impl::layout_children() {
    for (std::size_t i = 0; i < spec.controls.size(); ++i) {
        const ControlSpec& c = spec.controls[i];
        ControlState& s = controls[i];
        if (c.kind == ControlKind::Line) {
            s.rect = {px_x(c.left), px_y(c.top), px_x(c.width), px_y(c.height)};
        } else {
            s.rect.left = px_x(c.left);
            s.rect.top = px_y(c.top);
            s.rect.right = s.rect.left + px_x(c.width);
            s.rect.bottom = s.rect.top + px_y(c.height);
        }
        s.font = font_for(c.font);
    }
    // A label that names a control lies above it in the window order: it
    // ends where the control begins, so as not to paint over its edge.
    for (std::size_t pos = 0; pos < spec.controls.size(); ++pos) {
        const ControlSpec& c = spec.controls[pos];
        if (c.kind != ControlKind::Label || !c.label_for) continue;
        for (std::size_t t = 0; t < spec.controls.size(); ++t) {
            const RECT& named = controls[t].rect;
            RECT& r = controls[pos].rect;
            if (std::string_view(spec.controls[t].name) == c.label_for && named.top > r.top &&
                named.top < r.bottom)
                r.bottom = named.top;
        }
    }
}

void Form::Impl::create_children() {
    default_button = -1;
    cancel_button = -1;

    // Focusable controls lie above the labels, as the layout has it, and in
    // tab order, so that the dialog keys walk them by tab index; a label
    // that names one goes just before it. A child window is made at the
    // bottom of its siblings: made in this order, they lie in it.
    const std::vector<int> order = window_order(spec);

    layout_children();
    for (std::size_t i = 0; i < spec.controls.size(); ++i) {
        const ControlSpec& c = spec.controls[i];
        ControlState& s = controls[i];
        s.visible = (c.flags & kHidden) == 0;
        s.fore.reset();
        s.alert = false;
        if (c.back && (c.kind == ControlKind::ListBox || c.kind == ControlKind::TextBox))
            s.back_brush.reset(CreateSolidBrush(win32::to_colorref(*c.back)));
        if (c.kind == ControlKind::Button && (c.flags & kDefault) && default_button < 0)
            default_button = static_cast<int>(i);
        if (c.kind == ControlKind::Button && (c.flags & kCancel) && cancel_button < 0)
            cancel_button = static_cast<int>(i);
    }

    for (int pos : order) {
        const ControlSpec& c = spec.controls[pos];
        ControlState& s = controls[pos];
        const ChildClass k = child_class(c);
        // A list shows no text of its own: it takes that of the label that
        // names it, for the screen readers that look for its name there.
        const char* text = c.text;
        for (const ControlSpec& label : spec.controls)
            if (c.kind == ControlKind::ListBox && label.label_for &&
                std::string_view(label.label_for) == c.name)
                text = label.text;
        const DWORD style =
            WS_CHILD | WS_CLIPSIBLINGS | k.style | ((c.flags & kHidden) ? 0 : WS_VISIBLE);
        std::optional<LabelsContext> labels;
        if (c.kind == ControlKind::Label) labels.emplace();
        s.hwnd =
            CreateWindowExA(k.ex_style, k.cls, text, style, s.rect.left, s.rect.top,
                            s.rect.right - s.rect.left, s.rect.bottom - s.rect.top, hwnd(),
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + pos)),
                            GetModuleHandleA(nullptr), nullptr);
        labels.reset();
        if (!s.hwnd) continue;
        SendMessageA(s.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(s.font), FALSE);

        switch (c.kind) {
            case ControlKind::TextBox:
                if (c.flags & kPassword) SendMessageA(s.hwnd, EM_SETPASSWORDCHAR, '*', 0);
                SendMessageA(s.hwnd, EM_SETLIMITTEXT, static_cast<WPARAM>(c.max_length), 0);
                break;
            case ControlKind::ListBox:
                win32::subclass(s.hwnd, &win32::list_proc);
                break;
            case ControlKind::Button:
                win32::subclass(s.hwnd, &win32::button_proc);
                break;
            case ControlKind::Label:
                win32::subclass(s.hwnd, &win32::label_proc);
                break;
            default:
                break;
        }
    }
}

void Form::Impl::change_dpi(int dpi) {
    if (!exists() || dpi <= 0 || (dpi == dpi_x && dpi == dpi_y)) return;
    const int old_y = dpi_y;
    dpi_x = dpi_y = dpi;
    // The old fonts stay until every control has its new one.
    auto old_fonts = std::move(fonts);
    fonts.clear();
    layout_children();
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const ControlState& s = controls[i];
        if (!s.hwnd) continue;
        SendMessageA(s.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(s.font), FALSE);
        SetWindowPos(s.hwnd, nullptr, s.rect.left, s.rect.top, s.rect.right - s.rect.left,
                     s.rect.bottom - s.rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
        fit_label_to_text(static_cast<int>(i));
    }
    RECT r{};
    GetWindowRect(hwnd(), &r);
    int w = MulDiv(r.right - r.left, dpi, old_y), h = MulDiv(r.bottom - r.top, dpi, old_y);
    if (outer_twips) {
        w = px_x(outer_twips->cx);
        h = px_y(outer_twips->cy);
    }
    SetWindowPos(hwnd(), nullptr, (r.left + r.right - w) / 2, (r.top + r.bottom - h) / 2, w, h,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    background.reset();
    RedrawWindow(hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    events.on_dpi_changed();
}

void Form::Impl::create_tool_tips() {
    const bool any = std::any_of(spec.controls.begin(), spec.controls.end(),
                                 [](const ControlSpec& c) { return c.tooltip && *c.tooltip; });
    if (!any) return;
    static const bool registered = [] {
        // Loaded here rather than at start: the splash shows without the
        // common controls.
        using Init = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
        const auto init = reinterpret_cast<Init>(reinterpret_cast<void*>(
            win32::library_function("comctl32.dll", "InitCommonControlsEx")));
        INITCOMMONCONTROLSEX classes{};
        classes.dwSize = sizeof classes;
        classes.dwICC = ICC_WIN95_CLASSES;
        return init && init(&classes) != FALSE;
    }();
    if (!registered) return;
    // Owned by the form, so it goes with it.
    const HWND tips = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                                      WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd(), nullptr,
                                      GetModuleHandleA(nullptr), nullptr);
    if (!tips) return;
    for (std::size_t i = 0; i < spec.controls.size(); ++i) {
        const ControlSpec& c = spec.controls[i];
        if (!c.tooltip || !*c.tooltip || !controls[i].hwnd) continue;
        TTTOOLINFOA ti{};
        ti.cbSize = sizeof ti;
        ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        ti.hwnd = hwnd();
        ti.uId = reinterpret_cast<UINT_PTR>(controls[i].hwnd);
        ti.lpszText = const_cast<char*>(c.tooltip);
        SendMessageA(tips, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
    }
}

namespace {

UINT virtual_key(Key k) {
    switch (k) {
        case Key::F9:
            return VK_F9;
        case Key::F11:
            return VK_F11;
        case Key::F12:
            return VK_F12;
        case Key::None:
            break;
    }
    return 0;
}

const char* key_text(Key k) {
    switch (k) {
        case Key::F9:
            return "\tF9";
        case Key::F11:
            return "\tF11";
        case Key::F12:
            return "\tF12";
        case Key::None:
            break;
    }
    return "";
}

}  // namespace

win32::Menu Form::Impl::build_menus() {
    menus.assign(spec.menus.size(), MenuState{});
    loose_menus.clear();
    accelerators.reset();

    win32::Menu bar;
    std::vector<ACCEL> keys;
    // parents[d]: the menu that takes the items of depth d + 1.
    std::vector<HMENU> parents(1, nullptr);
    const auto n = spec.menus.size();
    for (std::size_t i = 0; i < n; ++i) {
        const MenuSpec& m = spec.menus[i];
        const auto depth = static_cast<std::size_t>(std::max(m.depth, 0));
        HMENU parent = nullptr;
        if (depth == 0) {
            if (m.in_bar) {
                if (!bar) bar.reset(CreateMenu());
                parent = bar.get();
            }
        } else if (depth <= parents.size()) {
            parent = parents[depth - 1];
        }
        const bool opens = i + 1 < n && spec.menus[i + 1].depth > m.depth;
        if (parents.size() < depth + 1) parents.resize(depth + 1, nullptr);
        parents[depth] = nullptr;

        MenuState& s = menus[i];
        const UINT grey = m.enabled ? 0 : MF_GRAYED;
        if (opens) {
            HMENU sub = CreatePopupMenu();
            s.submenu = sub;
            parents[depth] = sub;
            if (parent) {
                AppendMenuA(parent, MF_POPUP | MF_STRING | grey, reinterpret_cast<UINT_PTR>(sub),
                            m.caption);
            } else {
                loose_menus.emplace_back(sub);  // a pop-up menu of its own
                continue;
            }
        } else if (!parent) {
            continue;
        } else if (std::string_view(m.caption) == "-") {
            AppendMenuA(parent, MF_SEPARATOR, 0, nullptr);
        } else {
            const std::string text = std::string(m.caption) + key_text(m.shortcut);
            AppendMenuA(parent, MF_STRING | grey, static_cast<UINT_PTR>(kFirstMenuId + i),
                        text.c_str());
            s.command = true;
            if (const UINT vk = virtual_key(m.shortcut))
                keys.push_back({FVIRTKEY | FNOINVERT, static_cast<WORD>(vk),
                                static_cast<WORD>(kFirstMenuId + i)});
        }
        s.parent = parent;
        s.position = static_cast<UINT>(GetMenuItemCount(parent) - 1);
    }
    if (!keys.empty())
        accelerators.reset(CreateAcceleratorTableA(keys.data(), static_cast<int>(keys.size())));
    return bar;
}

// --- subclassed controls -------------------------------------------------

namespace win32 {

// Our procedures go in front of a control's own by replacing its window
// procedure, which is kept in the control's user data. The common-controls
// subclass calls would look their chain up in a window property on every
// message, and under Wine each such look-up is a round trip to the server:
// three for each item added to a list, several for each pointer move.
void subclass(HWND w, WNDPROC proc) {
    const bool wide = IsWindowUnicode(w) != FALSE;
    const auto ours = reinterpret_cast<LONG_PTR>(proc);
    const LONG_PTR own =
        wide ? SetWindowLongPtrW(w, GWLP_WNDPROC, ours) : SetWindowLongPtrA(w, GWLP_WNDPROC, ours);
    SetWindowLongPtrW(w, GWLP_USERDATA, own);
}

namespace {

// Hands a message on to the control's own procedure; on WM_NCDESTROY puts
// that procedure back first.
LRESULT pass_on(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    const bool wide = IsWindowUnicode(w) != FALSE;
    const LONG_PTR own = GetWindowLongPtrW(w, GWLP_USERDATA);
    if (msg == WM_NCDESTROY) {
        if (wide)
            SetWindowLongPtrW(w, GWLP_WNDPROC, own);
        else
            SetWindowLongPtrA(w, GWLP_WNDPROC, own);
        SetWindowLongPtrW(w, GWLP_USERDATA, 0);
    }
    const auto proc = reinterpret_cast<WNDPROC>(own);
    return wide ? CallWindowProcW(proc, w, msg, wp, lp) : CallWindowProcA(proc, w, msg, wp, lp);
}

// Hover times below this are a control's own hot tracking.
constexpr DWORD kFastHoverMs = 100;

// What the thread tracks of the pointer now; nothing when it cannot say.
std::optional<TRACKMOUSEEVENT> tracking() {
    TRACKMOUSEEVENT now{};
    now.cbSize = sizeof now;
    now.dwFlags = TME_QUERY;
    if (!TrackMouseEvent(&now)) return std::nullopt;
    return now;
}

void stop_tracking(HWND w) {
    TRACKMOUSEEVENT stop{sizeof stop, TME_CANCEL | TME_HOVER | TME_LEAVE, w, HOVER_DEFAULT};
    TrackMouseEvent(&stop);
}

// The pointer is confined to the window `w`.
bool holds_pointer(HWND w) {
    RECT clip{}, r{};
    return GetClipCursor(&clip) && GetWindowRect(w, &r) && clip.left >= r.left &&
           clip.top >= r.top && clip.right <= r.right && clip.bottom <= r.bottom;
}

// The themed button lights up under the pointer by tracking it with a hover
// time of 1 ms, and the tracking timer then keeps that pace until the pointer
// leaves: a hundred wake-ups a second for as long as the lock screen holds
// the pointer on "&Enter". A lit button that holds the pointer waits for it
// to leave at the system's hover time instead.
void track_leave_slowly(HWND w) {
    const auto now = tracking();
    if (!now || now->hwndTrack != w || (now->dwFlags & TME_HOVER) || !(now->dwFlags & TME_LEAVE) ||
        now->dwHoverTime >= kFastHoverMs || !holds_pointer(w))
        return;
    TRACKMOUSEEVENT leave{sizeof leave, TME_LEAVE, w, HOVER_DEFAULT};
    TrackMouseEvent(&leave);
}

// A thread tracks the pointer for one window at a time, and the control
// starts tracking it (to light up) only when none is tracked. A button the
// pointer has moved onto ends the tracking of another window, which the
// pointer has left, at once: a lit button waiting at the slow pace above
// would otherwise keep it for up to the hover time after its window was
// hidden under the pointer (the lock screen's "&Enter" at the unlock), and
// the first move onto the button would not light it.
void take_tracking(HWND w) {
    const auto now = tracking();
    if (!now || !now->hwndTrack || now->hwndTrack == w || !(now->dwFlags & TME_LEAVE)) return;
    stop_tracking(now->hwndTrack);
    PostMessageA(now->hwndTrack, WM_MOUSELEAVE, 0, 0);
}

// The form whose control `w` is, while its window exists.
Form::Impl* form_of(HWND w) { return dynamic_cast<Form::Impl*>(Window::from(GetParent(w))); }

}  // namespace

// Labels draw themselves entirely (see paint_label); setting a text stores
// it, tells screen readers that the name changed and asks for a repaint.
// Like static text they let the pointer through to the form and take no
// focus.
LRESULT CALLBACK label_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) noexcept {
    switch (msg) {
        case WM_NCHITTEST:
            return HTTRANSPARENT;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PaintDC dc(w);
            if (Form::Impl* form = form_of(w)) form->paint_label(form->position_of(w), dc.get());
            return 0;
        }
        case WM_PRINTCLIENT:
            if (Form::Impl* form = form_of(w))
                form->paint_label(form->position_of(w), reinterpret_cast<HDC>(wp));
            return 0;
        case WM_SETTEXT: {
            const LRESULT r = pass_on(w, msg, wp, lp);
            InvalidateRect(w, nullptr, FALSE);
            NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, w, OBJID_WINDOW, CHILDID_SELF);
            return r;
        }
        case WM_ENABLE:
            InvalidateRect(w, nullptr, FALSE);
            return 0;
        case WM_GETFONT: {
            Form::Impl* form = form_of(w);
            const int pos = form ? form->position_of(w) : -1;
            return pos >= 0 ? reinterpret_cast<LRESULT>(form->controls[pos].font) : 0;
        }
        default:
            return pass_on(w, msg, wp, lp);
    }
}

// The right button reports a mouse-down and leaves the selection alone.
LRESULT CALLBACK list_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) noexcept {
    switch (msg) {
        case WM_RBUTTONDOWN:
        case WM_RBUTTONDBLCLK: {
            Form::Impl* form = form_of(w);
            const int pos = form ? form->position_of(w) : -1;
            if (pos >= 0)
                form->events.on_mouse_down(form->spec.controls[pos].name, MouseButton::Right);
            return 0;
        }
        case WM_LBUTTONDOWN: {
            const LRESULT r = pass_on(w, msg, wp, lp);
            Form::Impl* form = form_of(w);
            const int pos = form ? form->position_of(w) : -1;
            if (pos >= 0)
                form->events.on_mouse_down(form->spec.controls[pos].name, MouseButton::Left);
            return r;
        }
        default:
            break;
    }
    return pass_on(w, msg, wp, lp);
}

// A button that gets or loses the focus changes which button Enter presses.
LRESULT CALLBACK button_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) noexcept {
    switch (msg) {
        case WM_MOUSEMOVE:
        case WM_MOUSEHOVER: {
            if (msg == WM_MOUSEMOVE) take_tracking(w);
            const LRESULT r = pass_on(w, msg, wp, lp);
            track_leave_slowly(w);
            return r;
        }
        case WM_DESTROY: {
            // A window that goes stops being tracked at once, so that the
            // button next under the pointer lights up without waiting for
            // the tracking timer.
            stop_tracking(w);
            break;
        }
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            if (Form::Impl* form = form_of(w); form && form->exists())
                PostMessageA(form->hwnd(), kWmUpdateDefault, 0, 0);
            break;
        default:
            break;
    }
    return pass_on(w, msg, wp, lp);
}

}  // namespace win32

}  // namespace kv::platform
