#include "app/splash.h"

#include <cstdlib>
#include <string>

#include "app/form1.h"
#include "platform/system.h"
#include "store/secrets.h"
#include "store/settings.h"
#include "store/text.h"
#include "ui/maker.h"
#include "ui/state.h"
#include "ui/version.h"

namespace kv {

using platform::kSpiSetScreenSaverRunning;

std::optional<std::string_view> platform_label(unsigned platform_id) {
    switch (platform_id) {
        case 1:
            return "For Windows 95/98";
        case 2:
            return "For Windows NT";
        default:
            return std::nullopt;
    }
}

std::string old_windows_message() {
    return std::string("This software is designed to run on Windows95/98 or NT4. Contact ") +
           KV_SUPPORT_EMAIL +
           " for information on receiving alternate versions of this product. You can also "
           "visit our web site at " KV_WEB_HOST
           " for the latest product information. The application will now terminate.";
}

std::optional<double> start_mode_number(std::string_view login_mode) {
    const std::string text(trim(login_mode));
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size()) return std::nullopt;
    return value;
}

void frmSplash::Form_Load() {
    if (platform::previous_instance()) {
        platform::message_box("Kestrova is already running!", platform::kMbOk, KV_APP_TITLE);
        platform::end_process();
    }
    // Tells Windows 95/98 a screen saver runs: no Ctrl+Alt+Del or task
    // switching while the splash is up.
    platform::system_parameters_info(kSpiSetScreenSaverRunning, -1);
    program_.main_unlocked = 0;

    const auto os = platform::os_version();
    if (os.major < 4) {
        platform::message_box(old_windows_message(), platform::kMbOkStop, "Looking for Windows!");
        platform::end_process();
    }
    // On the screen before its labels are filled and measured: they are
    // done before its first paint, and the start shows a window sooner.
    window_.show();
    if (const auto label = platform_label(os.platform_id)) ctl("lblPlatform").set_text(*label);

    const auto v = platform::version_info();
    ctl("lblVersion").set_text(version_text());
    ctl("lblProductName").set_text(KV_APP_TITLE);
    ctl("lblCopyright").set_text(v.legal_copyright);
    ctl("lblTrademark").set_text(v.legal_trademarks);
    ctl("lblCompany").set_text(v.company_name);
}

void frmSplash::Form_Paint(platform::Painter&) {
    window_.set_caption("");
    set_timer("Timer2", true);
}

void frmSplash::Timer2_Timer() {
    const auto question = store::question_state();
    // Neither a lock whose answer cannot be checked nor a set-up in its
    // place: the cause is told and the program ends.
    if (question == store::QuestionState::Denied) {
        set_timer("Timer2", false);
        platform::message_box(kQuestionDenied, platform::kMbOkStop, KV_APP_TITLE);
        platform::end_process();
    }
    if (question == store::QuestionState::Absent) {
        set_timer("Timer2", false);
        open_main_window();
        return;
    }
    platform::set_default_pointer();
    start_handover();
    set_timer("Timer2", false);
}

void frmSplash::open_main_window() {
    main_.show_with_lock_armed(platform::WindowState::Normal);
    main_.load_color();
}

void frmSplash::start_handover() {
    Unload();
    // A start mode that is not a number locks: a question is stored, so the
    // program must not open unlocked.
    if (start_mode_number(store::read_login()) == 1.0) {
        main_.show_with_lock_armed(platform::WindowState::Minimized);
        main_.load_color();
    } else {
        program_.main_unlocked = 1;
        main_.load_color();
        main_.show_lock(LockReason::Start);
    }
}

void frmSplash::Form_Unload() { platform::system_parameters_info(kSpiSetScreenSaverRunning, 0); }

}  // namespace kv
