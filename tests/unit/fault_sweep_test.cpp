// Every user flow run again and again with one registry or file call failing:
// the 1st, the 2nd, ... up to the last call the flow makes. After each run
// nothing may have crashed, nothing may be unlocked without the answer, no
// earlier log record may be lost, the stored answer is the old or the new
// one and never a mixture, and no failure the user must know about is shown
// as success.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "log/attempt_log.h"
#include "options/colors.h"
#include "program_fixture.h"
#include "store/scrambler.h"
#include "store/text.h"

namespace kv::test {
namespace {

// Reads fail as a device would, writes as a user without the right would.
constexpr long kCodes[] = {platform::kErrorAccessDenied, 1117 /* ERROR_IO_DEVICE */};

class FaultSweep : public ProgramTest {
protected:
    struct Flow {
        std::string name;
        std::function<void()> prepare;  // runs without faults
        std::function<void()> act;      // the user's action, one call failing
        std::function<void()> check;    // after the action
    };

    // A fresh program on a fresh world, with three earlier attempts on disk.
    void fresh() {
        program.reset();
        sim::reset();
        program = std::make_unique<Program>();
        const std::string lines[] = {attempt_line("12/5/2026 8:00:00 AM", "alpha"),
                                     attempt_line("12/5/2026 8:05:00 AM", "beta"),
                                     attempt_line("12/6/2026 7:00:00 PM", "gamma")};
        earlier.clear();
        std::string data;
        for (const auto& l : lines) {
            earlier.push_back(log_record(l));
            data += earlier.back();
        }
        world().files[log_file_path()] = data;
        ended = false;
    }

    // Runs the flow's action with the nth call failing (0: none); the calls
    // it made.
    int run(const Flow& f, int nth, long code) {
        fresh();
        f.prepare();
        before_query = value("Query");
        before_command = value("Command");
        boxes_before = world().boxes.size();
        const int calls_before = world().calls;
        if (nth > 0) sim::fail_any(code, nth);
        try {
            f.act();
            sim::advance(10);
        } catch (const sim::ProcessEnded&) {
            ended = true;
        }
        return world().calls - calls_before;
    }

    std::optional<std::string> value(const char* name) {
        const auto v = sim::get_value(kZonesKey, name);
        return v ? std::optional<std::string>(v->data) : std::nullopt;
    }
    std::string stored(const char* key, const char* name) {
        const auto v = sim::get_value(key, name);
        return v ? stored_text(*v) : std::string("(none)");
    }
    bool present(const char* key, const char* name) {
        return sim::get_value(key, name).has_value();
    }

    // Message boxes of this run.
    bool shown_box(std::string_view title, std::string_view text_part = {}) {
        for (std::size_t i = boxes_before; i < world().boxes.size(); ++i)
            if (world().boxes[i].title == title &&
                world().boxes[i].text.find(text_part) != std::string::npos)
                return true;
        return false;
    }
    bool shown_error() {
        for (std::size_t i = boxes_before; i < world().boxes.size(); ++i) {
            const auto& t = world().boxes[i].text;
            if (t.find("could not be stored") != std::string::npos ||
                t.find("could not be written") != std::string::npos)
                return true;
        }
        return false;
    }

    // Success is said only of what is stored, and something is always said:
    // a check that could not confirm a write reports it as not stored.
    void expect_told(bool success_shown, bool stored_as_asked) {
        if (success_shown) {
            EXPECT_TRUE(stored_as_asked) << "success shown for a change that was not stored";
        }
        if (!stored_as_asked) {
            EXPECT_TRUE(shown_error()) << "a change that was not stored, not reported";
        }
        EXPECT_TRUE(success_shown || shown_error()) << "nothing said";
    }

    bool on_disk(const std::string& record) {
        const std::string& file = world().files[log_file_path()];
        for (std::size_t at = 0; at + 40 <= file.size(); at += 40)
            if (file.compare(at, 40, record) == 0) return true;
        return false;
    }
    void expect_earlier_records_kept(const std::string& skip = {}) {
        for (const auto& r : earlier) {
            if (r != skip) {
                EXPECT_TRUE(on_disk(r)) << "an earlier record was lost";
            }
        }
    }
    void expect_credentials_unchanged() {
        EXPECT_EQ(value("Query"), before_query);
        EXPECT_EQ(value("Command"), before_command);
    }
    std::string scrambled(const std::string& text, std::size_t width) {
        return *scramble(kScrambleKey, fixed(text, width)) + '\0';
    }

