// Forms whose controls are plain objects, painted and timed by the virtual
// clock. Geometry is at 96 DPI on a 1024 x 768 desktop.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <strings.h>

#include "platform/sim/sim_internal.h"
#include "platform/ui.h"

namespace kv::platform {

namespace {
constexpr int kFrameWidth = 8;    // both side borders
constexpr int kFrameHeight = 46;  // caption, menu bar and borders
}  // namespace

struct ControlState {
    std::string text;
    bool visible = true;
    bool enabled = true;
    Rgb fore{};
    std::optional<Rgb> fore_set;
    bool alert = false;
    std::vector<std::string> items;
    int index = -1;
};

struct MenuState {
    bool checked = false;
    bool enabled = true;
    bool shield = false;
};

struct TimerState {
    bool enabled = false;
    std::int64_t due = 0;
};

struct Form::Impl {
    Form* self = nullptr;
    FormEvents* events = nullptr;
    bool created = false;
    bool visible = false;
    WindowState state = WindowState::Normal;
    std::string caption;
    Rect rect{};
    NativeWindow handle = 0;
    std::vector<ControlState> controls;
    std::vector<MenuState> menus;
    std::vector<TimerState> timers;
    bool paint_pending = false;
    Point client{};
    std::vector<sim::Fill> last_fill;
    int focus = -1;
    int dpi = 96;
};

namespace {

int px(const Form::Impl& f, int twips) { return (twips * f.dpi + 720) / 1440; }

std::vector<Form*>& all_forms() {
    static std::vector<Form*> forms;
    return forms;
}
NativeWindow next_window = 0x10000;

class RecordingPainter : public Painter {
public:
    explicit RecordingPainter(Point size) : size_(size) {}
    Point client_size() const override { return size_; }
    void fill_rect(const Rect& r, Rgb c) override { fills.push_back({r, c}); }
    std::vector<sim::Fill> fills;

private:
    Point size_;
};

void request_paint(Form::Impl& f) {
    if (f.created && f.visible && f.state != WindowState::Minimized) f.paint_pending = true;
}

// A window that goes away or out of sight gives up the keyboard.
void lose_foreground(const Form::Impl& f) {
    if (sim::world().foreground == f.handle) sim::world().foreground = 0;
}

// As under Wine, a new foreground window frees the pointer.
void set_foreground(NativeWindow w) {
    if (sim::world().foreground != w) sim::world().clip.reset();
    sim::world().foreground = w;
}

void trace(const Form& f, const std::string& what) {
    sim::world().trace.push_back(what + " " + f.spec().name);
}

}  // namespace

Form::Form(const FormSpec& spec, FormEvents& events)
    : spec_(spec), events_(events), impl_(std::make_unique<Impl>()) {
    impl_->self = this;
    impl_->events = &events_;
    all_forms().push_back(this);
}

Form::~Form() {
    auto& forms = all_forms();
    forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
}

void Form::create() {
    if (sim::take_fault(sim::Call::CreateWindow)) {
        trace(*this, "create failed");
        return;
    }
    Impl& f = *impl_;
    f = Impl{};
    f.self = this;
    f.events = &events_;
    f.created = true;
    f.caption = spec_.caption;
    f.handle = next_window;
    next_window += 0x100;
    for (const auto& c : spec_.controls) {
        ControlState s;
        s.text = c.text;
        s.visible = (c.flags & kHidden) == 0;
        s.fore = c.fore.value_or(Rgb{0, 0, 0});
        f.controls.push_back(s);
    }
    for (const auto& m : spec_.menus) f.menus.push_back({false, m.enabled});
    f.timers.resize(spec_.timers.size());
    f.client = {twips_to_px_x(spec_.client_width), twips_to_px_y(spec_.client_height)};
    f.rect = {0, 0, f.client.x + kFrameWidth, f.client.y + kFrameHeight};
    center_on_screen();
    trace(*this, "create");
}

void Form::destroy() {
    Impl& f = *impl_;
    lose_foreground(f);
    f.created = false;
    f.visible = false;
    f.paint_pending = false;
    for (auto& t : f.timers) t.enabled = false;
    trace(*this, "destroy");
}

bool Form::created() const { return impl_->created; }

void Form::show() {
    impl_->visible = true;
    request_paint(*impl_);
    if (impl_->state != WindowState::Minimized) set_foreground(impl_->handle);
    trace(*this, "show");
}

void Form::show_modal() {
    impl_->visible = true;
    request_paint(*impl_);
    trace(*this, "show modal");
}

void Form::hide() {
    lose_foreground(*impl_);
    impl_->visible = false;
    impl_->paint_pending = false;
    trace(*this, "hide");
}

bool Form::visible() const { return impl_->visible; }

void Form::set_state(WindowState s) {
    if (impl_->state == s) return;
    impl_->state = s;
    // A minimised window has no client area to paint.
    if (s == WindowState::Minimized) impl_->paint_pending = false;
    request_paint(*impl_);
    trace(*this, s == WindowState::Normal      ? "restore"
                 : s == WindowState::Minimized ? "minimize"
                                               : "maximize");
}

WindowState Form::state() const { return impl_->state; }

void Form::set_caption(std::string_view text) { impl_->caption = std::string(text); }

std::string Form::caption() const { return impl_->caption; }

void Form::set_outer_size_twips(int width, int height) {
    Rect& r = impl_->rect;
    r.right = r.left + px(*impl_, width);
    r.bottom = r.top + px(*impl_, height);
    impl_->client = {r.right - r.left - kFrameWidth, r.bottom - r.top - kFrameHeight};
}

Rect Form::outer_rect() const { return impl_->rect; }

void Form::set_enabled(bool on) { trace(*this, on ? "enable" : "disable"); }

void Form::move_to(int left, int top) {
    Rect& r = impl_->rect;
    r = {left, top, left + r.right - r.left, top + r.bottom - r.top};
}

void Form::center_on_screen() {
    Rect& r = impl_->rect;
    const Rect d = sim::world().desktop;
    const int w = r.right - r.left, h = r.bottom - r.top;
    r.left = (d.right - d.left - w) / 2;
    r.top = (d.bottom - d.top - h) / 2;
    r.right = r.left + w;
    r.bottom = r.top + h;
}

void Form::invalidate() { request_paint(*impl_); }

void Form::update() {
    Impl& f = *impl_;
    if (!f.paint_pending) return;
    f.paint_pending = false;
    RecordingPainter painter(f.client);
    f.events->on_paint(painter);
    f.last_fill = std::move(painter.fills);
}

NativeWindow Form::handle() const { return impl_->handle; }

void Form::popup_menu(std::string_view name) {
    sim::world().trace.push_back("popup " + std::string(name));
}

// --- controls, menus, timers ---------------------------------------------

namespace {
// The control or menu item of a window that could not be created reads as
// a blank one, and what is written to it goes nowhere, as with a window
// handle that is gone.
template <class State>
State& at(std::vector<State>& states, int id) {
    if (id >= 0 && id < static_cast<int>(states.size())) return states[id];
    static State nowhere;
    nowhere = State{};
    return nowhere;
}
ControlState& state_of(Form* f, int id) { return at(f->impl().controls, id); }
MenuState& menu_of(Form* f, int id) { return at(f->impl().menus, id); }
}  // namespace

void Control::set_text(std::string_view text) { state_of(form_, id_).text = std::string(text); }
std::string Control::text() const { return state_of(form_, id_).text; }
void Control::set_visible(bool on) { state_of(form_, id_).visible = on; }
bool Control::visible() const { return state_of(form_, id_).visible; }
void Control::set_enabled(bool on) { state_of(form_, id_).enabled = on; }
bool Control::enabled() const { return state_of(form_, id_).enabled; }
void Control::set_fore_color(Rgb c) {
    state_of(form_, id_).fore = c;
    state_of(form_, id_).fore_set = c;
}
void Control::set_alert(bool on) { state_of(form_, id_).alert = on; }
Rgb Control::fore_color() const { return state_of(form_, id_).fore; }

void Control::set_focus() {
    form_->impl().focus = id_;
    sim::world().trace.push_back("focus " + std::string(form_->spec().controls[id_].name));
}

Rect Control::screen_rect() const {
    const auto& spec = form_->spec().controls[id_];
    const Form::Impl& f = form_->impl();
    const Rect& outer = f.rect;
    const int x = outer.left + kFrameWidth / 2 + px(f, spec.left);
    const int y = outer.top + kFrameHeight - kFrameWidth / 2 + px(f, spec.top);
    return {x, y, x + px(f, spec.width), y + px(f, spec.height)};
}

NativeWindow Control::handle() const { return form_->impl().handle + 1 + id_; }

// Sorted list boxes compare without regard to case.
int list_order(std::string_view a, std::string_view b) {
    return strcasecmp(std::string(a).c_str(), std::string(b).c_str());
}

void Control::list_add(std::string_view item) {
    auto& s = state_of(form_, id_);
    if (form_->spec().controls[id_].flags & kSorted) {
        const auto pos = std::upper_bound(
            s.items.begin(), s.items.end(), item,
            [](std::string_view a, const std::string& b) { return list_order(a, b) < 0; });
        s.items.insert(pos, std::string(item));
    } else {
        s.items.emplace_back(item);
    }
}

// As a list box does, the selection stays on its item.
void Control::list_insert(int index, std::string_view item) {
    auto& s = state_of(form_, id_);
    const int n = static_cast<int>(s.items.size());
    if (index < 0 || index > n) index = n;
    s.items.insert(s.items.begin() + index, std::string(item));
    if (s.index >= index) ++s.index;
}

void Control::list_remove(int index) {
    auto& s = state_of(form_, id_);
    if (index < 0 || index >= static_cast<int>(s.items.size())) return;
    s.items.erase(s.items.begin() + index);
    if (s.index == index)
        s.index = -1;
    else if (s.index > index)
        --s.index;
}

void Control::list_clear() {
    auto& s = state_of(form_, id_);
    s.items.clear();
    s.index = -1;
}

int Control::list_count() const { return static_cast<int>(state_of(form_, id_).items.size()); }

std::string Control::list_item(int index) const {
    const auto& s = state_of(form_, id_);
    return index >= 0 && index < static_cast<int>(s.items.size()) ? s.items[index] : std::string{};
}

int Control::list_index() const { return state_of(form_, id_).index; }

void Control::set_list_index(int index) {
    auto& s = state_of(form_, id_);
    s.index = index >= 0 && index < static_cast<int>(s.items.size()) ? index : -1;
}

void MenuItem::set_checked(bool on) { menu_of(form_, id_).checked = on; }
bool MenuItem::checked() const { return menu_of(form_, id_).checked; }
void MenuItem::set_enabled(bool on) { menu_of(form_, id_).enabled = on; }
bool MenuItem::enabled() const { return menu_of(form_, id_).enabled; }
void MenuItem::set_shield(bool on) { menu_of(form_, id_).shield = on; }
bool MenuItem::shield() const { return menu_of(form_, id_).shield; }

void Timer::set_enabled(bool on) {
    auto& timers = form_->impl().timers;
    if (id_ < 0 || id_ >= static_cast<int>(timers.size())) return;  // no window
    auto& t = timers[id_];
    if (on && !t.enabled) t.due = sim::world().now_ms + form_->spec().timers[id_].interval_ms;
    t.enabled = on;
}

bool Timer::enabled() const {
    const auto& timers = form_->impl().timers;
    return id_ >= 0 && id_ < static_cast<int>(timers.size()) && timers[id_].enabled;
}

int run_message_loop() { return 0; }

SystemColours system_colours() { return sim::world().colours; }

NativeWindow foreground_window() { return sim::world().foreground; }

void take_foreground(NativeWindow w, NativeWindow focus) {
    for (Form* f : all_forms()) {
        auto& impl = f->impl();
        if (!impl.created || impl.handle != w) continue;
        // A hidden window cannot be activated.
        if (!impl.visible) return;
        set_foreground(w);
        const auto n = static_cast<NativeWindow>(impl.controls.size());
        impl.focus = focus > w && focus <= w + n ? static_cast<int>(focus - w - 1) : -1;
        sim::world().trace.push_back("foreground " + std::string(f->spec().name) + " " +
                                     sim::focus_name(*f));
    }
}

int twips_to_px_x(int twips) { return (twips * 96 + 720) / 1440; }
int twips_to_px_y(int twips) { return (twips * 96 + 720) / 1440; }

Rect window_rect(NativeWindow w) {
    for (Form* f : all_forms()) {
        const auto& impl = f->impl();
        if (!impl.created) continue;
        if (impl.handle == w) return impl.rect;
        const auto n = static_cast<NativeWindow>(impl.controls.size());
        if (w > impl.handle && w <= impl.handle + n)
            return f
                ->control(f->spec().controls[w - impl.handle - 1].name,
                          f->spec().controls[w - impl.handle - 1].index)
                .screen_rect();
    }
    if (w == 0) return sim::world().desktop;
    return {};
}

}  // namespace kv::platform

