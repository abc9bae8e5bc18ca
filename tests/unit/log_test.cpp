#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "log/attempt_log.h"
#include "program_fixture.h"
#include "store/scrambler.h"
#include "store/text.h"

namespace kv::test {
namespace {

class AttemptLog : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        store_credentials();
        world().program_dir = "C:\\Apps\\Kestrova";
    }
    platform::Control list() { return p().form1().ctl("List2"); }
    std::string& file() { return world().files["C:\\Apps\\Kestrova\\klingon2"]; }
    // The file's whole records in sorted order: a rewrite follows the list's.
    std::vector<std::string> records() {
        std::vector<std::string> r;
        for (std::size_t at = 0; at + 40 <= file().size(); at += 40)
            r.push_back(file().substr(at, 40));
        std::sort(r.begin(), r.end());
        return r;
    }
    static std::string two_earlier() {
        return log_record(attempt_line("12/6/2026 8:00:00 AM", "one")) +
               log_record(attempt_line("12/6/2026 8:01:00 AM", "two"));
    }
    // A wrong answer's record, as the lock screen adds it; the tests look
    // at the file and the records themselves.
    void record(const char* when, const std::string& typed) {
        static_cast<void>(p().form1().attempt_log().record_attempt(when, typed));
    }
    static constexpr long kSharingViolation = 32;
};

TEST(AttemptLines, LinesAndRecordsByteForByte) {
    const std::string line = attempt_line("12/7/2026 10:15:00 AM", " abcdefghijklmnopqrstuvwxy ");
    EXPECT_EQ(line.size(), 50u);
    EXPECT_EQ(line, "12/7/2026 10:15:00 AM         abcdefghijklmnopqrst");
    EXPECT_EQ(line_when(line), "12/7/2026 10:15:00 AM");

    const std::string record = log_record(attempt_line("1/2/2026 9:00:00", "  hi  "));
    ASSERT_EQ(record.size(), 40u);
    EXPECT_EQ(record.substr(0, 20), fixed(*scramble(kScrambleKey, "1/2/2026 9:00:00"), 20));
    // The answer is trimmed before it is scrambled; padding is not scrambled.
    EXPECT_EQ(record.substr(20), *scramble(kScrambleKey, "hi") + std::string(18, ' '));
    const std::string loaded = record_line(record);
    EXPECT_EQ(loaded.size(), 49u);
    EXPECT_EQ(loaded, fixed("1/2/2026 9:00:00", 21) + std::string(8, ' ') + fixed("hi", 20));
}

TEST_F(AttemptLog, NoFileYetCreatesAnEmptyOne) {
    p().form1().load_list3();
    EXPECT_EQ(list().list_count(), 0);
    EXPECT_EQ(p().form1().attempt_log().log_path(), "C:\\Apps\\Kestrova\\klingon2");
    EXPECT_TRUE(world().files.count(p().form1().attempt_log().log_path()));
}

// Where a standard user cannot write beside the program, the installers'
// shared folder holds the log: wrong answers, Delete and Delete All go there.
TEST_F(AttemptLog, AnInstalledCopyKeepsItsLogInTheSharedDataFolder) {
    world().program_dir_read_only = true;
    const std::string shared = "C:\\ProgramData\\Orvane\\Kestrova\\klingon2";
    world().folders.insert("C:\\ProgramData\\Orvane\\Kestrova");
    world().files[shared] = two_earlier();
    p().main_unlocked = 1;
    p().form1().Show();
    EXPECT_EQ(p().form1().attempt_log().log_path(), shared);
    EXPECT_EQ(list().list_count(), 2);
    record("12/7/2026 9:00:00 AM", "three");
    EXPECT_EQ(world().files[shared].size(), 120u);
    sim::click(*form("Form1"), "Command5");
    list().set_list_index(0);
    world().box_answers = {kYes};
    sim::click(*form("Form1"), "Command11");
    EXPECT_EQ(world().files[shared].size(), 80u);
    world().box_answers = {kYes};
    sim::click(*form("Form1"), "DeleteAll");
    EXPECT_EQ(world().files[shared], "");
    EXPECT_FALSE(p().form1().attempt_log().log_unsaved());
    EXPECT_FALSE(world().files.count("C:\\Apps\\Kestrova\\klingon2"));
    for (const auto& b : world().boxes)
        EXPECT_EQ(b.text.find("could not be written"), std::string::npos) << b.text;
}

