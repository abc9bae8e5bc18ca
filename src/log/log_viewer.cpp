#include "log/log_viewer.h"

#include "platform/system.h"
#include "store/text.h"

namespace kv {

namespace {
constexpr ControlName<layout::kForm1> kViewerControls[] = {"Command11", "Command12", "DeleteAll",
                                                           "List2"};
constexpr const char* kLogUnreadable =
    "The access log file could not be read, so earlier attempts may be missing from this list. "
    "They stay in the file.";
constexpr const char* kLogUnsaved =
    "The access log file could not be written. The list shows your change; it is saved with "
    "the next change to the log.";
}  // namespace

void LogViewer::records_reset() {
    if (!main_.loaded()) return;
    auto list = main_.ctl("List2");
    list.list_clear();
    int i = 0;
    for (const auto& r : log_.records()) list.list_insert(i++, r.line);
}

void LogViewer::record_added(std::size_t at) {
    if (main_.loaded())
        main_.ctl("List2").list_insert(static_cast<int>(at), log_.records()[at].line);
}

void LogViewer::record_removed(std::size_t at) {
    if (main_.loaded()) main_.ctl("List2").list_remove(static_cast<int>(at));
}

void LogViewer::report_unsaved_log() {
    if (log_.log_unsaved())
        platform::message_box(kLogUnsaved, platform::kMbOkExclamation, "Kestrova Security");
}

void LogViewer::show_log() {
    if (!log_.log_in_list()) log_.load_list3();
    show_viewer(true);
}

// Showing and hiding go through the same controls in the same order: the
// lock and view buttons, then the viewer's own controls.
void LogViewer::show_viewer(bool shown) {
    shown_ = shown;
    main_.ctl("Command5").set_enabled(!shown);
    main_.ctl("Command9").set_enabled(!shown);
    for (const auto name : kViewerControls) main_.ctl(name).set_visible(shown);
    main_.ctl("Label4", 0).set_visible(shown);
    main_.ctl("Label4", 1).set_visible(shown);
}

void LogViewer::Command5_Click() {
    show_log();
    // An empty list is no proof of no attempts when the file was not read.
    if (!log_.log_in_list())
        platform::message_box(kLogUnreadable, platform::kMbOkExclamation, "Kestrova Security");
    else if (log_.records().empty())
        platform::message_box(
            "There are no unauthorized attempts to access this computer since you last cleared "
            "the attempts log.",
            platform::kMbOkInformation, "Kestrova Security");
}

void LogViewer::Command12_Click() { show_viewer(false); }

// The selected line is the record of the same index.
void LogViewer::Command11_Click() {
    const int index = main_.ctl("List2").list_index();
    const auto& records = log_.records();
    if (index < 0 || static_cast<std::size_t>(index) >= records.size() ||
        records[static_cast<std::size_t>(index)].line.empty()) {
        platform::message_box("You must first select a Log Entry.", platform::kMbOkInformation,
                              "Remove Entry");
        return;
    }
    const std::string& line = records[static_cast<std::size_t>(index)].line;
    const std::string text = "Date/Time: " + std::string(rtrim(line.substr(0, 21))) + "\r\r" +
                             "Answer: " + line_answer(line);
    if (platform::message_box(text, platform::kMbYesNoQuestion, "Delete This Entry?") !=
        platform::kIdYes)
        return;
    log_.remove(static_cast<std::size_t>(index));
    report_unsaved_log();
}

void LogViewer::DeleteAll_Click() {
    if (platform::message_box("Remove all Items From the Log?", platform::kMbYesNoQuestion,
                              "Reset the Log?") != platform::kIdYes)
        return;
    log_.clear();
    report_unsaved_log();
}

void LogViewer::List2_MouseDown(platform::MouseButton button) {
    if (button == platform::MouseButton::Right) main_.popup_menu("mnuLog");
}

}  // namespace kv
