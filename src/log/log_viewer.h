// The log viewer: a group of the main window's controls that show the
// attempt list, delete single entries and clear the log.
#pragma once

#include "log/attempt_log.h"
#include "platform/ui.h"
#include "ui/main_window.h"

namespace kv {

class LogViewer {
public:
    LogViewer(MainWindow& main, AttemptLog& log) : main_(main), log_(log) {}

    // Steps 1 to 8 of showing the log: the list, its headings and buttons.
    void show_log();
    // "&View Log": shows the log, and says so when there is nothing in it.
    void Command5_Click();
    // "&Hide Log".
    void Command12_Click();
    // "Delete this &Entry": the selected line, after asking.
    void Command11_Click();
    // "&Delete All": every line, after asking.
    void DeleteAll_Click();
    // The right button on the list opens the "Log Menu".
    void List2_MouseDown(platform::MouseButton button);

private:
    void show_viewer(bool shown);
    void report_unsaved_log();

    MainWindow& main_;
    AttemptLog& log_;
};

}  // namespace kv
