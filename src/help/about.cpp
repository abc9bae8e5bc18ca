#include "help/about.h"

#include "platform/system.h"
#include "ui/maker.h"
#include "ui/version.h"

namespace kv {

void AboutBox::Form_Load() {
    const auto v = platform::version_info();
    window_.set_caption(std::string("About ") + KV_APP_TITLE);
    ctl("lblAppName", 0).set_text(v.product_name);
    ctl("lblAppName", 1).set_text(v.product_name);
    ctl("lblVersion").set_text(version_text());
    ctl("lblDescription").set_text(v.file_description);
    ctl("lblComments").set_text(v.comments);
    ctl("lblCompany").set_text(v.company_name);
    ctl("lblCopyright").set_text(v.legal_copyright);
    ctl("lblTrademark").set_text(v.legal_trademarks);
}

void AboutBox::cmdOK_Click() { Unload(); }

// --- the Help menu -------------------------------------------------------

namespace {
// ShellExecuteA reports failure with values from 0 to 32.
void open_with_shell(platform::NativeWindow owner, const char* target, const char* failure) {
    const auto result = platform::shell_execute(owner, "open", target, "1", "1", 1);
    if (result >= 0 && result <= 32) platform::message_box(failure, platform::kMbOk, KV_APP_TITLE);
}
}  // namespace

void HelpMenu::abtDulcimet_Click() { about_.ShowModal(); }

void HelpMenu::mnuOnline_Click() {
    open_with_shell(main_.window().handle(), KV_WEB_URL,
                    "Could not connect to Orvane Online. Start Your Internet Browser and try "
                    "again..");
}

void HelpMenu::mnuEmail_Click() {
    open_with_shell(main_.window().handle(), "mailto:" KV_SUPPORT_EMAIL,
                    "Could not start your email program.");
}

}  // namespace kv
