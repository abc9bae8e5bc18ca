// First-run set-up and the later changes of question and answer, all in
// message boxes and input boxes.
#include <string>

#include "platform/system.h"
#include "setup/credentials.h"
#include "setup/dialogue.h"
#include "store/secrets.h"
#include "store/settings.h"
#include "store/text.h"
#include "ui/maker.h"

namespace kv {

namespace {
constexpr const char* kSetupNotStored = "The setup is not complete. Kestrova will now close.";
}  // namespace

std::string question_prompt(bool with_closing_sentence) {
    std::string p =
        "Enter a unique question that only you know the answer to. Keep it"
        " simple, ask something that requires a SHORT answer (preferably a one-word answer), "
        "and make it something that you could never forget:"
        "\r\r"
        "Questions about place of birth, mother's maiden name, and even "
        "nonsense questions work well.";
    if (with_closing_sentence)
        p += "\r\rYou may change this question later by selecting \"Change Your Question\" from "
             "the Options menu.";
    return p;
}

std::string with_question_mark(std::string_view entered) {
    const std::string_view trimmed = trim(entered);
    if (!trimmed.empty() && trimmed.back() == '?') return fixed(entered, kQuestionWidth);
    return fixed(std::string(trimmed) + "?", kQuestionWidth);
}

std::string verify_prompt(std::string_view question) {
    return "To verify your answer, retype it: \r" + std::string(question);
}

bool answers_match(std::string_view first, std::string_view second) {
    return fixed(trim(fixed(first, kAnswerWidth)), kAnswerWidth) ==
           fixed(trim(fixed(second, kAnswerWidth)), kAnswerWidth);
}

namespace {

void refuse_unstorable() {
    platform::message_box(kUnstorableMessage, platform::kMbOkExclamation, KV_APP_TITLE);
}

enum class Entry { Stored, Again, NotStored };

// Asks for the answer to `question` twice and stores question and answer as
// their 250- and 20-character fields. Again, with its message shown and
// nothing stored, when the answer is empty, the entries differ or cannot be
// stored; NotStored, with the cause and `consequence` shown and the old
// values kept, when the registry did not take them.
Entry answer_and_store(const std::string& question, std::string_view consequence) {
    const std::string first =
        fixed(platform::input_box(question, "Answer your Question"), kAnswerWidth);
    if (ltrim(first).empty()) {
        platform::message_box("Your Answer cannot be zero-length. Please try again.",
                              platform::kMbOkExclamation, "Answer Setup Error");
        return Entry::Again;
    }
    const std::string second =
        platform::input_box(verify_prompt(question), "Answer your Question Again");
    if (!answers_match(first, second)) {
        platform::message_box("Answers did not match. Try again.", platform::kMbOkExclamation,
                              "Answer Error");
        return Entry::Again;
    }
    const auto stored =
        store::write_question_and_answer(question, fixed(trim(first), kAnswerWidth));
    if (stored == store::kErrorUnstorable) {
        refuse_unstorable();
        return Entry::Again;
    }
    if (!stored) {
        platform::message_box(store::not_stored_text("Your Question and Answer", stored) +
                                  "\r\r" + std::string(consequence),
                              platform::kMbOkExclamation, "Question Setup Error");
        return Entry::NotStored;
    }
    return Entry::Stored;
}

}  // namespace

// A start-up option of the set-up, asked with the main window hidden: true
// for Yes.
bool Credentials::ask_option(const char* question) {
    main_.Hide();
    return platform::message_box(question, platform::kMbYesNoQuestion, "Configuration Options") ==
           platform::kIdYes;
}

void Credentials::welcome() {
    platform::message_box("Access to Kestrova is obtained by answering a user-defined question.",
                          platform::kMbOk, "Welcome to Kestrova!");
}

// Each round starts with the welcome; an empty question or a registry that
// does not take the values ends the program as an abandoned set-up does,
// with autorun on so that the set-up comes back at the next log-on.
void Credentials::login() {
    Round round;
    do round = question_round();
    while (round == Round::Again);
    if (round == Round::Abandoned) {
        // Dropped: the program ends here whatever it is, and a set-up that
        // does not come back at log-on comes back at the next start.
        static_cast<void>(store::add_autorun());
        platform::end_process();
        return;
    }
    ask_startup_options();
    finish_setup();
}

Credentials::Round Credentials::question_round() {
    welcome();
    std::string question =
        fixed(platform::input_box(question_prompt(true), "Kestrova Question Setup"), kQuestionWidth);
    if (ltrim(question).empty()) {
        platform::message_box(
            "Question cannot be a zero-length word. You must restart Kestrova and configure "
            "the Question/Answer to finish the installation.",
            platform::kMbOkExclamation, "Question Setup Error");
        return Round::Abandoned;
    }
    question = with_question_mark(question);
    if (!store::storable(question)) {
        refuse_unstorable();
        return Round::Again;
    }
    switch (answer_and_store(question, kSetupNotStored)) {
        case Entry::Again:
            return Round::Again;
        case Entry::NotStored:
            // Going round again would only fail again.
            return Round::Abandoned;
        case Entry::Stored:
            break;
    }
    return Round::Stored;
}

// The same operations as the items of "Startup &Options".
void Credentials::ask_startup_options() {
    if (ask_option(
            "Do you want to start Kestrova on Windows Startup to prevent unauthorized access "
            "to your PC? (You can turn this option on or off at any time from the OPTIONS "
            "menu)")) {
        main_.Hide();
        startup_.enable_autorun();
    } else {
        startup_.check_autorun(false);
        main_.Hide();
        platform::message_box("This action will take effect next time you restart Windows.",
                              platform::kMbOkInformation, "Add Protection to Windows StartUp");
    }
    startup_.set_start_mode(
        ask_option("When you start Kestrova do you want it to automatically display the login "
                   "screen? If you select 'NO' Kestrova will start minimized in the Windows "
                   "TaskBar. (You can turn this option on or off at any time from the OPTIONS "
                   "menu)")
            ? StartMode::Lock
            : StartMode::Hidden);
}

void Credentials::finish_setup() {
    main_.Hide();
    platform::message_box(
        "You have successfully setup this application. You can change your Question and/or "
        "your Answer at any time by selecting these tasks from the 'Options' menu.\r\rYou "
        "will login from now on using your customized setup.",
        platform::kMbOk, "Setup Complete");
    log_.load_list3();
    main_.Show();
}

platform::Result Credentials::set_answer(std::string_view pending_answer) {
    const platform::Result stored = store::write_answer(pending_answer);
    return stored == store::kErrorUnstorable ? store::kErrorReadBackDiffers : stored;
}

void Credentials::change_answer() {
    const std::string question = store::load_question();
    const std::string entered = platform::input_box(question, "Change Your Answer");
    if (ltrim(entered).empty()) {
        platform::message_box("Answer cannot be a zero-length word. Try again.",
                              platform::kMbOkExclamation, "Answer Error");
        return;
    }
    const std::string pending_answer(
        trim(platform::input_box(verify_prompt(question), "Answer your Question Again")));
    if (trim(entered) != pending_answer) {
        platform::message_box("Answers did not match. Try again.", platform::kMbOkExclamation,
                              "Answer Error");
        return;
    }
    if (!store::storable(pending_answer)) {
        refuse_unstorable();
        return;
    }
    if (const platform::Result stored = set_answer(pending_answer); !stored) {
        platform::message_box(store::not_stored_text("Your new Answer", stored) +
                                  "\r\rYour previous Answer is still in effect.",
                              platform::kMbOkExclamation, "Answer Error");
        return;
    }
    platform::message_box("Answer Updated.", platform::kMbOk, "Success!");
}

void Credentials::change_question() {
    const std::string entered =
        platform::input_box(question_prompt(false), "Kestrova Question Setup");
    if (ltrim(fixed(entered, kQuestionWidth)).empty()) {
        platform::message_box(
            "Question cannot be a zero-length word. The Question was not modified.",
            platform::kMbOkExclamation, "Question Setup Error");
        return;
    }
    const std::string question = with_question_mark(fixed(entered, kQuestionWidth));
    if (!store::storable(question)) {
        refuse_unstorable();
        return;
    }
    switch (answer_and_store(question, "Your previous Question and Answer are still in effect.")) {
        case Entry::Again:
            // A failed answer hands over to the whole set-up.
            login();
            return;
        case Entry::NotStored:
            return;
        case Entry::Stored:
            platform::message_box("Answer Updated.", platform::kMbOk, "Success!");
    }
}

}  // namespace kv
