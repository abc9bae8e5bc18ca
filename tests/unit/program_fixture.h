// A fresh program on a fresh sim world, with helpers to drive it.
#pragma once

#include <memory>
#include <string>

#include "app/form1.h"
#include "app/program.h"
#include "app/splash.h"
#include "help/about.h"
#include "lock/form4.h"
#include "platform/entry.h"
#include "sim_fixture.h"
#include "store/secrets.h"
#include "store/settings.h"

namespace kv::test {

inline constexpr const char* kZonesKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Time Zones\\AddZones";
inline constexpr int kYes = 6;
inline constexpr int kNo = 7;

class ProgramTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        // An elevated copy is this program started again with its arguments.
        world().elevated_copy = [](std::string_view args) { return program_main(args); };
        program = std::make_unique<Program>();
    }
    void TearDown() override {
        program.reset();
        SimTest::TearDown();
    }

    Program& p() { return *program; }
    platform::Form* form(const char* name) { return sim::find_form(name); }
    bool shown(const char* name) {
        auto* f = form(name);
        return f != nullptr && f->visible();
    }

    // Question and answer as the set-up stores them.
    void store_credentials(const std::string& question = "Pet?",
                           const std::string& answer = "Rex") {
        ASSERT_TRUE(store::write_question_and_answer(question, answer));
    }

    // Unlocked at the main window, as after the right answer.
    void open_unlocked() {
        store_credentials();
        p().main_unlocked = 1;
        p().form1().Show();
        sim::pump();
    }

    // Starts the program and lets the splash decide.
    void start_and_decide() {
        p().start();
        sim::advance(1500);
    }

    // Starts locked: credentials stored, start mode "2".
    void start_locked() {
        store_credentials();
        ASSERT_TRUE(store::set_login_lock());
        start_and_decide();
        ASSERT_TRUE(shown("Form4"));
    }

    void type_answer(const std::string& text) {
        p().form4().ctl("Textnew").set_text(text);
        sim::click(*form("Form4"), "Command1");
    }

    std::unique_ptr<Program> program;
};

}  // namespace kv::test
