// Painting. A form paints its client area off screen: back colour, then the
// form's paint handler, then shapes, lines and pictures from back to front.
// The result is kept, and labels draw themselves over the part of it that
// lies beneath them, together with the labels further back that they
// overlap. So a transparent label shows the painted background and never
// leaves old text behind, whatever order the windows are painted in.
#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/win32/form_impl.h"

namespace kv::platform {

namespace {

using win32::to_colorref;

UINT text_format(const ControlSpec& c) {
    UINT f = DT_EXPANDTABS;
    if (c.align == Align::Center)
        f |= DT_CENTER;
    else if (c.align == Align::Right)
        f |= DT_RIGHT;
    else
        f |= DT_LEFT;
    if (c.flags & kWrap) f |= DT_WORDBREAK;
    return f;
}

bool overlaps(const RECT& a, const RECT& b) {
    RECT both{};
    return IntersectRect(&both, &a, &b) != 0;
}

bool shown(HWND w) { return w && (GetWindowLongA(w, GWL_STYLE) & WS_VISIBLE); }

}  // namespace

void Form::Impl::paint_form() {
    const HWND self = hwnd();
    win32::PaintDC dc(self);
    // A minimised window has no client area to show; its handler must not
    // run for it either.
    if (IsIconic(self)) return;
    RECT client{};
    GetClientRect(self, &client);
    if (client.right <= 0 || client.bottom <= 0) return;

    const unsigned ticket = ++paint_count;
    win32::Bitmap frame(CreateCompatibleBitmap(dc.get(), client.right, client.bottom));
    if (!frame) return;
    {
        win32::MemoryDC mem(dc.get());
        win32::Selected keep(mem.get(), frame.get());
        FillRect(mem.get(), &client, back_brush());
        {
            win32::SavedDC saved(mem.get());
            win32::DcPainter painter(mem.get(), {client.right, client.bottom});
            events.on_paint(painter);
        }
        // The handler may have hidden or destroyed the form, or painted it
        // again from inside (showing it anew); then this picture is stale.
        if (hwnd() != self || ticket != paint_count || !IsWindowVisible(self)) return;

        // Shapes, lines and pictures, from back to front.
        for (std::size_t i = spec.controls.size(); i-- > 0;) {
            const ControlSpec& c = spec.controls[i];
            const ControlState& s = controls[i];
            if (!s.visible) continue;
            const DrawColours drawn = colours(static_cast<int>(i));
            const COLORREF line = to_colorref(drawn.fore);
            switch (c.kind) {
                case ControlKind::Shape: {
                    win32::Pen pen(CreatePen(PS_INSIDEFRAME, c.line_width, line));
                    win32::Brush fill;
                    if (drawn.back) fill.reset(CreateSolidBrush(to_colorref(*drawn.back)));
                    win32::Selected p(mem.get(), pen.get());
                    win32::Selected b(mem.get(), fill ? static_cast<HGDIOBJ>(fill.get())
                                                      : GetStockObject(NULL_BRUSH));
                    Rectangle(mem.get(), s.rect.left, s.rect.top, s.rect.right, s.rect.bottom);
                    break;
                }
                case ControlKind::Line: {
                    win32::Pen pen(CreatePen(PS_SOLID, c.line_width, line));
                    win32::Selected p(mem.get(), pen.get());
                    MoveToEx(mem.get(), s.rect.left, s.rect.top, nullptr);
                    LineTo(mem.get(), s.rect.right, s.rect.bottom);
                    break;
                }
                case ControlKind::Picture:
                    if (HICON icon = win32::icon(c.picture, false))
                        DrawIconEx(mem.get(), s.rect.left, s.rect.top, icon,
                                   GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0,
                                   nullptr, DI_NORMAL);
                    break;
                default:
                    break;
            }
        }

        const RECT& a = dc.area();
        BitBlt(dc.get(), a.left, a.top, a.right - a.left, a.bottom - a.top, mem.get(), a.left,
               a.top, SRCCOPY);
    }
    background = std::move(frame);

    // Transparent labels show what lies beneath them: bring them up to date.
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const ControlSpec& c = spec.controls[i];
        if (c.kind == ControlKind::Label && (c.flags & kTransparent) && shown(controls[i].hwnd) &&
            overlaps(controls[i].rect, dc.area()))
            InvalidateRect(controls[i].hwnd, nullptr, FALSE);
    }
}

