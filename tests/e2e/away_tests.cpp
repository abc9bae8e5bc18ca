// When the user walks away, on the real kvstrn.exe under Wine: the "&When
// Away" menu and its check marks, the lock after a time without input (from
// the shown main window and from a hidden start), the lock before sleep, and
// the covers over the screen.
#include <gtest/gtest.h>

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