// Another signed-in user's Kestrova writes the same file: what it appends or
// deletes while this one shows the log stays as it left it.
TEST_F(AttemptLog, DeletesKeepWhatAnotherSessionChangedMeanwhile) {
    file() = two_earlier();
    p().form1().Load();
    record("12/7/2026 9:00:00 AM", "three");
    const std::string theirs = log_record(attempt_line("12/7/2026 9:30:00 AM", "theirs"));
    file() = file().substr(40) + theirs;  // they deleted "one" and appended one
    p().form1().attempt_log().remove(1);   // "two"
    EXPECT_EQ(records(), (std::vector<std::string>{
                             log_record(attempt_line("12/7/2026 9:00:00 AM", "three")), theirs}));
    EXPECT_EQ(list().list_count(), 2);
    file() += theirs;  // the same record again, from another moment
    p().form1().attempt_log().clear();
    EXPECT_EQ(file(), theirs);
    EXPECT_EQ(list().list_count(), 1);
}

TEST_F(AttemptLog, PartialRecordIsIgnoredAndGoneAfterTheNextRewrite) {
    file() = log_record(attempt_line("a", "1")) + log_record(attempt_line("b", "2")) +
             std::string(20, 'z');
    ASSERT_EQ(file().size(), 100u);
    p().form1().load_list3();
    EXPECT_EQ(list().list_count(), 2);
    p().form1().update3();
    EXPECT_EQ(file().size(), 80u);
}

TEST_F(AttemptLog, AnAttemptIsAppendedAfterTheWholeRecordsOnly) {
    // A write torn short earlier left a piece of a record at the end.
    const std::string whole = log_record(attempt_line("a", "1")) + log_record(attempt_line("b", "2"));
    file() = whole + std::string(17, 'z');
    p().form1().load_list3();
    const int from = static_cast<int>(world().trace.size());
    record("12/7/2026 9:00:00 AM", "three");
    EXPECT_EQ(sim::trace_find("file replace", from), -1) << "the whole file was rewritten";
    EXPECT_EQ(file(), whole + log_record(attempt_line("12/7/2026 9:00:00 AM", "three")));
    EXPECT_EQ(list().list_count(), 3);
}

TEST_F(AttemptLog, AnAttemptBeforeTheMainWindowLoadsIsOnlyAppended) {
    file() = two_earlier();
    const std::string three = log_record(attempt_line("12/7/2026 9:00:00 AM", "three"));
    record("12/7/2026 9:00:00 AM", "three");
    EXPECT_EQ(form("Form1"), nullptr) << "recording needed a window";
    EXPECT_EQ(file(), two_earlier() + three);
    EXPECT_EQ(list().list_count(), 3);  // the load reads it from the file
}

TEST_F(AttemptLog, LongAnswersShowTwentyOneThenTwenty) {
    p().form1().Load();
    record("12/7/2026 9:00:00 AM", std::string(25, 'q'));
    EXPECT_EQ(line_answer(list().list_item(0)).size(), 21u);
    p().form1().load_list3();
    EXPECT_EQ(line_answer(list().list_item(0)).size(), 20u);
}

TEST_F(AttemptLog, TextualOrderPutsTenBeforeNine) {
    p().form1().Load();
    record("12/7/2026 9:00:00 AM", "nine");
    record("12/7/2026 10:00:00 AM", "ten");
    EXPECT_EQ(line_answer(list().list_item(0)), "ten");
    p().form1().update3();  // a rewrite follows the list's order
    EXPECT_EQ(file().substr(20, 3), scramble(kScrambleKey, "ten")->substr(0, 3));
}

TEST_F(AttemptLog, FailedWritesLeaveThePreviousRecordsWhole) {
    p().form1().Load();
    record("12/7/2026 9:00:00 AM", "one");
    const std::string before = file();
    sim::fail(sim::Call::AppendFile, 5);  // torn: half the record is written
    record("12/7/2026 9:01:00 AM", "two");
    EXPECT_EQ(file().substr(0, 40), before);
    EXPECT_EQ(list().list_count(), 2);
    sim::fail(sim::Call::ReplaceFile, 5);
    p().form1().update3();
    EXPECT_EQ(file().substr(0, 40), before);
    // The next rewrite that succeeds drops the torn piece.
    p().form1().update3();
    EXPECT_EQ(file().size(), 80u);
}

