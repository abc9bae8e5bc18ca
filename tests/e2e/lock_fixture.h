// A fixture for the tests that start kvstrn.exe with a stored question and
// the lock-at-start mode, so that it comes up locked: finds the lock screen's
// and the main window's controls, answers, and unlocks.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "app/layouts.h"
#include "harness.h"
#include "platform/ui.h"
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

class Lock : public ::testing::Test {
protected:
    void SetUp() override {
        release_desktop();
        clean_program_registry();
        DeleteFileA(log_file().c_str());
        ASSERT_TRUE(file_exists(program_path())) << "no program at " << program_path();
        ASSERT_TRUE(kv::store::write_question_and_answer(kQuestion, kAnswer));
        kv::store::set_login_lock();
    }
    void TearDown() override {
        program_.kill();
        release_desktop();
        clean_program_registry();
        DeleteFileA(log_file().c_str());
    }

    static std::string log_file() { return program_dir() + "\\klingon2"; }

    // Starts the program and waits for its lock screen.
    void start_locked() {
        ASSERT_TRUE(program_.start());
        ASSERT_NO_FATAL_FAILURE(wait_lock(20s));
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

    Program program_;
    HWND lock_ = nullptr;
    HWND enter_ = nullptr;
    HWND answer_ = nullptr;
    HWND label_ = nullptr;
};

}  // namespace kv::e2e
