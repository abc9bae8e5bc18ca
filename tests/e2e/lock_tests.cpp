// The lock screen of the real kvstrn.exe under Wine: question, pointer and
// Z order guard, wrong and right answers, the stored alert, the attempt log
// file and the About window reached from the unlocked main window.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "lock_fixture.h"
#include "store/scrambler.h"
#include "store/text.h"

namespace {

using namespace kv::e2e;
using Clock = std::chrono::steady_clock;

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

    // Help > About Kestrova, by its menu command.
    const int about = kv::layout::menu_position(kv::layout::kForm1, "abtDulcimet");
    ASSERT_GE(about, 0);
    PostMessageA(main, WM_COMMAND, MAKEWPARAM(kv::platform::kFirstMenuId + about, 0), 0);
    HWND box = program_.wait_window("KvAboutBox");
    ASSERT_TRUE(box) << "no About window";
    EXPECT_TRUE(save_screenshot(box, "aboutbox"));
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
