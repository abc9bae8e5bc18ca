// A fixture for the tests that start kvstrn.exe with a stored question and
// the lock-at-start mode, so that it comes up locked: finds the lock screen's
// and the main window's controls, answers, and unlocks.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "ui/layouts.h"
#include "harness.h"
#include "platform/ui.h"
#include "program_test.h"
#include "store/secrets.h"
#include "store/settings.h"

namespace kv::e2e {

inline constexpr const char* kQuestion = "What is the colour of the sky?";
inline constexpr const char* kAnswer = "blue";
inline constexpr const char* kMainCaption = "Kestrova 2.0";
inline constexpr const char* kWrongMessage =
    "Wrong Answer! Your incorrect entry will not unlock this system.";
inline constexpr const char* kAlertText =
    "There was an attempt to access your system. Do you want to view the access log?";

inline bool same_rect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

inline std::string rect_text(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " - " + std::to_string(r.right) +
           "," + std::to_string(r.bottom);
}

inline RECT clip_rect() {
    RECT r{};
    GetClipCursor(&r);
    return r;
}

// A push button lit as the pointer's target (BST_HOT in BM_GETSTATE).
inline bool lit(HWND button) {
    constexpr DWORD_PTR kHot = 0x0200;
    DWORD_PTR state = 0;
    return SendMessageTimeoutA(button, BM_GETSTATE, 0, 0, SMTO_ABORTIFHUNG, 2000, &state) &&
           (state & kHot);
}

// The main window's control `name` (element `index` of a control array).
inline HWND main_part(HWND main, const char* name, int index = -1) {
    const int pos = kv::layout::control_position(kv::layout::kForm1, name, index);
    EXPECT_GE(pos, 0) << name << " is not in the main window's layout";
    return pos < 0 ? nullptr : control(main, pos);
}

// Chooses the main window's menu item `name` by its command id.
inline bool main_menu(HWND main, const char* name) {
    const int pos = kv::layout::menu_position(kv::layout::kForm1, name);
    EXPECT_GE(pos, 0) << name << " is not in the main window's menus";
    return pos >= 0 &&
           PostMessageA(main, WM_COMMAND, MAKEWPARAM(kv::platform::kFirstMenuId + pos, 0), 0);
}

// A window of the test program with an edit box, standing for any other
// application.
class OtherApplication {
public:
    OtherApplication()
        : hwnd_(CreateWindowExA(0, "STATIC", "Another application", WS_OVERLAPPEDWINDOW, 10, 10,
                                300, 100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr)),
          edit_(CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_BORDER, 5, 5, 200, 24,
                                hwnd_, nullptr, GetModuleHandleA(nullptr), nullptr)) {}
    ~OtherApplication() {
        if (hwnd_) DestroyWindow(hwnd_);
    }
    OtherApplication(const OtherApplication&) = delete;
    OtherApplication& operator=(const OtherApplication&) = delete;

    HWND hwnd() const { return hwnd_; }
    std::string text() const { return window_text(edit_); }

    // Shows the window and takes the foreground once, with its edit box
    // taking the keys.
    bool take_foreground() {
        if (!hwnd_ || !edit_) return false;
        ShowWindow(hwnd_, SW_SHOWNORMAL);
        const bool ok = SetForegroundWindow(hwnd_) != 0;
        SetFocus(edit_);
        pump();
        return ok;
    }

    // Takes the foreground until it has it.
    bool activate() {
        if (!hwnd_) return false;
        ShowWindow(hwnd_, SW_SHOWNORMAL);
        return wait_for([&] {
            SetForegroundWindow(hwnd_);
            pump();
            return GetForegroundWindow() == hwnd_;
        });
    }

    // Takes its input, as a running application does. Under Wine a
    // registered hot key takes effect only once the thread that has the
    // keyboard reads its input, so tests read while they wait for Pause.
    static void pump() {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
    }

private:
    HWND hwnd_;
    HWND edit_;
};

