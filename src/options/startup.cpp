#include "options/startup.h"

#include "platform/registry.h"
#include "platform/system.h"
#include "store/settings.h"
#include "ui/maker.h"

namespace kv {

namespace {
constexpr const char* kNextWindows = "This action will take effect next time you restart Windows.";
constexpr const char* kNextKestrova =
    "This action will take effect next time you restart Kestrova.";

// The start modes: the item checked for each, how it is stored and the
// title of the message that confirms it.
struct StartModeRow {
    StartMode mode;
    MenuName<layout::kForm1> menu;
    long (*store)();
    const char* title;
};
constexpr StartModeRow kStartModes[] = {
    {StartMode::Lock, "autorun", store::set_login_lock, "Add Protection to Windows Startup"},
    {StartMode::Hidden, "autorunnolock", store::set_login_hidden, "Add to StartUp"},
};
}  // namespace

// In each pair of start-up items exactly one carries the checkmark.
void StartupMenu::check_autorun(bool on) {
    main_.menu("autorunatstart").set_checked(on);
    main_.menu("noautorun").set_checked(!on);
}

void StartupMenu::check_start_mode(StartMode mode) {
    for (const auto& m : kStartModes) main_.menu(m.menu).set_checked(m.mode == mode);
}

void StartupMenu::load_startup_checks() {
    check_stored_autorun();
    check_stored_start_mode();
}

void StartupMenu::check_stored_autorun() {
    check_autorun(store::read_value(store::kRunKey, "Kestrova").has_value());
}

void StartupMenu::check_stored_start_mode() {
    login_mode_ = store::read_login();
    check_start_mode(login_mode_ == "1" ? StartMode::Hidden : StartMode::Lock);
}

// A change the registry did not take is reported, never confirmed, and the
// checkmarks then show what is stored.
bool StartupMenu::stored_or_reported(long error, const char* what) {
    if (error == 0) return true;
    platform::message_box(store::not_stored_text(what, error), platform::kMbOkExclamation,
                          KV_APP_TITLE);
    check_stored_autorun();
    check_stored_start_mode();
    return false;
}

void StartupMenu::set_start_mode(StartMode mode) {
    for (const auto& m : kStartModes) {
        if (m.mode != mode) continue;
        if (!stored_or_reported(m.store(), "The start-up option")) return;
        check_start_mode(mode);
        platform::message_box(kNextKestrova, platform::kMbOkInformation, m.title);
    }
}

void StartupMenu::enable_autorun() {
    // Both must never autorun: when Dulcimet's entry cannot be checked, ours
    // stays off.
    const store::ValueRead dulcimet = store::check_dulcimet_autorun();
    dulcimet_autorun_ = dulcimet.found();
    if (dulcimet.result != platform::kErrorFileNotFound &&
        !stored_or_reported(dulcimet.result, "The AutoRun option"))
        return;
    if (dulcimet_autorun_) {
        const int answer = platform::message_box(
            "Dulcimet is also installed on your system with the AutoRun feature selected. You "
            "cannot have both Dulcimet and Kestrova using the AutoRun feature. Would you like to "
            "disable Dulcimet and enable Kestrova?",
            platform::kMbYesNoQuestion, "Dulcimet Detected");
        if (answer != platform::kIdYes) {
            if (!stored_or_reported(store::remove_autorun(), "The AutoRun option")) return;
            check_autorun(false);
            platform::message_box("Kestrova will not AutoRun at Windows Startup.",
                                  platform::kMbOkInformation, "Options Reset");
            return;
        }
        // Both must not autorun: without Dulcimet's entry gone, ours stays off.
        if (!stored_or_reported(store::delete_checked(store::kRunKey, "Dulcimet"),
                                "The change to Dulcimet's AutoRun entry"))
            return;
    }
    if (!stored_or_reported(store::add_autorun(), "The AutoRun option")) return;
    check_autorun(true);
    platform::message_box(kNextWindows, platform::kMbOkInformation, "Add to StartUp");
}

void StartupMenu::noautorun_Click() {
    if (!stored_or_reported(store::remove_autorun(), "The AutoRun option")) return;
    check_autorun(false);
    platform::message_box(kNextWindows, platform::kMbOkInformation, "Remove from StartUp");
}

}  // namespace kv
