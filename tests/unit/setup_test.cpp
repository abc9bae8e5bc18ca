#include <gtest/gtest.h>

#include "program_fixture.h"
#include "setup/dialogue.h"
#include "store/text.h"

namespace kv::test {
namespace {

class SetUpDialogue : public ProgramTest {
protected:
    void run_login() { p().form1().login(); }
    std::vector<std::string> titles() {
        std::vector<std::string> t;
        for (const auto& b : world().boxes) t.push_back(b.title);
        return t;
    }
};

TEST_F(SetUpDialogue, CompletePassStoresBothValuesAndChoosesTheOptions) {
    standard_user();
    world().input_answers = {"  Where were you born", "Leeds", " Leeds  "};
    world().box_answers = {1, kNo, 1, kYes, 1, 1};
    run_login();
    ASSERT_EQ(world().inputs.size(), 3u);
    EXPECT_EQ(world().inputs[0].prompt, question_prompt(true));
    EXPECT_EQ(world().inputs[0].title, "Kestrova Question Setup");
    EXPECT_EQ(world().inputs[1].prompt, fixed("Where were you born?", 250));
    EXPECT_EQ(world().inputs[1].title, "Answer your Question");
    EXPECT_EQ(world().inputs[2].prompt,
              "To verify your answer, retype it: \r" + fixed("Where were you born?", 250));
    EXPECT_EQ(world().inputs[2].title, "Answer your Question Again");
    EXPECT_EQ(titles(), (std::vector<std::string>{
                            "Welcome to Kestrova!", "Configuration Options",
                            "Add Protection to Windows StartUp", "Configuration Options",
                            "Add Protection to Windows Startup", "Setup Complete"}));
    EXPECT_EQ(world().boxes[0].type, 0u);
    EXPECT_EQ(world().boxes[1].type, 36u);
    EXPECT_EQ(world().boxes[5].text,
              "You have successfully setup this application. You can change your Question and/or "
              "your Answer at any time by selecting these tasks from the 'Options' menu.\r\rYou "
              "will login from now on using your customized setup.");
    const auto qa = store::load_question_answer();
    EXPECT_EQ(qa.question, fixed("Where were you born?", 250));
    EXPECT_EQ(qa.answer, fixed("Leeds", 20));
    EXPECT_EQ(sim::get_value(kZonesKey, "Query")->data.size(), 251u);
    EXPECT_EQ(sim::get_value(kZonesKey, "Command")->data.size(), 21u);
    EXPECT_EQ(stored_text(*sim::get_value(store::kVendorKey, "Login")), "2");
    EXPECT_FALSE(sim::get_value(store::kRunKey, "Kestrova"));
    EXPECT_TRUE(p().form1().menu("noautorun").checked());
    EXPECT_TRUE(p().form1().menu("autorun").checked());
    EXPECT_TRUE(shown("Form1"));
}

// A standard user's set-up turns autorun on through the elevated copy; when
// the consent is not given, it says so and the set-up completes without it.
TEST_F(SetUpDialogue, AutorunOfAStandardUsersSetUpNeedsConsent) {
    for (const auto consent : {sim::World::Consent::Accepted, sim::World::Consent::Declined}) {
        sim::reset();
        world().elevated_copy = [](std::string_view args) { return program_main(args); };
        world().elevated = false;
        world().consent = consent;
        Program fresh;
        world().input_answers = {"Where were you born", "Leeds", "Leeds"};
        world().box_answers = {1, kYes, 1, kYes, 1, 1};
        fresh.form1().login();
        const bool accepted = consent == sim::World::Consent::Accepted;
        EXPECT_EQ(world().elevated_runs, (std::vector<std::string>{"/autorun on"}));
        EXPECT_EQ(sim::get_value(store::kRunKey, "Kestrova").has_value(), accepted);
        EXPECT_EQ(fresh.form1().menu("autorunatstart").checked(), accepted);
        EXPECT_EQ(world().boxes.back().title, "Setup Complete");
        bool said = false;
        for (const auto& b : world().boxes)
            said |= b.text.find("was not changed") != std::string::npos;
        EXPECT_EQ(said, !accepted);
    }
}

TEST_F(SetUpDialogue, PromptIsBuiltFromItsPiecesWithSingleCarriageReturns) {
    const std::string prompt = question_prompt(true);
    EXPECT_EQ(prompt.find('\n'), std::string::npos);
    EXPECT_NE(prompt.find("Keep it simple, ask"), std::string::npos);
    EXPECT_NE(prompt.find("forget:\r\rQuestions about"), std::string::npos);
    EXPECT_NE(prompt.find("work well.\r\rYou may change this question later by selecting "
                          "\"Change Your Question\" from the Options menu."),
              std::string::npos);
    EXPECT_EQ(question_prompt(false).substr(question_prompt(false).size() - 10), "work well.");
}

TEST_F(SetUpDialogue, EmptyQuestionWritesTheRunValueAndEnds) {
    world().input_answers = {"   "};
    EXPECT_THROW(run_login(), sim::ProcessEnded);
    EXPECT_EQ(world().boxes.back().title, "Question Setup Error");
    EXPECT_EQ(world().boxes.back().type, 48u);
    EXPECT_TRUE(sim::get_value(store::kRunKey, "Kestrova"));
    EXPECT_FALSE(sim::key_exists(kZonesKey));
}

TEST_F(SetUpDialogue, MismatchAndEmptyAnswerStartAgainAndCompleteOnce) {
    world().input_answers = {"Q",
                             "",  // empty answer
                             "Q",
                             "abc",
                             "ABC",  // case differs
                             "Q",
                             "abcdefghijklmnopqrstUVW",
                             "abcdefghijklmnopqrstXYZ"};
    world().box_answers = {1, 1, 1, 1, 1, kYes, 1, kNo, 1, 1};
    run_login();
    int welcomes = 0, completes = 0;
    for (const auto& t : titles()) {
        welcomes += t == "Welcome to Kestrova!";
        completes += t == "Setup Complete";
    }
    EXPECT_EQ(welcomes, 3);
    EXPECT_EQ(completes, 1);
    EXPECT_EQ(store::load_question_answer().answer, "abcdefghijklmnopqrst");
    EXPECT_TRUE(sim::get_value(store::kRunKey, "Kestrova"));
    EXPECT_EQ(stored_text(*sim::get_value(store::kVendorKey, "Login")), "1");
}

TEST_F(SetUpDialogue, WithoutWriteAccessSaysWhyAndEndsInsteadOfSetupComplete) {
    // A standard user: HKEY_LOCAL_MACHINE can be read but not written.
    standard_user(false);
    world().input_answers = {"Pet", "Rex", "Rex"};
    EXPECT_THROW(run_login(), sim::ProcessEnded);
    EXPECT_EQ(titles(), (std::vector<std::string>{"Welcome to Kestrova!", "Question Setup Error"}));
    const std::string& text = world().boxes.back().text;
    EXPECT_NE(text.find("needs an administrator"), std::string::npos) << text;
    EXPECT_NE(text.find("\"Run as administrator\""), std::string::npos) << text;
    EXPECT_EQ(world().boxes.back().type, 48u);
    world().standard_user = false;
    EXPECT_FALSE(store::question_stored());
}

TEST_F(SetUpDialogue, AnswerThatDidNotStickTakesTheQuestionBackOut) {
    // The question is written, the answer is not: neither may stay.
    sim::fail(sim::Call::RegSetValue, platform::kErrorAccessDenied, 2);
    world().input_answers = {"Pet", "Rex", "Rex"};
    EXPECT_THROW(run_login(), sim::ProcessEnded);
    EXPECT_FALSE(store::question_stored());
    EXPECT_FALSE(sim::get_value(kZonesKey, "Command"));
    for (const auto& t : titles()) EXPECT_NE(t, "Setup Complete");
}

TEST(QuestionMark, RuleForEveryShape) {
    EXPECT_EQ(with_question_mark("  Why  "), fixed("Why?", 250));
    EXPECT_EQ(with_question_mark("  Why?"), fixed("  Why?", 250));
    EXPECT_EQ(with_question_mark("?"), fixed("?", 250));
    EXPECT_EQ(with_question_mark(std::string(250, 'w')), std::string(250, 'w'));
    EXPECT_EQ(with_question_mark(std::string(249, 'w')), std::string(249, 'w') + "?");
    EXPECT_TRUE(answers_match(" abc ", "abc"));
    EXPECT_FALSE(answers_match("abc", "Abc"));
}

TEST_F(SetUpDialogue, UnstorableEntriesAreRefusedWithNothingStored) {
    world().input_answers = {"Q", std::string("\xFF", 1), std::string("\xFF", 1), "Q", "ok", "ok"};
    world().box_answers = {1, 1, 1, kNo, 1, kNo, 1, 1};
    run_login();
    EXPECT_EQ(world().boxes[1].text, kUnstorableMessage);
    EXPECT_EQ(store::load_question_answer().answer, fixed("ok", 20));
}

// --- changing the question or the answer ------------------------------------

class Change : public SetUpDialogue {
protected:
    void SetUp() override {
        SetUpDialogue::SetUp();
        store_credentials("Pet?", "Rex");
    }
};

TEST_F(Change, AnswerChangeStoresTheWholeTrimmedEntry) {
    standard_user();
    const std::string longer = "abcdefghijklmnopqrstuvwxy";
    world().input_answers = {" " + longer, longer + "  "};
    p().form1().change_answer();
    EXPECT_EQ(world().inputs[0].prompt, fixed("Pet?", 250));
    EXPECT_EQ(world().inputs[0].title, "Change Your Answer");
    EXPECT_EQ(world().boxes.back().text, "Answer Updated.");
    EXPECT_EQ(world().boxes.back().title, "Success!");
    EXPECT_EQ(sim::get_value(kZonesKey, "Command")->data.size(), 26u);
    EXPECT_EQ(store::load_question_answer().answer, longer.substr(0, 20));
}

TEST_F(Change, AnswerChangeRefusesEmptyAndMismatchedEntries) {
    const auto before = sim::get_value(kZonesKey, "Command")->data;
    world().input_answers = {""};
    p().form1().change_answer();
    EXPECT_EQ(world().boxes.back().text, "Answer cannot be a zero-length word. Try again.");
    world().input_answers = {"new", "New"};
    p().form1().change_answer();
    EXPECT_EQ(world().boxes.back().text, "Answers did not match. Try again.");
    EXPECT_EQ(sim::get_value(kZonesKey, "Command")->data, before);
}

TEST_F(Change, QuestionChangeHandsOverToTheSetUpAfterAMismatch) {
    world().input_answers = {"Colour", "red",   "blue",    // mismatch
                             "Town",   "Leeds", "Leeds"};  // the full set-up
    world().box_answers = {1, 1, kNo, 1, kNo, 1, 1};
    p().form1().change_question();
    EXPECT_EQ(world().inputs[0].prompt, question_prompt(false));
    EXPECT_EQ(world().boxes[0].title, "Answer Error");
    EXPECT_EQ(world().boxes[1].title, "Welcome to Kestrova!");
    EXPECT_EQ(store::load_question_answer().question, fixed("Town?", 250));
}

TEST_F(Change, AnswerChangeNotStoredIsReportedAndTheOldAnswerStays) {
    standard_user(false);
    world().input_answers = {"new", "new"};
    p().form1().change_answer();
    ASSERT_FALSE(world().boxes.empty());
    EXPECT_EQ(world().boxes.back().title, "Answer Error");
    EXPECT_NE(world().boxes.back().text.find("needs an administrator"), std::string::npos);
    world().standard_user = false;
    for (const auto& b : world().boxes) EXPECT_NE(b.text, "Answer Updated.");
    EXPECT_EQ(store::load_question_answer().answer, fixed("Rex", 20));

    // Written but not read back as written: the old answer is put back.
    world().boxes.clear();
    world().input_answers = {"newer", "newer"};
    sim::fail(sim::Call::RegQueryValue, 1117, 2);  // the read-back
    p().form1().change_answer();
    ASSERT_EQ(world().boxes.size(), 1u);
    EXPECT_NE(world().boxes[0].text.find("registry error 1117"), std::string::npos)
        << world().boxes[0].text;
    EXPECT_EQ(store::load_question_answer().answer, fixed("Rex", 20));
}

TEST_F(Change, QuestionChangeNotStoredKeepsTheOldPairWithoutTheSetUp) {
    const auto query = sim::get_value(kZonesKey, "Query")->data;
    const auto command = sim::get_value(kZonesKey, "Command")->data;
    sim::fail(sim::Call::RegSetValue, platform::kErrorAccessDenied, 2);  // Command
    world().input_answers = {"Colour", "red", "red"};
    p().form1().change_question();
    EXPECT_EQ(titles(), (std::vector<std::string>{"Question Setup Error"}));
    EXPECT_EQ(sim::get_value(kZonesKey, "Query")->data, query);
    EXPECT_EQ(sim::get_value(kZonesKey, "Command")->data, command);
}

TEST_F(Change, QuestionChangeStoresBothAndSaysAnswerUpdated) {
    standard_user();
    world().input_answers = {"Colour", "red", "red"};
    p().form1().change_question();
    EXPECT_EQ(world().boxes.back().text, "Answer Updated.");
    EXPECT_EQ(store::load_question_answer().question, fixed("Colour?", 250));
    EXPECT_EQ(sim::get_value(kZonesKey, "Query")->data.size(), 251u);
    world().input_answers = {""};
    p().form1().change_question();
    EXPECT_EQ(world().boxes.back().text,
              "Question cannot be a zero-length word. The Question was not modified.");
    EXPECT_EQ(store::load_question_answer().question, fixed("Colour?", 250));
}

}  // namespace
}  // namespace kv::test
