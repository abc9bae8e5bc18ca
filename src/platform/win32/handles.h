// Owners for the Win32 handles the back end creates: GDI objects, icons,
// menus, accelerator tables, kernel objects and device contexts. Each owner
// frees its handle when it goes; none of them can be copied.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <string_view>
#include <utility>

#include "platform/ui.h"

namespace kv::platform::win32 {

// Live handles held by the owners below, by the kind GetGuiResources counts
// them as, so that a leak can be seen from outside where GetGuiResources is
// missing (see live_handles in window.cpp). Kernel objects and COM
// interfaces are counted too, but not reported.
enum class HandleKind { Gdi = 0, User = 1, Kernel = 2, Com = 3 };
inline std::atomic<long> g_live_handles[4];
inline void count_handle(HandleKind kind, long delta) {
    g_live_handles[static_cast<int>(kind)] += delta;
}

template <class Traits>
class Unique {
public:
    using Handle = typename Traits::Handle;

    Unique() = default;
    explicit Unique(Handle h) : h_(h) { counted(h_, 1); }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    Unique(Unique&& o) noexcept : h_(std::exchange(o.h_, Traits::none())) {}
    Unique& operator=(Unique&& o) noexcept {
        if (this != &o) {
            reset();
            h_ = std::exchange(o.h_, Traits::none());  // counted once already
        }
        return *this;
    }
    ~Unique() { reset(); }

    void reset(Handle h = Traits::none()) {
        if (h_ != Traits::none()) Traits::close(h_);
        counted(h_, -1);
        h_ = h;
        counted(h_, 1);
    }
    Handle get() const { return h_; }
    // Gives up ownership, for a handle that something else frees from now on.
    Handle release() {
        counted(h_, -1);
        return std::exchange(h_, Traits::none());
    }
    explicit operator bool() const { return h_ != Traits::none(); }

private:
    static void counted(Handle h, long delta) {
        if (h != Traits::none()) count_handle(Traits::kKind, delta);
    }
    Handle h_ = Traits::none();
};

// What Unique needs to know of a kind of handle: its type, the value that
// means none (NULL unless a kind says otherwise), the call that frees it,
// and the kind it is counted under.
template <class H, HandleKind K, auto Close>
struct Traits {
    using Handle = H;
    static constexpr HandleKind kKind = K;
    static H none() { return nullptr; }
    static void close(H h) { Close(h); }
};
template <class H>
using GdiTraits = Traits<H, HandleKind::Gdi, &DeleteObject>;
using IconTraits = Traits<HICON, HandleKind::User, &DestroyIcon>;
using MenuTraits = Traits<HMENU, HandleKind::User, &DestroyMenu>;
using AccelTraits = Traits<HACCEL, HandleKind::User, &DestroyAcceleratorTable>;
// Kernel objects whose "none" is NULL (mutexes, events).
using KernelTraits = Traits<HANDLE, HandleKind::Kernel, &CloseHandle>;
// Files, whose "none" is INVALID_HANDLE_VALUE.
struct FileTraits : Traits<HANDLE, HandleKind::Kernel, &CloseHandle> {
    static HANDLE none() { return INVALID_HANDLE_VALUE; }
};

// The keyboard hook of the lock and its watches of other windows.
using HookTraits = Traits<HHOOK, HandleKind::User, &UnhookWindowsHookEx>;
using WinEventTraits = Traits<HWINEVENTHOOK, HandleKind::User, &UnhookWinEvent>;
// An event source of the event log.
using EventSourceTraits = Traits<HANDLE, HandleKind::Kernel, &DeregisterEventSource>;
// A COM interface pointer, given up through its own Release.
template <class I>
struct ComTraits {
    using Handle = I*;
    static constexpr HandleKind kKind = HandleKind::Com;
    static I* none() { return nullptr; }
    static void close(I* p) { p->Release(); }
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
using EventSource = Unique<EventSourceTraits>;
using Hook = Unique<HookTraits>;
using WinEventHook = Unique<WinEventTraits>;
template <class I>
using ComPtr = Unique<ComTraits<I>>;

// The scoped owners below hold a device context, or a change to one, for
// the length of a block: they are neither copied nor moved.
struct Scoped {
    Scoped() = default;
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;
};

// A window's device context from GetDC (the screen's for nullptr).
class WindowDC : Scoped {
public:
    explicit WindowDC(HWND w) : w_(w), dc_(GetDC(w)) {}
    ~WindowDC() {
        if (dc_) ReleaseDC(w_, dc_);
    }
    HDC get() const { return dc_; }

private:
    HWND w_;
    HDC dc_;
};

// BeginPaint ... EndPaint.
class PaintDC : Scoped {
public:
    explicit PaintDC(HWND w) : w_(w) { dc_ = BeginPaint(w, &ps_); }
    ~PaintDC() { EndPaint(w_, &ps_); }
    HDC get() const { return dc_; }
    const RECT& area() const { return ps_.rcPaint; }

private:
    HWND w_;
    PAINTSTRUCT ps_{};
    HDC dc_ = nullptr;
};

// A memory device context compatible with another one.
class MemoryDC : Scoped {
public:
    explicit MemoryDC(HDC like) : dc_(CreateCompatibleDC(like)) {
        if (dc_) count_handle(HandleKind::Gdi, 1);
    }
    ~MemoryDC() {
        if (dc_) {
            DeleteDC(dc_);
            count_handle(HandleKind::Gdi, -1);
        }
    }
    HDC get() const { return dc_; }

private:
    HDC dc_;
};

// Selects an object into a device context and puts the previous one back.
class Selected : Scoped {
public:
    Selected(HDC dc, HGDIOBJ obj) : dc_(dc), old_(SelectObject(dc, obj)) {}
    ~Selected() {
        if (old_ && old_ != HGDI_ERROR) SelectObject(dc_, old_);
    }

private:
    HDC dc_;
    HGDIOBJ old_;
};

// Saves a device context's state (SaveDC) and restores it.
class SavedDC : Scoped {
public:
    explicit SavedDC(HDC dc) : dc_(dc), id_(SaveDC(dc)) {}
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