// A low-level keyboard hook of the test program, standing for any other
// program that watches the keyboard. It runs on a thread of its own, which
// reads its messages as a hook's thread must. Hooks installed later are
// called first, and one that swallows a key hides it from this one.
class KeyWatcher {
public:
    // `stay_first`: put in again every 20 ms, so that it is called before
    // the lock's hook, which is put in again every 250 ms, nearly always.
    explicit KeyWatcher(bool stay_first = false) : stay_first_(stay_first) {
        thread_ = std::thread([this] { run(); });
        wait_for([&] { return ready_.load(); }, 5s);
    }
    ~KeyWatcher() {
        PostThreadMessageA(thread_id_.load(), WM_QUIT, 0, 0);
        thread_.join();
    }
    KeyWatcher(const KeyWatcher&) = delete;
    KeyWatcher& operator=(const KeyWatcher&) = delete;

    bool installed() const { return hook_ != nullptr; }
    // Whether a key went down (or up) since the last clear(), and how often
    // it went down (key repeats included).
    bool saw_down(DWORD vk) { return downs(vk) != 0; }
    bool saw_up(DWORD vk) { return seen(up_, vk); }
    int downs(DWORD vk) {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto n = down_.find(vk);
        return n == down_.end() ? 0 : n->second;
    }
    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        down_.clear();
        up_.clear();
    }

private:
    static inline KeyWatcher* self_ = nullptr;

    static LRESULT CALLBACK proc(int code, WPARAM wp, LPARAM lp) noexcept {
        if (code == HC_ACTION && self_) {
            const auto* k = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lp);
            const bool up = wp == WM_KEYUP || wp == WM_SYSKEYUP;
            std::lock_guard<std::mutex> lock(self_->mutex_);
            if (up)
                self_->up_.insert(k->vkCode);
            else
                ++self_->down_[k->vkCode];
        }
        return CallNextHookEx(nullptr, code, wp, lp);
    }

    void run() {
        thread_id_ = GetCurrentThreadId();
        self_ = this;
        hook_ = SetWindowsHookExA(WH_KEYBOARD_LL, &proc, GetModuleHandleA(nullptr), 0);
        MSG m;
        PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue, for WM_QUIT
        if (stay_first_) SetTimer(nullptr, 0, 20, nullptr);
        ready_ = true;
        while (GetMessageA(&m, nullptr, 0, 0) > 0) {
            if (m.message == WM_TIMER && !m.hwnd) {
                const HHOOK fresh =
                    SetWindowsHookExA(WH_KEYBOARD_LL, &proc, GetModuleHandleA(nullptr), 0);
                if (fresh) {
                    UnhookWindowsHookEx(hook_);
                    hook_ = fresh;
                }
            }
            DispatchMessageA(&m);
        }
        if (hook_) UnhookWindowsHookEx(hook_);
        self_ = nullptr;
    }

    bool seen(const std::set<DWORD>& keys, DWORD vk) {
        std::lock_guard<std::mutex> lock(mutex_);
        return keys.count(vk) != 0;
    }

    bool stay_first_ = false;
    std::thread thread_;
    std::atomic<DWORD> thread_id_{0};
    std::atomic<bool> ready_{false};
    HHOOK hook_ = nullptr;
    std::mutex mutex_;
    std::map<DWORD, int> down_;
    std::set<DWORD> up_;
};

