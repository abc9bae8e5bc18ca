// Every settings and question/answer read against a sim registry whose
// values have arbitrary types, sizes and bytes. The input is a sequence of
// value descriptions; a flag byte says whether this account is a standard
// user, granted only what the installers grant. Properties: no crash, a
// value counts as found exactly when the read sequence's query succeeds,
// for a standard user as for an administrator (only a zero-byte Login reads
// as absent), fields keep their widths, each checkmark pair has exactly one
// mark that follows what is stored, and the lock screen never unlocks for
// an entry that does not match the stored answer. The walk-away values and
// policies, read after the typed entry: a policy applies exactly when it is
// a four-byte REG_DWORD (a switch only as 0 or 1), a user's value only as
// REG_SZ text, and the menu shows one idle limit at most.
#include <cstdint>
#include <optional>
#include <string>

#include "app/form1.h"
#include "app/program.h"
#include "app/splash.h"
#include "fuzz_check.h"
#include "lock/form4.h"
#include "options/colors.h"
#include "platform/sim/sim.h"
#include "store/away.h"
#include "store/grants.h"
#include "store/policy_names.h"
#include "store/secrets.h"
#include "store/settings.h"
#include "store/text.h"

namespace {

using namespace kv;

constexpr const char* kZones = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Time Zones\\AddZones";

struct Input {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
    std::uint8_t byte() { return at < size ? data[at++] : 0; }
    std::string bytes(std::size_t n) {
        n = std::min(n, size - std::min(at, size));
        std::string s(reinterpret_cast<const char*>(data + at), n);
        at += n;
        return s;
    }
};

struct Slot {
    const char* key;
    const char* name;
};
constexpr Slot kSlots[] = {{store::kVendorKey, "Status"},
                           {store::kVendorKey, "Login"},
                           {store::kVendorKey, "Color"},
                           {store::kRunKey, "Kestrova"},
                           {store::kRunKey, "Dulcimet"},
                           {kZones, "Query"},
                           {kZones, "Command"}};

// What the read sequence must find for a value: its bytes, or nothing.
std::optional<std::string> expected(const char* key, const char* name) {
    const auto v = sim::get_value(key, name);
    if (!v || v->data.size() > 255) return std::nullopt;
    return v->data;
}

std::string text_of(const std::string& bytes) {
    return bytes.empty() ? std::string{} : bytes.substr(0, bytes.size() - 1);
}

constexpr Slot kAwaySlots[] = {{store::kVendorKey, store::kIdleLockValue},
                               {store::kVendorKey, store::kSleepLockValue},
                               {store::kVendorKey, store::kCoverValue},
                               {store::kPolicyKey, store::kInactivityTimeoutPolicy},
                               {store::kPolicyKey, store::kLockBeforeSleepPolicy},
                               {store::kPolicyKey, store::kCoverScreenPolicy}};

// A policy as it must apply: a REG_DWORD of four bytes.
std::optional<std::uint32_t> policy(const char* name) {
    const auto v = sim::get_value(store::kPolicyKey, name);
    if (!v || v->type != platform::kRegDword || v->data.size() != 4) return std::nullopt;
    std::uint32_t n = 0;
    for (int i = 3; i >= 0; --i) n = n << 8 | static_cast<std::uint8_t>(v->data[i]);
    return n;
}

// A user's value as it must apply: REG_SZ text that a read finds.
std::optional<std::string> user_text(const char* name) {
    const auto v = sim::get_value(store::kVendorKey, name);
    if (!v || v->type != platform::kRegSz || v->data.empty() || v->data.size() > 255)
        return std::nullopt;
    return text_of(v->data);
}

void check_switch(const store::Ruled<bool>& got, const char* policy_name, const char* value) {
    const auto p = policy(policy_name);
    KV_CHECK(got.by_policy == (p && *p <= 1));
    KV_CHECK(got.value == (got.by_policy ? *p == 1 : user_text(value) == "1"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    sim::reset();
    Input in{data, size};
    const std::uint8_t flags = in.byte();
    for (const auto& slot : kSlots) {
        const std::uint8_t sel = in.byte();
        if ((sel & 1) == 0) continue;
        const std::uint32_t type = (sel & 2) ? platform::kRegSz : in.byte();
        const std::size_t length = in.byte() | ((sel & 4) ? std::size_t{in.byte()} << 8 : 0);
        sim::put_value(slot.key, slot.name, type, in.bytes(length));
    }
    const std::string typed = in.bytes(64);
    for (const auto& slot : kAwaySlots) {
        const std::uint8_t sel = in.byte();
        if ((sel & 1) == 0) continue;
        const std::uint32_t type = (sel & 2) ? ((sel & 8) ? platform::kRegDword : platform::kRegSz)
                                             : in.byte();
        sim::put_value(slot.key, slot.name, type, in.bytes(in.byte()));
    }
    if ((flags & 1) != 0) {
        sim::world().standard_user = true;
        for (const auto& g : store::kUserKeyGrants) sim::grant(g.key, g.access);
    }

    {
        KV_CHECK(store::check_alert() == expected(store::kVendorKey, "Status").has_value());
        KV_CHECK(store::check_dulcimet_autorun().found() ==
                 expected(store::kRunKey, "Dulcimet").has_value());
        const std::string login_mode = store::read_login();
        const auto login = expected(store::kVendorKey, "Login");
        KV_CHECK(login_mode == (login && !login->empty() ? text_of(*login) : "1"));
        start_mode_number(login_mode);
        const auto run = store::read_value(store::kRunKey, "Kestrova");
        const auto run_expected = expected(store::kRunKey, "Kestrova");
        KV_CHECK(run.has_value() == run_expected.has_value());
        if (run) KV_CHECK(*run == text_of(*run_expected));

        const bool stored = store::question_stored();
        const auto query = sim::get_value(kZones, "Query");
        // Found, or (a missing or oversized value) absent.
        KV_CHECK(stored == (query && query->data.size() <= 255));
        const auto qa = store::load_question_answer();
        KV_CHECK(qa.question.size() == kQuestionWidth && qa.answer.size() == kAnswerWidth);
        KV_CHECK(store::load_question().size() == kQuestionWidth);

        const auto idle = store::idle_lock_secs();
        const auto limit = policy(store::kInactivityTimeoutPolicy);
        KV_CHECK(idle.by_policy == limit.has_value());
        if (limit) KV_CHECK(idle.value == std::min(*limit, store::kMaxInactivitySecs));
        const auto minutes = user_text(store::kIdleLockValue);
        if (!limit && minutes) {
            const auto m = store::idle_minutes_of(*minutes);
            KV_CHECK(idle.value == (m ? *m * 60 : 0));
            KV_CHECK(m.has_value() == (!minutes->empty() &&
                                       minutes->find_first_not_of("0123456789") == std::string::npos));
        }
        KV_CHECK(idle.value <= store::kMaxInactivitySecs);
        check_switch(store::sleep_lock(), store::kLockBeforeSleepPolicy, store::kSleepLockValue);
        check_switch(store::cover_screen(), store::kCoverScreenPolicy, store::kCoverValue);
    }

    try {
        Program program;
        Form1& main = program.form1();
        main.Load();
        KV_CHECK(main.menu("autorunatstart").checked() != main.menu("noautorun").checked());
        KV_CHECK(main.menu("autorunatstart").checked() ==
                 expected(store::kRunKey, "Kestrova").has_value());
        KV_CHECK(main.menu("autorunnolock").checked() == (main.startup().login_mode() == "1"));
        KV_CHECK(main.menu("autorunnolock").checked() != main.menu("autorun").checked());
        int idle_marks = 0;
        for (const char* item :
             {"mnuIdleNever", "mnuIdle1", "mnuIdle5", "mnuIdle10", "mnuIdle15", "mnuIdle30"})
            idle_marks += main.window().menu(item).checked();
        KV_CHECK(idle_marks <= 1);
        KV_CHECK(main.menu("mnuSleepLock").checked() == store::sleep_lock().value);
        KV_CHECK(main.menu("mnuCover").enabled() == !store::cover_screen().by_policy);

        main.load_color();
        const auto color = expected(store::kVendorKey, "Color");
        KV_CHECK(main.colours().current_color() == (color ? text_of(*color) : "blue"));
        int marks = 0;
        for (const auto& c : kColours) marks += main.menu(c.menu).checked();
        KV_CHECK(marks <= 1);

        // The answer as the lock screen reads it when it loads.
        const std::string answer = store::load_question_answer().answer;
        Form4& lock = program.form4();
        lock.Show();
        KV_CHECK(answer.size() == kAnswerWidth);
        lock.ctl("Textnew").set_text(typed);
        sim::click(*sim::find_form("Form4"), "Command1");
        if (program.form4().released()) KV_CHECK(!typed.empty() && trim(typed) == trim(answer));
        sim::advance(4100);
    } catch (const sim::ProcessEnded&) {
        // A refusal or the clear-alert message may end nothing here; a
        // process end is not a crash.
    }
    sim::reset();
    return 0;
}