TEST_F(AttemptLog, DamagedRecordInTheMiddleKeepsTheOthers) {
    file() = log_record(attempt_line("a", "first")) + std::string(40, '\xFF') +
             log_record(attempt_line("c", "third"));
    p().form1().load_list3();
    ASSERT_EQ(list().list_count(), 3);
    p().form1().update3();
    EXPECT_EQ(file().size(), 120u);
    p().form1().load_list3();
    std::vector<std::string> answers;
    for (int i = 0; i < list().list_count(); ++i)
        answers.push_back(line_answer(list().list_item(i)));
    EXPECT_NE(std::find(answers.begin(), answers.end(), "first"), answers.end());
    EXPECT_NE(std::find(answers.begin(), answers.end(), "third"), answers.end());
}

TEST_F(AttemptLog, LogUnreadableAtLoadKeepsEveryRecordAtTheNextRewrite) {
    file() = two_earlier();
    const auto before = records();
    // Another process holds the file without read sharing while the main
    // window loads.
    sim::fail(sim::Call::ReadFile, kSharingViolation);
    p().form1().Load();
    EXPECT_EQ(list().list_count(), 0);
    record("12/7/2026 9:00:00 AM", "three");
    ASSERT_EQ(file().size(), 120u);
    auto after = records();
    for (const auto& r : before) EXPECT_NE(std::find(after.begin(), after.end(), r), after.end());
    p().form1().load_list3();
    EXPECT_EQ(list().list_count(), 3);
}

TEST_F(AttemptLog, LogUnreadableAtTheRewriteTooIsLeftWholeAndWrittenLater) {
    file() = two_earlier();
    sim::fail(sim::Call::ReadFile, kSharingViolation);
    p().form1().Load();
    sim::fail(sim::Call::AppendFile, 5);
    sim::fail(sim::Call::ReadFile, kSharingViolation);
    record("12/7/2026 9:00:00 AM", "three");
    EXPECT_EQ(file().substr(0, 80), two_earlier());
    EXPECT_EQ(list().list_count(), 1);
    // The next attempt writes the waiting one with it, not past it.
    record("12/7/2026 9:01:00 AM", "four");
    EXPECT_EQ(file().size(), 160u);
    p().form1().load_list3();
    EXPECT_EQ(list().list_count(), 4);
}

TEST_F(AttemptLog, ScrambledBlankAtTheStartOfAFieldIsKept) {
    // A control character at an odd position scrambles to a blank.
    const std::string typed = std::string(1, '\x1E') + "abc";
    const std::string record = log_record(attempt_line("12/7/2026 9:00:00 AM", typed));
    ASSERT_EQ(record[20], ' ');
    file() = record;
    p().form1().load_list3();
    ASSERT_EQ(list().list_count(), 1);
    EXPECT_EQ(line_answer(list().list_item(0)), typed);
    p().form1().update3();
    EXPECT_EQ(file(), record);
}

TEST_F(AttemptLog, ScrambledBlankAtTheEndOfAFieldCannotBeToldFromPadding) {
    // An even-position "*" scrambles to a blank, which the load takes for
    // padding: the line loses it, but the record's bytes stay as they are.
    const std::string record = log_record(attempt_line("12/7/2026 9:00:00 AM", "a*"));
    ASSERT_EQ(record.substr(21), std::string(19, ' '));
    file() = record;
    p().form1().load_list3();
    EXPECT_EQ(line_answer(list().list_item(0)), "a");
    p().form1().update3();
    EXPECT_EQ(file(), record);
}

