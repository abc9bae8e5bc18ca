// The input box: a modal dialog built in memory, laid out like the classic
// one: the prompt at the top left, OK and Cancel in a column on the right,
// the entry field along the bottom.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/system.h"
#include "platform/win32/form_impl.h"
#include "platform/win32/handles.h"

namespace kv::platform {

namespace {

constexpr int kPromptId = 100;
constexpr int kEditId = 101;

// Builds a DLGTEMPLATE with its items in the layout Windows expects: WORD
// aligned, each item on a DWORD boundary, Unicode strings.
class DialogTemplate {
public:
    DialogTemplate(DWORD style, short cx, short cy, const wchar_t* font, WORD points) {
        DLGTEMPLATE t{};
        t.style = style;
        t.cx = cx;
        t.cy = cy;
        add(&t, sizeof t);
        word(0);  // no menu
        word(0);  // the standard dialog class
        word(0);  // caption: set at run time
        word(points);
        text(font);
    }

    void item(DWORD style, DWORD ex_style, short x, short y, short cx, short cy, WORD id,
              WORD atom) {
        align(4);
        DLGITEMTEMPLATE it{};
        it.style = style | WS_CHILD | WS_VISIBLE;
        it.dwExtendedStyle = ex_style;
        it.x = x;
        it.y = y;
        it.cx = cx;
        it.cy = cy;
        it.id = id;
        add(&it, sizeof it);
        word(0xFFFF);
        word(atom);
        word(0);  // text: set at run time
        word(0);  // no creation data
        auto* t = reinterpret_cast<DLGTEMPLATE*>(bytes_.data());
        ++t->cdit;
    }

    const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(bytes_.data()); }

private:
    void add(const void* p, std::size_t n) {
        const auto* b = static_cast<const std::uint8_t*>(p);
        bytes_.insert(bytes_.end(), b, b + n);
    }
    void word(WORD w) { add(&w, sizeof w); }
    void text(const wchar_t* s) {
        do word(static_cast<WORD>(*s));
        while (*s++);
    }
    void align(std::size_t n) {
        while (bytes_.size() % n) bytes_.push_back(0);
    }

    std::vector<std::uint8_t> bytes_;
};

constexpr WORD kButtonAtom = 0x0080;
constexpr WORD kEditAtom = 0x0081;
constexpr WORD kStaticAtom = 0x0082;

// Carriage returns on their own break the prompt's lines.
std::string with_line_breaks(std::string_view prompt) {
    std::string out;
    out.reserve(prompt.size() + 8);
    for (std::size_t i = 0; i < prompt.size(); ++i) {
        out += prompt[i];
        if (prompt[i] == '\r' && (i + 1 >= prompt.size() || prompt[i + 1] != '\n')) out += '\n';
    }
    return out;
}

class InputDialog {
public:
    InputDialog(std::string_view prompt, std::string_view title)
        : prompt_(with_line_breaks(prompt)), title_(title), font_(win32::create_font({})) {}

    std::string run() {
        DialogTemplate t(
            DS_SETFONT | DS_MODALFRAME | DS_SETFOREGROUND | WS_POPUP | WS_CAPTION | WS_SYSMENU, 240,
            80, L"MS Sans Serif", 8);
        // Positions here are placeholders; layout() places the controls.
        t.item(SS_LEFT | SS_NOPREFIX, 0, 5, 5, 170, 40, kPromptId, kStaticAtom);
        t.item(BS_DEFPUSHBUTTON | WS_TABSTOP, 0, 185, 5, 50, 14, IDOK, kButtonAtom);
        t.item(BS_PUSHBUTTON | WS_TABSTOP, 0, 185, 23, 50, 14, IDCANCEL, kButtonAtom);
        t.item(ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, 5, 60, 230, 12, kEditId,
               kEditAtom);
        const INT_PTR r =
            DialogBoxIndirectParamA(GetModuleHandleA(nullptr), t.get(), win32::active_form(),
                                    &InputDialog::proc, reinterpret_cast<LPARAM>(this));
        return r == IDOK ? entry_ : std::string{};
    }

private:
    static INT_PTR CALLBACK proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) noexcept {
        if (msg == WM_INITDIALOG) SetWindowLongPtrA(w, DWLP_USER, lp);
        auto* self = reinterpret_cast<InputDialog*>(GetWindowLongPtrA(w, DWLP_USER));
        if (!self) return FALSE;
        switch (msg) {
            case WM_INITDIALOG:
                return self->on_init(w);
            case WM_COMMAND:
                return self->on_command(w, LOWORD(wp));
            default:
                return FALSE;
        }
    }

