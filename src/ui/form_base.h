// The base of the program's four windows. A form is created the first time
// any code refers to it and lives until it is unloaded; the next reference
// loads it afresh. Events reach named handlers through tables.
#pragma once

#include <span>
#include <string_view>

#include "platform/ui.h"

namespace kv {

class Program;

class FormBase : public platform::FormEvents {
public:
    FormBase(Program& program, const platform::FormSpec& spec)
        : program_(program), window_(spec, *this) {}

    bool loaded() const { return window_.created(); }
    // Creates the window in its design state and runs Form_Load, once.
    void Load();
    // Loads if needed and shows; the paint comes from the message loop.
    void Show();
    void ShowModal();
    void Hide();
    // Runs Form_Unload, then destroys the window.
    void Unload();
    void set_window_state(platform::WindowState s);

    // References load the form, as with any reference to a form.
    platform::Form& window() {
        Load();
        return window_;
    }
    platform::Control ctl(std::string_view name, int index = -1) {
        Load();
        return window_.control(name, index);
    }
    platform::MenuItem menu(std::string_view name) {
        Load();
        return window_.menu(name);
    }
    // A form's own timers; an unloaded form's timers are all off already.
    void set_timer(std::string_view name, bool on) {
        if (loaded()) window_.timer(name).set_enabled(on);
    }

protected:
    virtual void Form_Load() {}
    virtual void Form_Paint(platform::Painter&) {}
    virtual void Form_Unload() {}

    // False while another form holds the program's input: clicks, menu
    // choices, shortcut and dialog keys, window commands and requests to
    // close are then ignored.
    virtual bool takes_input() { return true; }

    void on_paint(platform::Painter& p) override { Form_Paint(p); }
    void on_close() override {
        if (takes_input()) Unload();
    }
    bool on_sys_command(platform::SysCommand) override { return takes_input(); }

    Program& program_;
    platform::Form window_;
};

// Routes clicks, menu choices and timer ticks to member functions listed
// once per form: T::kClicks, T::kMenus and T::kTimers.
template <class T>
struct Route {
    const char* name;
    int index;
    void (T::*handler)();
};

template <class T>
class RoutedForm : public FormBase {
public:
    using FormBase::FormBase;

protected:
    void on_click(std::string_view control, int index) override {
        if (this->takes_input()) dispatch(T::kClicks, control, index);
    }
    void on_menu(std::string_view item) override {
        if (this->takes_input()) dispatch(T::kMenus, item, -1);
    }
    void on_timer(std::string_view timer) override { dispatch(T::kTimers, timer, -1); }

private:
    void dispatch(std::span<const Route<T>> routes, std::string_view name, int index) {
        for (const auto& r : routes)
            if (name == r.name && index == r.index) return (static_cast<T*>(this)->*r.handler)();
    }
};

// SetWindowPos to or from the topmost band, by a 16-bit state: kTopmost
// (-1, True) topmost, kNotTopmost (0, False) out of it, anything else the
// top of the normal band.
inline constexpr int kTopmost = -1;
inline constexpr int kNotTopmost = 0;
void set_topmost(platform::NativeWindow w, int state);

}  // namespace kv
