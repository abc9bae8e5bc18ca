// The log viewer: a group of the main window's controls that show the
// attempt list, delete single entries and clear the log.
#include "app/form1.h"
#include "ui/maker.h"
#include "log/attempt_log.h"
#include "platform/system.h"
#include "store/text.h"

namespace kv {

namespace {
constexpr const char* kViewerControls[] = {"Command11", "Command12", "DeleteAll", "List2"};
constexpr const char* kLogUnreadable =
    "The access log file could not be read, so earlier attempts may be missing from this list. "
    "They stay in the file.";
constexpr const char* kLogUnsaved =
    "The access log file could not be written. The list shows your change; it is saved with "
    "the next change to the log.";
}  // namespace

void Form1::report_unsaved_log() {
    if (log_unsaved_)
        platform::message_box(kLogUnsaved, platform::kMbOkExclamation, "Kestrova Security");
}

void Form1::show_log() {
    if (!log_in_list_) load_list3();
    ctl("Command5").set_enabled(false);
    ctl("Command9").set_enabled(false);
    for (const char* name : kViewerControls) ctl(name).set_visible(true);
    ctl("Label4", 0).set_visible(true);
    ctl("Label4", 1).set_visible(true);
}

void Form1::Command5_Click() {
    show_log();
    // An empty list is no proof of no attempts when the file was not read.
    if (!log_in_list_)
        platform::message_box(kLogUnreadable, platform::kMbOkExclamation, "Kestrova Security");
    else if (ctl("List2").list_count() == 0)
        platform::message_box(
            "There are no unauthorized attempts to access this computer since you last cleared "
            "the attempts log.",
            platform::kMbOkInformation, "Kestrova Security");
}
void Form1::mnuViewLog_Click() { Command5_Click(); }

void Form1::Command12_Click() {
    ctl("Command5").set_enabled(true);
    ctl("Command9").set_enabled(true);
    for (const char* name : kViewerControls) ctl(name).set_visible(false);
    ctl("Label4", 0).set_visible(false);
    ctl("Label4", 1).set_visible(false);
}
void Form1::mnuHide_Click() { Command12_Click(); }

void Form1::Command11_Click() {
    auto list = ctl("List2");
    const int index = list.list_index();
    const std::string line = list.list_item(index);
    if (index < 0 || line.empty()) {
        platform::message_box("You must first select a Log Entry.", platform::kMbOkInformation,
                              "Remove Entry");
        return;
    }
    const std::string text = "Date/Time: " + std::string(rtrim(line.substr(0, 21))) + "\r\r" +
                             "Answer: " + line_answer(line);
    if (platform::message_box(text, platform::kMbYesNoQuestion, "Delete This Entry?") !=
        platform::kIdYes)
        return;
    list.list_remove(index);
    update3();
    report_unsaved_log();
}
void Form1::mnuDelete_Click() { Command11_Click(); }

void Form1::DeleteAll_Click() {
    if (platform::message_box("Remove all Items From the Log?", platform::kMbYesNoQuestion,
                              "Reset the Log?") != platform::kIdYes)
        return;
    ctl("List2").list_clear();
    update3();
    report_unsaved_log();
}

void Form1::on_mouse_down(std::string_view control, platform::MouseButton button) {
    if (takes_input() && control == "List2" && button == platform::MouseButton::Right)
        window_.popup_menu("mnuLog");
}

}  // namespace kv