void Form::Impl::paint_label(int pos, HDC target) {
    if (pos < 0 || !exists()) return;
    const RECT r = controls[pos].rect;
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return;

    win32::MemoryDC mem(target);
    win32::Bitmap bits(CreateCompatibleBitmap(target, w, h));
    if (!bits) return;
    {
        win32::Selected keep(mem.get(), bits.get());
        // Draw in client coordinates.
        SetViewportOrgEx(mem.get(), -r.left, -r.top, nullptr);

        // What the form painted here.
        bool have_background = false;
        if (background) {
            win32::MemoryDC source(target);
            win32::Selected src(source.get(), background.get());
            have_background =
                BitBlt(mem.get(), r.left, r.top, w, h, source.get(), r.left, r.top, SRCCOPY) != 0;
        }
        if (!have_background) FillRect(mem.get(), &r, back_brush());

        // Labels further back that show through this one, then this one.
        const bool see_through = (spec.controls[pos].flags & kTransparent) != 0;
        const int last = see_through ? static_cast<int>(controls.size()) - 1 : pos;
        SetBkMode(mem.get(), TRANSPARENT);
        for (int i = last; i >= pos; --i) {
            const ControlSpec& c = spec.controls[i];
            const ControlState& s = controls[i];
            if (c.kind != ControlKind::Label || !s.hwnd) continue;
            if (i != pos && (!shown(s.hwnd) || !overlaps(s.rect, r))) continue;
            const DrawColours drawn = colours(i);
            if (!(c.flags & kTransparent)) {
                win32::Brush fill;
                if (drawn.back) fill.reset(CreateSolidBrush(to_colorref(*drawn.back)));
                FillRect(mem.get(), &s.rect, fill ? fill.get() : GetSysColorBrush(COLOR_BTNFACE));
            }
            SetTextColor(mem.get(), IsWindowEnabled(s.hwnd) ? to_colorref(drawn.fore)
                                                            : GetSysColor(COLOR_GRAYTEXT));
            win32::Selected font(mem.get(), s.font);
            std::string text = win32::window_text(s.hwnd);
            // Blanks at the end are invisible, but would wrap onto lines of
            // their own and take the last word with them.
            if (c.flags & kWrap) text.erase(text.find_last_not_of(' ') + 1);
            RECT box = s.rect;
            DrawTextA(mem.get(), text.c_str(), static_cast<int>(text.size()), &box, text_format(c));
        }
        SetViewportOrgEx(mem.get(), 0, 0, nullptr);
        BitBlt(target, 0, 0, w, h, mem.get(), 0, 0, SRCCOPY);
    }
}

namespace {

SystemColours read_system_colours() {
    HIGHCONTRASTA hc{};
    hc.cbSize = sizeof hc;
    const bool on = SystemParametersInfoA(SPI_GETHIGHCONTRAST, sizeof hc, &hc, 0) &&
                    (hc.dwFlags & HCF_HIGHCONTRASTON);
    // Wine cannot turn high contrast on: the end-to-end tests start the
    // program with this variable to see it paint as it would. It changes
    // colours only.
    char forced[4]{};
    const bool test = GetEnvironmentVariableA("KV_TEST_HIGH_CONTRAST", forced, sizeof forced) == 1 &&
                      forced[0] == '1';
    const auto sys = [](int index) { return win32::from_colorref(GetSysColor(index)); };
    return {on || test, sys(COLOR_WINDOW), sys(COLOR_WINDOWTEXT), sys(COLOR_HIGHLIGHT),
            sys(COLOR_HIGHLIGHTTEXT)};
}

SystemColours& cached_colours() {
    static SystemColours colours = read_system_colours();
    return colours;
}

}  // namespace

SystemColours system_colours() { return cached_colours(); }

void win32::refresh_system_colours() { cached_colours() = read_system_colours(); }

DrawColours Form::Impl::colours(int pos) const {
    const ControlState& s = controls[pos];
    return draw_colours(spec.controls[pos], s.fore, s.alert, default_fore(spec.controls[pos].kind),
                        cached_colours());
}

void Form::Impl::repaint_all() {
    if (!exists()) return;
    form_brush.reset();
    if (spec.back && !cached_colours().high_contrast)
        form_brush.reset(CreateSolidBrush(to_colorref(*spec.back)));
    RedrawWindow(hwnd(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void Form::Impl::fit_label_to_text(int pos) {
    const ControlSpec& c = spec.controls[pos];
    ControlState& s = controls[pos];
    if (!(c.flags & kAutoSize) || !s.hwnd) return;
    const std::string text = win32::window_text(s.hwnd);
    win32::WindowDC dc(s.hwnd);
    win32::Selected font(dc.get(), s.font);
    TEXTMETRICA tm{};
    GetTextMetricsA(dc.get(), &tm);
    RECT box{0, 0, s.rect.right - s.rect.left, 0};
    UINT format = DT_CALCRECT | DT_EXPANDTABS;
    if (c.flags & kWrap) format |= DT_WORDBREAK;  // keeps its width, grows downwards
    if (!text.empty())
        DrawTextA(dc.get(), text.c_str(), static_cast<int>(text.size()), &box, format);
    const int width = (c.flags & kWrap) ? s.rect.right - s.rect.left : box.right - box.left;
    const int height = std::max<int>(box.bottom - box.top, tm.tmHeight);
    s.rect.right = s.rect.left + width;
    s.rect.bottom = s.rect.top + height;
    SetWindowPos(s.hwnd, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::Impl::refresh_label(int pos) {
    const RECT before = controls[pos].rect;
    fit_label_to_text(pos);
    RECT area{};
    UnionRect(&area, &before, &controls[pos].rect);
    for (std::size_t i = 0; i < controls.size(); ++i) {
        if (spec.controls[i].kind != ControlKind::Label || !shown(controls[i].hwnd)) continue;
        if (static_cast<int>(i) == pos || overlaps(controls[i].rect, area))
            InvalidateRect(controls[i].hwnd, nullptr, FALSE);
    }
    // Where a label that sizes itself to its text has shrunk, the form shows
    // through again.
    if (!EqualRect(&before, &controls[pos].rect)) InvalidateRect(hwnd(), &area, TRUE);
}

void Form::Impl::invalidate_drawn(int pos) {
    if (!exists()) return;
    RECT r = controls[pos].rect;
    if (spec.controls[pos].kind == ControlKind::Line) {
        const int pad = spec.controls[pos].line_width + 1;
        r = {std::min(r.left, r.right) - pad, std::min(r.top, r.bottom) - pad,
             std::max(r.left, r.right) + pad, std::max(r.top, r.bottom) + pad};
    }
    InvalidateRect(hwnd(), &r, TRUE);
}

}  // namespace kv::platform
