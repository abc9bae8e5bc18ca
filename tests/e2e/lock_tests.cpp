// The lock screen of the real kvstrn.exe under Wine: question, pointer and
// Z order guard, wrong and right answers, the stored alert and the attempt log
// file. (The About window is tested with the other Help items in
// options_tests.cpp.)
#include <gtest/gtest.h>

#include <string>

#include "app/layouts.h"
#include "harness.h"
#include "platform/ui.h"
#include "store/scrambler.h"
#include "store/secrets.h"
#include "store/settings.h"
#include "store/text.h"

namespace {

using namespace kv::e2e;

constexpr const char* kQuestion = "What is the colour of the sky?";
constexpr const char* kAnswer = "blue";
constexpr const char* kWrongMessage =
    "Wrong Answer! Your incorrect entry will not unlock this system.";
constexpr const char* kAlertText =
    "There was an attempt to access your system. Do you want to view the access log?";

bool same_rect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string rect_text(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " - " + std::to_string(r.right) +
           "," + std::to_string(r.bottom);
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
        lock_ = program_.wait_window("KvForm4", std::nullopt, 20s);
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

    void answer(const std::string& text) {
        ASSERT_TRUE(wait_for([&] { return IsWindowEnabled(enter_) && is_visible(answer_); }))
            << "the lock screen does not take an answer";
        ASSERT_TRUE(set_window_text(answer_, text));
        ASSERT_TRUE(click(lock_, GetDlgCtrlID(enter_)));
    }

    bool shows_wrong_answer() { return window_text(label_) == kWrongMessage; }

    Program program_;
    HWND lock_ = nullptr;
    HWND enter_ = nullptr;
    HWND answer_ = nullptr;
    HWND label_ = nullptr;
};

TEST_F(Lock, ShowsTheQuestionStaysOnTopAndHoldsThePointerOnEnter) {
    start_locked();
    EXPECT_EQ(kv::rtrim(window_text(label_)), kQuestion);
    EXPECT_TRUE(wait_for([&] { return is_topmost(lock_); })) << "the lock screen is not topmost";
    RECT clip{};
    EXPECT_TRUE(wait_for([&] {
        GetClipCursor(&clip);
        return same_rect(clip, window_rect(enter_));
    })) << "pointer confined to "
        << rect_text(clip) << ", Enter is at " << rect_text(window_rect(enter_));
    EXPECT_EQ(program_.find_window("KvForm1"), nullptr) << "the main window is visible";
}

TEST_F(Lock, AWrongAnswerIsShownStoredAndLogged) {
    start_locked();
    answer("Blue");  // differs only in letter case: wrong

    ASSERT_TRUE(wait_for([&] { return shows_wrong_answer(); })) << window_text(label_);
    EXPECT_FALSE(IsWindowEnabled(enter_));
    EXPECT_FALSE(is_visible(answer_));
    save_screenshot(lock_, "form4_wrong_answer");

    const auto status = reg_read(kVendorKey, "Status");
    ASSERT_TRUE(status) << "no alert stored";
    EXPECT_EQ(status->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(status->bytes, std::string("Alert", 6));

    std::optional<std::string> log;
    ASSERT_TRUE(wait_for([&] { return (log = read_file(log_file())) && log->size() == 40; }))
        << "the log file holds " << (log ? log->size() : 0) << " bytes, not one record";
    const auto typed = kv::scramble(kv::kScrambleKey, "Blue");
    ASSERT_TRUE(typed);
    EXPECT_EQ(log->substr(20), kv::fixed(*typed, 20));

    // The message stays for four seconds, then the question comes back.
    EXPECT_TRUE(holds_for([&] { return shows_wrong_answer(); }, 3s));
    ASSERT_TRUE(wait_for([&] { return !shows_wrong_answer(); }, 10s));
    EXPECT_EQ(kv::rtrim(window_text(label_)), kQuestion);
    EXPECT_TRUE(wait_for([&] { return IsWindowEnabled(enter_) && is_visible(answer_); }));
    EXPECT_EQ(window_text(answer_), "");
}

TEST_F(Lock, TheRightAnswerUnlocksAndFreesThePointer) {
    start_locked();
    answer("  blue ");  // blanks at both ends do not count

    EXPECT_TRUE(wait_for([&] { return !is_visible(lock_); })) << "the lock screen stayed";
    HWND main = program_.wait_window("KvForm1", "Kestrova 2.0");
    ASSERT_TRUE(main) << "the main window did not come back";
    EXPECT_FALSE(find_message_box(program_.pid())) << "an alert without any wrong answer";
    RECT clip{};
    GetClipCursor(&clip);
    EXPECT_TRUE(same_rect(clip, window_rect(GetDesktopWindow()))) << rect_text(clip);
    EXPECT_TRUE(save_screenshot(main, "form1_unlocked"));
}

TEST_F(Lock, AnAttemptStoredBeforeARestartIsReportedAtTheRightAnswer) {
    kv::store::set_alert();
    start_locked();
    answer(kAnswer);

    const auto box = wait_message_box(program_.pid());
    ASSERT_TRUE(box) << "no security alert";
    EXPECT_EQ(box->caption, "Security Alert!");
    EXPECT_EQ(box->text, kAlertText);
    EXPECT_EQ(box->buttons, (std::vector<int>{IDYES, IDNO}));
    save_screenshot(box->hwnd, "security_alert");
    ASSERT_TRUE(click(box->hwnd, IDNO));

    EXPECT_TRUE(wait_for([&] { return !reg_read(kVendorKey, "Status"); }))
        << "the alert was not cleared";
    EXPECT_TRUE(program_.wait_window("KvForm1", "Kestrova 2.0")) << "no main window after No";
}

TEST_F(Lock, ClosedFromOutsideItComesBack) {
    start_locked();
    PostMessageA(lock_, WM_CLOSE, 0, 0);
    // The closed window goes; a freshly loaded lock screen takes its place.
    EXPECT_TRUE(wait_for([&] { return !IsWindow(lock_); })) << "the lock screen did not close";
    HWND again = program_.wait_window("KvForm4");
    ASSERT_TRUE(again) << "the lock screen did not come back";
    EXPECT_NE(again, lock_);
    EXPECT_EQ(program_.find_window("KvForm1"), nullptr) << "the main window showed";
    EXPECT_TRUE(program_.running());
}

}  // namespace
