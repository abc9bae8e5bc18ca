#include "options/walk_away.h"

#include <algorithm>

#include "options/colors.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "store/away.h"
#include "store/policy_names.h"
#include "store/settings.h"
#include "ui/maker.h"
#include "ui/state.h"

namespace kv {

namespace {

// Below the shortest limit there is to reach: no setting need be read.
constexpr std::uint32_t kShortestLimitMs = 1000;

}  // namespace

bool idle_limit_reached(std::uint32_t idle_ms, std::uint32_t limit_secs) {
    return limit_secs != 0 && idle_ms >= std::uint64_t{limit_secs} * 1000;
}

WalkAway::WalkAway(MainWindow& main, AwayHost& host, const ColourMenu& colours)
    : main_(main), host_(host), colours_(colours) {}

// A setting a policy decides shows the policy's state, greyed.
void WalkAway::load_away_checks() {
    const auto idle = store::idle_lock_secs();
    for (const auto& c : kIdleChoices) {
        auto item = main_.menu(c.menu);
        item.set_checked(c.minutes * 60 == idle.value);
        item.set_enabled(!idle.by_policy);
    }
    const auto sleep = store::sleep_lock();
    main_.menu("mnuSleepLock").set_checked(sleep.value);
    main_.menu("mnuSleepLock").set_enabled(!sleep.by_policy);
    const auto cover = store::cover_screen();
    main_.menu("mnuCover").set_checked(cover.value);
    main_.menu("mnuCover").set_enabled(!cover.by_policy);
}

// Stored at once, and the check marks then show what is stored: a choice
// the registry did not take moves none, and is said with its cause.
void WalkAway::stored_or_reported(long error) {
    load_away_checks();
    if (error != platform::kErrorSuccess)
        platform::message_box(store::not_stored_text("The \"When Away\" choice", error),
                              platform::kMbOkExclamation, KV_APP_TITLE);
}

void WalkAway::choose(const IdleChoice& choice) {
    if (!store::idle_lock_secs().by_policy)
        return stored_or_reported(store::set_idle_lock_minutes(choice.minutes).error());
    load_away_checks();
}

void WalkAway::mnuSleepLock_Click() {
    if (const auto s = store::sleep_lock(); !s.by_policy)
        return stored_or_reported(store::set_sleep_lock(!s.value).error());
    load_away_checks();
}

void WalkAway::mnuCover_Click() {
    if (const auto c = store::cover_screen(); !c.by_policy)
        return stored_or_reported(store::set_cover(!c.value).error());
    load_away_checks();
}

// Once a second while no lock holds. The time without input counts from the
// last answer at the latest, whatever input the system saw.
void WalkAway::on_second() {
    std::uint32_t quiet = platform::input_idle_ms();
    if (answered_at_) quiet = std::min(quiet, platform::tick_ms() - *answered_at_);
    if (quiet < kShortestLimitMs || !host_.may_lock_when_away()) return;
    if (idle_limit_reached(quiet, store::idle_lock_secs().value)) lock_away(LockReason::Idle);
}

void WalkAway::on_suspend() {
    if (store::sleep_lock().value && host_.may_lock_when_away()) lock_away(LockReason::Sleep);
}

// The main window keeps what it was before the lock itself.
void WalkAway::lock_away(LockReason why) { host_.lock_when_away(why); }

// --- covers -------------------------------------------------------------------

// On a touch or pen machine a finger reaches past the held pointer: there
// the covers are always up.
void WalkAway::decide_covers() {
    covers_wanted_ = store::cover_screen().value || platform::touch_ready();
    if (!*covers_wanted_) covers_.clear();
}

// While a lock holds the idle check is not needed, and the covers' setting
// is read again only when the registry says one of its keys changed: no
// timer of the watch's runs and nothing reads the registry on a clock.
void WalkAway::cover_under_lock() {
    if (!covers_wanted_) {
        watch_.tick(false);
        watch_.watch_keys({store::kPolicyKey, store::kVendorKey});
        decide_covers();
    }
    if (!*covers_wanted_) return;
    if (covers_.empty() || monitors_changed_) {
        covers_.clear();
        for (const auto& r : platform::monitor_rects()) covers_.push_back({r, nullptr});
        monitors_changed_ = false;
    }
    // One that could not be made, or went, is made again; the lock holds
    // all the same.
    for (auto& c : covers_) {
        if (!c.window || !c.window->alive())
            c.window = std::make_unique<platform::Cover>(
                c.monitor, static_cast<platform::CoverPainter&>(*this));
        c.window->raise();
    }
}

void WalkAway::uncover() {
    covers_.clear();
    covers_wanted_.reset();
    answered_at_ = platform::tick_ms();
    watch_.watch_keys({});
    watch_.tick(true);
}

// Up or gone at the guard's next tick.
void WalkAway::on_keys_changed() {
    if (covers_wanted_) decide_covers();
}

void WalkAway::on_display_change() {
    monitors_changed_ = true;
    host_.display_changed();
}

void WalkAway::paint_cover(platform::Painter& p) { paint_gradient(p, colours_.current_color()); }

}  // namespace kv
