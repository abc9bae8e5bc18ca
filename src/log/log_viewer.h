// The log viewer: a group of the main window's controls that show the
// attempt log's records in List2, delete single entries and clear the log.
#pragma once

#include "log/attempt_log.h"
#include "platform/ui.h"
#include "ui/main_window.h"

namespace kv {

class LogViewer : public AttemptLog::View {
public:
    LogViewer(MainWindow& main, AttemptLog& log) : main_(main), log_(log) {
        log_.set_view(this);
    }
    LogViewer(const LogViewer&) = delete;
    LogViewer& operator=(const LogViewer&) = delete;
    ~LogViewer() { log_.set_view(nullptr); }

    // List2 from the records: line i shows record i. A window not loaded
    // has no list yet; its load fills it.
    void records_reset() override;
    void record_added(std::size_t at) override;
    void record_removed(std::size_t at) override;

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

    // The list and its controls are shown.
    bool shown() const { return shown_; }

private:
    void show_viewer(bool shown);
    void report_unsaved_log();

    MainWindow& main_;
    AttemptLog& log_;
    bool shown_ = false;
};

}  // namespace kv
