// What the program learns of the machine while its user may be away: how
// long no input reached it, the system's power and display broadcasts, its
// monitors and whether it has touch or pen input; and the covers, windows
// that hide a monitor while the lock holds.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/system.h"
#include "platform/ui.h"

namespace kv::platform {

// Milliseconds since the last keyboard or mouse input reached the machine,
// in any program (GetLastInputInfo).
std::uint32_t input_idle_ms();
// The system's millisecond count (GetTickCount); it wraps after 49.7 days.
std::uint32_t tick_ms();
// Each monitor's rectangle, primary first (EnumDisplayMonitors); the
// desktop's when none is reported.
std::vector<Rect> monitor_rects();
// Touch or pen input is ready (GetSystemMetrics(SM_DIGITIZER) has
// NID_READY).
bool touch_ready();

// What the system tells the program through a top-level window of its own.
class SessionEvents {
public:
    virtual ~SessionEvents() = default;
    // Once a second, while the watch ticks.
    virtual void on_second() {}
    // A value under a watched registry key was set or deleted, or a key
    // under it made or deleted.
    virtual void on_keys_changed() {}
    // The machine is about to sleep (WM_POWERBROADCAST, PBT_APMSUSPEND): the
    // screen shows what is on it now when it wakes.
    virtual void on_suspend() {}
    // The console display turned off (GUID_CONSOLE_DISPLAY_STATE 0): on a
    // machine with Modern Standby the only sure sign of sleep to come.
    virtual void on_display_off() {}
    // The monitors or their resolution changed (WM_DISPLAYCHANGE).
    virtual void on_display_change() {}
};

// A hidden, unowned top-level window that hears the broadcasts, whatever
// the program's forms do, ticks once a second unless told not to, and hears
// the registry's changes under the keys it is given.
class SessionWatch {
public:
    explicit SessionWatch(SessionEvents& events);
    ~SessionWatch();
    SessionWatch(const SessionWatch&) = delete;
    SessionWatch& operator=(const SessionWatch&) = delete;

    // The second's tick, on from the start; while off no timer runs.
    void tick(bool on);
    // Keys of HKEY_LOCAL_MACHINE to hear changes under
    // (RegNotifyChangeKeyValue), in place of those before; none: none. A key
    // not there yet is heard from the nearest one above it that is.
    void watch_keys(const std::vector<std::string>& keys);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// Paints a cover's client area (the whole monitor).
class CoverPainter {
public:
    virtual ~CoverPainter() = default;
    virtual void paint_cover(Painter& p) = 0;
};

// A borderless topmost window over one monitor that takes neither the
// keyboard nor the pointer's clicks and turns the edge gestures off. It is
// shown as it is made and goes with the object.
class Cover {
public:
    Cover(const Rect& monitor, CoverPainter& painter);
    ~Cover();
    Cover(const Cover&) = delete;
    Cover& operator=(const Cover&) = delete;

    // The window exists (it could be made and nothing destroyed it since).
    bool alive() const;
    // Back to the top of the topmost band, without activation; the lock is
    // raised over it afterwards.
    void raise();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace kv::platform
