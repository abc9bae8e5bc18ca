// Idle time, monitors, touch, the session's broadcasts and the covers.
#include <windows.h>
#include <objbase.h>
#include <propsys.h>

#include <string>
#include <utility>

#include "platform/away.h"
#include "platform/win32/form_impl.h"

namespace kv::platform {

using win32::from_rect;

std::uint32_t input_idle_ms() {
    LASTINPUTINFO last{};
    last.cbSize = sizeof last;
    if (!GetLastInputInfo(&last)) return 0;
    return GetTickCount() - last.dwTime;  // unsigned: right across the wrap
}

std::uint32_t tick_ms() { return GetTickCount(); }

namespace {

BOOL CALLBACK add_monitor(HMONITOR m, HDC, LPRECT, LPARAM p) noexcept {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoA(m, &info)) return TRUE;
    auto& rects = *reinterpret_cast<std::vector<Rect>*>(p);
    const Rect r = from_rect(info.rcMonitor);
    if (info.dwFlags & MONITORINFOF_PRIMARY)
        rects.insert(rects.begin(), r);
    else
        rects.push_back(r);
    return TRUE;
}

}  // namespace

std::vector<Rect> monitor_rects() {
    std::vector<Rect> rects;
    EnumDisplayMonitors(nullptr, nullptr, &add_monitor, reinterpret_cast<LPARAM>(&rects));
    if (rects.empty()) rects.push_back(desktop_rect());
    return rects;
}

bool touch_ready() {
    constexpr int kSmDigitizer = 94;  // SM_DIGITIZER
    constexpr int kNidReady = 0x80;   // NID_READY
    return (GetSystemMetrics(kSmDigitizer) & kNidReady) != 0;
}

// --- the watch -------------------------------------------------------------------

namespace {

// GUID_CONSOLE_DISPLAY_STATE, spelt out: DEFINE_GUID would need INITGUID.
constexpr GUID kConsoleDisplayState{
    0x6FE69556, 0x704A, 0x47A0, {0x8F, 0x24, 0xC2, 0x8D, 0x93, 0x6F, 0xDA, 0x47}};

// A power setting notification (Windows Vista and later, looked up so that
// the program still starts where there is none).
void unregister_power_setting(HPOWERNOTIFY h) {
    using Unregister = BOOL(WINAPI*)(HPOWERNOTIFY);
    static const auto unregister = reinterpret_cast<Unregister>(reinterpret_cast<void*>(
        win32::library_function("user32.dll", "UnregisterPowerSettingNotification")));
    if (unregister) unregister(h);
}
using PowerNotifyTraits =
    win32::Traits<HPOWERNOTIFY, win32::HandleKind::Kernel, &unregister_power_setting>;
using PowerNotify = win32::Unique<PowerNotifyTraits>;

PowerNotify watch_console_display(HWND w) {
    using Register = HPOWERNOTIFY(WINAPI*)(HANDLE, LPCGUID, DWORD);
    static const auto reg = reinterpret_cast<Register>(reinterpret_cast<void*>(
        win32::library_function("user32.dll", "RegisterPowerSettingNotification")));
    return PowerNotify(reg ? reg(w, &kConsoleDisplayState, DEVICE_NOTIFY_WINDOW_HANDLE) : nullptr);
}

bool console_display_off(LPARAM lp) {
    const auto* s = reinterpret_cast<const POWERBROADCAST_SETTING*>(lp);
    DWORD state = 1;
    if (!s || !IsEqualGUID(s->PowerSetting, kConsoleDisplayState) || s->DataLength < sizeof state)
        return false;
    CopyMemory(&state, s->Data, sizeof state);
    return state == 0;  // 1 on, 2 dimmed
}

// For the end-to-end tests only: a power setting broadcast carries a
// pointer, which no other process can post. With KV_TEST_POWER=1 in its
// environment the program takes this message as the console display
// turning off and sends the broadcast to itself.
UINT test_display_off_message() {
    char on[4]{};
    if (GetEnvironmentVariableA("KV_TEST_POWER", on, sizeof on) != 1 || on[0] != '1') return 0;
    return RegisterWindowMessageA("Kestrova.TestDisplayOff");
}

// Posted to the watch when a watched key changed.
constexpr UINT kWmKeysChanged = WM_APP + 1;

void close_key(HKEY k) { RegCloseKey(k); }
using KeyTraits = win32::Traits<HKEY, win32::HandleKind::Kernel, &close_key>;
// Waits for the callbacks that are running to return: they use the watch.
void unregister_wait(HANDLE w) { UnregisterWaitEx(w, INVALID_HANDLE_VALUE); }
using WaitTraits = win32::Traits<HANDLE, win32::HandleKind::Kernel, &unregister_wait>;

class KeyWatch;
void CALLBACK key_signalled(void* key, BOOLEAN) noexcept;

// One key's changes, told to the watch as a message (with the KeyWatch)
// from a wait on the system's thread pool: no timer and no read until
// something changes.
class KeyWatch {
public:
    KeyWatch(HWND watch, std::string path)
        : watch_(watch),
          path_(std::move(path)),
          changed_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {
        HANDLE wait = nullptr;
        if (changed_ && RegisterWaitForSingleObject(&wait, changed_.get(), &key_signalled, this,
                                                    INFINITE, WT_EXECUTEINWAITTHREAD))
            wait_.reset(wait);
        arm();
    }

