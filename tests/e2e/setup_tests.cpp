// First-run set-up of the real kvstrn.exe under Wine, driven through its
// message boxes and input boxes.
#include <gtest/gtest.h>

#include <string>

#include "ui/layouts.h"
#include "harness.h"
#include "platform/ui.h"
#include "program_test.h"
#include "store/scrambler.h"
#include "store/text.h"

namespace {

using namespace kv::e2e;

class FirstRun : public ProgramTest {
protected:
    void answer_input(const std::string& title, const std::string& text) {
        HWND box = wait_input_box(program_.pid(), title, 15s);
        ASSERT_TRUE(box) << "no input box \"" << title << "\"";
        ASSERT_TRUE(answer_input_box(box, text));
        ASSERT_TRUE(wait_for([&] { return !IsWindow(box); })) << title << " stayed";
    }
};

std::string scrambled(std::string_view clear) {
    return kv::scramble(kv::kScrambleKey, clear).value_or("(cannot scramble)");
}

TEST_F(FirstRun, TheWholeDialogueStoresQuestionAnswerAndOptions) {
    ASSERT_TRUE(program_.start());
    answer_box("Welcome to Kestrova!", IDOK);

    HWND ask = wait_input_box(program_.pid(), "Kestrova Question Setup", 15s);
    ASSERT_TRUE(ask) << "no question box";
    const std::string prompt = window_text(GetDlgItem(ask, kInputPromptId));
    EXPECT_EQ(prompt.rfind("Enter a unique question that only you know the answer to.", 0), 0u)
        << prompt;
    save_screenshot(ask, "setup_question");
    ASSERT_TRUE(answer_input_box(ask, "What is my pet's name"));

    HWND first = wait_input_box(program_.pid(), "Answer your Question", 15s);
    ASSERT_TRUE(first) << "no answer box";
    EXPECT_EQ(kv::rtrim(window_text(GetDlgItem(first, kInputPromptId))), "What is my pet's name?");
    ASSERT_TRUE(answer_input_box(first, "Rex"));
    answer_input("Answer your Question Again", "  Rex ");

    answer_box("Configuration Options", IDYES);  // autorun at Windows start-up
    answer_box("Add to StartUp", "This action will take effect next time you restart Windows.",
               {IDOK}, IDOK);
    answer_box("Configuration Options", IDNO);  // start hidden
    answer_box("Add to StartUp", "This action will take effect next time you restart Kestrova.",
               {IDOK}, IDOK);
    answer_box("Setup Complete", IDOK);

    HWND main = program_.wait_window("KvForm1", "Kestrova 2.0");
    ASSERT_TRUE(main) << "the main window did not come back after the set-up";
    EXPECT_FALSE(IsIconic(main));
    EXPECT_TRUE(save_screenshot(main, "form1"));

    const auto query = reg_read(kZonesKey, "Query");
    ASSERT_TRUE(query) << "no question stored";
    EXPECT_EQ(query->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(query->bytes, scrambled(kv::fixed("What is my pet's name?", 250)) + '\0');
    const auto command = reg_read(kZonesKey, "Command");
    ASSERT_TRUE(command) << "no answer stored";
    EXPECT_EQ(command->bytes, scrambled(kv::fixed("Rex", 20)) + '\0');
    const auto run = reg_read(kRunKey, "Kestrova");
    ASSERT_TRUE(run) << "autorun was not turned on";
    EXPECT_EQ(run->bytes, program_dir() + "\\kvstrn.exe" + '\0');
    const auto login = reg_read(kVendorKey, "Login");
    ASSERT_TRUE(login) << "no start mode stored";
    EXPECT_EQ(login->bytes, std::string("1", 2));

    // The main window the set-up showed is unlocked: a colour chosen and a
    // full repaint raise no lock screen.
    const int red = kv::layout::menu_position(kv::layout::kForm1, "mnuRed");
    ASSERT_GE(red, 0);
    ASSERT_TRUE(PostMessageA(main, WM_COMMAND, MAKEWPARAM(kv::platform::kFirstMenuId + red, 0), 0));
    ASSERT_TRUE(wait_for([] {
        const auto color = reg_read(kVendorKey, "Color");
        return color && color->bytes == std::string("red", 4);
    })) << "the colour was not chosen";
    RedrawWindow(main, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    EXPECT_TRUE(holds_for([&] { return !program_.find_window("KvForm4"); }, 1s))
        << "the lock screen came up over the main window";
}

TEST_F(FirstRun, NoAutorunAndTheLockAtStartThenARestartLocksUntilTheAnswer) {
    const std::string question = "Where was I born";  // the set-up adds the "?"
    ASSERT_TRUE(program_.start());
    answer_box("Welcome to Kestrova!",
               "Access to Kestrova is obtained by answering a user-defined question.", {IDOK},
               IDOK);
    answer_input("Kestrova Question Setup", question);
    HWND first = wait_input_box(program_.pid(), "Answer your Question", 15s);
    ASSERT_TRUE(first) << "no answer box";
    EXPECT_EQ(window_text(GetDlgItem(first, kInputPromptId)), kv::fixed(question + "?", 250));
    ASSERT_TRUE(answer_input_box(first, "Paris"));
    HWND again = wait_input_box(program_.pid(), "Answer your Question Again", 15s);
    ASSERT_TRUE(again) << "no verification box";
    // The box shows the prompt's lone carriage return as a line break.
    EXPECT_EQ(window_text(GetDlgItem(again, kInputPromptId)),
              "To verify your answer, retype it: \r\n" + kv::fixed(question + "?", 250));
    ASSERT_TRUE(answer_input_box(again, "Paris"));

    answer_box("Configuration Options",
               "Do you want to start Kestrova on Windows Startup to prevent unauthorized access to "
               "your PC? (You can turn this option on or off at any time from the OPTIONS menu)",
               {IDYES, IDNO}, IDNO);
    answer_box("Add Protection to Windows StartUp",
               "This action will take effect next time you restart Windows.", {IDOK}, IDOK);
    answer_box("Configuration Options",
               "When you start Kestrova do you want it to automatically display the login screen? "
               "If you select 'NO' Kestrova will start minimized in the Windows TaskBar. (You can "
               "turn this option on or off at any time from the OPTIONS menu)",
               {IDYES, IDNO}, IDYES);
    answer_box("Add Protection to Windows Startup",
               "This action will take effect next time you restart Kestrova.", {IDOK}, IDOK);
    answer_box("Setup Complete",
               "You have successfully setup this application. You can change your Question "
               "and/or your Answer at any time by selecting these tasks from the 'Options' "
               "menu.\r\rYou will login from now on using your customized setup.",
               {IDOK}, IDOK);
    ASSERT_TRUE(program_.wait_window("KvForm1", "Kestrova 2.0")) << "no main window after set-up";

    // Stored: the question padded to 250 and the answer to 20, scrambled.
    const auto query = reg_read(kZonesKey, "Query");
    ASSERT_TRUE(query) << "no question stored";
    EXPECT_EQ(query->type, static_cast<DWORD>(REG_SZ));
    ASSERT_EQ(query->bytes.size(), 251u);
    EXPECT_EQ(query->bytes.back(), '\0');
    EXPECT_EQ(kv::unscramble(kv::kScrambleKey, query->bytes.substr(0, 250)),
              kv::fixed(question + "?", 250));
    const auto command = reg_read(kZonesKey, "Command");
    ASSERT_TRUE(command) << "no answer stored";
    EXPECT_EQ(command->type, static_cast<DWORD>(REG_SZ));
    ASSERT_EQ(command->bytes.size(), 21u);
    EXPECT_EQ(kv::unscramble(kv::kScrambleKey, command->bytes.substr(0, 20)),
              kv::fixed("Paris", 20));
    const auto login = reg_read(kVendorKey, "Login");
    ASSERT_TRUE(login) << "no start mode stored";
    EXPECT_EQ(login->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(login->bytes, std::string("2", 2));
    EXPECT_FALSE(reg_read(kRunKey, "Kestrova")) << "autorun was turned on";

    // The next start locks at once, and the answer lets the user in.
    program_.kill();
    ASSERT_TRUE(program_.start());
    HWND lock = program_.wait_window("KvForm4", std::nullopt, 20s);
    ASSERT_TRUE(lock) << "no lock screen after the restart";
    const auto part = [&](const char* name) {
        return control(lock, kv::layout::control_position(kv::layout::kForm4, name));
    };
    EXPECT_EQ(kv::rtrim(window_text(part("Labelnew"))), question + "?");
    EXPECT_EQ(program_.find_window("KvForm1"), nullptr) << "the main window showed first";
    HWND enter = part("Command1");
    ASSERT_TRUE(wait_for([&] { return IsWindowEnabled(enter) && is_visible(part("Textnew")); }));
    ASSERT_TRUE(set_window_text(part("Textnew"), "Paris"));
    ASSERT_TRUE(click(lock, GetDlgCtrlID(enter)));
    EXPECT_TRUE(program_.wait_window("KvForm1", "Kestrova 2.0")) << "the answer did not unlock";
    EXPECT_FALSE(is_visible(lock));
    EXPECT_FALSE(find_message_box(program_.pid())) << "an alert without any wrong answer";
}

TEST_F(FirstRun, MismatchedAnswersStartAgainAtTheWelcome) {
    ASSERT_TRUE(program_.start());
    answer_box("Welcome to Kestrova!", IDOK);
    answer_input("Kestrova Question Setup", "Colour?");
    answer_input("Answer your Question", "red");
    answer_input("Answer your Question Again", "Red");
    answer_box("Answer Error", "Answers did not match. Try again.", {IDOK}, IDOK);
    answer_box("Welcome to Kestrova!", IDOK);
    EXPECT_TRUE(wait_input_box(program_.pid(), "Kestrova Question Setup"));
    EXPECT_FALSE(reg_read(kZonesKey, "Query")) << "stored after a mismatch";
}

TEST_F(FirstRun, CancellingTheQuestionEndsTheProgramAndTurnsAutorunOn) {
    ASSERT_TRUE(program_.start());
    answer_box("Welcome to Kestrova!", IDOK);
    HWND ask = wait_input_box(program_.pid(), "Kestrova Question Setup", 15s);
    ASSERT_TRUE(ask);
    ASSERT_TRUE(click(ask, IDCANCEL));
    answer_box("Question Setup Error",
               "Question cannot be a zero-length word. You must restart Kestrova and configure "
               "the Question/Answer to finish the installation.",
               {IDOK}, IDOK);
    EXPECT_TRUE(program_.wait_exit()) << "the program did not end";
    const auto run = reg_read(kRunKey, "Kestrova");
    ASSERT_TRUE(run) << "no Run value";
    EXPECT_EQ(run->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(run->bytes, program_dir() + "\\kvstrn.exe" + '\0');
    EXPECT_FALSE(reg_key_exists(kZonesKey)) << "AddZones was touched";
}

}  // namespace
