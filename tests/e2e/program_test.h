// The base of the fixtures that start kvstrn.exe: each test finds the prefix
// clean (no other instance, the pointer free, none of the program's registry
// values, no attempt log) and leaves it so, whatever it left running.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "harness.h"

namespace kv::e2e {

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        clear_program_state();
        ASSERT_TRUE(file_exists(program_path())) << "no program at " << program_path();
    }
    void TearDown() override {
        program_.kill();
        clear_program_state();
    }

    // Waits for the program's message box `caption`, checks its text and
    // its buttons, presses `button` and waits for the box to go.
    void answer_box(const std::string& caption, const std::string& text,
                    const std::vector<int>& buttons, int button) {
        press_in_box(caption, Expected{text, buttons}, button);
    }
    // The same, checking the caption alone.
    void answer_box(const std::string& caption, int button) {
        press_in_box(caption, std::nullopt, button);
    }

    Program program_;

private:
    struct Expected {
        std::string text;
        std::vector<int> buttons;
    };

    void press_in_box(const std::string& caption, const std::optional<Expected>& expected,
                      int button) {
        const auto box = wait_message_box(program_.pid(), 15s);
        ASSERT_TRUE(box) << "no message box \"" << caption << "\"";
        ASSERT_EQ(box->caption, caption) << box->text;
        if (expected) {
            EXPECT_EQ(box->text, expected->text);
            EXPECT_EQ(box->buttons, expected->buttons);
        }
        ASSERT_TRUE(click(box->hwnd, button));
        ASSERT_TRUE(wait_for([&] { return !IsWindow(box->hwnd); })) << caption << " stayed";
    }
};

}  // namespace kv::e2e
