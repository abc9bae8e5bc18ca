#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "log/attempt_log.h"
#include "program_fixture.h"
#include "store/text.h"

namespace kv::test {
namespace {

class Lock : public ProgramTest {};

TEST_F(Lock, GuardHoldsThePointerOnEnterAndKeepsTheWindowOnTop) {
    start_locked();
    const auto enter = p().form4().ctl("Command1").screen_rect();
    world().cursor = {5, 5};
    sim::advance(100);
    ASSERT_TRUE(world().clip.has_value());
    EXPECT_EQ(*world().clip, enter);
    EXPECT_EQ(world().z_order[form("Form4")->handle()], -1);
    EXPECT_GE(world().cursor.x, enter.left);
    EXPECT_LT(world().cursor.x, enter.right);
    // A tick with nothing moved puts nothing back: each call would be a
    // round trip to the window system, ten times a second.
    world().trace.clear();
    sim::advance(100);
    for (const auto& call : world().trace)
        EXPECT_TRUE(call.rfind("clip", 0) != 0 && call.rfind("setwindowpos", 0) != 0) << call;
    // It goes on ticking.
    world().clip.reset();
    sim::advance(100);
    EXPECT_TRUE(world().clip.has_value());
    EXPECT_TRUE(world().screensaver_running);
    EXPECT_EQ(p().form4().ctl("Labelnew").text(), fixed("Pet?", 250));
}

TEST_F(Lock, HoldsFromTheLoadNotOnlyFromTheFirstTick) {
    start_locked();  // the lock has just loaded: no guard tick yet
    ASSERT_TRUE(world().clip.has_value());
    EXPECT_EQ(*world().clip, p().form4().ctl("Command1").screen_rect());
    EXPECT_EQ(world().z_order[form("Form4")->handle()], -1);
    EXPECT_EQ(world().task_key_blocks, 1);
    EXPECT_EQ(world().foreground, form("Form4")->handle());
    // Its paints confine the pointer again: the window system may drop a
    // confinement made before the window was on the screen.
    world().clip.reset();
    form("Form4")->invalidate();
    sim::pump();
    ASSERT_TRUE(world().clip.has_value());
    EXPECT_EQ(*world().clip, p().form4().ctl("Command1").screen_rect());
}

TEST_F(Lock, GuardPutsTheWindowBackWhateverChangedIt) {
    start_locked();
    auto* f4 = form("Form4");
    const auto home = f4->outer_rect();
    const auto enter = p().form4().ctl("Command1").screen_rect();
    using platform::SysCommand;
    using platform::WindowState;

    // Its system menu, title bar and frame are refused, while it waits and
    // while the wrong-answer message stands.
    for (auto c : {SysCommand::Minimize, SysCommand::Maximize, SysCommand::Move, SysCommand::Size,
                   SysCommand::KeyMenu, SysCommand::AppCommand})
        EXPECT_FALSE(sim::sys_command(*f4, c));
    type_answer("guess");
    EXPECT_FALSE(sim::sys_command(*f4, SysCommand::Minimize));
    EXPECT_EQ(f4->state(), WindowState::Normal);
    EXPECT_EQ(f4->outer_rect(), home);

    // Whatever changes it anyway, the next tick puts it back: normal state,
    // centred at its size, topmost, the pointer on "&Enter".
    const std::pair<const char*, std::function<void()>> changes[] = {
        {"minimised", [&] { f4->set_state(WindowState::Minimized); }},
        {"maximised", [&] { f4->set_state(WindowState::Maximized); }},
        {"moved",
         [&] {
             sim::move_window(*f4, {0, 0, home.right - home.left, 300});
         }},
    };
    for (const auto& [what, change] : changes) {
        change();
        world().z_order.clear();
        world().clip.reset();
        world().cursor = {0, 0};
        sim::advance(100);
        EXPECT_EQ(f4->state(), WindowState::Normal) << what;
        EXPECT_EQ(f4->outer_rect(), home) << what;
        EXPECT_EQ(world().z_order[f4->handle()], -1) << what;
        ASSERT_TRUE(world().clip.has_value()) << what;
        EXPECT_EQ(*world().clip, enter) << what;
        EXPECT_TRUE(world().cursor.x >= enter.left && world().cursor.x < enter.right) << what;
    }
}

TEST_F(Lock, TakesTheKeyboardBackAtOnceAndAtEveryTick) {
    start_locked();
    auto* f4 = form("Form4");
    // Another program takes the foreground: the deactivation brings it back,
    // with the answer box taking the keys.
    sim::steal_foreground();
    EXPECT_EQ(world().foreground, f4->handle());
    EXPECT_EQ(sim::focus_name(*f4), "Textnew");
    // The window system may not let its keyboard focus follow at once: the
    // next three ticks give it to the answer box again, and then no more.
    const auto takes = [&] {
        return std::count_if(world().trace.begin(), world().trace.end(),
                             [](const auto& t) { return t.rfind("foreground Form4", 0) == 0; });
    };
    const auto taken = takes();
    sim::advance(300);
    EXPECT_EQ(takes(), taken + 3);
    sim::advance(300);
    EXPECT_EQ(takes(), taken + 3);

    // The top and the pointer are taken back with the keyboard, not only at
    // the next tick: a program that raises itself also frees the pointer.
    world().clip.reset();
    world().z_order.clear();
    sim::steal_foreground();
    ASSERT_TRUE(world().clip.has_value());
    EXPECT_EQ(*world().clip, p().form4().ctl("Command1").screen_rect());
    EXPECT_EQ(world().z_order[f4->handle()], -1);

    // Taken without a deactivation reaching the lock: the next tick.
    world().foreground = 0xBEEF;
    sim::advance(100);
    EXPECT_EQ(world().foreground, f4->handle());

    // During the wrong-answer message the window itself has the keyboard.
    type_answer("guess");
    sim::steal_foreground();
    EXPECT_EQ(world().foreground, f4->handle());
    EXPECT_EQ(sim::focus_name(*f4), "");
    sim::advance(4000);
    EXPECT_EQ(sim::focus_name(*f4), "Textnew");

    // Released, it lets the keyboard go.
    world().box_answers = {kNo};
    type_answer("Rex");
    ASSERT_NE(form("Form1"), nullptr);
    sim::steal_foreground();
    EXPECT_NE(world().foreground, form("Form1")->handle());
}

TEST_F(Lock, TaskKeysAreBlockedExactlyWhileItHolds) {
    start_locked();
    EXPECT_EQ(world().task_key_blocks, 1);
    // Released by the right answer: free before the alert asks.
    type_answer("guess");
    sim::advance(4000);
    world().box_answers = {kNo};
    type_answer("Rex");
    EXPECT_LT(sim::trace_find("task keys free"), sim::trace_find("msgbox Security Alert!"));
    EXPECT_EQ(world().task_key_blocks, 0);

    // Unloaded some other way, and loaded again 50 ms later.
    sim::click(*form("Form1"), "Command9");
    EXPECT_EQ(world().task_key_blocks, 1);
    p().form4().Unload();
    EXPECT_EQ(world().task_key_blocks, 0);
    sim::advance(50);
    EXPECT_EQ(world().task_key_blocks, 1);

    // The program ends while it holds.
    program.reset();
    EXPECT_EQ(world().task_key_blocks, 0);
    EXPECT_EQ(world().task_key_blocks_made, 3);
}

// Ended while it waits, the program leaves the Windows session locked: a
// watch holds from the load to the right answer, and a watcher that ends
// first locks the session at the next tick and is started again. Nothing
// locks the session after the answer, at Quit or at the session's end.
TEST_F(Lock, FailsClosedFromTheLoadToTheRightAnswer) {
    start_locked();
    EXPECT_EQ(world().watches, 1);
    world().watcher_ended = true;
    sim::advance(100);
    EXPECT_EQ(world().session_locks, 1);
    EXPECT_EQ(world().watches, 1);
    EXPECT_EQ(world().watches_made, 2);
    sim::advance(1000);
    EXPECT_EQ(world().session_locks, 1);
    // Closed from outside and back 50 ms later: watched all along.
    p().form4().Unload();
    EXPECT_EQ(world().watches, 1);
    sim::advance(50);
    EXPECT_EQ(world().watches_made, 2);

    // Released before the alert asks.
    type_answer("guess");
    sim::advance(4000);
    world().box_answers = {kNo};
    type_answer("Rex");
    EXPECT_LT(sim::trace_find("watch released"), sim::trace_find("msgbox Security Alert!"));
    EXPECT_EQ(world().watches, 0);

    // The session ends anyway while a lock waits: released quietly.
    sim::click(*form("Form1"), "Command9");
    EXPECT_EQ(world().watches, 1);
    sim::end_session();
    EXPECT_EQ(world().watches, 0);
    sim::advance(1000);
    EXPECT_EQ(world().session_locks, 1);
    EXPECT_EQ(world().watches_made, 3);
}

TEST_F(Lock, OnlyTheTaskSwitchingKeysAreHeldBack) {
    using platform::is_task_key;
    constexpr std::uint32_t kTab = 0x09, kEsc = 0x1B, kSpace = 0x20, kLWin = 0x5B, kRWin = 0x5C;
    EXPECT_TRUE(is_task_key(kTab, true, false));    // Alt+Tab, Alt+Shift+Tab
    EXPECT_TRUE(is_task_key(kEsc, true, false));    // Alt+Esc
    EXPECT_TRUE(is_task_key(kEsc, false, true));    // Ctrl+Esc, Ctrl+Shift+Esc
    EXPECT_TRUE(is_task_key(kSpace, true, false));  // Alt+Space
    EXPECT_TRUE(is_task_key(kLWin, false, false));
    EXPECT_TRUE(is_task_key(kRWin, false, false));
    // Everything else reaches the answer box: Tab, Esc and Space alone, the
    // letters, and AltGr (Ctrl+Alt) characters, AltGr+Space included.
    EXPECT_FALSE(is_task_key(kTab, false, false));
    EXPECT_FALSE(is_task_key(kEsc, false, false));
    EXPECT_FALSE(is_task_key(kSpace, false, false));
    EXPECT_FALSE(is_task_key(kSpace, true, true));
    for (std::uint32_t vk = 'A'; vk <= 'Z'; ++vk) {
        EXPECT_FALSE(is_task_key(vk, false, false)) << vk;
        EXPECT_FALSE(is_task_key(vk, true, true)) << vk;
    }
    EXPECT_FALSE(is_task_key(0x32, true, true));  // AltGr+2 ("@" on some layouts)
}

TEST_F(Lock, TheHookAlsoHoldsAltF4PrtScnTheApplicationKeysAndAnyKeyOutOfFront) {
    using platform::KeyGate;
    constexpr std::uint32_t kF4 = 0x73, kLWin = 0x5B, kA = 'A';
    constexpr bool kDown = false, kUp = true, kFront = true, kAway = false;
    KeyGate gate;
    EXPECT_TRUE(gate.swallow(kF4, kDown, true, false, kFront));  // Alt+F4
    EXPECT_TRUE(gate.swallow(kF4, kUp, true, false, kFront));    // and its release
    EXPECT_FALSE(gate.swallow(kF4, kDown, false, false, kFront));
    EXPECT_FALSE(gate.swallow(kF4, kUp, false, false, kFront));
    for (std::uint32_t vk = 0xA6; vk <= 0xB7; ++vk)  // Browser Back .. Start App 2
        EXPECT_TRUE(gate.swallow(vk, kDown, false, false, kFront)) << vk;
    EXPECT_FALSE(gate.swallow(0xA5, kDown, false, false, kFront));  // right Alt
    EXPECT_FALSE(gate.swallow(0xB8, kDown, false, false, kFront));
    EXPECT_TRUE(gate.swallow(kLWin, kDown, false, false, kFront));
    EXPECT_TRUE(gate.swallow(kLWin, kUp, false, false, kFront));
    // PrtScn and Alt+PrtScn: no picture of the lock, no capture tool over it.
    constexpr std::uint32_t kPrtScn = 0x2C;
    for (const bool alt : {false, true}) {
        EXPECT_TRUE(gate.swallow(kPrtScn, kDown, alt, false, kFront)) << alt;
        EXPECT_TRUE(gate.swallow(kPrtScn, kUp, alt, false, kFront)) << alt;
    }
    // While another window is in front, every key, and the release of a
    // press that never went on.
    EXPECT_TRUE(gate.swallow(kA, kDown, false, false, kAway));
    EXPECT_TRUE(gate.swallow(kA, kUp, false, false, kFront));
    // A press that went on gets its release through wherever it comes.
    EXPECT_FALSE(gate.swallow(kA, kDown, false, false, kFront));
    EXPECT_TRUE(gate.swallow(kA, kDown, false, false, kAway));  // a repeat
    EXPECT_FALSE(gate.swallow(kA, kUp, false, false, kAway));
    EXPECT_TRUE(gate.swallow(kA, kUp, false, false, kFront));  // once

    // A key already down as the hook goes in: its release goes through.
    std::bitset<256> down;
    down[kLWin] = true;
    KeyGate late(down);
    EXPECT_TRUE(late.swallow(kLWin, kDown, false, false, kFront));  // a repeat
    EXPECT_FALSE(late.swallow(kLWin, kUp, false, false, kFront));
    EXPECT_TRUE(late.swallow(kLWin, kDown, false, false, kFront));
    EXPECT_TRUE(late.swallow(kLWin, kUp, false, false, kFront));
}

TEST_F(Lock, AccessibilityHotKeysAreOffWhileItHoldsAndComeBackExactly) {
    // Sticky Keys and Mouse Keys with their hot keys on, Filter Keys with it
    // off, Toggle Keys that cannot be read, High Contrast whose flags cannot
    // be set.
    world().access_flags = {0x1FE, 0x7A, std::nullopt, 0x7F, 0x5};
    world().access_fixed[3] = true;
    const auto before = world().access_flags;
    const auto hot_keys_off = [&] {
        for (std::size_t i = 0; i < before.size(); ++i) {
            if (!before[i] || world().access_fixed[i]) {
                EXPECT_EQ(world().access_flags[i], before[i]) << i;
            } else {
                EXPECT_EQ(world().access_flags[i], *before[i] & ~0x4u) << i;  // *_HOTKEYACTIVE
            }
        }
    };
    start_locked();
    hot_keys_off();
    type_answer("guess");
    hot_keys_off();
    sim::advance(4000);
    // Every way out: the right answer, the lock unloaded some other way, the
    // end of the program.
    world().box_answers = {kNo};
    type_answer("Rex");
    EXPECT_EQ(world().access_flags, before);
    sim::click(*form("Form1"), "Command9");
    hot_keys_off();
    p().form4().Unload();
    EXPECT_EQ(world().access_flags, before);
    sim::advance(50);
    hot_keys_off();
    program.reset();
    EXPECT_EQ(world().access_flags, before);
}

TEST_F(Lock, AWindowThatCannotBeCreatedFailsClosed) {
    // At a locked start: no window at all shows until the lock screen does.
    store_credentials();
    ASSERT_TRUE(store::set_login_lock());
    sim::fail(sim::Call::CreateWindow, 0, 2);  // the splash is the first window
    start_and_decide();
    EXPECT_EQ(form("Form4"), nullptr);
    EXPECT_FALSE(shown("Form1"));
    sim::advance(50);
    EXPECT_TRUE(shown("Form4"));
    EXPECT_FALSE(shown("Form1"));

    // Over the visible main window: it hides rather than staying unlocked,
    // and takes no input until the lock screen is back.
    world().box_answers = {kNo};
    type_answer("Rex");
    ASSERT_TRUE(shown("Form1"));
    sim::fail(sim::Call::CreateWindow, 0);
    sim::click(*form("Form1"), "Command9");
    EXPECT_EQ(form("Form4"), nullptr);
    EXPECT_FALSE(shown("Form1"));
    sim::click(*form("Form1"), "Command1");  // Quit: refused, nothing thrown
    sim::fail(sim::Call::CreateWindow, 0);   // the retry fails too: again 50 ms later
    sim::advance(50);
    EXPECT_EQ(form("Form4"), nullptr);
    sim::advance(50);
    EXPECT_TRUE(shown("Form4"));

    // From the paint after lock-and-hide.
    type_answer("Rex");
    sim::click(*form("Form1"), "ExitButton", 2);
    sim::fail(sim::Call::CreateWindow, 0);
    form("Form1")->set_state(platform::WindowState::Normal);
    sim::pump();
    EXPECT_EQ(form("Form4"), nullptr);
    EXPECT_FALSE(shown("Form1"));
    sim::advance(50);
    EXPECT_TRUE(shown("Form4"));

    // Any other window that cannot be created is simply not there.
    type_answer("Rex");
    sim::fail(sim::Call::CreateWindow, 0);
    sim::choose(*form("Form1"), "abtDulcimet");
    EXPECT_EQ(form("AboutBox"), nullptr);
}

TEST_F(Lock, EmptyEntryOnlyBeeps) {
    start_locked();
    type_answer("");
    EXPECT_EQ(world().beeps, 1);
    EXPECT_TRUE(shown("Form4"));
    EXPECT_FALSE(sim::get_value(store::kVendorKey, "Status"));
    EXPECT_EQ(world().files[log_file_path()], "");
    // Blanks are an entry: they are wrong here.
    type_answer("   ");
    EXPECT_TRUE(sim::get_value(store::kVendorKey, "Status"));
}

TEST_F(Lock, AnswerRulesBlanksCaseAndTwentyCharacters) {
    store_credentials("Pet?", "Rex");
    ASSERT_TRUE(store::write_answer("abcdefghijklmnopqrstuvwxy"));
    ASSERT_TRUE(store::set_login_lock());
    start_and_decide();
    type_answer("abcdefghijklmnopqrstuvwxy");  // in full: wrong
    EXPECT_TRUE(shown("Form4"));
    sim::advance(4000);
    type_answer("ABCDEFGHIJKLMNOPQRST");  // case counts
    EXPECT_TRUE(shown("Form4"));
    sim::advance(4000);
    world().box_answers = {kNo};
    type_answer("  abcdefghijklmnopqrst ");
    EXPECT_EQ(form("Form4"), nullptr);
    EXPECT_TRUE(p().form4().released());
}

TEST_F(Lock, RightAnswerWithoutAttemptsReleasesQuietly) {
    start_locked();
    const int from = static_cast<int>(world().trace.size());
    type_answer("Rex");
    EXPECT_TRUE(world().boxes.empty());
    EXPECT_EQ(form("Form4"), nullptr);
    EXPECT_FALSE(world().screensaver_running);
    EXPECT_EQ(*world().clip, world().desktop);
    // In order: screen saver flag off, not topmost, pointer freed; the unload
    // shows the main window as the lock screen goes.
    const int spi = sim::trace_find("spi 97 0", from);
    const int top = sim::trace_find("setwindowpos -2 83", from);
    const int clip = sim::trace_find("clip 0,0,1024,768", from);
    const int gone = sim::trace_find("destroy Form4", from);
    const int main = sim::trace_find("show Form1", from);
    EXPECT_TRUE(spi >= 0 && spi < top && top < clip && clip < main && main < gone)
        << spi << " " << top << " " << clip << " " << main << " " << gone;
    EXPECT_TRUE(shown("Form1"));
    EXPECT_EQ(p().main_unlocked, 1);
}

TEST_F(Lock, WrongAnswerIsRecordedAndShownForFourSeconds) {
    start_locked();
    world().date = "12/7/2026";
    world().time = "9:05:00 AM";
    const int from = static_cast<int>(world().trace.size());
    type_answer("guess");

    EXPECT_EQ(world().beeps, 1);
    EXPECT_TRUE(p().form4().alert_pending());
    EXPECT_EQ(sim::get_value(store::kVendorKey, "Status")->data, std::string("Alert\0", 6));
    const int beep = sim::trace_find("beep", from);
    const int alert = sim::trace_find("reg set Status", from);
    const int file = sim::trace_find("file append", from);
    EXPECT_TRUE(beep >= 0 && beep < alert && alert < file);

    auto& f4 = p().form4();
    EXPECT_FALSE(f4.ctl("Command1").enabled());
    EXPECT_FALSE(f4.ctl("Textnew").visible());
    EXPECT_EQ(f4.ctl("Textnew").text(), "");
    EXPECT_EQ(f4.ctl("Labelnew").text(), Form4::kWrongAnswer);
    EXPECT_EQ(f4.ctl("Labelnew").fore_color(), (platform::Rgb{255, 0, 0}));
    const std::string line = "12/7/2026 9:05:00 AM         guess                ";
    EXPECT_EQ(world().files[log_file_path()], log_record(line));
    EXPECT_EQ(form("Form1"), nullptr) << "the main window loaded the whole log";
    // The main window's load reads it from the file.
    ASSERT_EQ(p().form1().ctl("List2").list_count(), 1);
    EXPECT_EQ(p().form1().ctl("List2").list_item(0), record_line(log_record(line)));

    // A click while the message stands is not possible.
    sim::click(*form("Form4"), "Command1");
    EXPECT_EQ(world().beeps, 1);
    sim::advance(3999);
    EXPECT_FALSE(f4.ctl("Command1").enabled());
    sim::advance(1);
    EXPECT_TRUE(f4.ctl("Command1").enabled());
    EXPECT_TRUE(f4.ctl("Textnew").visible());
    EXPECT_EQ(f4.ctl("Labelnew").text(), fixed("Pet?", 250));
    EXPECT_EQ(f4.ctl("Labelnew").fore_color(), (platform::Rgb{0, 255, 255}));
    EXPECT_TRUE(sim::trace_has("focus Textnew"));
    EXPECT_FALSE(f4.window().timer("Timer1").enabled());
    EXPECT_TRUE(f4.window().timer("Timer2").enabled());
}

// In high contrast the lock paints the system's window colours instead of
// its gradient and fixed colours, the wrong-answer message the highlight
// ones; a change of the setting repaints at once.
TEST_F(Lock, HighContrastPaintsTheSystemColours) {
    start_locked();
    auto* f4 = form("Form4");
    platform::SystemColours hc{true, {0, 0, 0}, {255, 255, 0}, {0, 128, 0}, {255, 255, 255}};
    sim::change_colours(hc);
    ASSERT_EQ(sim::last_paint(*f4).size(), 1u);
    EXPECT_EQ(sim::last_paint(*f4).front().color, hc.window);
    EXPECT_EQ(sim::last_paint(*f4).front().rect,
              (platform::Rect{0, 0, sim::last_paint(*f4).front().rect.right,
                              sim::last_paint(*f4).front().rect.bottom}));
    const auto question = sim::drawn(*f4, "Labelnew");
    EXPECT_EQ(question.fore, hc.window_text);
    EXPECT_EQ(question.back, hc.window);
    EXPECT_EQ(sim::drawn(*f4, "Label1").fore, hc.window_text);
    EXPECT_FALSE(sim::drawn(*f4, "Label1").back);  // transparent
    EXPECT_EQ(sim::drawn(*f4, "Shapenew").back, hc.window);
    EXPECT_FALSE(sim::drawn(*f4, "Textnew").back);  // the system's own

    type_answer("guess");
    EXPECT_EQ(sim::drawn(*f4, "Labelnew").fore, hc.highlight_text);
    EXPECT_EQ(sim::drawn(*f4, "Labelnew").back, hc.highlight);
    sim::advance(4000);
    EXPECT_EQ(sim::drawn(*f4, "Labelnew").fore, hc.window_text);

    // Off again: the gradient and the layout's colours come back.
    sim::change_colours({});
    EXPECT_EQ(sim::last_paint(*f4).size(), 256u);
    EXPECT_EQ(sim::drawn(*f4, "Labelnew").fore, (platform::Rgb{0, 255, 255}));
    EXPECT_EQ(sim::drawn(*f4, "Labelnew").back, (platform::Rgb{0, 0, 0}));
    EXPECT_EQ(sim::drawn(*f4, "Label1").fore, (platform::Rgb{255, 255, 0}));
}

// On a screen of 144 DPI the lock keeps its size in inches, centred, with
// the pointer held on "&Enter" at once.
TEST_F(Lock, OnAScreenOfAnotherDpiItIsLaidOutAgainCentredHoldingThePointer) {
    start_locked();
    auto* f4 = form("Form4");
    world().clip.reset();
    sim::change_dpi(*f4, 144);
    const auto r = f4->outer_rect();
    EXPECT_EQ(r.right - r.left, (7215 * 144 + 720) / 1440);
    EXPECT_EQ(r.bottom - r.top, (4905 * 144 + 720) / 1440);
    EXPECT_LE(std::abs((r.left + r.right) - world().desktop.right), 1);
    EXPECT_LE(std::abs((r.top + r.bottom) - world().desktop.bottom), 1);
    const auto enter = p().form4().ctl("Command1").screen_rect();
    EXPECT_EQ(enter.right - enter.left, (3495 * 144 + 720) / 1440);
    ASSERT_TRUE(world().clip.has_value());
    EXPECT_EQ(*world().clip, enter);
    // The guard keeps it there.
    sim::advance(300);
    EXPECT_EQ(f4->outer_rect(), r);
}

// Screen readers name a box by the static label just before it in the window
// order: the answer box by the question.
TEST(WindowOrder, EachLabelGoesJustBeforeTheControlItNames) {
    const auto order = platform::window_order(layout::kForm4);
    const int box = layout::control_position(layout::kForm4, "Textnew");
    const auto at = std::find(order.begin(), order.end(), box);
    ASSERT_NE(at, order.end());
    ASSERT_NE(at, order.begin());
    EXPECT_EQ(*(at - 1), layout::control_position(layout::kForm4, "Labelnew"));
    // The dialog keys still walk the focusable controls in tab order.
    std::vector<int> tabs;
    for (int pos : order)
        if (layout::kForm4.controls[pos].tab >= 0 &&
            layout::kForm4.controls[pos].kind != platform::ControlKind::Label)
            tabs.push_back(layout::kForm4.controls[pos].tab);
    EXPECT_TRUE(std::is_sorted(tabs.begin(), tabs.end()));
    for (const auto* spec : {&layout::kForm1, &layout::kForm4, &layout::kSplash, &layout::kAboutBox})
        EXPECT_EQ(platform::window_order(*spec).size(),
                  static_cast<std::size_t>(std::count_if(
                      spec->controls.begin(), spec->controls.end(), [](const auto& c) {
                          return c.kind != platform::ControlKind::Shape &&
                                 c.kind != platform::ControlKind::Line &&
                                 c.kind != platform::ControlKind::Picture;
                      })))
            << spec->name;
}

TEST_F(Lock, AlertAfterAttemptsAndAcrossARestart) {
    // A standard user of an installed copy, as every start at logon is.
    store_credentials();
    ASSERT_TRUE(store::set_login_lock());
    standard_user();
    start_and_decide();
    ASSERT_TRUE(shown("Form4"));
    type_answer("wrong");
    sim::advance(4000);
    world().box_answers = {kNo};
    type_answer("Rex");
    ASSERT_EQ(world().boxes.size(), 1u);
    EXPECT_EQ(world().boxes[0].title, "Security Alert!");
    EXPECT_EQ(world().boxes[0].type, 20u);
    EXPECT_EQ(world().boxes[0].text,
              "There was an attempt to access your system. Do you want to view the access log?");
    EXPECT_FALSE(sim::get_value(store::kVendorKey, "Status"));
    EXPECT_FALSE(p().form1().ctl("List2").visible());

    // An attempt before a restart is still reported after it.
    ASSERT_TRUE(store::set_alert());
    program = std::make_unique<Program>();
    world().boxes.clear();
    start_and_decide();
    world().box_answers = {kYes};
    type_answer("Rex");
    ASSERT_EQ(world().boxes.size(), 1u);
    EXPECT_EQ(world().boxes[0].title, "Security Alert!");
    EXPECT_TRUE(p().form1().ctl("List2").visible());
    EXPECT_FALSE(p().form1().ctl("Command9").enabled());
    EXPECT_FALSE(p().form1().ctl("Command5").enabled());
    EXPECT_FALSE(sim::get_value(store::kVendorKey, "Status"));

    // An attempt of this run whose stored flag is gone by the right answer:
    // the alert still asks, and the flag that cannot be deleted is reported.
    sim::click(*form("Form1"), "Command12");
    sim::click(*form("Form1"), "Command9");
    type_answer("wrong");
    sim::advance(4000);
    ASSERT_TRUE(store::delete_value(store::kVendorKey, "Status"));  // from outside
    world().boxes.clear();
    world().box_answers = {kNo};
    type_answer("Rex");
    ASSERT_EQ(world().boxes.size(), 2u);
    EXPECT_EQ(world().boxes[0].title, "Security Alert!");
    EXPECT_EQ(world().boxes[1].text, kClearAlertError);
    EXPECT_EQ(world().boxes[1].type, 0u);
    EXPECT_EQ(world().boxes[1].title, "Kestrova");

    // A copy that no setup granted anything: the flag that Windows refuses
    // to clear is blamed on the missing rights, not on a power failure.
    world().key_grants.clear();
    sim::click(*form("Form1"), "Command12");
    sim::click(*form("Form1"), "Command9");
    type_answer("wrong");
    sim::advance(4000);
    world().boxes.clear();
    world().box_answers = {kNo};
    type_answer("Rex");
    ASSERT_EQ(world().boxes.size(), 2u);
    EXPECT_NE(world().boxes[1].text.find("needs an administrator"), std::string::npos)
        << world().boxes[1].text;
}

TEST_F(Lock, EmptyStatusValueStillRaisesTheAlert) {
    store_credentials();
    ASSERT_TRUE(store::set_login_lock());
    sim::put_value(store::kVendorKey, "Status", platform::kRegSz, "");
    start_and_decide();
    world().box_answers = {kNo};
    type_answer("Rex");
    ASSERT_EQ(world().boxes.size(), 1u);
    EXPECT_EQ(world().boxes[0].title, "Security Alert!");
    EXPECT_FALSE(sim::get_value(store::kVendorKey, "Status"));
}

TEST_F(Lock, AnswerThatCannotBeReadUnlocksNothingAndIsReadAgain) {
    start_locked();
    p().form4().Unload();
    sim::fail(sim::Call::RegQueryValue, 1117, 2);  // Command, as the lock screen loads again
    sim::advance(50);
    ASSERT_TRUE(shown("Form4"));
    ASSERT_TRUE(world().faults.empty()) << "the answer was read";
    sim::fail(sim::Call::RegQueryValue, 1117, 2);  // and once more as it is read again
    type_answer("   ");
    EXPECT_TRUE(shown("Form4"));
    EXPECT_FALSE(p().form4().released());
    EXPECT_FALSE(sim::get_value(store::kVendorKey, "Status"));
    type_answer("Rex");
    EXPECT_TRUE(p().form4().released());
    EXPECT_EQ(form("Form4"), nullptr);
}

TEST_F(Lock, ClosingIsRefusedUntilTheAnswer) {
    start_locked();
    auto* f4 = form("Form4");
    const auto handle = f4->handle();
    sim::close(*f4);  // Alt+F4, the close box, WM_CLOSE from outside
    EXPECT_EQ(form("Form4"), f4);
    EXPECT_TRUE(shown("Form4"));
    EXPECT_EQ(f4->handle(), handle);
    EXPECT_EQ(world().task_key_blocks, 1);
    EXPECT_TRUE(world().screensaver_running);
    // Also while the wrong-answer message stands: the wait is not skipped.
    type_answer("guess");
    sim::close(*f4);
    EXPECT_EQ(f4->handle(), handle);
    EXPECT_FALSE(p().form4().ctl("Command1").enabled());
    sim::advance(4000);
    world().box_answers = {kNo};
    type_answer("Rex");
    EXPECT_EQ(form("Form4"), nullptr);
}

TEST_F(Lock, UnloadedSomeOtherWayComesBackAfterFiftyMilliseconds) {
    start_locked();
    p().form4().Unload();
    EXPECT_EQ(form("Form4"), nullptr);
    EXPECT_FALSE(world().screensaver_running);
    ASSERT_NE(form("Form1"), nullptr);
    EXPECT_FALSE(form("Form1")->visible());
    sim::advance(49);
    EXPECT_EQ(form("Form4"), nullptr);
    sim::advance(1);
    EXPECT_TRUE(shown("Form4"));
    EXPECT_FALSE(p().form1().window().timer("timerz").enabled());
    EXPECT_TRUE(world().screensaver_running);
}

TEST_F(Lock, HugeAndUnstorableEntriesAreLoggedSafely) {
    start_locked();
    type_answer(std::string(10000, 'x'));
    sim::advance(4000);
    type_answer(std::string("\xFF\x01\xFF", 3));
    const std::string& file = world().files[log_file_path()];
    ASSERT_EQ(file.size(), 80u);
    p().form1().load_list3();
    auto list = p().form1().ctl("List2");
    ASSERT_EQ(list.list_count(), 2);
    EXPECT_EQ(line_answer(list.list_item(0)), "???");
    EXPECT_EQ(line_answer(list.list_item(1)), std::string(20, 'x'));
}

// The event log hears why the lock came up, each wrong answer with the count
// since the last unlock, the unlock with the count before it, and a wrong
// answer the attempt log could not take, with the file error; never what was
// typed.
TEST_F(Lock, ReportsToTheEventLogWithoutTheTypedText) {
    using T = platform::EventType;
    using E = sim::ReportedEvent;
    start_locked();
    type_answer("guess");
    sim::advance(4000);
    sim::fail(sim::Call::AppendFile, 112);  // the disk is full
    sim::fail(sim::Call::ReplaceFile, 112);
    type_answer("guess");
    sim::advance(4000);
    world().box_answers = {kNo};
    type_answer("Rex");
    sim::click(*form("Form1"), "Command9");
    p().form4().Unload();  // gone some other way: back 50 ms later
    sim::advance(50);
    type_answer("again");
    const std::vector<E> expected = {
        {T::Information, 1003, "start"},
        {T::Warning, 1001, "1"},
        {T::Warning, 1001, "2"},
        {T::Error, 1004, "112"},
        {T::Information, 1002, "2"},
        {T::Information, 1003, "key"},
        {T::Information, 1003, "comeback"},
        {T::Warning, 1001, "1"},
    };
    EXPECT_EQ(world().events, expected);
}

// An event log that takes nothing changes nothing else: the attempt is
// logged, no box shows, the lock holds until the answer.
TEST_F(Lock, AnEventLogThatFailsChangesNothingElse) {
    world().event_log_fails = true;
    start_locked();
    type_answer("guess");
    EXPECT_TRUE(shown("Form4"));
    EXPECT_EQ(world().files[log_file_path()].size(), 40u);
    EXPECT_TRUE(world().boxes.empty());
    sim::advance(4000);
    world().box_answers = {kNo};
    type_answer("Rex");
    EXPECT_EQ(form("Form4"), nullptr);
    EXPECT_EQ(world().boxes.size(), 1u);
    EXPECT_TRUE(world().events.empty());
}

}  // namespace
}  // namespace kv::test