    // A notice comes once: asked for again after each, before the values
    // are read, so that no change goes unheard. The nearest key there is,
    // with its subtree, so that the key's making is heard too. A handle
    // closed with a notice pending tells of it: the one held is kept while
    // it is still the nearest, and the one it gives way to is asked first.
    void arm() {
        if (!wait_) return;
        std::string path = path_;
        HKEY k = nullptr;
        while (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_NOTIFY, &k) !=
               ERROR_SUCCESS) {
            k = nullptr;
            const auto up = path.rfind('\\');
            if (up == std::string::npos) break;
            path.resize(up);
        }
        win32::Unique<KeyTraits> nearest(k);
        if (key_ && path == held_) nearest = std::move(key_);
        if (nearest)
            RegNotifyChangeKeyValue(nearest.get(), TRUE,
                                    REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                    changed_.get(), TRUE);
        key_ = std::move(nearest);
        held_ = path;
    }

    void post() { PostMessageA(watch_, kWmKeysChanged, reinterpret_cast<WPARAM>(this), 0); }

private:
    HWND watch_;
    std::string path_;
    std::string held_;  // the path of key_
    win32::Unique<KeyTraits> key_;
    win32::KernelHandle changed_;
    win32::Unique<WaitTraits> wait_;  // goes first, before the event it waits on
};

void CALLBACK key_signalled(void* key, BOOLEAN) noexcept { static_cast<KeyWatch*>(key)->post(); }

}  // namespace

struct SessionWatch::Impl final : win32::Window {
    explicit Impl(SessionEvents& events) : events(events) {
        register_class("KvWatch", 0, nullptr, nullptr);
        // Unowned: the system sends its broadcasts to hidden top-level
        // windows only when nothing owns them.
        if (create_window(0, "KvWatch", "Kestrova", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr)) {
            SetTimer(hwnd(), 1, 1000, nullptr);
            // On a machine with Modern Standby the suspend comes late or
            // never; the display turning off is the sign to go by.
            display_watch = watch_console_display(hwnd());
        }
    }
    ~Impl() override {
        keys.clear();
        display_watch.reset();
        destroy_window();
    }

    LRESULT handle_message(UINT msg, WPARAM wp, LPARAM lp) override {
        switch (msg) {
            case WM_TIMER:
                events.on_second();
                return 0;
            case kWmKeysChanged:
                // One that was let go since it posted is not there.
                for (auto& k : keys)
                    if (reinterpret_cast<WPARAM>(k.get()) == wp) {
                        k->arm();
                        events.on_keys_changed();
                    }
                return 0;
            case WM_POWERBROADCAST:
                // Handled before returning, so that the lock is on the screen
                // as the machine goes to sleep.
                if (wp == PBT_APMSUSPEND) events.on_suspend();
                if (wp == PBT_POWERSETTINGCHANGE && console_display_off(lp))
                    events.on_display_off();
                return TRUE;
            case WM_DISPLAYCHANGE:
                events.on_display_change();
                return 0;
            default:
                if (msg == test_message && msg != 0) {
                    // The state, a DWORD 0, runs on past Data[1].
                    alignas(POWERBROADCAST_SETTING)
                        BYTE off[sizeof(POWERBROADCAST_SETTING) + sizeof(DWORD)]{};
                    auto* s = reinterpret_cast<POWERBROADCAST_SETTING*>(off);
                    s->PowerSetting = kConsoleDisplayState;
                    s->DataLength = sizeof(DWORD);
                    return SendMessageA(hwnd(), WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE,
                                        reinterpret_cast<LPARAM>(s));
                }
                return default_handling(msg, wp, lp);
        }
    }

