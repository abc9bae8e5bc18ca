#include "options/startup.h"

#include <cctype>
#include <vector>

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
    platform::Result (*store)();
    const char* title;
};
constexpr StartModeRow kStartModes[] = {
    {StartMode::Lock, "autorun", store::set_login_lock, "Add Protection to Windows Startup"},
    {StartMode::Hidden, "autorunnolock", store::set_login_hidden, "Add to StartUp"},
};

constexpr const char* kAutorunOn = "/autorun on";
constexpr const char* kAutorunOff = "/autorun off";
constexpr long kErrorInvalidParameter = 87;
constexpr const char* kNotPermitted =
    "The AutoRun option was not changed. Turning it on or off needs an administrator's "
    "permission, which was not given.";

// What the elevated copy stores. Both must never autorun: Dulcimet's entry
// goes before ours comes (the user agreed to that before the copy started).
platform::Result store_autorun(bool on) {
    if (!on) return store::remove_autorun();
    if (store::check_dulcimet_autorun().found())
        if (const auto r = store::delete_checked(store::kRunKey, "Dulcimet"); !r) return r;
    return store::add_autorun();
}
}  // namespace

std::optional<long> StartupMenu::run_command(std::string_view command_line) {
    std::vector<std::string> words;
    bool in_word = false;
    for (const unsigned char c : command_line) {
        if (std::isspace(c)) {
            in_word = false;
            continue;
        }
        if (!in_word) words.emplace_back();
        in_word = true;
        words.back() += static_cast<char>(std::tolower(c));
    }
    if (words.empty() || words[0] != "/autorun") return std::nullopt;
    if (words.size() != 2 || (words[1] != "on" && words[1] != "off"))
        return kErrorInvalidParameter;
    return store_autorun(words[1] == "on").error();
}

// In each pair of start-up items exactly one carries the checkmark.
void StartupMenu::check_autorun(bool on) {
    main_.menu("autorunatstart").set_checked(on);
    main_.menu("noautorun").set_checked(!on);
}

void StartupMenu::check_start_mode(StartMode mode) {
    for (const auto& m : kStartModes) main_.menu(m.menu).set_checked(m.mode == mode);
}

// Autorun is stored under HKEY_LOCAL_MACHINE's Run key, which only an
// administrator may change: without the rights, its items show the shield.
void StartupMenu::load_startup_checks() {
    const bool shield = !platform::process_elevated();
    main_.menu("autorunatstart").set_shield(shield);
    main_.menu("noautorun").set_shield(shield);
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
bool StartupMenu::stored_or_reported(platform::Result stored, const char* what) {
    if (stored) return true;
    platform::message_box(store::not_stored_text(what, stored), platform::kMbOkExclamation,
                          KV_APP_TITLE);
    check_stored_autorun();
    check_stored_start_mode();
    return false;
}

// Stores autorun on or off: directly with the rights, otherwise through an
// elevated copy of the program, after the system asked for an
// administrator's consent. Nothing secret goes on its command line. True
// when what is stored is what was asked; otherwise the cause is shown and
// the checkmarks show what is stored.
bool StartupMenu::autorun_changed(bool on) {
    if (platform::process_elevated())
        return stored_or_reported(on ? store::add_autorun() : store::remove_autorun(),
                                  "The AutoRun option");
    // Nothing to remove: no consent to ask for. (Reading is all this
    // process may do there.)
    if (!on && store::read_sequence(store::kRunKey, "Kestrova").result ==
                   platform::kErrorFileNotFound)
        return true;
    const long code = platform::run_elevated(on ? kAutorunOn : kAutorunOff);
    if (code == platform::kErrorCancelled) {
        platform::message_box(kNotPermitted, platform::kMbOkExclamation, KV_APP_TITLE);
        check_stored_autorun();
        return false;
    }
    if (!stored_or_reported(code, "The AutoRun option")) return false;
    // The copy said it stored it: the checkmark follows what the registry
    // holds all the same.
    const bool stored =
        store::read_value(store::kRunKey, "Kestrova").has_value();
    return stored == on || stored_or_reported(store::kErrorReadBackDiffers, "The AutoRun option");
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
            if (!autorun_changed(false)) return;
            check_autorun(false);
            platform::message_box("Kestrova will not AutoRun at Windows Startup.",
                                  platform::kMbOkInformation, "Options Reset");
            return;
        }
        // Both must not autorun: without Dulcimet's entry gone, ours stays
        // off. Without the rights, the elevated copy removes it.
        if (platform::process_elevated() &&
            !stored_or_reported(store::delete_checked(store::kRunKey, "Dulcimet"),
                                "The change to Dulcimet's AutoRun entry"))
            return;
    }
    if (!autorun_changed(true)) return;
    check_autorun(true);
    platform::message_box(kNextWindows, platform::kMbOkInformation, "Add to StartUp");
}

void StartupMenu::noautorun_Click() {
    if (!autorun_changed(false)) return;
    check_autorun(false);
    platform::message_box(kNextWindows, platform::kMbOkInformation, "Remove from StartUp");
}

}  // namespace kv
