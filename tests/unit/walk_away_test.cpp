// When the user walks away: the stored values and the policies over them,
// the "&When Away" menu, the lock after a time without input, the lock
// before sleep, and the covers.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "options/walk_away.h"
#include "program_fixture.h"
#include "store/away.h"
#include "store/policy_names.h"

namespace kv::test {
namespace {

using platform::WindowState;

std::string dword(std::uint32_t v) {
    std::string bytes(4, '\0');
    std::memcpy(bytes.data(), &v, 4);
    return bytes;
}

class Away : public ProgramTest {
protected:
    void put_policy(const char* name, std::uint32_t v) {
        sim::put_value(store::kPolicyKey, name, platform::kRegDword, dword(v));
    }
    void put_user(const char* name, const char* text) {
        sim::put_string(store::kVendorKey, name, text);
    }
    // Nobody touches the machine from now on.
    void walk_away() { world().last_input_ms = world().now_ms; }
    // Runs `meanwhile` while the message box `title` is open.
    void while_open(std::string title, std::function<void()> meanwhile) {
        world().while_box_open = [this, title, meanwhile](const sim::MessageBoxCall& b) {
            if (b.title == title)
                meanwhile();
            else
                while_open(title, meanwhile);
        };
    }
    bool locked() { return p().form4().holding(); }
    int locks_made() {
        int n = 0;
        for (const auto& t : world().trace) n += t == "create Form4";
        return n;
    }
    // The number of milliseconds from now until a lock holds, at most `limit`.
    std::int64_t ms_until_locked(std::int64_t limit) {
        const auto from = world().now_ms;
        while (!locked() && world().now_ms - from < limit) sim::advance(100);
        return world().now_ms - from;
    }
    bool checked(const char* item) { return form("Form1")->menu(item).checked(); }
    bool greyed(const char* item) { return !form("Form1")->menu(item).enabled(); }
};

// --- stored values and policies -------------------------------------------------------

TEST_F(Away, EachValueAndPolicyGoodAndBad) {
    using platform::kRegBinary;
    using platform::kRegDword;
    using platform::kRegSz;
    struct Case {
        const char* what;
        std::uint32_t type;
        std::string data;
        std::uint32_t idle_secs;  // as "IdleLock"
        bool on;                  // as "SleepLock" and "Cover"
    };
    const std::string nul(1, '\0');
    const Case user[] = {
        {"absent", 0, "", 0, false},
        {"never", kRegSz, "0" + nul, 0, false},
        {"one", kRegSz, "1" + nul, 60, true},
        {"fifteen", kRegSz, "15" + nul, 900, false},
        {"a day and more", kRegSz, "99999999999999999999" + nul, 86400, false},
        {"text", kRegSz, "abc" + nul, 0, false},
        {"negative", kRegSz, "-5" + nul, 0, false},
        {"blank", kRegSz, " 5" + nul, 0, false},
        {"empty", kRegSz, nul, 0, false},
        {"no bytes", kRegSz, "", 0, false},
        {"dword", kRegDword, dword(1), 0, false},
        {"binary", kRegBinary, "1" + nul, 0, false},
    };
    for (const auto& c : user) {
        SCOPED_TRACE(c.what);
        sim::reset();
        if (c.type != 0)
            for (const char* name : {store::kIdleLockValue, store::kSleepLockValue,
                                     store::kCoverValue})
                sim::put_value(store::kVendorKey, name, c.type, c.data);
        EXPECT_EQ(store::idle_lock_secs().value, c.idle_secs);
        EXPECT_EQ(store::sleep_lock().value, c.on);
        EXPECT_EQ(store::cover_screen().value, c.on);
        EXPECT_FALSE(store::idle_lock_secs().by_policy);
        EXPECT_FALSE(store::cover_screen().by_policy);
    }

    // Policies win over the user's values when they are present and good.
    struct PolicyCase {
        const char* what;
        std::uint32_t type;
        std::string data;
        bool applies;
        std::uint32_t secs;  // InactivityTimeoutSecs
        bool on;             // LockBeforeSleep, CoverScreen
    };
    const PolicyCase policies[] = {
        {"zero", kRegDword, dword(0), true, 0, false},
        {"one", kRegDword, dword(1), true, 1, true},
        {"huge", kRegDword, dword(4000000000u), true, 86400, false},
        {"two", kRegDword, dword(2), true, 2, false},
        {"text", kRegSz, "1" + nul, false, 0, false},
        {"short", kRegDword, std::string("\1\0", 2), false, 0, false},
        {"long", kRegDword, dword(1) + dword(0), false, 0, false},
    };
    for (const auto& c : policies) {
        SCOPED_TRACE(c.what);
        sim::reset();
        put_user(store::kIdleLockValue, "5");
        put_user(store::kSleepLockValue, "1");
        put_user(store::kCoverValue, "1");
        for (const char* name : {store::kInactivityTimeoutPolicy, store::kLockBeforeSleepPolicy,
                                 store::kCoverScreenPolicy})
            sim::put_value(store::kPolicyKey, name, c.type, c.data);
        const auto idle = store::idle_lock_secs();
        EXPECT_EQ(idle.by_policy, c.applies);
        EXPECT_EQ(idle.value, c.applies ? c.secs : 300u);
        // A switch other than 0 or 1 counts as absent.
        const bool switch_applies = c.applies && (c.data == dword(0) || c.data == dword(1));
        EXPECT_EQ(store::sleep_lock().by_policy, switch_applies);
        EXPECT_EQ(store::cover_screen().value, switch_applies ? c.on : true);
    }
}

TEST_F(Away, PoliciesAreReadWithoutWriteAccess) {
    standard_user(false);
    put_policy(store::kInactivityTimeoutPolicy, 3);
    put_user(store::kCoverValue, "1");
    EXPECT_EQ(store::idle_lock_secs().value, 3u);
    EXPECT_TRUE(store::cover_screen().value);
}

// --- the menu ----------------------------------------------------------------------

TEST_F(Away, MenuStoresEachChoiceAndMovesTheCheckMark) {
    open_unlocked();
    standard_user();
    auto& f1 = *form("Form1");
    EXPECT_TRUE(checked("mnuIdleNever"));
    EXPECT_FALSE(checked("mnuSleepLock"));
    EXPECT_FALSE(checked("mnuCover"));
    const std::pair<const char*, const char*> idle[] = {
        {"mnuIdle1", "1"}, {"mnuIdle5", "5"},   {"mnuIdle10", "10"},
        {"mnuIdle15", "15"}, {"mnuIdle30", "30"}, {"mnuIdleNever", "0"},
    };
    for (const auto& [item, stored] : idle) {
        SCOPED_TRACE(item);
        sim::choose(f1, item);
        EXPECT_EQ(stored_text(*sim::get_value(store::kVendorKey, store::kIdleLockValue)), stored);
        for (const auto& [other, ignored] : idle) EXPECT_EQ(checked(other), other == item) << other;
    }
    for (const char* item : {"mnuSleepLock", "mnuCover"}) {
        SCOPED_TRACE(item);
        const char* name = item == std::string("mnuCover") ? store::kCoverValue
                                                            : store::kSleepLockValue;
        sim::choose(f1, item);
        EXPECT_EQ(stored_text(*sim::get_value(store::kVendorKey, name)), "1");
        EXPECT_TRUE(checked(item));
        sim::choose(f1, item);
        EXPECT_EQ(stored_text(*sim::get_value(store::kVendorKey, name)), "0");
        EXPECT_FALSE(checked(item));
    }
    EXPECT_TRUE(world().boxes.empty());
    // A choice the registry does not take moves no check mark.
    world().key_grants.clear();
    sim::choose(f1, "mnuIdle5");
    ASSERT_EQ(world().boxes.size(), 1u);
    EXPECT_EQ(world().boxes[0].text,
              store::not_stored_text("The \"When Away\" choice", platform::kErrorAccessDenied));
    EXPECT_TRUE(checked("mnuIdleNever"));
    EXPECT_FALSE(checked("mnuIdle5"));
}

TEST_F(Away, PoliciesGreyTheItemsShowTheirStateAndApplyWhenTheMenuOpens) {
    open_unlocked();
    standard_user();
    auto& f1 = *form("Form1");
    put_user(store::kIdleLockValue, "5");
    put_policy(store::kInactivityTimeoutPolicy, 600);
    put_policy(store::kCoverScreenPolicy, 1);
    sim::open_menu(f1, "options");
    EXPECT_TRUE(checked("mnuIdle10"));
    EXPECT_FALSE(checked("mnuIdle5"));
    EXPECT_TRUE(greyed("mnuIdle5"));
    EXPECT_TRUE(checked("mnuCover"));
    EXPECT_TRUE(greyed("mnuCover"));
    EXPECT_FALSE(greyed("mnuSleepLock"));
    sim::choose(f1, "mnuIdle1");  // greyed: nothing happens
    EXPECT_EQ(stored_text(*sim::get_value(store::kVendorKey, store::kIdleLockValue)), "5");
    // A limit that is none of the items checks none.
    put_policy(store::kInactivityTimeoutPolicy, 3);
    sim::open_menu(f1, "mnuAway");
    for (const char* item : {"mnuIdleNever", "mnuIdle1", "mnuIdle5", "mnuIdle10"})
        EXPECT_FALSE(checked(item)) << item;
}


// --- lock when idle ------------------------------------------------------------------

TEST_F(Away, IdleDecisionOnTheLimit) {
    EXPECT_FALSE(idle_limit_reached(999999, 0));
    EXPECT_FALSE(idle_limit_reached(2999, 3));
    EXPECT_TRUE(idle_limit_reached(3000, 3));
    EXPECT_TRUE(idle_limit_reached(4294967295u, 86400));
    EXPECT_FALSE(idle_limit_reached(86399999, 86400));
}

TEST_F(Away, LocksWithinASecondOfTheLimitFromTheShownMainWindow) {
    open_unlocked();
    put_user(store::kIdleLockValue, "1");
    // Input every second keeps it away.
    for (int s = 0; s < 120; ++s) {
        world().last_input_ms = world().now_ms;
        sim::advance(1000);
    }
    EXPECT_FALSE(locked());
    walk_away();
    sim::advance(59000);
    EXPECT_FALSE(locked());
    EXPECT_LE(ms_until_locked(2000), 1000);
    EXPECT_EQ(p().form4().reason(), LockReason::Idle);
    EXPECT_TRUE(world().clip.has_value());
    EXPECT_EQ(world().z_order[form("Form4")->handle()], -1);
    // It stays the one lock, however long nobody comes.
    sim::advance(600000);
    EXPECT_EQ(locks_made(), 1);
    // The time without input counts again from the answer.
    type_answer("Rex");
    EXPECT_FALSE(locked());
    EXPECT_TRUE(shown("Form1"));
    EXPECT_EQ(form("Form1")->state(), WindowState::Normal);
    sim::advance(59000);
    EXPECT_FALSE(locked());
    EXPECT_LE(ms_until_locked(2000), 1000);
    EXPECT_EQ(locks_made(), 2);
}

// One whose window could not be created comes at the retry for the same
// reason: it never came, so it is no comeback.
TEST_F(Away, AnIdleLockWhoseWindowFailsKeepsItsReason) {
    open_unlocked();
    put_user(store::kIdleLockValue, "1");
    walk_away();
    sim::advance(59000);
    sim::fail(sim::Call::CreateWindow, 0);
    EXPECT_LE(ms_until_locked(2000), 1100);
    EXPECT_EQ(p().form4().reason(), LockReason::Idle);
    ASSERT_FALSE(world().events.empty());
    EXPECT_EQ(world().events.back(),
              (sim::ReportedEvent{platform::EventType::Information, 1003, "idle"}));
}

TEST_F(Away, APolicySetWhileRunningAppliesWithinASecond) {
    open_unlocked();
    walk_away();
    sim::advance(10000);
    EXPECT_FALSE(locked());
    put_policy(store::kInactivityTimeoutPolicy, 3);
    EXPECT_LE(ms_until_locked(2000), 1000);
}

TEST_F(Away, AMinimisedMainWindowWaitingForPauseStaysSoAfterTheAnswer) {
    store_credentials();
    put_policy(store::kInactivityTimeoutPolicy, 3);
    start_and_decide();  // the hidden start: minimised, the lock armed
    ASSERT_EQ(form("Form1")->state(), WindowState::Minimized);
    ASSERT_EQ(p().main_unlocked, 0);
    walk_away();
    EXPECT_LE(ms_until_locked(5000), 4000);
    type_answer("Rex");
    EXPECT_FALSE(locked());
    EXPECT_EQ(form("Form1")->state(), WindowState::Minimized);
    // Pause still brings the lock screen.
    EXPECT_EQ(p().main_unlocked, 0);
    world().last_input_ms = world().now_ms;
    form("Form1")->set_state(WindowState::Normal);
    sim::pump();
    EXPECT_TRUE(locked());
    EXPECT_EQ(p().form4().reason(), LockReason::Start);  // armed by the start
}

TEST_F(Away, TheSecurityAlertThatOpensTheLogShowsTheMainWindow) {
    store_credentials();
    put_policy(store::kInactivityTimeoutPolicy, 3);
    start_and_decide();
    walk_away();
    ms_until_locked(5000);
    ASSERT_TRUE(locked());
    type_answer("wrong");
    sim::advance(4000);
    world().box_answers = {kYes};
    type_answer("Rex");
    ASSERT_EQ(world().boxes.back().title, "Security Alert!");
    EXPECT_TRUE(p().form1().ctl("List2").visible());
    EXPECT_EQ(form("Form1")->state(), WindowState::Normal);
    EXPECT_EQ(p().main_unlocked, 1);
}

// Right after a break-in attempt: the alert's question and the message
// that its flag stayed each get a fresh lock that waits for the answer, and
// are asked again after it.
TEST_F(Away, WalkAwayLocksComeFreshOverTheSecurityAlertAndItsError) {
    open_unlocked();
    put_policy(store::kInactivityTimeoutPolicy, 3);
    put_policy(store::kLockBeforeSleepPolicy, 1);
    const auto attempt = [&] {
        sim::click(*form("Form1"), "Command9");
        type_answer("wrong");
        sim::advance(4000);
    };
    const auto fresh_lock_answered = [&](LockReason why) {
        EXPECT_TRUE(locked());
        EXPECT_EQ(p().form4().reason(), why);
        EXPECT_TRUE(p().form4().ctl("Textnew").text().empty());
        EXPECT_EQ(*world().clip, p().form4().ctl("Command1").screen_rect());
        EXPECT_EQ(world().z_order[form("Form4")->handle()], -1);
        const auto boxes = world().boxes.size();
        type_answer("Rex");
        EXPECT_FALSE(locked());
        EXPECT_EQ(world().boxes.size(), boxes);  // no second alert
    };
    attempt();
    bool idle_checked = false;
    while_open("Security Alert!", [&] {
        walk_away();
        EXPECT_LE(ms_until_locked(5000), 4000);
        fresh_lock_answered(LockReason::Idle);
        idle_checked = true;
    });
    world().box_answers = {kYes};
    type_answer("Rex");
    EXPECT_TRUE(idle_checked);
    // The alert's own answer still counts: the log shows.
    EXPECT_TRUE(p().form1().ctl("List2").visible());
    EXPECT_EQ(form("Form1")->state(), WindowState::Normal);
    EXPECT_FALSE(locked());

    sim::click(*form("Form1"), "Command12");
    attempt();
    ASSERT_TRUE(store::delete_value(store::kVendorKey, "Status"));  // from outside
    bool sleep_checked = false;
    while_open("Kestrova", [&] {
        world().last_input_ms = world().now_ms;
        sim::suspend();
        fresh_lock_answered(LockReason::Sleep);
        sleep_checked = true;
    });
    type_answer("Rex");
    EXPECT_TRUE(sleep_checked);
    EXPECT_EQ(world().boxes.back().text, kClearAlertError);
    EXPECT_TRUE(shown("Form1"));
    EXPECT_FALSE(locked());
}

TEST_F(Away, ABoxOpenStaysOpenBehindTheLockAndIsThereAfterTheAnswer) {
    open_unlocked();
    put_policy(store::kInactivityTimeoutPolicy, 60);
    bool locked_in_box = false, answered_in_box = false;
    while_open("Remove from StartUp", [&] {
        walk_away();
        sim::advance(61000);
        locked_in_box = locked();
        type_answer("Rex");
        answered_in_box = !locked() && shown("Form1");
    });
    sim::choose(*form("Form1"), "noautorun");
    EXPECT_TRUE(locked_in_box);
    EXPECT_TRUE(answered_in_box);
    // The box returned only after the answer, and the flow went on.
    EXPECT_EQ(world().boxes.back().title, "Remove from StartUp");
    EXPECT_TRUE(checked("noautorun"));
}

TEST_F(Away, NeverDuringTheFirstRunSetUp) {
    put_policy(store::kInactivityTimeoutPolicy, 1);
    world().input_answers = {"Where were you born", "Leeds", "Leeds"};
    world().box_answers = {1, kNo, 1, kYes, 1, 1};
    bool locked_in_setup = true;
    while_open("Setup Complete", [&] {
        walk_away();
        sim::advance(10000);
        locked_in_setup = locked();
    });
    start_and_decide();
    ASSERT_TRUE(store::question_stored());
    EXPECT_FALSE(locked_in_setup);
    EXPECT_EQ(locks_made(), 0);
    // Once the set-up is over, it locks.
    EXPECT_LE(ms_until_locked(3000), 2000);
}

TEST_F(Away, NoLockBeforeTheMainWindowOrOverALockThatHolds) {
    store_credentials();
    ASSERT_TRUE(store::set_login_lock());
    put_policy(store::kInactivityTimeoutPolicy, 1);
    walk_away();
    p().start();
    sim::advance(1400);  // the splash: no main window yet
    EXPECT_EQ(locks_made(), 0);
    sim::advance(5000);
    EXPECT_TRUE(locked());
    EXPECT_EQ(p().form4().reason(), LockReason::Start);
    EXPECT_EQ(locks_made(), 1);
}

// --- lock before sleep -----------------------------------------------------------------

TEST_F(Away, SleepLocksBeforeTheHandlerReturnsOnlyWhenOn) {
    open_unlocked();
    sim::suspend();
    sim::display_off();
    EXPECT_FALSE(locked());
    put_user(store::kSleepLockValue, "1");
    // The display turning off, as Modern Standby begins, locks the same way.
    sim::display_off();
    ASSERT_TRUE(locked());
    EXPECT_EQ(p().form4().reason(), LockReason::Sleep);
    type_answer("Rex");
    ASSERT_FALSE(locked());
    sim::suspend();
    // No clock has run: the lock holds as the message is handled.
    ASSERT_TRUE(locked());
    EXPECT_TRUE(form("Form4")->visible());
    EXPECT_EQ(world().z_order[form("Form4")->handle()], -1);
    EXPECT_EQ(*world().clip, p().form4().ctl("Command1").screen_rect());
    EXPECT_EQ(p().form4().reason(), LockReason::Sleep);
    sim::suspend();
    sim::display_off();
    EXPECT_EQ(locks_made(), 2);
    // A policy turns it off over the user's value.
    type_answer("Rex");
    put_policy(store::kLockBeforeSleepPolicy, 0);
    sim::suspend();
    sim::display_off();
    EXPECT_FALSE(locked());
}

TEST_F(Away, SleepLocksFromAHiddenStartAndALockDueBackComesAtOnce) {
    store_credentials();
    put_policy(store::kLockBeforeSleepPolicy, 1);
    start_and_decide();
    ASSERT_EQ(form("Form1")->state(), WindowState::Minimized);
    sim::suspend();
    ASSERT_TRUE(locked());
    type_answer("Rex");
    EXPECT_EQ(form("Form1")->state(), WindowState::Minimized);
    // Gone, the lock is due back in 50 ms; sleep brings it now.
    form("Form1")->set_state(WindowState::Normal);
    sim::pump();
    ASSERT_TRUE(locked());
    p().form4().Unload();  // gone some other way
    ASSERT_FALSE(locked());
    sim::suspend();
    EXPECT_TRUE(locked());
    EXPECT_FALSE(p().form1().timer_on("timerz"));
}

// --- covers --------------------------------------------------------------------------

TEST_F(Away, CoversOnePerMonitorUnderTheLockGoneAtTheAnswer) {
    open_unlocked();
    world().monitors = {{0, 0, 1024, 768}, {1024, 0, 2304, 1024}};
    sim::choose(*form("Form1"), "mnuRed");
    sim::click(*form("Form1"), "Command9");  // F12: no covers unless chosen
    ASSERT_TRUE(locked());
    EXPECT_TRUE(sim::live_covers().empty());
    type_answer("Rex");

    put_user(store::kCoverValue, "1");
    sim::click(*form("Form1"), "Command9");
    auto covers = sim::live_covers();
    ASSERT_EQ(covers.size(), 2u);
    EXPECT_EQ(covers[0]->rect, world().monitors[0]);
    EXPECT_EQ(covers[1]->rect, world().monitors[1]);
    // Each painted with the colour's gradient over its whole monitor.
    const auto fills = sim::paint_cover(*covers[1]);
    ASSERT_EQ(fills.size(), 256u);
    EXPECT_EQ(fills.front().color, (platform::Rgb{255, 0, 0}));
    EXPECT_EQ(fills.back().rect.bottom, 1024);
    // Under the lock: at every tick of the guard each cover is raised, then
    // the lock over them.
    const int tick = static_cast<int>(world().trace.size());
    sim::advance(100);
    const int first = sim::trace_find("setwindowpos -1 19", tick);  // a cover
    const int second = sim::trace_find("setwindowpos -1 19", first + 1);
    ASSERT_GE(second, 0);
    EXPECT_GE(sim::trace_find("setwindowpos -1 83", second), 0);  // the lock
    EXPECT_LT(sim::trace_find("setwindowpos -1 19", second + 1), 0);
    EXPECT_EQ(world().z_order[covers[0]->handle], -1);
    EXPECT_EQ(world().z_order[covers[1]->handle], -1);

    // The monitors change: laid out afresh at the next tick.
    world().monitors = {{0, 0, 1280, 1024}};
    sim::display_change();
    sim::advance(100);
    covers = sim::live_covers();
    ASSERT_EQ(covers.size(), 1u);
    EXPECT_EQ(covers[0]->rect, world().monitors[0]);

    type_answer("Rex");
    EXPECT_TRUE(sim::live_covers().empty());
    EXPECT_EQ(world().boxes.size(), 0u);
}

// A new resolution centres the lock at once, and a screen smaller than the
// lock still shows "&Enter" and holds the pointer on it, not on the screen.
TEST_F(Away, ADisplayChangeCentresTheLockWithThePointerOnEnter) {
    open_unlocked();
    put_user(store::kCoverValue, "1");
    sim::click(*form("Form1"), "Command9");
    ASSERT_TRUE(locked());
    const auto within = [](const platform::Rect& in, const platform::Rect& out) {
        return in.left >= out.left && in.top >= out.top && in.right <= out.right &&
               in.bottom <= out.bottom && in.left < in.right && in.top < in.bottom;
    };
    const platform::Rect screens[] = {
        {0, 0, 800, 600}, {0, 0, 640, 480}, {0, 0, 1280, 1024}, {0, 0, 512, 384}, {0, 0, 320, 240}};
    for (const auto& screen : screens) {
        SCOPED_TRACE(screen.right);
        world().desktop = screen;
        world().monitors = {screen};
        sim::display_change();  // no clock runs
        const auto lock = form("Form4")->outer_rect();
        const auto enter = p().form4().ctl("Command1").screen_rect();
        if (lock.right - lock.left <= screen.right) {
            EXPECT_NEAR(lock.left + lock.right, screen.right, 1) << "centred";
            EXPECT_NEAR(lock.top + lock.bottom, screen.bottom, 1) << "centred";
        }
        EXPECT_TRUE(within(enter, screen));
        EXPECT_EQ(*world().clip, enter);
        EXPECT_TRUE(
            within({world().cursor.x, world().cursor.y, world().cursor.x + 1, world().cursor.y + 1},
                   enter));
        ASSERT_EQ(sim::live_covers().size(), 1u);
        EXPECT_EQ(sim::live_covers()[0]->rect, screen);
        // And the guard keeps it there.
        sim::advance(200);
        EXPECT_EQ(form("Form4")->outer_rect(), lock);
        EXPECT_EQ(*world().clip, enter);
    }
}

TEST_F(Away, CoversComeBackWithTheLockAndAreRemadeByTheGuard) {
    open_unlocked();
    put_policy(store::kCoverScreenPolicy, 1);
    sim::click(*form("Form1"), "Command9");
    ASSERT_EQ(sim::live_covers().size(), 1u);
    // Gone: the covers stay while the lock is due back.
    p().form4().Unload();  // gone some other way
    EXPECT_EQ(sim::live_covers().size(), 1u);
    sim::advance(150);
    ASSERT_TRUE(locked());
    EXPECT_EQ(p().form4().reason(), LockReason::Comeback);
    EXPECT_EQ(sim::live_covers().size(), 1u);
    // One that went is made again at the next tick.
    world().covers.back().alive = false;
    sim::advance(100);
    EXPECT_EQ(sim::live_covers().size(), 1u);
    EXPECT_EQ(world().covers.size(), 2u);
}

// While the lock holds nothing reads the registry on a clock and the
// watch's second does not tick: a change of the covers' setting is heard
// from the registry, at the policy's key (made now) and at the user's.
TEST_F(Away, ACoverPolicySetWhileLockedAppliesWhenTheRegistryTellsOfIt) {
    open_unlocked();
    sim::click(*form("Form1"), "Command9");
    ASSERT_TRUE(sim::live_covers().empty());
    EXPECT_FALSE(world().watch_ticking);
    const int calls = world().calls;
    sim::advance(5000);
    EXPECT_EQ(world().calls, calls) << "the registry or a file was read while locked";
    put_user(store::kCoverValue, "1");
    sim::advance(100);
    EXPECT_EQ(sim::live_covers().size(), 1u);
    put_policy(store::kCoverScreenPolicy, 0);
    sim::advance(100);
    EXPECT_TRUE(sim::live_covers().empty());
    put_policy(store::kCoverScreenPolicy, 1);
    sim::advance(100);
    EXPECT_EQ(sim::live_covers().size(), 1u);
    EXPECT_TRUE(locked());
    // The answer: the second ticks again and no key is watched.
    type_answer("Rex");
    EXPECT_TRUE(world().watch_ticking);
    EXPECT_TRUE(world().watched_keys.empty());
}

TEST_F(Away, ACoverThatCannotBeMadeLeavesTheLockHolding) {
    open_unlocked();
    put_user(store::kCoverValue, "1");
    sim::fail(sim::Call::CreateWindow, 8, 2);  // the lock is made, its cover not
    sim::click(*form("Form1"), "Command9");
    ASSERT_TRUE(locked());
    EXPECT_TRUE(sim::live_covers().empty());
    EXPECT_TRUE(world().clip.has_value());
    EXPECT_EQ(world().z_order[form("Form4")->handle()], -1);
    sim::advance(100);
    EXPECT_EQ(sim::live_covers().size(), 1u);
}

TEST_F(Away, ATouchMachineIsAlwaysCoveredWithoutEdgeGestures) {
    open_unlocked();
    world().touch_ready = true;
    put_policy(store::kCoverScreenPolicy, 0);
    sim::click(*form("Form1"), "Command9");
    const auto covers = sim::live_covers();
    ASSERT_EQ(covers.size(), 1u);
    EXPECT_TRUE(covers[0]->edge_gestures_off);
}

}  // namespace
}  // namespace kv::test
