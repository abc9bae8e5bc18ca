// Start-up options: autorun through the Run key, the conflict with the
// sibling product's autorun entry, and the start mode.
#include "app/form1.h"
#include "app/program.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "store/settings.h"

namespace kv {

namespace {
constexpr int kIdYes = 6;
constexpr const char* kNextWindows = "This action will take effect next time you restart Windows.";
constexpr const char* kNextKestrova =
    "This action will take effect next time you restart Kestrova.";
}  // namespace

// In each pair of start-up items exactly one carries the checkmark.
void Form1::check_autorun(bool on) {
    menu("autorunatstart").set_checked(on);
    menu("noautorun").set_checked(!on);
}

void Form1::check_start_hidden(bool on) {
    menu("autorunnolock").set_checked(on);
    menu("autorun").set_checked(!on);
}

void Form1::load_startup_checks() {
    const bool autorun = store::read_value(store::kRunKey, "Kestrova").has_value();
    check_autorun(autorun);
    store::read_login(program_);
    const bool hidden = program_.login_mode == "1";
    check_start_hidden(hidden);
}

void Form1::autorun_Click() {
    check_start_hidden(false);
    store::set_login_lock();
    platform::message_box(kNextKestrova, 64, "Add Protection to Windows Startup");
}

void Form1::autorunnolock_Click() {
    check_start_hidden(true);
    store::set_login_hidden();
    platform::message_box(kNextKestrova, 64, "Add to StartUp");
}

void Form1::autorunatstart_Click() {
    store::check_dulcimet_autorun(program_);
    if (program_.dulcimet_autorun) {
        const int answer = platform::message_box(
            "Dulcimet is also installed on your system with the AutoRun feature selected. You "
            "cannot have both Dulcimet and Kestrova using the AutoRun feature. Would you like to "
            "disable Dulcimet and enable Kestrova?",
            36, "Dulcimet Detected");
        if (answer != kIdYes) {
            check_autorun(false);
            store::remove_autorun();
            platform::message_box("Kestrova will not AutoRun at Windows Startup.", 64,
                                  "Options Reset");
            return;
        }
        store::delete_value(store::kRunKey, "Dulcimet");
    }
    check_autorun(true);
    store::add_autorun();
    platform::message_box(kNextWindows, 64, "Add to StartUp");
}

void Form1::noautorun_Click() {
    check_autorun(false);
    store::remove_autorun();
    platform::message_box(kNextWindows, 64, "Remove from StartUp");
}

}  // namespace kv
