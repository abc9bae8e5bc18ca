// Owners for the Win32 handles the back end creates: GDI objects, icons,
// menus, accelerator tables, kernel objects and device contexts. Each owner
// frees its handle when it goes; none of them can be copied.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <utility>

#include "platform/ui.h"

namespace kv::platform::win32 {

template <class Traits>
class Unique {
public:
    using Handle = typename Traits::Handle;

    Unique() = default;
    explicit Unique(Handle h) : h_(h) {}
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    Unique(Unique&& o) noexcept : h_(std::exchange(o.h_, Traits::none())) {}
    Unique& operator=(Unique&& o) noexcept {
        if (this != &o) reset(std::exchange(o.h_, Traits::none()));
        return *this;
    }
    ~Unique() { reset(); }

    void reset(Handle h = Traits::none()) {
        if (h_ != Traits::none()) Traits::close(h_);
        h_ = h;
    }
    Handle get() const { return h_; }
    // Gives up ownership, for a handle that something else frees from now on.
    Handle release() { return std::exchange(h_, Traits::none()); }
    explicit operator bool() const { return h_ != Traits::none(); }

private:
    Handle h_ = Traits::none();
};

template <class H>
struct GdiTraits {
    using Handle = H;
    static H none() { return nullptr; }
    static void close(H h) { DeleteObject(h); }
};
struct IconTraits {
    using Handle = HICON;
    static HICON none() { return nullptr; }
    static void close(HICON h) { DestroyIcon(h); }
};
struct MenuTraits {
    using Handle = HMENU;
    static HMENU none() { return nullptr; }
    static void close(HMENU h) { DestroyMenu(h); }
};
struct AccelTraits {
    using Handle = HACCEL;
    static HACCEL none() { return nullptr; }
    static void close(HACCEL h) { DestroyAcceleratorTable(h); }
};
// Kernel objects whose "none" is NULL (mutexes, events).
struct KernelTraits {
    using Handle = HANDLE;
    static HANDLE none() { return nullptr; }
    static void close(HANDLE h) { CloseHandle(h); }
};
// Files, whose "none" is INVALID_HANDLE_VALUE.
struct FileTraits {
    using Handle = HANDLE;
    static HANDLE none() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { CloseHandle(h); }
};

using Font = Unique<GdiTraits<HFONT>>;
using Brush = Unique<GdiTraits<HBRUSH>>;
using Pen = Unique<GdiTraits<HPEN>>;
using Bitmap = Unique<GdiTraits<HBITMAP>>;
using IconHandle = Unique<IconTraits>;
using Menu = Unique<MenuTraits>;
using Accelerators = Unique<AccelTraits>;
using KernelHandle = Unique<KernelTraits>;
using FileHandle = Unique<FileTraits>;

// A window's device context from GetDC (the screen's for nullptr).
class WindowDC {
public:
    explicit WindowDC(HWND w) : w_(w), dc_(GetDC(w)) {}
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    ~WindowDC() {
        if (dc_) ReleaseDC(w_, dc_);
    }
    HDC get() const { return dc_; }

private:
    HWND w_;
    HDC dc_;
};

// BeginPaint ... EndPaint.
class PaintDC {
public:
    explicit PaintDC(HWND w) : w_(w) { dc_ = BeginPaint(w, &ps_); }
    PaintDC(const PaintDC&) = delete;
    PaintDC& operator=(const PaintDC&) = delete;
    ~PaintDC() { EndPaint(w_, &ps_); }
    HDC get() const { return dc_; }
    const RECT& area() const { return ps_.rcPaint; }

private:
    HWND w_;
    PAINTSTRUCT ps_{};
    HDC dc_ = nullptr;
};

// A memory device context compatible with another one.
class MemoryDC {
public:
    explicit MemoryDC(HDC like) : dc_(CreateCompatibleDC(like)) {}
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;
    ~MemoryDC() {
        if (dc_) DeleteDC(dc_);
    }
    HDC get() const { return dc_; }

private:
    HDC dc_;
};

// Selects an object into a device context and puts the previous one back.
class Selected {
public:
    Selected(HDC dc, HGDIOBJ obj) : dc_(dc), old_(SelectObject(dc, obj)) {}
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;
    ~Selected() {
        if (old_ && old_ != HGDI_ERROR) SelectObject(dc_, old_);
    }

private:
    HDC dc_;
    HGDIOBJ old_;
};

// Saves a device context's state (SaveDC) and restores it.
class SavedDC {
public:
    explicit SavedDC(HDC dc) : dc_(dc), id_(SaveDC(dc)) {}
    SavedDC(const SavedDC&) = delete;
    SavedDC& operator=(const SavedDC&) = delete;
    ~SavedDC() {
        if (id_) RestoreDC(dc_, id_);
    }

private:
    HDC dc_;
    int id_;
};

// --- conversions -----------------------------------------------------------

inline HWND to_hwnd(NativeWindow w) { return reinterpret_cast<HWND>(w); }
inline NativeWindow from_hwnd(HWND w) { return reinterpret_cast<NativeWindow>(w); }
inline COLORREF to_colorref(Rgb c) { return RGB(c.r, c.g, c.b); }
inline Rgb from_colorref(COLORREF c) { return {GetRValue(c), GetGValue(c), GetBValue(c)}; }
inline RECT to_rect(const Rect& r) { return {r.left, r.top, r.right, r.bottom}; }
inline Rect from_rect(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

// The window's text (GetWindowTextA).
std::string window_text(HWND w);

}  // namespace kv::platform::win32