    INT_PTR on_init(HWND w) {
        SetWindowTextA(w, title_.c_str());
        for (int id : {kPromptId, IDOK, IDCANCEL, kEditId})
            SendDlgItemMessageA(w, id, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
        SetDlgItemTextA(w, kPromptId, prompt_.c_str());
        SetDlgItemTextA(w, IDOK, "OK");
        SetDlgItemTextA(w, IDCANCEL, "Cancel");
        SendDlgItemMessageA(w, kEditId, EM_SETLIMITTEXT, 0, 0);  // no limit
        layout(w);
        SendMessageA(w, DM_SETDEFID, IDOK, 0);
        SetFocus(GetDlgItem(w, kEditId));
        return FALSE;  // the focus is set
    }

    // Pixel layout at 96 DPI, scaled to the screen.
    void layout(HWND w) {
        const int dpi = win32::screen_dpi().x;
        const auto px = [dpi](int n) { return MulDiv(n, dpi, 96); };
        const int width = px(354), margin = px(8), button_w = px(75), button_h = px(23);
        const int prompt_w = width - 3 * margin - button_w;

        RECT text{0, 0, prompt_w, 0};
        {
            win32::WindowDC screen(nullptr);
            win32::Selected f(screen.get(), font_.get());
            DrawTextA(screen.get(), prompt_.c_str(), static_cast<int>(prompt_.size()), &text,
                      DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
        }
        const int prompt_h = std::clamp<int>(text.bottom - text.top, 2 * button_h + px(12),
                                             GetSystemMetrics(SM_CYSCREEN) / 2);
        const int top = px(10);
        const int edit_y = top + prompt_h + px(10);
        const int edit_h = px(21);
        const int height = edit_y + edit_h + px(12);

        MoveWindow(GetDlgItem(w, kPromptId), margin, top, prompt_w, prompt_h, FALSE);
        MoveWindow(GetDlgItem(w, IDOK), width - margin - button_w, top, button_w, button_h, FALSE);
        MoveWindow(GetDlgItem(w, IDCANCEL), width - margin - button_w, top + button_h + px(6),
                   button_w, button_h, FALSE);
        MoveWindow(GetDlgItem(w, kEditId), margin, edit_y, width - 2 * margin, edit_h, FALSE);

        RECT outer{0, 0, width, height};
        AdjustWindowRectEx(&outer, static_cast<DWORD>(GetWindowLongA(w, GWL_STYLE)), FALSE,
                           static_cast<DWORD>(GetWindowLongA(w, GWL_EXSTYLE)));
        const int ow = outer.right - outer.left, oh = outer.bottom - outer.top;
        SetWindowPos(w, nullptr, (GetSystemMetrics(SM_CXSCREEN) - ow) / 2,
                     (GetSystemMetrics(SM_CYSCREEN) - oh) / 2, ow, oh,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }

    INT_PTR on_command(HWND w, int id) {
        if (id == IDOK) {
            entry_ = win32::window_text(GetDlgItem(w, kEditId));
            EndDialog(w, IDOK);
            return TRUE;
        }
        if (id == IDCANCEL) {
            EndDialog(w, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    }

    std::string prompt_;
    std::string title_;
    std::string entry_;
    win32::Font font_;
};

}  // namespace

std::string input_box(std::string_view prompt, std::string_view title) {
    InputDialog dialog(prompt, title);
    return dialog.run();
}

}  // namespace kv::platform