    bool checked(const char* item) { return p().form1().window().menu(item).checked(); }

    std::vector<Flow> flows();

    std::vector<std::string> earlier;
    std::optional<std::string> before_query, before_command;
    std::size_t boxes_before = 0;
    bool ended = false;
};

std::vector<FaultSweep::Flow> FaultSweep::flows() {
    std::vector<Flow> all;

    all.push_back({"first-run set-up", [] {},
                   [this] {
                       world().input_answers = {"Pet", "Rex", "Rex"};
                       start_and_decide();
                   },
                   [this] {
                       const auto q = value("Query"), a = value("Command");
                       const bool stored_new = q == scrambled("Pet?", kQuestionWidth) &&
                                               a == scrambled("Rex", kAnswerWidth);
                       EXPECT_TRUE(stored_new || (!q && !a)) << "a half-stored set-up";
                       if (shown_box("Setup Complete")) {
                           EXPECT_TRUE(stored_new) << "Setup Complete with nothing stored";
                       }
                       if (!stored_new) {
                           // The user is told, or the lock stays up: never the
                           // main window as if set up.
                           EXPECT_TRUE((ended && shown_error()) || shown("Form4"))
                               << "the set-up failed silently";
                           EXPECT_FALSE(shown("Form1") && p().main_unlocked == 1 &&
                                        !shown("Form4") && !ended);
                       }
                       expect_earlier_records_kept();
                   }});

    all.push_back({"wrong answer", [this] { start_locked(); }, [this] { type_answer("guess"); },
                   [this] {
                       EXPECT_TRUE(shown("Form4")) << "unlocked by a wrong answer";
                       EXPECT_FALSE(p().form4().released());
                       expect_earlier_records_kept();
                       expect_credentials_unchanged();
                       // The next attempt, with nothing failing, leaves both
                       // on disk and every record whole.
                       sim::advance(4000);
                       type_answer("again");
                       const std::string when = world().date + " " + world().time;
                       for (const char* typed : {"guess", "again"})
                           EXPECT_TRUE(on_disk(log_record(attempt_line(when, typed)))) << typed;
                       expect_earlier_records_kept();
                       EXPECT_EQ(world().files[log_file_path()].size(), 5u * kLogRecordSize);
                       // The owner is told at the next unlock, and the attempt
                       // is in the log.
                       sim::advance(4000);
                       world().box_answers = {kNo};
                       const auto from = world().boxes.size();
                       type_answer("Rex");
                       ASSERT_TRUE(p().form4().released());
                       ASSERT_GT(world().boxes.size(), from);
                       EXPECT_EQ(world().boxes[from].title, "Security Alert!");
                       bool logged = false;
                       auto list = p().form1().ctl("List2");
                       for (int i = 0; i < list.list_count(); ++i)
                           logged = logged || line_answer(list.list_item(i)) == "guess";
                       EXPECT_TRUE(logged) << "the attempt is not in the log";
                   }});

    all.push_back(
        {"right answer with the alert",
         [this] {
             ASSERT_TRUE(store::set_alert());
             start_locked();
         },
         [this] {
             world().box_answers = {kYes};
             type_answer("Rex");
         },
         [this] {
             EXPECT_FALSE(ended);
             EXPECT_TRUE(p().form4().released());
             EXPECT_TRUE(shown("Form1"));
             // Not told now: still stored, to be told next time.
             EXPECT_TRUE(shown_box("Security Alert!") || present(store::kVendorKey, "Status"))
                 << "the alert was lost";
             expect_earlier_records_kept();
             expect_credentials_unchanged();
         }});

    const auto open_viewer = [this] {
        open_unlocked();
        sim::click(*form("Form1"), "Command5");
        p().form1().ctl("List2").set_list_index(1);
    };
    all.push_back({"delete one entry", open_viewer,
                   [this] {
                       world().box_answers = {kYes};
                       sim::click(*form("Form1"), "Command11");
                   },
                   [this] {
                       const std::string deleted = earlier[1];
                       expect_earlier_records_kept(deleted);
                       if (on_disk(deleted)) {
                           EXPECT_TRUE(shown_error()) << "a delete that did not stick";
                       }
                   }});
    all.push_back({"clear the log", open_viewer,
                   [this] {
                       world().box_answers = {kYes};
                       sim::click(*form("Form1"), "DeleteAll");
                   },
                   [this] {
                       if (!world().files[log_file_path()].empty()) {
                           EXPECT_TRUE(shown_error()) << "a clear that did not stick";
                           expect_earlier_records_kept();
                       }
                   }});

    all.push_back({"change the question", [this] { open_unlocked(); },
                   [this] {
                       world().input_answers = {"Colour", "red", "red"};
                       p().form1().change_question();
                   },
                   [this] {
                       const bool stored_new = value("Query") == scrambled("Colour?", 250) &&
                                               value("Command") == scrambled("red", 20);
                       const bool kept_old =
                           value("Query") == before_query && value("Command") == before_command;
                       EXPECT_TRUE(stored_new || kept_old) << "a mixture of old and new";
                       expect_told(shown_box("Success!", "Answer Updated."), stored_new);
                       expect_earlier_records_kept();
                   }});
    all.push_back({"change the answer", [this] { open_unlocked(); },
                   [this] {
                       world().input_answers = {"newer", "newer"};
                       p().form1().change_answer();
                   },
                   [this] {
                       const bool stored_new =
                           value("Command") == *scramble(kScrambleKey, "newer") + '\0';
                       EXPECT_TRUE(stored_new || value("Command") == before_command);
                       EXPECT_EQ(value("Query"), before_query);
                       expect_told(shown_box("Success!", "Answer Updated."), stored_new);
                   }});

    // Start mode, both ways.
    for (const bool hidden : {false, true}) {
        all.push_back(
            {hidden ? "start hidden" : "start with the lock screen",
             [this, hidden] {
                 sim::put_string(store::kVendorKey, "Login", hidden ? "2" : "1");
                 open_unlocked();
             },
             [this, hidden] { sim::choose(*form("Form1"), hidden ? "autorunnolock" : "autorun"); },
             [this, hidden] {
                 const std::string want = hidden ? "1" : "2";
                 const bool done = stored(store::kVendorKey, "Login") == want;
                 expect_told(
                     shown_box(hidden ? "Add to StartUp" : "Add Protection to Windows Startup"),
                     done);
                 EXPECT_EQ(checked("autorunnolock"), stored(store::kVendorKey, "Login") == "1");
                 EXPECT_NE(checked("autorunnolock"), checked("autorun"));
             }});
    }

    // Autorun on and off.
    for (const bool on : {true, false}) {
        all.push_back(
            {on ? "autorun on" : "autorun off",
             [this, on] {
                 if (!on) {
                     ASSERT_TRUE(store::add_autorun());
                 }
                 open_unlocked();
             },
             [this, on] { sim::choose(*form("Form1"), on ? "autorunatstart" : "noautorun"); },
             [this, on] {
                 const bool done = present(store::kRunKey, "Kestrova") == on;
                 expect_told(shown_box(on ? "Add to StartUp" : "Remove from StartUp"), done);
                 EXPECT_EQ(checked("autorunatstart"), present(store::kRunKey, "Kestrova"));
                 EXPECT_NE(checked("autorunatstart"), checked("noautorun"));
             }});
    }

    // Autorun with the sibling's value, answered Yes and No.
    for (const bool yes : {true, false}) {
        all.push_back({yes ? "autorun over Dulcimet, Yes" : "autorun over Dulcimet, No",
                       [this, yes] {
                           sim::put_string(store::kRunKey, "Dulcimet",
                                           "C:\\Dulcimet\\dulcimet.exe");
                           if (!yes) {
                               ASSERT_TRUE(store::add_autorun());
                           }
                           open_unlocked();
                       },
                       [this, yes] {
                           world().box_answers = {yes ? kYes : kNo};
                           sim::choose(*form("Form1"), "autorunatstart");
                       },
                       [this, yes] {
                           const bool own = present(store::kRunKey, "Kestrova");
                           const bool sibling = present(store::kRunKey, "Dulcimet");
                           EXPECT_FALSE(own && sibling && shown_box("Add to StartUp"));
                           if (yes) {
                               EXPECT_FALSE(own && sibling) << "both autorun";
                               expect_told(shown_box("Add to StartUp"), own && !sibling);
                           } else {
                               EXPECT_TRUE(sibling) << "No removed Dulcimet";
                               expect_told(shown_box("Options Reset"), !own);
                           }
                           EXPECT_EQ(checked("autorunatstart"), own);
                       }});
    }

    // Each colour, chosen over another one.
    for (const auto& c : kColours) {
        const std::string name = c.name, item(c.menu.text);
        all.push_back({"colour " + name,
                       [this, name] {
                           sim::put_string(store::kVendorKey, "Color",
                                           name == "red" ? "green" : "red");
                           open_unlocked();
                           p().form1().load_color();
                       },
                       [this, item] { sim::choose(*form("Form1"), item); },
                       [this, name] {
                           // A checkmark only ever shows what is stored, and a
                           // choice not stored is said, whatever the cause.
                           const std::string now = stored(store::kVendorKey, "Color");
                           for (const auto& other : kColours)
                               if (checked(other.menu.text.data())) {
                                   EXPECT_EQ(now, other.name) << other.menu.text << " checked";
                               }
                           if (now != name) {
                               EXPECT_TRUE(shown_error()) << "a colour not stored, not said";
                           }
                       }});
    }

    // Each "&When Away" item: a check mark only ever shows what is stored.
    for (const auto& [item, value, on] :
         {std::tuple{"mnuIdle5", "IdleLock", "5"}, std::tuple{"mnuSleepLock", "SleepLock", "1"},
          std::tuple{"mnuCover", "Cover", "1"}}) {
        all.push_back({std::string("when away ") + item, [this] { open_unlocked(); },
                       [this, item] { sim::choose(*form("Form1"), item); },
                       [this, item, value, on] {
                           if (checked(item)) {
                               EXPECT_EQ(stored(store::kVendorKey, value), on);
                           }
                           if (stored(store::kVendorKey, value) != on) {
                               EXPECT_TRUE(shown_error()) << "a choice not stored, not said";
                           }
                       }});
    }
    // The idle lock: a read that fails delays it by one second at most.
    all.push_back({"idle lock",
                   [this] {
                       open_unlocked();
                       sim::put_string(store::kVendorKey, "IdleLock", "1");
                       world().last_input_ms = world().now_ms;
                   },
                   [] { sim::advance(62000); },
                   [this] { EXPECT_TRUE(p().form4().holding()); }});
    return all;
}

TEST_F(FaultSweep, EveryFlowWithEachOfItsCallsFailing) {
    int pairs = 0;
    const auto all = flows();
    for (const auto& f : all) {
        const int calls = run(f, 0, 0);
        {
            SCOPED_TRACE(f.name + " without a fault");
            EXPECT_FALSE(world().failed_call.has_value());
            f.check();
        }
        EXPECT_GT(calls, 0) << f.name;
        for (const long code : kCodes) {
            for (int n = 1; n <= calls; ++n) {
                run(f, n, code);
                const std::string where =
                    f.name + ", call " + std::to_string(n) + " (" +
                    (world().failed_call ? sim::call_name(*world().failed_call) : "none") +
                    ") failing with " + std::to_string(code);
                SCOPED_TRACE(where);
                ASSERT_TRUE(world().failed_call.has_value()) << "the call was not reached";
                f.check();
                ++pairs;
                if (HasFailure()) return;
            }
        }
    }
    std::printf("fault sweep: %d (flow, failed call) pairs over %zu flows\n", pairs, all.size());
    EXPECT_GT(pairs, 0);
}

}  // namespace
}  // namespace kv::test
