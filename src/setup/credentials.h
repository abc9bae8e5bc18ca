// The question and the answer as the main window carries them: the
// first-run set-up and the later changes, all in message and input boxes.
#pragma once

#include <string>
#include <string_view>

#include "log/attempt_log.h"
#include "options/startup.h"
#include "ui/main_window.h"

namespace kv {

class Credentials {
public:
    Credentials(MainWindow& main, StartupMenu& startup, AttemptLog& log)
        : main_(main), startup_(startup), log_(log) {}

    // Stores the confirmed new answer, blanks at both ends removed: the
    // registry's result (success when it is stored and reads back).
    platform::Result set_answer(std::string_view pending_answer);
    // The welcome message.
    void welcome();
    // The whole first-run set-up, from the welcome to the main window shown.
    void login();
    // A new answer for the stored question.
    void change_answer();
    // A new question and its answer.
    void change_question();

private:
    enum class Round { Stored, Again, Abandoned };
    // The set-up's steps: one round of welcome, question and answer; the
    // two start-up options; the end, with the main window shown.
    Round question_round();
    void ask_startup_options();
    void finish_setup();
    bool ask_option(const char* question);

    MainWindow& main_;
    StartupMenu& startup_;
    AttemptLog& log_;
};

}  // namespace kv
