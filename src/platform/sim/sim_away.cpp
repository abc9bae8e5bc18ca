// Idle time, monitors, touch, the session watch and the covers, on the
// virtual clock.
#include "platform/away.h"
#include "platform/sim/sim_internal.h"

namespace kv::platform {

using sim::world;

std::uint32_t input_idle_ms() {
    const auto& last = world().last_input_ms;
    return last ? static_cast<std::uint32_t>(world().now_ms - *last) : 0;
}

std::uint32_t tick_ms() { return static_cast<std::uint32_t>(world().now_ms); }

std::vector<Rect> monitor_rects() { return world().monitors; }

bool touch_ready() { return world().touch_ready; }

struct SessionWatch::Impl {
    SessionEvents* events;
};

SessionWatch::SessionWatch(SessionEvents& events) : impl_(std::make_unique<Impl>(Impl{&events})) {
    world().watch = &events;
    world().watch_due = world().now_ms + 1000;
}

SessionWatch::~SessionWatch() {
    if (world().watch == impl_->events) world().watch = nullptr;
}

void SessionWatch::tick(bool on) {
    world().watch_ticking = on;
    if (on) world().watch_due = world().now_ms + 1000;
}

void SessionWatch::watch_keys(const std::vector<std::string>& keys) {
    world().watched_keys.clear();
    for (const auto& k : keys) world().watched_keys.push_back(sim::normal_path(k));
}

struct Cover::Impl {
    std::size_t index = 0;
    bool made = false;
};

namespace {
NativeWindow next_cover = 0xC0000;
}  // namespace

Cover::Cover(const Rect& monitor, CoverPainter& painter) : impl_(std::make_unique<Impl>()) {
    if (sim::take_fault(sim::Call::CreateWindow)) {
        world().trace.push_back("cover failed");
        return;
    }
    impl_->index = world().covers.size();
    impl_->made = true;
    world().covers.push_back({monitor, next_cover += 0x100, true, true, &painter});
    world().trace.push_back("cover made");
}

Cover::~Cover() {
    if (alive()) {
        world().covers[impl_->index].alive = false;
        world().trace.push_back("cover gone");
    }
}

bool Cover::alive() const {
    return impl_->made && impl_->index < world().covers.size() &&
           world().covers[impl_->index].alive;
}

void Cover::raise() {
    if (alive()) set_window_pos(world().covers[impl_->index].handle, kHwndTopmost, 0x13);
}

}  // namespace kv::platform

namespace kv::sim {

void suspend() {
    world().trace.push_back("suspend");
    if (world().watch) world().watch->on_suspend();
}

void display_off() {
    world().trace.push_back("display off");
    if (world().watch) world().watch->on_display_off();
}

void display_change() {
    if (world().watch) world().watch->on_display_change();
}

std::vector<const CoverRecord*> live_covers() {
    std::vector<const CoverRecord*> up;
    for (const auto& c : world().covers)
        if (c.alive) up.push_back(&c);
    return up;
}

namespace {
class FillRecorder final : public platform::Painter {
public:
    explicit FillRecorder(platform::Point size) : size_(size) {}
    platform::Point client_size() const override { return size_; }
    void fill_rect(const platform::Rect& r, platform::Rgb c) override { fills.push_back({r, c}); }
    std::vector<Fill> fills;

private:
    platform::Point size_;
};
}  // namespace

std::vector<Fill> paint_cover(const CoverRecord& cover) {
    FillRecorder p({cover.rect.right - cover.rect.left, cover.rect.bottom - cover.rect.top});
    cover.painter->paint_cover(p);
    return std::move(p.fills);
}

}  // namespace kv::sim