    SessionEvents& events;
    PowerNotify display_watch;
    // Cleared before the window goes: their waits post to it.
    std::vector<std::unique_ptr<KeyWatch>> keys;
    const UINT test_message = test_display_off_message();
};

SessionWatch::SessionWatch(SessionEvents& events) : impl_(std::make_unique<Impl>(events)) {}
SessionWatch::~SessionWatch() = default;

void SessionWatch::tick(bool on) {
    if (!impl_->exists()) return;
    if (on)
        SetTimer(impl_->hwnd(), 1, 1000, nullptr);
    else
        KillTimer(impl_->hwnd(), 1);
}

void SessionWatch::watch_keys(const std::vector<std::string>& keys) {
    impl_->keys.clear();
    if (!impl_->exists()) return;
    for (const auto& k : keys) impl_->keys.push_back(std::make_unique<KeyWatch>(impl_->hwnd(), k));
}

// --- covers ------------------------------------------------------------------------

namespace {

// PKEY_EdgeGesture_DisableTouchWhenFullscreen and IPropertyStore, spelt out
// here: not every MinGW names them.
constexpr PROPERTYKEY kDisableEdgeGestures{
    {0x32CE38B2, 0x2C9A, 0x41B1, {0x9B, 0xC5, 0xB3, 0x78, 0x43, 0x94, 0xAA, 0x44}}, 2};
constexpr IID kIidPropertyStore{
    0x886D8EEB, 0x8CF2, 0x4446, {0x8D, 0x02, 0xCD, 0xBA, 0x1D, 0xBD, 0xCF, 0x99}};

// A finger swiped in from a screen edge would open the system's panels over
// the lock; a full-screen window can turn that off for itself.
void disable_edge_gestures(HWND w) {
    using GetStore = HRESULT(WINAPI*)(HWND, REFIID, void**);
    static const auto get_store = reinterpret_cast<GetStore>(reinterpret_cast<void*>(
        win32::library_function("shell32.dll", "SHGetPropertyStoreForWindow")));
    if (!get_store) return;
    IPropertyStore* got = nullptr;
    if (FAILED(get_store(w, kIidPropertyStore, reinterpret_cast<void**>(&got)))) return;
    const win32::ComPtr<IPropertyStore> store(got);
    if (!store) return;
    PROPVARIANT on{};
    on.vt = VT_BOOL;
    on.boolVal = VARIANT_TRUE;
    // Without it the lock holds all the same; only the edge's panels stay.
    store.get()->SetValue(kDisableEdgeGestures, on);
}

}  // namespace

struct Cover::Impl final : win32::Window {
    Impl(const Rect& r, CoverPainter& painter) : painter(painter) {
        register_class("KvCover", 0, nullptr, nullptr);
        // Disabled and never activated: a click or a tap on it goes nowhere,
        // neither to it nor to what it covers.
        if (!create_window(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, "KvCover", "",
                           WS_POPUP | WS_DISABLED, r.left, r.top, r.right - r.left,
                           r.bottom - r.top, nullptr, nullptr))
            return;
        disable_edge_gestures(hwnd());
        ShowWindow(hwnd(), SW_SHOWNOACTIVATE);
        UpdateWindow(hwnd());
    }
    ~Impl() override { destroy_window(); }

    LRESULT handle_message(UINT msg, WPARAM wp, LPARAM lp) override {
        switch (msg) {
            case WM_ERASEBKGND:
                return 1;  // the paint covers every pixel
            case WM_PAINT: {
                win32::PaintDC dc(hwnd());
                RECT client{};
                GetClientRect(hwnd(), &client);
                win32::DcPainter p(dc.get(), {client.right, client.bottom});
                painter.paint_cover(p);
                return 0;
            }
            case WM_MOUSEACTIVATE:
                return MA_NOACTIVATEANDEAT;
            case WM_CLOSE:
                return 0;  // it goes with the lock, not on request
            default:
                return default_handling(msg, wp, lp);
        }
    }

    CoverPainter& painter;
};

Cover::Cover(const Rect& monitor, CoverPainter& painter)
    : impl_(std::make_unique<Impl>(monitor, painter)) {}
Cover::~Cover() = default;

bool Cover::alive() const { return impl_->exists() && IsWindow(impl_->hwnd()); }

void Cover::raise() {
    if (impl_->exists())
        SetWindowPos(impl_->hwnd(), HWND_TOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

}  // namespace kv::platform
