// The quick keys of the real kvstrn.exe under Wine, pressed as real keys on
// the X display (see press_keys in the harness): F9 minimises and locks;
// Pause, also from another application, brings the main window back through
// the lock screen (or only restores it when it was just minimised); F12
// locks now; neither F9 nor F12 acts while the lock screen has the keyboard.
#include <gtest/gtest.h>

#include "lock_fixture.h"

namespace {

using namespace kv::e2e;

class QuickKeys : public Lock {
protected:
    // Unlocks without any attempt (typing the answer unless `typed`) and
    // waits until the main window has the keyboard, where the menu shortcuts
    // act.
    HWND unlock_to_main(bool typed = false) {
        if (!typed) answer(kAnswer);
        HWND main = program_.wait_window("KvForm1", kMainCaption);
        EXPECT_TRUE(main) << "the main window did not come back";
        if (!main) return nullptr;
        EXPECT_TRUE(wait_for([&] { return !IsWindow(lock_) || !is_visible(lock_); }));
        EXPECT_TRUE(wait_for([&] { return GetForegroundWindow() == main; }))
            << "the main window is not the active window";
        return main;
    }
};

TEST_F(QuickKeys, F9MinimisesAndPauseBringsTheLockScreenBack) {
    start_locked();
    HWND main = unlock_to_main();
    ASSERT_TRUE(main);

    ASSERT_TRUE(press_keys("F9"));
    ASSERT_TRUE(wait_for([&] { return IsIconic(main); })) << "F9 did not minimise the main window";
    EXPECT_EQ(program_.find_window("KvForm4"), nullptr) << "F9 locked at once";

    // Pause works from another application: a window of the test program
    // has the keyboard when it is pressed.
    OtherApplication other;
    ASSERT_TRUE(other.activate()) << "could not activate a window of another program";
    ASSERT_TRUE(press_keys("Pause"));
    EXPECT_TRUE(wait_for(
        [&] {
            OtherApplication::pump();
            return program_.find_window("KvForm4") != nullptr;
        },
        5s))
        << "Pause in another application brought no lock screen";
    ASSERT_NO_FATAL_FAILURE(wait_lock(1s));
    EXPECT_FALSE(IsIconic(main)) << "Pause did not restore the main window";
    EXPECT_TRUE(wait_for([&] { return is_topmost(lock_); }));

    // The lock holds: the right answer leads back to the main window.
    main = unlock_to_main();
    ASSERT_TRUE(main);
    EXPECT_FALSE(IsIconic(main));

    // Minimised with the window's own command, Pause only restores it.
    PostMessageA(main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(wait_for([&] { return IsIconic(main); }));
    ASSERT_TRUE(press_keys("Pause"));
    EXPECT_TRUE(wait_for([&] { return !IsIconic(main) && is_visible(main); }))
        << "Pause did not restore the main window";
    EXPECT_TRUE(holds_for([&] { return !program_.find_window("KvForm4"); }, 500ms))
        << "Pause locked a window that was only minimised";

    // F9, then Pause and Esc at once: Esc comes before the paint that raises
    // the lock, and the main window takes it for nothing.
    ASSERT_TRUE(wait_for([&] { return GetForegroundWindow() == main; }));
    ASSERT_TRUE(press_keys("F9"));
    ASSERT_TRUE(wait_for([&] { return IsIconic(main); }));
    ASSERT_TRUE(xdotool("key --delay 0 Pause Escape"));
    EXPECT_TRUE(wait_for([&] { return !program_.running() || program_.find_window("KvForm4"); }))
        << "no lock after Pause";
    ASSERT_TRUE(program_.running()) << "Esc after Pause ended the program";
    ASSERT_NO_FATAL_FAILURE(wait_lock(1s));
    EXPECT_TRUE(wait_for([&] { return lock_holds(); }, 1s)) << lock_state();
}

TEST_F(QuickKeys, PauseThenEscFindTheLockScreenNotQuit) {
    // The lock from "&Kestrova" over the visible main window.
    start_locked();
    HWND main = unlock_to_main();
    ASSERT_TRUE(main);
    ASSERT_TRUE(click(main, GetDlgCtrlID(main_part(main, "Command9"))));
    ASSERT_NO_FATAL_FAILURE(wait_lock(5s));
    ASSERT_TRUE(wait_for([&] { return GetForegroundWindow() == lock_; }));
    // Keys are taken in order: the letter after them shows they were handled.
    ASSERT_TRUE(press_keys("Pause Escape x"));
    EXPECT_TRUE(wait_for([&] { return !program_.running() || window_text(answer_) == "x"; }));
    ASSERT_TRUE(program_.running()) << "Pause and Esc ended the program";
    EXPECT_EQ(window_text(answer_), "x");
    EXPECT_TRUE(wait_for([&] { return lock_holds(); }, 1s)) << lock_state();
    EXPECT_TRUE(is_visible(main) && !IsIconic(main));

    // After a locked start and one wrong answer, with the main window loaded
    // but hidden.
    program_.kill();
    release_desktop();
    start_locked();
    ASSERT_NO_FATAL_FAILURE(answer_wrong("guess"));
    ASSERT_TRUE(wait_for([&] { return GetForegroundWindow() == lock_; }));
    ASSERT_TRUE(press_keys("Pause Escape x"));
    EXPECT_TRUE(wait_for([&] { return !program_.running() || window_text(answer_) == "x"; }));
    ASSERT_TRUE(program_.running()) << "Pause and Esc ended the program";
    EXPECT_TRUE(wait_for([&] { return lock_holds(); }, 1s)) << lock_state();
    EXPECT_EQ(program_.find_window("KvForm1"), nullptr) << "Pause showed the main window";
}

TEST_F(QuickKeys, F12LocksAtOnceButNotFromTheLockScreen) {
    start_locked();
    // The main window's keys do nothing while the lock screen has the
    // keyboard: after the answer the main window stays usable.
    ASSERT_TRUE(wait_for([&] { return GetForegroundWindow() == lock_; }))
        << "the lock screen is not the active window";
    // The answer typed after them shows when the keys have been handled:
    // keys are taken in order. Enter then presses the default button.
    ASSERT_TRUE(press_keys("F9 F12 b l u e"));
    ASSERT_TRUE(wait_for([&] { return window_text(answer_) == kAnswer; }))
        << "the keys did not reach the answer box: \"" << window_text(answer_) << '"';
    ASSERT_TRUE(press_keys("Return"));
    HWND main = unlock_to_main(true);
    ASSERT_TRUE(main);
    EXPECT_TRUE(holds_for([&] { return !IsIconic(main) && !program_.find_window("KvForm4"); }, 1s))
        << "a key pressed on the lock screen acted on the main window";

    ASSERT_TRUE(press_keys("F12"));
    ASSERT_NO_FATAL_FAILURE(wait_lock(5s));
    EXPECT_TRUE(is_visible(main)) << "F12 hid the main window";
    EXPECT_FALSE(IsIconic(main));
    RECT clip{};
    EXPECT_TRUE(wait_for([&] { return same_rect(clip = clip_rect(), window_rect(enter_)); }))
        << "pointer confined to " << rect_text(clip);

    // A Windows key held across F12: the lock's hook lets its release
    // through, and no key stays down.
    main = unlock_to_main();
    ASSERT_TRUE(main);
    ASSERT_TRUE(xdotool("keydown Super_L key F12 sleep 0.5 keyup Super_L"));
    ASSERT_NO_FATAL_FAILURE(wait_lock(5s));
    EXPECT_TRUE(wait_for([] { return (GetAsyncKeyState(VK_LWIN) & 0x8000) == 0; }, 5s))
        << "the Windows key stayed down";
}

}  // namespace
