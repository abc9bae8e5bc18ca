// The base of the program's four windows. A form is created the first time
// any code refers to it and lives until it is unloaded; the next reference
// loads it afresh. Events reach named handlers through tables.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <span>
#include <string_view>
#include <utility>

#include "platform/ui.h"
#include "ui/names.h"

namespace kv {

struct ProgramState;

class FormBase : public platform::FormEvents {
public:
    FormBase(ProgramState& state, const platform::FormSpec& spec)
        : program_(state), window_(spec, *this) {}

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
    // The program-wide variables.
    ProgramState& state() { return program_; }

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

    // By name, unchecked: FormOf's names are checked when compiled.
    platform::Control control_named(std::string_view name, int index) {
        Load();
        return window_.control(name, index);
    }
    platform::MenuItem menu_named(std::string_view name) {
        Load();
        return window_.menu(name);
    }

    ProgramState& program_;
    platform::Form window_;
};

// A form laid out by the table Spec: its controls, menu items and timers are
// named with names checked against the table when the program is compiled.
template <const platform::FormSpec& Spec>
class FormOf : public FormBase {
public:
    explicit FormOf(ProgramState& state) : FormBase(state, Spec) {}

    platform::Control ctl(ControlName<Spec> name, int index = -1) {
        return control_named(name.text, index);
    }
    platform::MenuItem menu(MenuName<Spec> name) { return menu_named(name.text); }
    // A form's own timers; an unloaded form's timers are all off already.
    void set_timer(TimerName<Spec> name, bool on) {
        if (loaded()) window_.timer(name.text).set_enabled(on);
    }
    bool timer_on(TimerName<Spec> name) { return loaded() && window_.timer(name.text).enabled(); }
    // Shows a menu of the form as a pop-up menu at the pointer.
    void popup_menu(MenuName<Spec> name) { window().popup_menu(name.text); }
};

// A form's routes from its events to its member functions: specialised for
// each form after its class, so that a member the form carries from one of
// its parts can be named through the form, as
//     template <> struct Routes<Form4> : NoRoutes<Form4> {
//         static constexpr Form4::Click clicks[] = {
//             {"Command1", -1, run<&Form4::Command1_Click>}};
//     };
// The tables keep the events' names; several events may run one member.
template <class T>
struct Routes;

// The base of every Routes<T>: the tables a form leaves out (no commands,
// clicks, menu choices or timer ticks), run<M>, the handler that calls the
// member M of the form, on<Part, M>, which calls M of one of the parts it
// carries, and choices<Table, Part>, the menu choices of a table's rows.
template <class T>
struct NoRoutes {
    static constexpr std::span<const typename T::Command> commands{};
    static constexpr std::span<const typename T::Click> clicks{};
    static constexpr std::span<const typename T::Choice> menus{};
    static constexpr std::span<const typename T::Tick> ticks{};

    template <auto M>
    static void run(T& form) {
        std::invoke(M, form);
    }
    // The handler that calls the member M of the form's part Part.
    template <auto Part, auto M>
    static void on(T& form) {
        std::invoke(M, std::invoke(Part, form));
    }
    // A menu choice for each row of Table, a table of choices with a menu
    // item each: the row goes to choose() of the part Part that owns it.
    template <const auto& Table, auto Part>
    static constexpr auto choices() {
        return []<std::size_t... I>(std::index_sequence<I...>) {
            return std::array<typename T::Choice, sizeof...(I)>{
                {{Table[I].menu, &choose<Table, Part, I>}...}};
        }
        (std::make_index_sequence<std::size(Table)>{});
    }
    template <const auto& Table, auto Part, std::size_t I>
    static void choose(T& form) {
        std::invoke(Part, form).choose(Table[I]);
    }
};

// Two route tables as one.
template <class E, std::size_t A, std::size_t B>
constexpr std::array<E, A + B> join(const std::array<E, A>& a, const std::array<E, B>& b) {
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
        return std::array<E, A + B>{{(I < A ? a[I] : b[I - A])...}};
    }(std::make_index_sequence<A + B>{});
}

// Delivers clicks, menu choices and timer ticks through Routes<T>.
template <class T, const platform::FormSpec& Spec>
class RoutedForm : public FormOf<Spec> {
public:
    using FormOf<Spec>::FormOf;
    using Handler = void (*)(T&);

    struct Click {
        ControlName<Spec> control;
        int index;  // element of a control array, -1 for a plain control
        Handler handler;
    };
    struct Choice {
        MenuName<Spec> item;
        Handler handler;
    };
    struct Tick {
        TimerName<Spec> timer;
        Handler handler;
    };
    // One command, named once: its button (an element of a control array
    // by index) and its menu item, whose shortcut key chooses it too.
    struct Command {
        ControlNameOrNone<Spec> button{};
        int index = -1;
        MenuNameOrNone<Spec> item{};
        Handler handler = nullptr;
    };

protected:
    void on_click(std::string_view control, int index) override {
        if (!this->takes_input()) return;
        for (const Command& c : Routes<T>::commands)
            if (!c.button.text.empty() && control == c.button.text && index == c.index)
                return run(c.handler);
        for (const Click& r : Routes<T>::clicks)
            if (control == r.control.text && index == r.index) return run(r.handler);
    }
    void on_menu(std::string_view item) override {
        if (!this->takes_input()) return;
        for (const Command& c : Routes<T>::commands)
            if (!c.item.text.empty() && item == c.item.text) return run(c.handler);
        for (const Choice& r : Routes<T>::menus)
            if (item == r.item.text) return run(r.handler);
    }
    void on_timer(std::string_view timer) override {
        for (const Tick& r : Routes<T>::ticks)
            if (timer == r.timer.text) return run(r.handler);
    }

private:
    void run(Handler h) { h(static_cast<T&>(*this)); }
};

// SetWindowPos to or from the topmost band, by a 16-bit state: kTopmost
// (-1, True) topmost, kNotTopmost (0, False) out of it, anything else the
// top of the normal band.
inline constexpr int kTopmost = -1;
inline constexpr int kNotTopmost = 0;
void set_topmost(platform::NativeWindow w, int state);

}  // namespace kv
