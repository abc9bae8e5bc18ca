// When the user walks away, on the real kvstrn.exe under Wine: the "&When
// Away" menu and its check marks, the lock after a time without input (from
// the shown main window and from a hidden start), the lock before sleep, and
// the covers over the screen.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>

#include "harness.h"
#include "lock_fixture.h"
#include "store/policy_names.h"

namespace {

using namespace kv::e2e;
using Clock = std::chrono::steady_clock;

constexpr const char* kMainClass = "KvForm1";
constexpr const char* kLockClass = "KvForm4";

std::string dword(DWORD v) { return std::string(reinterpret_cast<const char*>(&v), 4); }

long long ms_since(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// Input as a user's: the pointer one pixel there and back.
bool nudge() {
    INPUT in[2]{};
    for (int i = 0; i < 2; ++i) {
        in[i].type = INPUT_MOUSE;
        in[i].mi.dwFlags = MOUSEEVENTF_MOVE;
        in[i].mi.dx = i == 0 ? 1 : -1;
    }
    return SendInput(2, in, sizeof(INPUT)) == 2;
}

COLORREF screen_pixel(int x, int y) {
    HDC dc = GetDC(nullptr);
    const COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(nullptr, dc);
    return c;
}

bool shows_rgb(COLORREF got, int r, int g, int b) {
    constexpr int kTolerance = 12;  // a few bands of the gradient
    return std::abs(GetRValue(got) - r) <= kTolerance && std::abs(GetGValue(got) - g) <= kTolerance &&
           std::abs(GetBValue(got) - b) <= kTolerance;
}

class Away : public Lock {
protected:
    static void put_policy(const char* name, DWORD v) {
        ASSERT_TRUE(reg_write_raw(kPolicyKey, name, REG_DWORD, dword(v)));
    }

    // The hidden start: the main window minimised, waiting for Pause.
    HWND start_hidden() {
        EXPECT_TRUE(kv::store::set_login_hidden());
        EXPECT_TRUE(program_.start());
        HWND main = program_.wait_window(kMainClass, std::nullopt, 20s);
        EXPECT_TRUE(main && wait_for([&] { return IsIconic(main) != 0; }))
            << "the main window did not start minimised";
        return main;
    }

    HWND shown_lock() {
        HWND w = program_.find_window(kLockClass);
        return w && is_visible(w) ? w : nullptr;
    }

    // From the last input: the lock comes after the limit and within a
    // second and a half of it.
    void expect_idle_lock(int limit_secs) {
        ASSERT_TRUE(nudge());
        const auto input = Clock::now();
        ASSERT_TRUE(wait_for([&] { return shown_lock() != nullptr; }, 15s)) << "no idle lock";
        const auto ms = ms_since(input);
        RecordProperty("idle_lock_ms", static_cast<int>(ms));
        EXPECT_GE(ms, limit_secs * 1000 - 100);
        EXPECT_LE(ms, limit_secs * 1000 + 1500);
        ASSERT_NO_FATAL_FAILURE(wait_lock());
        EXPECT_TRUE(wait_for([&] { return lock_holds(); })) << lock_state();
    }

    // The "Kestrova.MenuState" answer for a main-window menu item.
    static LRESULT menu_state(HWND main, const char* item) {
        static const UINT message = RegisterWindowMessageA("Kestrova.MenuState");
        const int pos = kv::layout::menu_position(kv::layout::kForm1, item);
        DWORD_PTR state = static_cast<DWORD_PTR>(-1);
        if (pos < 0 || !SendMessageTimeoutA(main, message, static_cast<WPARAM>(pos), 0,
                                            SMTO_ABORTIFHUNG, 2000, &state))
            return -1;
        return static_cast<LRESULT>(state);
    }
    static bool checked(HWND main, const char* item) {
        const LRESULT s = menu_state(main, item);
        return s != -1 && (s & MF_CHECKED);
    }
    static bool greyed(HWND main, const char* item) {
        const LRESULT s = menu_state(main, item);
        return s != -1 && (s & MF_GRAYED);
    }
};

TEST_F(Away, MenusShowTheStoredChoicesAndThePolicies) {
    HWND main = start_unlocked();
    ASSERT_TRUE(main);
    // "&When Away" opens three items, "Lock When &Idle" six.
    const LRESULT away = menu_state(main, "mnuAway");
    ASSERT_NE(away, -1) << "no When Away menu";
    EXPECT_TRUE(away & MF_POPUP);
    EXPECT_EQ(HIBYTE(LOWORD(away)), 3);
    EXPECT_EQ(HIBYTE(LOWORD(menu_state(main, "mnuIdle"))), 6);
    EXPECT_TRUE(menu_state(main, "mnuAwaySep") & MF_SEPARATOR);

    EXPECT_TRUE(checked(main, "mnuIdleNever"));
    EXPECT_FALSE(checked(main, "mnuSleepLock"));
    EXPECT_FALSE(checked(main, "mnuCover"));
    const std::pair<const char*, const char*> choices[] = {
        {"mnuIdle5", "IdleLock"}, {"mnuSleepLock", "SleepLock"}, {"mnuCover", "Cover"}};
    for (const auto& [item, value] : choices) {
        SCOPED_TRACE(item);
        ASSERT_TRUE(main_menu(main, item));
        EXPECT_TRUE(wait_for([&] { return checked(main, item); }));
        const auto stored = reg_read(kVendorKey, value);
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored->type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(stored->bytes, std::string(item == std::string("mnuIdle5") ? "5" : "1") + '\0');
    }
    EXPECT_FALSE(checked(main, "mnuIdleNever"));
    EXPECT_FALSE(find_message_box(program_.pid())) << "a choice showed a box";

    // A policy set meanwhile shows as the menu opens, greyed.
    put_policy(kv::store::kInactivityTimeoutPolicy, 600);
    put_policy(kv::store::kCoverScreenPolicy, 0);
    ASSERT_TRUE(wait_for([&] { return GetForegroundWindow() == main; }));
    ASSERT_TRUE(press_keys("alt+o"));
    EXPECT_TRUE(wait_for([&] { return greyed(main, "mnuIdle10"); }, 5s));
    EXPECT_TRUE(checked(main, "mnuIdle10"));
    EXPECT_FALSE(checked(main, "mnuIdle5"));
    EXPECT_TRUE(greyed(main, "mnuCover"));
    EXPECT_FALSE(checked(main, "mnuCover"));
    EXPECT_FALSE(greyed(main, "mnuSleepLock"));
    ASSERT_TRUE(press_keys("Escape Escape"));
}

TEST_F(Away, IdleLockFromTheShownMainWindowAndInputKeepsItAway) {
    put_policy(kv::store::kInactivityTimeoutPolicy, 3);
    HWND main = start_unlocked();
    ASSERT_TRUE(main);
    // Input every second: no lock for ten seconds.
    const auto from = Clock::now();
    while (ms_since(from) < 10000) {
        ASSERT_TRUE(nudge());
        if (wait_for([&] { return shown_lock() != nullptr; }, 1s)) break;
    }
    ASSERT_EQ(shown_lock(), nullptr) << "locked while input came every second";
    ASSERT_NO_FATAL_FAILURE(expect_idle_lock(3));
    // The answer gives the main window back as it was.
    answer(kAnswer);
    EXPECT_TRUE(wait_for([&] { return shown_lock() == nullptr; }));
    EXPECT_TRUE(wait_for([&] { return is_visible(main) && !IsIconic(main); }));
}

TEST_F(Away, IdleLockFromAHiddenStart) {
    put_policy(kv::store::kInactivityTimeoutPolicy, 3);
    HWND main = start_hidden();
    ASSERT_TRUE(main);
    ASSERT_NO_FATAL_FAILURE(expect_idle_lock(3));
    answer(kAnswer);
    EXPECT_TRUE(wait_for([&] { return shown_lock() == nullptr; }));
    EXPECT_TRUE(holds_for([&] { return IsIconic(main) != 0; }, 1s))
        << "the main window did not stay minimised";
}

TEST_F(Away, APostedSuspendGivesAHoldingLock) {
    ASSERT_TRUE(reg_write_sz(kVendorKey, "SleepLock", "1"));
    HWND main = start_unlocked();
    ASSERT_TRUE(main);
    // As the system's broadcast: every top-level window of the program.
    for (HWND w : top_windows(program_.pid()))
        ASSERT_TRUE(PostMessageA(w, WM_POWERBROADCAST, PBT_APMSUSPEND, 0));
    ASSERT_NO_FATAL_FAILURE(wait_lock());
    EXPECT_TRUE(wait_for([&] { return lock_holds(); })) << lock_state();
    int locks = 0;
    for (HWND w : top_windows(program_.pid())) locks += class_name(w) == kLockClass;
    EXPECT_EQ(locks, 1);
}

TEST_F(Away, ASuspendSentToAHiddenStartHasTheLockUpWhenItReturns) {
    ASSERT_NO_FATAL_FAILURE(put_policy(kv::store::kLockBeforeSleepPolicy, 1));
    HWND main = start_hidden();
    ASSERT_TRUE(main);
    for (HWND w : top_windows(program_.pid())) {
        DWORD_PTR r = 0;
        SendMessageTimeoutA(w, WM_POWERBROADCAST, PBT_APMSUSPEND, 0, SMTO_ABORTIFHUNG, 5000, &r);
    }
    HWND lock = shown_lock();
    ASSERT_TRUE(lock) << "no lock on the screen when the message returned";
    EXPECT_TRUE(is_topmost(lock));
    ASSERT_NO_FATAL_FAILURE(wait_lock());
    EXPECT_TRUE(wait_for([&] { return lock_holds(); })) << lock_state();
}

// An idle lock over each kind of box, answered with real keys: typing, Tab
// and Enter reach the lock, and each box is in front of its owner and takes
// keys again afterwards; over the security alert the lock comes fresh, and
// the alert still asks.
TEST_F(Away, AnIdleLockOverEachBoxTakesTheAnswerFromTheKeyboard) {
    put_policy(kv::store::kInactivityTimeoutPolicy, 3);
    HWND main = start_unlocked();
    ASSERT_TRUE(main);
    const auto focus = [](HWND w) {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        return GetGUIThreadInfo(GetWindowThreadProcessId(w, nullptr), &info) ? info.hwndFocus
                                                                             : nullptr;
    };
    std::optional<MessageBoxInfo> box;
    const auto unlock_by_keys = [&](const char* over) {
        SCOPED_TRACE(over);
        const bool again = shown_lock() != nullptr;
        if (again) {
            // The answered lock under its alert: it holds again.
            ASSERT_FALSE(lock_holds());
            ASSERT_TRUE(nudge());
            ASSERT_TRUE(wait_for([&] { return lock_holds(); }, 15s)) << "no fresh lock";
            EXPECT_FALSE(is_visible(box->hwnd)) << "the alert shows over the lock";
        } else {
            ASSERT_NO_FATAL_FAILURE(expect_idle_lock(3));
        }
        ASSERT_TRUE(wait_for([&] { return focus(lock_) == answer_; }))
            << "the answer box has no keyboard";
        ASSERT_TRUE(press_keys("b l u e Tab"));
        EXPECT_TRUE(wait_for([&] { return focus(lock_) == enter_; })) << "Tab did not reach it";
        ASSERT_TRUE(press_keys("Return"));
        ASSERT_TRUE(wait_for([&] { return again ? !lock_holds() : shown_lock() == nullptr; }))
            << "Enter did not unlock";
    };
    // In front of its owner, with the keyboard.
    const auto usable = [&](HWND box) {
        const auto z = top_windows(program_.pid());
        const auto at = [&](HWND w) { return std::find(z.begin(), z.end(), w) - z.begin(); };
        return GetForegroundWindow() == box && IsWindowEnabled(box) && at(box) < at(main);
    };

    ASSERT_TRUE(main_menu(main, "answer"));
    HWND input = wait_input_box(program_.pid(), "Change Your Answer");
    ASSERT_TRUE(input);
    ASSERT_NO_FATAL_FAILURE(unlock_by_keys("Change Your Answer"));
    EXPECT_TRUE(wait_for([&] { return usable(input); }, 3s));
    ASSERT_TRUE(press_keys("Escape"));  // an empty answer: "Answer Error"
    box = wait_message_box(program_.pid());
    ASSERT_TRUE(box && box->caption == "Answer Error");
    ASSERT_NO_FATAL_FAILURE(unlock_by_keys("Answer Error"));
    EXPECT_TRUE(wait_for([&] { return usable(box->hwnd); }, 3s));
    ASSERT_TRUE(press_keys("Return"));
    EXPECT_TRUE(wait_for([&] { return !IsWindow(box->hwnd); }, 3s)) << "its OK took no Enter";

    // An open menu of the main window.
    ASSERT_TRUE(wait_for([&] { return GetForegroundWindow() == main; }));
    ASSERT_TRUE(press_keys("alt+o"));
    ASSERT_NO_FATAL_FAILURE(unlock_by_keys("menu"));
    EXPECT_TRUE(wait_for([&] { return GetForegroundWindow() == main; }, 3s));

    ASSERT_TRUE(main_menu(main, "abtDulcimet"));
    HWND about = program_.wait_window("KvAboutBox");
    ASSERT_TRUE(about);
    ASSERT_NO_FATAL_FAILURE(unlock_by_keys("About"));
    EXPECT_TRUE(wait_for([&] { return usable(about); }, 3s));
    ASSERT_TRUE(press_keys("Return"));
    EXPECT_TRUE(wait_for([&] { return !is_visible(about); }, 3s)) << "its OK took no Enter";

    // A wrong answer on a lock of its own, then the right one: the alert.
    ASSERT_TRUE(main_menu(main, "mnuLock"));
    ASSERT_NO_FATAL_FAILURE(wait_lock());
    ASSERT_NO_FATAL_FAILURE(answer_wrong("grey"));
    ASSERT_NO_FATAL_FAILURE(answer(kAnswer));
    box = wait_message_box(program_.pid());
    ASSERT_TRUE(box && box->caption == "Security Alert!");
    ASSERT_NO_FATAL_FAILURE(unlock_by_keys("Security Alert!"));
    EXPECT_TRUE(wait_for([&] { return GetForegroundWindow() == box->hwnd; }, 3s));
    ASSERT_TRUE(press_keys("Return"));  // Yes: the log
    EXPECT_TRUE(wait_for([&] { return is_visible(main_part(main, "List2")); }))
        << "the alert's Yes did not open the log";
}

// Wine's display modes, as a user would change them while locked: the lock
// centred again with the pointer on "&Enter", the covers over the new
// screen; on a screen smaller than the lock "&Enter" is on it and holds the
// pointer, never the whole screen.
TEST_F(Away, ADisplayChangeWhileLockedCentresTheLock) {
    ASSERT_TRUE(reg_write_sz(kVendorKey, "Cover", "1"));
    ASSERT_NO_FATAL_FAILURE(start_locked());
    ASSERT_TRUE(wait_for([&] { return lock_holds(); })) << lock_state();
    struct Restore {
        ~Restore() { ChangeDisplaySettingsA(nullptr, 0); }
    } restore;
    const auto inside = [](const RECT& in, const RECT& out) {
        return in.left >= out.left && in.top >= out.top && in.right <= out.right &&
               in.bottom <= out.bottom;
    };
    const auto covered = [&] {
        for (HWND w : top_windows(program_.pid()))
            if (class_name(w) == "KvCover" && is_visible(w) &&
                same_rect(window_rect(w), screen_rect()))
                return true;
        return false;
    };
    for (const SIZE mode : {SIZE{800, 600}, SIZE{640, 480}, SIZE{320, 240}}) {
        SCOPED_TRACE(mode.cx);
        DEVMODEA dm{};
        dm.dmSize = sizeof dm;
        dm.dmPelsWidth = static_cast<DWORD>(mode.cx);
        dm.dmPelsHeight = static_cast<DWORD>(mode.cy);
        dm.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
        ASSERT_EQ(ChangeDisplaySettingsA(&dm, CDS_FULLSCREEN), DISP_CHANGE_SUCCESSFUL);
        ASSERT_EQ(screen_rect().right, mode.cx);
        const bool fits = window_rect(lock_).right - window_rect(lock_).left <= mode.cx;
        const auto held_on_enter = [&] {
            POINT p{};
            GetCursorPos(&p);
            const RECT enter = window_rect(enter_);
            return inside(enter, screen_rect()) && same_rect(clip_rect(), enter) &&
                   PtInRect(&enter, p);
        };
        EXPECT_TRUE(wait_for([&] { return (!fits || lock_holds()) && held_on_enter(); }, 3s))
            << lock_state();
        EXPECT_TRUE(wait_for(covered, 3s)) << "no cover over the new screen";
    }
}

// The power setting broadcast carries a pointer that cannot be sent from
// here: with KV_TEST_POWER=1 the program sends it to itself on a message of
// ours, through the same handler.
TEST_F(Away, TheConsoleDisplayTurningOffHasTheLockUpWhenItReturns) {
    ASSERT_NO_FATAL_FAILURE(put_policy(kv::store::kLockBeforeSleepPolicy, 1));
    SetEnvironmentVariableA("KV_TEST_POWER", "1");
    HWND main = start_hidden();
    SetEnvironmentVariableA("KV_TEST_POWER", nullptr);
    ASSERT_TRUE(main);
    const UINT display_off = RegisterWindowMessageA("Kestrova.TestDisplayOff");
    for (HWND w : top_windows(program_.pid())) {
        DWORD_PTR r = 0;
        SendMessageTimeoutA(w, display_off, 0, 0, SMTO_ABORTIFHUNG, 5000, &r);
    }
    HWND lock = shown_lock();
    ASSERT_TRUE(lock) << "no lock on the screen when the message returned";
    EXPECT_TRUE(is_topmost(lock));
    ASSERT_NO_FATAL_FAILURE(wait_lock());
    EXPECT_TRUE(wait_for([&] { return lock_holds(); })) << lock_state();
}

// While the lock holds nothing reads the policy on a clock: the registry
// tells of its change (a key made now, then a value set), and the covers
// come and go with it.
TEST_F(Away, ACoverPolicySetWhileLockedCoversAndUncovers) {
    ASSERT_NO_FATAL_FAILURE(start_locked());
    ASSERT_TRUE(wait_for([&] { return lock_holds(); })) << lock_state();
    const auto covers_up = [&] {
        for (HWND w : top_windows(program_.pid()))
            if (class_name(w) == "KvCover" && is_visible(w)) return true;
        return false;
    };
    EXPECT_FALSE(covers_up());
    ASSERT_NO_FATAL_FAILURE(put_policy(kv::store::kCoverScreenPolicy, 1));
    EXPECT_TRUE(wait_for(covers_up, 3s)) << "no cover after the policy was set";
    ASSERT_NO_FATAL_FAILURE(put_policy(kv::store::kCoverScreenPolicy, 0));
    EXPECT_TRUE(wait_for([&] { return !covers_up(); }, 3s)) << "the covers stayed";
    EXPECT_TRUE(wait_for([&] { return lock_holds(); })) << lock_state();
}

TEST_F(Away, CoversShowTheGradientInEveryCornerWhileLocked) {
    ASSERT_TRUE(reg_write_sz(kVendorKey, "Cover", "1"));
    ASSERT_TRUE(reg_write_sz(kVendorKey, "Color", "yellow"));
    ASSERT_NO_FATAL_FAILURE(start_locked());
    ASSERT_TRUE(wait_for([&] { return lock_holds(); })) << lock_state();
    const RECT s = screen_rect();
    const POINT top[] = {{s.left + 1, s.top + 1}, {s.right - 2, s.top + 1}};
    const POINT bottom[] = {{s.left + 1, s.bottom - 2}, {s.right - 2, s.bottom - 2}};
    // Yellow fades to red from the top down.
    const auto covered = [&] {
        for (const POINT& p : top)
            if (!shows_rgb(screen_pixel(p.x, p.y), 255, 255, 0)) return false;
        for (const POINT& p : bottom)
            if (!shows_rgb(screen_pixel(p.x, p.y), 255, 0, 0)) return false;
        return true;
    };
    EXPECT_TRUE(wait_for(covered)) << "top left " << GetGValue(screen_pixel(1, 1));
    EXPECT_TRUE(save_screenshot(GetDesktopWindow(), "covered"));
    answer(kAnswer);
    ASSERT_TRUE(program_.wait_window(kMainClass, kMainCaption));
    // The desktop again: none of the corners shows the gradient.
    EXPECT_TRUE(wait_for([&] {
        for (const POINT& p : top)
            if (shows_rgb(screen_pixel(p.x, p.y), 255, 255, 0)) return false;
        for (const POINT& p : bottom)
            if (shows_rgb(screen_pixel(p.x, p.y), 255, 0, 0)) return false;
        return true;
    }));
}

}  // namespace