namespace kv::sim {

using platform::Form;

void reset_forms() {
    for (Form* f : platform::all_forms()) f->impl().created = false;
}

Form* find_form(std::string_view name) {
    for (Form* f : platform::all_forms())
        if (f->created() && name == f->spec().name) return f;
    return nullptr;
}

void pump() {
    for (int round = 0; round < 100; ++round) {
        Form* pending = nullptr;
        for (Form* f : platform::all_forms())
            if (f->impl().paint_pending) pending = f;
        if (pending == nullptr) return;
        auto& impl = pending->impl();
        impl.paint_pending = false;
        platform::RecordingPainter painter(impl.client);
        impl.events->on_paint(painter);
        impl.last_fill = std::move(painter.fills);
    }
}

void advance(std::int64_t ms) {
    const std::int64_t end = world().now_ms + ms;
    for (;;) {
        pump();
        Form* due_form = nullptr;
        std::size_t due_timer = 0;
        std::int64_t due = end + 1;
        for (Form* f : platform::all_forms()) {
            if (!f->created()) continue;
            const auto& timers = f->impl().timers;
            for (std::size_t i = 0; i < timers.size(); ++i) {
                if (timers[i].enabled && timers[i].due < due) {
                    due = timers[i].due;
                    due_form = f;
                    due_timer = i;
                }
            }
        }
        if (world().watch != nullptr && world().keys_changed) {
            world().keys_changed = false;
            world().watch->on_keys_changed();
            continue;
        }
        // The session watch's second, when it comes before every timer.
        if (world().watch != nullptr && world().watch_ticking && world().watch_due < due) {
            world().now_ms = world().watch_due;
            world().watch_due += 1000;
            world().watch->on_second();
            continue;
        }
        if (due_form == nullptr) break;
        world().now_ms = due;
        auto& t = due_form->impl().timers[due_timer];
        t.due += due_form->spec().timers[due_timer].interval_ms;
        due_form->impl().events->on_timer(due_form->spec().timers[due_timer].name);
    }
    // An advance from inside (a box open meanwhile) may have gone further.
    world().now_ms = std::max(world().now_ms, end);
    pump();
}

namespace {
int position(const Form& f, std::string_view name, int index) {
    const auto& controls = f.spec().controls;
    for (std::size_t i = 0; i < controls.size(); ++i)
        if (name == controls[i].name && controls[i].index == index) return static_cast<int>(i);
    std::fprintf(stderr, "sim: no control %.*s(%d) on %s\n", static_cast<int>(name.size()),
                 name.data(), index, f.spec().name);
    std::abort();
}
}  // namespace

void click(Form& f, std::string_view control, int index) {
    const auto& c = f.impl().controls.at(position(f, control, index));
    if (!f.created() || !f.visible() || !c.visible || !c.enabled) {
        world().trace.push_back("click ignored " + std::string(control));
        return;
    }
    f.impl().events->on_click(control, index);
}

void choose(Form& f, std::string_view menu_item) {
    const auto& menus = f.spec().menus;
    for (std::size_t i = 0; i < menus.size(); ++i) {
        if (menu_item != menus[i].name) continue;
        if (!f.created() || !f.impl().menus[i].enabled) {
            world().trace.push_back("menu ignored " + std::string(menu_item));
            return;
        }
        f.impl().events->on_menu(menu_item);
        return;
    }
    std::abort();
}

void open_menu(Form& f, std::string_view menu_item) { f.impl().events->on_menu_open(menu_item); }

void close(Form& f) { f.impl().events->on_close(); }

void end_session() {
    for (Form* f : platform::all_forms())
        if (f->created()) {
            f->impl().events->on_session_end();
            f->impl().events->on_close();
        }
}

bool sys_command(Form& f, platform::SysCommand c) {
    using platform::SysCommand;
    using platform::WindowState;
    if (!f.impl().events->on_sys_command(c)) {
        world().trace.push_back("syscommand refused " + std::string(f.spec().name));
        return false;
    }
    platform::Rect r = f.outer_rect();
    switch (c) {
        case SysCommand::Minimize:
            f.set_state(WindowState::Minimized);
            platform::lose_foreground(f.impl());
            break;
        case SysCommand::Maximize:
            f.set_state(WindowState::Maximized);
            break;
        case SysCommand::Restore:
            f.set_state(WindowState::Normal);
            break;
        case SysCommand::Move:
            move_window(f, {r.left + 40, r.top + 30, r.right + 40, r.bottom + 30});
            break;
        case SysCommand::Size:
            move_window(f, {r.left, r.top, r.right + 40, r.bottom + 30});
            break;
        case SysCommand::HotKey:
            f.set_state(WindowState::Normal);
            platform::set_foreground(f.handle());
            break;
        case SysCommand::KeyMenu:
            world().trace.push_back("menu mode " + std::string(f.spec().name));
            break;
        case SysCommand::AppCommand:
            world().trace.push_back("shell app command");
            break;
    }
    return true;
}

void move_window(Form& f, const platform::Rect& outer) {
    auto& impl = f.impl();
    const platform::Rect before = impl.rect;
    impl.rect = outer;
    impl.client.x += (outer.right - outer.left) - (before.right - before.left);
    impl.client.y += (outer.bottom - outer.top) - (before.bottom - before.top);
}

void steal_foreground() {
    const platform::NativeWindow had = world().foreground;
    platform::set_foreground(0xF0F0F0);  // a window of another program
    world().trace.push_back("foreground taken");
    for (Form* f : platform::all_forms())
        if (f->created() && f->handle() == had) f->impl().events->on_deactivate();
}

std::string focus_name(const Form& f) {
    const int id = f.impl().focus;
    return id < 0 ? std::string{} : std::string(f.spec().controls[id].name);
}

void right_click(Form& f, std::string_view control) {
    f.impl().events->on_mouse_down(control, platform::MouseButton::Right);
}

const std::vector<Fill>& last_paint(const Form& f) { return f.impl().last_fill; }

platform::DrawColours drawn(Form& f, std::string_view control, int index) {
    std::size_t pos = 0;
    const auto& cs = f.spec().controls;
    while (pos < cs.size() && (control != cs[pos].name || index != cs[pos].index)) ++pos;
    const auto& s = f.impl().controls.at(pos);
    return platform::draw_colours(f.spec().controls[pos], s.fore_set, s.alert, {0, 0, 0},
                                  world().colours);
}

void change_dpi(Form& f, int dpi) {
    auto& impl = f.impl();
    const platform::Rect r = impl.rect;
    const int w = (r.right - r.left) * dpi / impl.dpi, h = (r.bottom - r.top) * dpi / impl.dpi;
    impl.dpi = dpi;
    // Where the system would put it: the same centre, scaled.
    impl.rect = {(r.left + r.right - w) / 2, (r.top + r.bottom - h) / 2, 0, 0};
    impl.rect.right = impl.rect.left + w;
    impl.rect.bottom = impl.rect.top + h;
    impl.client = {w - platform::kFrameWidth, h - platform::kFrameHeight};
    impl.events->on_dpi_changed();
    platform::request_paint(impl);
    pump();
}

void change_colours(const platform::SystemColours& colours) {
    world().colours = colours;
    for (Form* f : platform::all_forms()) platform::request_paint(f->impl());
    pump();
}

void set_client_size(Form& f, int width, int height) { f.impl().client = {width, height}; }

}  // namespace kv::sim
