// The main window: the control centre while the screen is not locked. Its
// handlers and operations are defined beside the subsystems they belong to
// (log/, setup/, options/, help/).
#pragma once

#include <array>
#include <map>
#include <string>

#include "ui/form_base.h"

namespace kv {

class Form1 : public RoutedForm<Form1> {
public:
    explicit Form1(Program& p);

    // Lock screen hand-over.
    void show_after_lock();
    // Shows the lock screen. One whose window cannot be created fails
    // closed: this window hides and timerz tries again 50 ms later.
    void show_lock();

    // Attempt log (log/attempt_log.cpp).
    void load_list3();
    void update3();
    // The list holds every record of the file (a load or a rewrite read it).
    bool log_in_list() const { return log_in_list_; }
    // The list holds changes the file has not taken (a rewrite failed).
    bool log_unsaved() const { return log_unsaved_; }
    // Log viewer (log/log_viewer.cpp): steps 1 to 8 of showing the log.
    void show_log();

    // Question and answer (setup/). set_answer gives the registry's result
    // (0 when the answer is stored and reads back).
    long set_answer();
    void welcome();
    void login();
    void change_answer();
    void change_question();

    // Start-up options (options/startup.cpp).
    void load_startup_checks();
    void autorun_Click();
    void autorunnolock_Click();
    void autorunatstart_Click();
    void noautorun_Click();

    // The answer that set_answer stores.
    std::string pending_answer;

    // Handlers.
    void timerz_Timer();
    void Command9_Click();
    void mnuLock_Click();
    void ExitButton_Click();
    void mnulockup_Click();
    void Command1_Click();
    void mnuQuit_Click();
    void Command3_Click();
    void chgquestion_Click();
    void Command4_Click();
    void answer_Click();
    void Command2_Click();
    void scrlock_Click();
    void Command5_Click();
    void mnuViewLog_Click();
    void Command12_Click();
    void mnuHide_Click();
    void Command11_Click();
    void mnuDelete_Click();
    void DeleteAll_Click();
    void mnuRed_Click();
    void mnuGreen_Click();
    void mnuBlue_Click();
    void mnuPurple_Click();
    void mnuYellow_Click();
    void abtDulcimet_Click();
    void mnuOnline_Click();
    void mnuEmail_Click();

    static constexpr std::array<Route<Form1>, 10> kClicks{{
        {"Command9", -1, &Form1::Command9_Click},
        {"ExitButton", 2, &Form1::ExitButton_Click},
        {"Command1", -1, &Form1::Command1_Click},
        {"Command3", -1, &Form1::Command3_Click},
        {"Command4", -1, &Form1::Command4_Click},
        {"Command2", -1, &Form1::Command2_Click},
        {"Command5", -1, &Form1::Command5_Click},
        {"Command12", -1, &Form1::Command12_Click},
        {"Command11", -1, &Form1::Command11_Click},
        {"DeleteAll", -1, &Form1::DeleteAll_Click},
    }};
    static constexpr std::array<Route<Form1>, 21> kMenus{{
        {"mnuLock", -1, &Form1::mnuLock_Click},
        {"mnulockup", -1, &Form1::mnulockup_Click},
        {"mnuQuit", -1, &Form1::mnuQuit_Click},
        {"chgquestion", -1, &Form1::chgquestion_Click},
        {"answer", -1, &Form1::answer_Click},
        {"scrlock", -1, &Form1::scrlock_Click},
        {"mnuViewLog", -1, &Form1::mnuViewLog_Click},
        {"mnuHide", -1, &Form1::mnuHide_Click},
        {"mnuDelete", -1, &Form1::mnuDelete_Click},
        {"mnuRed", -1, &Form1::mnuRed_Click},
        {"mnuGreen", -1, &Form1::mnuGreen_Click},
        {"mnuBlue", -1, &Form1::mnuBlue_Click},
        {"mnuPurple", -1, &Form1::mnuPurple_Click},
        {"mnuYellow", -1, &Form1::mnuYellow_Click},
        {"autorunnolock", -1, &Form1::autorunnolock_Click},
        {"autorun", -1, &Form1::autorun_Click},
        {"autorunatstart", -1, &Form1::autorunatstart_Click},
        {"noautorun", -1, &Form1::noautorun_Click},
        {"abtDulcimet", -1, &Form1::abtDulcimet_Click},
        {"mnuOnline", -1, &Form1::mnuOnline_Click},
        {"mnuEmail", -1, &Form1::mnuEmail_Click},
    }};
    static constexpr std::array<Route<Form1>, 1> kTimers{{
        {"timerz", -1, &Form1::timerz_Timer},
    }};

    void on_mouse_down(std::string_view control, platform::MouseButton button) override;

protected:
    void Form_Load() override;
    void Form_Paint(platform::Painter& p) override;
    void Form_Unload() override;

    bool takes_input() override;
    bool on_sys_command(platform::SysCommand c) override;

private:
    bool in_login_ = false;  // the first-run set-up runs from a paint
    void add_records(std::string_view data);
    void report_unsaved_log();
    bool log_in_list_ = false;
    bool log_unsaved_ = false;
    // Each line loaded from or written to the file, with its record's bytes.
    std::multimap<std::string, std::string> log_records_;

    void lock_and_hide();
    void check_autorun(bool on);
    void check_start_hidden(bool on);
    void check_stored_autorun();
    void check_stored_start_mode();
    bool stored_or_reported(long error, const char* what);
    void choose_color(const char* name);
};

}  // namespace kv
