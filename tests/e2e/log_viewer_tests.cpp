// The attempt log of the real kvstrn.exe under Wine, end to end: wrong
// answers on the lock screen, the log viewer in the unlocked main window,
// its pop-up menu, deleting one entry and clearing the log, checked against
// the log file.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "lock_fixture.h"
#include "store/scrambler.h"
#include "store/text.h"

namespace {

using namespace kv::e2e;

int list_count(HWND list) { return static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0)); }

// The list line as ANSI text. Asked for in UTF-16: under Wine a
// cross-process LB_GETTEXT sent with SendMessageA answers with UTF-16 bytes
// (twice as many as the length it reports), so the ANSI form is converted here.
std::string list_line(HWND list, int index) {
    const auto len = SendMessageW(list, LB_GETTEXTLEN, index, 0);
    if (len == LB_ERR) return {};
    std::wstring wide(static_cast<std::size_t>(len) + 1, L'\0');
    const auto got = SendMessageW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(wide.data()));
    if (got == LB_ERR) return {};
    wide.resize(static_cast<std::size_t>(got));
    std::string text(wide.size() * 2 + 1, '\0');
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                      text.data(), static_cast<int>(text.size()), nullptr, nullptr);
    text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return text;
}

// The answer part of a line: what follows the 21-character date and time.
std::string line_answer(const std::string& line) {
    return line.size() > 21 ? std::string(kv::trim(std::string_view(line).substr(21))) : "";
}

// The answer fields of the log file's records, decoded.
std::vector<std::string> logged_answers(const std::string& file) {
    std::vector<std::string> out;
    for (std::size_t at = 0; at + 40 <= file.size(); at += 40)
        out.push_back(kv::unscramble(kv::kScrambleKey, kv::trim(file.substr(at + 20, 20)))
                          .value_or("(undecodable)"));
    return out;
}

class LogViewer : public Lock {
protected:
    std::optional<std::string> log_bytes() { return read_file(log_file()); }
    bool log_size_is(std::size_t n) {
        const auto f = log_bytes();
        return f && f->size() == n;
    }
};

TEST_F(LogViewer, TwoAttemptsAreListedThenDeletedOneByOneAndAllAtOnce) {
    start_locked();
    answer_wrong("red");
    answer_wrong("green");
    ASSERT_TRUE(wait_for([&] { return log_size_is(80); })) << "two attempts, not two records";
    HWND main = unlock_after_attempts(IDNO);
    ASSERT_TRUE(main);

    HWND list = main_part(main, "List2");
    HWND view = main_part(main, "Command5");
    ASSERT_TRUE(list && view);
    EXPECT_FALSE(is_visible(list)) << "the viewer shows before it is asked for";
    ASSERT_TRUE(click(main, GetDlgCtrlID(view)));
    ASSERT_TRUE(wait_for([&] { return is_visible(list); })) << "\"&View Log\" showed no list";
    EXPECT_EQ(list_count(list), 2);
    EXPECT_FALSE(IsWindowEnabled(view));
    EXPECT_FALSE(IsWindowEnabled(main_part(main, "Command9")));
    EXPECT_FALSE(find_message_box(program_.pid())) << "the empty-log message with two entries";
    EXPECT_TRUE(save_screenshot(main, "form1_log_viewer"));

    // A right click below the lines opens the pop-up menu without choosing a
    // line; its "&Delete this Entry" then asks for a selection first.
    ASSERT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), LB_ERR) << "a line is selected already";
    const RECT area = window_rect(list);
    ASSERT_TRUE(click_at((area.left + area.right) / 2, area.bottom - 20, 3));
    ASSERT_TRUE(wait_for([] { return find_window(0, "#32768") != nullptr; })) << "no pop-up menu";
    ASSERT_TRUE(press_keys("d"));
    const auto refused = wait_message_box(program_.pid());
    ASSERT_TRUE(refused) << "no message for the missing selection";
    EXPECT_EQ(refused->caption, "Remove Entry");
    EXPECT_EQ(refused->text, "You must first select a Log Entry.");
    ASSERT_TRUE(click(refused->hwnd, IDOK));
    ASSERT_TRUE(wait_for([&] { return !IsWindow(refused->hwnd); }));
    EXPECT_TRUE(log_size_is(80));
    EXPECT_EQ(list_count(list), 2);

    // Select the first line, as a click would, and delete it.
    const std::string chosen = list_line(list, 0);
    const std::string other = line_answer(list_line(list, 1));
    ASSERT_NE(SendMessageA(list, LB_SETCURSEL, 0, 0), LB_ERR);
    PostMessageA(main, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
    ASSERT_TRUE(click(main, GetDlgCtrlID(main_part(main, "Command11"))));
    ASSERT_NO_FATAL_FAILURE(
        answer_box("Delete This Entry?",
                   "Date/Time: " + std::string(kv::rtrim(chosen.substr(0, 21))) +
                       "\r\rAnswer: " + line_answer(chosen),
                   {IDYES, IDNO}, IDYES));
    ASSERT_TRUE(wait_for([&] { return log_size_is(40); })) << "the entry is still in the file";
    EXPECT_EQ(list_count(list), 1);
    EXPECT_EQ(logged_answers(*log_bytes()), std::vector<std::string>{other});

    ASSERT_TRUE(click(main, GetDlgCtrlID(main_part(main, "DeleteAll"))));
    ASSERT_NO_FATAL_FAILURE(
        answer_box("Reset the Log?", "Remove all Items From the Log?", {IDYES, IDNO}, IDYES));
    ASSERT_TRUE(wait_for([&] { return log_size_is(0); })) << "the log file was not emptied";
    EXPECT_EQ(list_count(list), 0);
    EXPECT_TRUE(is_visible(list)) << "the viewer closed after clearing";
    EXPECT_TRUE(program_.running());
}

}  // namespace