TEST_F(AttemptLog, DamagedRecordsAreRewrittenByteForByte) {
    std::string damaged(40, '\xFF');
    damaged[3] = '\x02';  // decodes to NUL, which no list line can hold
    file() = log_record(attempt_line("a", "first")) + damaged + std::string(1, '\x04') +
             std::string(39, 'q') + log_record(attempt_line("c", "third"));
    const auto before = records();
    p().form1().load_list3();
    ASSERT_EQ(list().list_count(), 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(list().list_item(i).find('\0'), std::string::npos);
    p().form1().update3();
    EXPECT_EQ(records(), before);
}

// --- the viewer ------------------------------------------------------------

class LogViewer : public AttemptLog {
protected:
    void SetUp() override {
        AttemptLog::SetUp();
        p().main_unlocked = 1;  // opened unlocked
        p().form1().Show();
    }
};

TEST_F(LogViewer, EmptyLogShowsTheViewerAndSaysSo) {
    sim::click(*form("Form1"), "Command5");
    for (const char* c : {"List2", "Command11", "Command12", "DeleteAll"})
        EXPECT_TRUE(p().form1().window().control(c).visible()) << c;
    EXPECT_TRUE(p().form1().ctl("Label4", 1).visible());
    EXPECT_FALSE(p().form1().ctl("Command9").enabled());
    ASSERT_EQ(world().boxes.size(), 1u);
    EXPECT_EQ(world().boxes[0].title, "Kestrova Security");
    EXPECT_EQ(world().boxes[0].type, 64u);
    sim::click(*form("Form1"), "Command12");
    EXPECT_FALSE(p().form1().ctl("List2").visible());
    EXPECT_TRUE(p().form1().ctl("Command9").enabled());
    EXPECT_TRUE(p().form1().ctl("Command5").enabled());
}

TEST_F(LogViewer, UnreadableLogIsNotReportedAsEmpty) {
    sim::reset();
    program = std::make_unique<Program>();
    store_credentials();
    world().program_dir = "C:\\Apps\\Kestrova";
    file() = two_earlier();
    sim::fail(sim::Call::ReadFile, kSharingViolation);  // the load
    sim::fail(sim::Call::ReadFile, kSharingViolation);  // and View Log's
    p().main_unlocked = 1;
    p().form1().Show();
    sim::click(*form("Form1"), "Command5");
    ASSERT_EQ(world().boxes.size(), 1u);
    EXPECT_NE(world().boxes[0].text.find("could not be read"), std::string::npos)
        << world().boxes[0].text;
    // Readable again: the next View Log shows both.
    sim::click(*form("Form1"), "Command12");
    sim::click(*form("Form1"), "Command5");
    EXPECT_EQ(list().list_count(), 2);
    EXPECT_EQ(world().boxes.size(), 1u);
}

TEST_F(LogViewer, DeleteThatCannotBeWrittenIsReported) {
    record("12/7/2026 9:00:00 AM", "one");
    sim::click(*form("Form1"), "Command5");
    list().set_list_index(0);
    world().box_answers = {kYes};
    sim::fail(sim::Call::ReplaceFile, platform::kErrorAccessDenied);
    sim::click(*form("Form1"), "Command11");
    EXPECT_EQ(world().boxes.back().title, "Kestrova Security");
    EXPECT_NE(world().boxes.back().text.find("could not be written"), std::string::npos);
    EXPECT_EQ(file().size(), 40u);
}

TEST_F(LogViewer, DeleteAsksWithTheEntryAndRewritesTheFile) {
    record("12/7/2026 9:00:00 AM", "one");
    record("12/7/2026 9:01:00 AM", "two");
    sim::click(*form("Form1"), "Command5");
    sim::click(*form("Form1"), "Command11");
    EXPECT_EQ(world().boxes.back().text, "You must first select a Log Entry.");
    EXPECT_EQ(world().boxes.back().title, "Remove Entry");

    list().set_list_index(1);
    world().box_answers = {kNo};
    sim::click(*form("Form1"), "Command11");
    EXPECT_EQ(world().boxes.back().text, "Date/Time: 12/7/2026 9:01:00 AM\r\rAnswer: two");
    EXPECT_EQ(world().boxes.back().type, 36u);
    EXPECT_EQ(world().boxes.back().title, "Delete This Entry?");
    EXPECT_EQ(list().list_count(), 2);
    EXPECT_EQ(file().size(), 80u);

    // The right button opens the pop-up without touching the selection.
    sim::right_click(*form("Form1"), "List2");
    EXPECT_TRUE(sim::trace_has("popup mnuLog"));
    EXPECT_EQ(list().list_index(), 1);
    world().box_answers = {kYes};
    sim::choose(*form("Form1"), "mnuDelete");
    EXPECT_EQ(list().list_count(), 1);
    EXPECT_EQ(file().size(), 40u);

    world().box_answers = {kNo};
    sim::click(*form("Form1"), "DeleteAll");
    EXPECT_EQ(file().size(), 40u);
    world().box_answers = {kYes};
    sim::click(*form("Form1"), "DeleteAll");
    EXPECT_EQ(world().boxes.back().title, "Reset the Log?");
    EXPECT_EQ(list().list_count(), 0);
    EXPECT_EQ(file().size(), 0u);
    // An empty log still asks.
    const auto asked = world().boxes.size();
    sim::click(*form("Form1"), "DeleteAll");
    EXPECT_EQ(world().boxes.size(), asked + 1);
}

}  // namespace
}  // namespace kv::test
