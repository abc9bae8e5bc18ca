// What happens when the user walks away, as the main window carries it: the
// "&When Away" menu, the lock after a time without input, the lock before
// the machine sleeps, and the covers that hide every monitor while a lock
// holds. The settings are read afresh each time (store/away.h); while a
// lock holds, the covers' setting only when the registry tells of a change.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "options/colors.h"
#include "platform/away.h"
#include "ui/lock_reason.h"
#include "ui/main_window.h"

namespace kv {

// What the walk-away part asks of the program.
class AwayHost {
public:
    // False where no lock may come now: before the main window has loaded,
    // during the first-run set-up, without a stored question, while a lock
    // holds.
    virtual bool may_lock_when_away() = 0;
    // Locks at once, as F12 does; the main window keeps what it was before.
    virtual void lock_when_away(LockReason why) = 0;
    // The display changed, after the covers were marked to be laid out again.
    virtual void display_changed() = 0;

protected:
    ~AwayHost() = default;
};

// A choice of "Lock When &Idle": its limit and its menu item. A limit that
// is none of them checks none.
struct IdleChoice {
    unsigned minutes;  // 0: never
    MenuName<layout::kForm1> menu;
};

inline constexpr IdleChoice kIdleChoices[] = {
    {0, "mnuIdleNever"}, {1, "mnuIdle1"},   {5, "mnuIdle5"},
    {10, "mnuIdle10"},   {15, "mnuIdle15"}, {30, "mnuIdle30"},
};

// True when `idle_ms` without input reach a limit of `limit_secs` (0: never).
bool idle_limit_reached(std::uint32_t idle_ms, std::uint32_t limit_secs);

class WalkAway : private platform::SessionEvents, private platform::CoverPainter {
public:
    // The covers paint the colour the main window shows.
    WalkAway(MainWindow& main, AwayHost& host, const ColourMenu& colours);

    // The check marks, and the items a policy decides greyed: at the main
    // window's load and whenever its menu opens.
    void load_away_checks();
    // An idle choice's menu item: stored unless a policy decides it.
    void choose(const IdleChoice& choice);
    // Each turns its setting over.
    void mnuSleepLock_Click();
    void mnuCover_Click();

    // While a lock holds, at its load and at each tick of its guard: the
    // covers, when wanted, are up (made again where one went) and under the
    // lock, which is raised over them next.
    void cover_under_lock();
    // The right answer: the covers go, and the time without input counts
    // from now.
    void uncover();

private:
    void stored_or_reported(long error);
    void on_second() override;
    void on_keys_changed() override;
    void on_suspend() override;
    void on_display_off() override { on_suspend(); }
    void on_display_change() override;
    void paint_cover(platform::Painter& p) override;

    void lock_away(LockReason why);
    void decide_covers();

    MainWindow& main_;
    AwayHost& host_;
    const ColourMenu& colours_;
    // Whether this lock is covered: decided at its load and again at each
    // change of the registry heard while it holds; nothing while no lock is
    // up.
    std::optional<bool> covers_wanted_;
    struct Placed {
        platform::Rect monitor;
        std::unique_ptr<platform::Cover> window;
    };
    std::vector<Placed> covers_;
    bool monitors_changed_ = false;  // the covers are laid out afresh
    // When the last answer was given, on the system's clock.
    std::optional<std::uint32_t> answered_at_;
    platform::SessionWatch watch_{*this};
};

}  // namespace kv
