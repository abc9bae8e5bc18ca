#include "ui/form_base.h"

#include "platform/system.h"

namespace kv {

// A window that cannot be created leaves the form unloaded: its load
// handler does not run, and the next reference tries again.
void FormBase::Load() {
    if (window_.created()) return;
    window_.create();
    if (window_.created()) Form_Load();
}

void FormBase::Show() {
    Load();
    window_.show();
}

void FormBase::ShowModal() {
    Load();
    window_.show_modal();
}

void FormBase::Hide() {
    Load();
    window_.hide();
}

void FormBase::Unload() {
    if (!loaded()) return;
    Form_Unload();
    window_.destroy();
}

void FormBase::set_window_state(platform::WindowState s) {
    Load();
    window_.set_state(s);
}

void set_topmost(platform::NativeWindow w, int state) {
    const std::intptr_t after = state == kTopmost      ? platform::kHwndTopmost
                                : state == kNotTopmost ? platform::kHwndNoTopmost
                                                       : platform::kHwndTop;
    platform::set_window_pos(w, after, platform::kSwpNoSizeNoMoveNoActivateShow);
}

}  // namespace kv