class Lock : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(kv::store::write_question_and_answer(kQuestion, kAnswer));
        ASSERT_TRUE(kv::store::set_login_lock());
    }

    // Starts the program and waits for its lock screen.
    void start_locked() {
        ASSERT_TRUE(program_.start());
        ASSERT_NO_FATAL_FAILURE(wait_lock(20s));
    }

    // Starts the program, answers its lock screen and returns the main window.
    HWND start_unlocked() {
        start_locked();
        if (HasFatalFailure()) return nullptr;
        answer(kAnswer);
        if (HasFatalFailure()) return nullptr;
        HWND main = program_.wait_window("KvForm1", kMainCaption);
        if (!main) ADD_FAILURE() << "the main window did not come up unlocked";
        return main;
    }

    // Waits for a lock screen of the running program and finds its controls.
    void wait_lock(Millis timeout = 10s) {
        lock_ = program_.wait_window("KvForm4", std::nullopt, timeout);
        ASSERT_TRUE(lock_) << "the lock screen did not come up";
        enter_ = part("Command1");
        answer_ = part("Textnew");
        label_ = part("Labelnew");
        ASSERT_TRUE(enter_ && answer_ && label_) << "lock screen controls missing";
    }

    HWND part(const char* name) {
        const int pos = kv::layout::control_position(kv::layout::kForm4, name, -1);
        EXPECT_GE(pos, 0) << name << " is not in the lock screen's layout";
        return pos < 0 ? nullptr : control(lock_, pos);
    }

    bool takes_answer() { return IsWindowEnabled(enter_) && is_visible(answer_); }

    // Types `text` into the answer box (WM_SETTEXT) and presses "&Enter".
    void answer(const std::string& text) {
        ASSERT_TRUE(wait_for([&] { return takes_answer(); }))
            << "the lock screen does not take an answer";
        ASSERT_TRUE(set_window_text(answer_, text));
        ASSERT_TRUE(click(lock_, GetDlgCtrlID(enter_)));
    }

    bool shows_wrong_answer() { return window_text(label_) == kWrongMessage; }

    // The lock lies above `other` in the order of the windows.
    bool lock_above(HWND other) {
        for (HWND w = GetWindow(lock_, GW_HWNDPREV); w; w = GetWindow(w, GW_HWNDPREV))
            if (w == other) return false;
        return true;
    }

    // The lock as it must stay: shown in the normal state, centred at its
    // size, topmost, and holding the pointer on "&Enter".
    bool lock_holds() {
        if (!is_visible(lock_) || IsIconic(lock_) || IsZoomed(lock_) || !is_topmost(lock_))
            return false;
        const RECT r = window_rect(lock_), s = screen_rect();
        if (r.right - r.left != twips_to_px(7215) || r.bottom - r.top != twips_to_px(4905))
            return false;
        if (std::abs((r.left - s.left) - (s.right - r.right)) > 2 ||
            std::abs((r.top - s.top) - (s.bottom - r.bottom)) > 2)
            return false;
        return same_rect(clip_rect(), window_rect(enter_));
    }
    // Samples every 5 ms, until `done` holds or `timeout` passes, whether the
    // lock window `w` still holds; returns the share of samples (in %) in
    // which it did not.
    double share_not_holding(HWND w, const std::function<bool()>& done, Millis timeout = 20s) {
        int samples = 0, gaps = 0;
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (!done() && std::chrono::steady_clock::now() < end) {
            ++samples;
            if (!IsWindow(w) || program_.find_window("KvForm4") != w || !lock_holds()) ++gaps;
            Sleep(5);
        }
        return samples ? 100.0 * gaps / samples : 100.0;
    }
    std::string lock_state() {
        return std::string(IsIconic(lock_) ? "minimised " : "") +
               (is_topmost(lock_) ? "topmost " : "not topmost ") + "at " +
               rect_text(window_rect(lock_)) + ", pointer confined to " + rect_text(clip_rect());
    }

    // A wrong answer: waits until it is shown, then until the lock screen
    // takes the next answer again.
    void answer_wrong(const std::string& text) {
        ASSERT_NO_FATAL_FAILURE(answer(text));
        ASSERT_TRUE(wait_for([&] { return shows_wrong_answer(); })) << window_text(label_);
        ASSERT_TRUE(wait_for([&] { return takes_answer(); }, 10s))
            << "the lock screen did not take answers again";
    }

    // The right answer after wrong ones: checks that the pointer is free
    // while the security alert asks, answers `button`, checks that the alert
    // is cleared and waits for the main window.
    HWND unlock_after_attempts(int button) {
        answer(kAnswer);
        const auto box = wait_message_box(program_.pid());
        EXPECT_TRUE(box) << "no security alert";
        if (!box) return nullptr;
        EXPECT_EQ(box->caption, "Security Alert!");
        EXPECT_TRUE(same_rect(clip_rect(), window_rect(GetDesktopWindow())))
            << "pointer confined to " << rect_text(clip_rect()) << " during the alert";
        EXPECT_TRUE(click(box->hwnd, button));
        EXPECT_TRUE(wait_for([] { return !reg_read(kVendorKey, "Status"); }))
            << "the alert was not cleared";
        HWND main = program_.wait_window("KvForm1", kMainCaption);
        EXPECT_TRUE(main) << "the main window did not come back";
        return main;
    }

    HWND lock_ = nullptr;
    HWND enter_ = nullptr;
    HWND answer_ = nullptr;
    HWND label_ = nullptr;
};

}  // namespace kv::e2e
