// The settings and secrets store against Wine's real registry: every stored
// value is checked byte for byte with RegQueryValueExA.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ui/state.h"
#include "harness.h"
#include "platform/files.h"
#include "store/scrambler.h"
#include "store/secrets.h"
#include "store/settings.h"
#include "store/text.h"

namespace {

using namespace kv::e2e;

std::string with_nul(std::string s) {
    s.push_back('\0');
    return s;
}

std::string scrambled(std::string_view clear) {
    const auto s = kv::scramble(kv::kScrambleKey, clear);
    EXPECT_TRUE(s.has_value()) << "cannot scramble: " << clear;
    return s.value_or(std::string{});
}

// Answers every message box this process shows (a store operation that
// reports an error would otherwise block the test) and records what it saw.
class BoxWatcher {
public:
    BoxWatcher() : thread_([this] { run(); }) {}
    ~BoxWatcher() {
        stop_ = true;
        thread_.join();
    }
    std::vector<MessageBoxInfo> seen() {
        std::lock_guard<std::mutex> l(m_);
        return seen_;
    }
    // The boxes seen so far were expected.
    void forget() {
        std::lock_guard<std::mutex> l(m_);
        seen_.clear();
    }

private:
    void run() {
        const DWORD me = GetCurrentProcessId();
        while (!stop_) {
            if (auto mb = find_message_box(me)) {
                {
                    std::lock_guard<std::mutex> l(m_);
                    seen_.push_back(*mb);
                }
                click(mb->hwnd, mb->buttons.empty() ? IDOK : mb->buttons.front());
                wait_for([&] { return !IsWindow(mb->hwnd); }, 5s);
            }
            std::this_thread::sleep_for(20ms);
        }
    }
    std::atomic<bool> stop_{false};
    std::mutex m_;
    std::vector<MessageBoxInfo> seen_;
    std::thread thread_;
};

class StoreWine : public ::testing::Test {
protected:
    void SetUp() override { clean_program_registry(); }
    void TearDown() override {
        clean_program_registry();
        EXPECT_TRUE(boxes_.seen().empty()) << "unexpected message box: " << boxes_.seen()[0].text;
    }
    void expect_sz(const char* key, const char* name, const std::string& bytes) {
        const auto v = reg_read(key, name);
        ASSERT_TRUE(v.has_value()) << key << " " << name << " is missing";
        EXPECT_EQ(v->type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(v->bytes.size(), bytes.size());
        EXPECT_EQ(v->bytes, bytes);
    }
    BoxWatcher boxes_;
};

// --- the alert flag -------------------------------------------------------

TEST_F(StoreWine, SetAlertStoresSixBytesAndCreatesTheVendorKey) {
    ASSERT_FALSE(reg_key_exists(kVendorParent));
    ASSERT_TRUE(kv::store::set_alert());
    expect_sz(kVendorKey, "Status", with_nul("Alert"));
    EXPECT_TRUE(reg_key_exists(kVendorParent));
}

TEST_F(StoreWine, CheckAlertFindsTheFlagOfAnyType) {
    EXPECT_FALSE(kv::store::check_alert());
    ASSERT_TRUE(kv::store::set_alert());
    EXPECT_TRUE(kv::store::check_alert());
    reg_delete_value(kVendorKey, "Status");
    EXPECT_FALSE(kv::store::check_alert());
    ASSERT_TRUE(reg_write_raw(kVendorKey, "Status", REG_DWORD, std::string(4, '\0')));
    EXPECT_TRUE(kv::store::check_alert());
}

TEST_F(StoreWine, ClearAlertRemovesTheFlagAndSaysWhenItWasGone) {
    ASSERT_TRUE(kv::store::set_alert());
    EXPECT_EQ(kv::store::clear_alert(), ERROR_SUCCESS);
    EXPECT_FALSE(reg_read(kVendorKey, "Status").has_value());
    EXPECT_TRUE(reg_key_exists(kVendorKey));
    EXPECT_EQ(kv::store::clear_alert(), ERROR_FILE_NOT_FOUND);
}

// --- the start mode -------------------------------------------------------

TEST_F(StoreWine, ReadLoginOnAFreshMachineGivesOne) {
    EXPECT_EQ(kv::store::read_login(), "1");
    EXPECT_FALSE(reg_key_exists(kVendorKey)) << "a read must not create the key";
}

TEST_F(StoreWine, SetLoginLockAndHiddenStoreTwoBytes) {
    EXPECT_TRUE(kv::store::set_login_lock());
    expect_sz(kVendorKey, "Login", with_nul("2"));
    EXPECT_EQ(kv::store::read_login(), "2");

    EXPECT_TRUE(kv::store::set_login_hidden());
    expect_sz(kVendorKey, "Login", with_nul("1"));
    EXPECT_EQ(kv::store::read_login(), "1");
}

TEST_F(StoreWine, ReadLoginGivesWhateverTextIsStored) {
    ASSERT_TRUE(reg_write_sz(kVendorKey, "Login", "7"));
    EXPECT_EQ(kv::store::read_login(), "7");
}

TEST_F(StoreWine, ALoginLongerThanTheBufferReadsAsOne) {
    ASSERT_TRUE(reg_write_sz(kVendorKey, "Login", std::string(300, '2')));
    EXPECT_EQ(kv::store::read_login(), "1");
}

// --- the Run values ---------------------------------------------------------

TEST_F(StoreWine, AddAutorunNamesKvstrnInTheProgramFolder) {
    EXPECT_TRUE(kv::store::add_autorun());
    expect_sz(kRunKey, "Kestrova", with_nul(self_dir() + "\\kvstrn.exe"));
}

TEST_F(StoreWine, RemoveAutorunDeletesTheValueAndIgnoresItsAbsence) {
    ASSERT_TRUE(kv::store::add_autorun());
    EXPECT_TRUE(kv::store::remove_autorun());
    EXPECT_FALSE(reg_read(kRunKey, "Kestrova").has_value());
    EXPECT_TRUE(kv::store::remove_autorun());  // already gone: silent
    EXPECT_FALSE(reg_read(kRunKey, "Kestrova").has_value());
}

TEST_F(StoreWine, CheckDulcimetAutorunFollowsTheValue) {
    EXPECT_FALSE(kv::store::check_dulcimet_autorun().found());
    ASSERT_TRUE(reg_write_sz(kRunKey, "Dulcimet", "C:\\Dulcimet\\dulcimet.exe"));
    EXPECT_TRUE(kv::store::check_dulcimet_autorun().found());
    reg_delete_value(kRunKey, "Dulcimet");
    EXPECT_FALSE(kv::store::check_dulcimet_autorun().found());
}

// --- the question and answer -------------------------------------------------

TEST_F(StoreWine, QuestionStoredIsFalseWithoutKeyOrValue) {
    EXPECT_FALSE(kv::store::question_stored());
    ASSERT_TRUE(reg_write_sz(kZonesKey, "Command", scrambled("x")));
    EXPECT_FALSE(kv::store::question_stored());
}

TEST_F(StoreWine, SetUpWritesAQueryOf251BytesAndACommandOf21) {
    const std::string q = "What was the name of my first dog?";
    const std::string a = "Rex";
    ASSERT_TRUE(kv::store::write_question_and_answer(q, a));

    const auto query = reg_read(kZonesKey, "Query");
    ASSERT_TRUE(query.has_value());
    EXPECT_EQ(query->type, static_cast<DWORD>(REG_SZ));
    ASSERT_EQ(query->bytes.size(), 251u);
    EXPECT_EQ(query->bytes.substr(0, 250), scrambled(kv::fixed(q, kv::kQuestionWidth)));
    EXPECT_EQ(query->bytes[250], '\0');

    expect_sz(kZonesKey, "Command", with_nul(scrambled(kv::fixed(a, kv::kAnswerWidth))));
    EXPECT_TRUE(kv::store::question_stored());

    const auto qa = kv::store::load_question_answer();
    EXPECT_EQ(qa.question, kv::fixed(q, kv::kQuestionWidth));
    EXPECT_EQ(qa.answer, kv::fixed(a, kv::kAnswerWidth));
    EXPECT_EQ(kv::store::load_question(), kv::fixed(q, kv::kQuestionWidth));
}

TEST_F(StoreWine, ALongQuestionIsCutTo250Characters) {
    const std::string q(300, 'Q');
    ASSERT_TRUE(kv::store::write_question_and_answer(q, "answer"));
    const auto query = reg_read(kZonesKey, "Query");
    ASSERT_TRUE(query.has_value());
    EXPECT_EQ(query->bytes.size(), 251u);
    EXPECT_EQ(kv::store::load_question(), std::string(250, 'Q'));
}

TEST_F(StoreWine, WriteAnswerStoresTheTextUnpaddedAndReadsBackTwentyCharacters) {
    ASSERT_TRUE(kv::store::write_question_and_answer("Question?", "old"));
    const std::string a = "abcdefghijklmnopqrstuvwxy";  // 25 characters
    ASSERT_TRUE(kv::store::write_answer(a));
    expect_sz(kZonesKey, "Command", with_nul(scrambled(a)));
    EXPECT_EQ(kv::store::load_question_answer().answer, a.substr(0, 20));
}

TEST_F(StoreWine, AMissingCommandReadsAsTwentyBlanks) {
    ASSERT_TRUE(reg_write_sz(kZonesKey, "Query", scrambled(kv::fixed("Question?", 250))));
    const auto qa = kv::store::load_question_answer();
    EXPECT_EQ(qa.answer, std::string(20, ' '));
    EXPECT_EQ(qa.question, kv::fixed("Question?", 250));
}

TEST_F(StoreWine, RawScrambledBytesAreReadBack) {
    // Written the way any earlier build wrote them: scrambled bytes plus NUL.
    ASSERT_TRUE(reg_write_sz(kZonesKey, "Query", scrambled(kv::fixed("Favourite colour?", 250))));
    ASSERT_TRUE(reg_write_sz(kZonesKey, "Command", scrambled(kv::fixed("Teal", 20))));
    EXPECT_TRUE(kv::store::question_stored());
    const auto qa = kv::store::load_question_answer();
    EXPECT_EQ(qa.question, kv::fixed("Favourite colour?", 250));
    EXPECT_EQ(qa.answer, kv::fixed("Teal", 20));
}

TEST_F(StoreWine, TextThatCannotBeScrambledWritesNothing) {
    const std::string bad(1, static_cast<char>(0xFF));  // odd position: 255 + key overflows
    EXPECT_FALSE(kv::store::write_question_and_answer(bad, "answer"));
    EXPECT_FALSE(kv::store::write_answer(bad));
    EXPECT_FALSE(reg_read(kZonesKey, "Query").has_value());
    EXPECT_FALSE(reg_read(kZonesKey, "Command").has_value());
}

// --- the attempt log's file, written by several sessions at once ------------

constexpr int kAppends = 300;
constexpr int kRewrites = 60;

// A record of its own: the writer's tag and a number, padded to 40 bytes.
std::string tagged_record(char tag, int n) {
    char text[64];
    std::snprintf(text, sizeof text, "%c%06d", tag, n);
    return kv::fixed(text, 40);
}

// A writer process (this program started again):
//   --append PATH TAG: appends kAppends records tagged TAG, one at a time;
//   --rewrite PATH: rewrites the file kRewrites times, keeping what it holds.
// A write that met another writer holding the lock too long is tried again,
// as the program keeps it for its next change. The exit code counts the
// writes that failed otherwise.
int writer(const std::string& mode, const std::string& path, char tag) {
    int failed = 0;
    // True when the write is done or failed otherwise than by waiting.
    const auto settled = [&](kv::platform::Result r) {
        if (r) return true;
        if (r == ERROR_TIMEOUT) return false;
        ++failed;
        return true;
    };
    if (mode == "--append") {
        for (int n = 0; n < kAppends; ++n)
            while (!settled(kv::platform::append_record(path, tagged_record(tag, n)))) {
            }
    } else {
        kv::platform::EditBy keep([](std::string_view current) { return std::string(current); });
        for (int n = 0; n < kRewrites; ++n)
            while (!settled(kv::platform::rewrite_file(path, keep))) {
            }
    }
    return failed;
}

// Two signed-in users' Kestrovas record wrong answers at the same moment
// while a third deletes an entry: every record arrives whole, once.
TEST(FilesWine, ProcessesAppendingAndRewritingAtOnceLoseAndTearNoRecord) {
    char self[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
    char temp[MAX_PATH] = {};
    ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
    const std::string path = std::string(temp) + "kv_concurrent_klingon2";
    DeleteFileA(path.c_str());

    std::vector<PROCESS_INFORMATION> writers;
    for (const std::string& args : {"--append \"" + path + "\" A", "--append \"" + path + "\" B",
                                   "--rewrite \"" + path + "\""}) {
        std::string command = "\"" + std::string(self) + "\" " + args;
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        ASSERT_TRUE(CreateProcessA(self, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &si, &pi))
            << command;
        CloseHandle(pi.hThread);
        writers.push_back(pi);
    }
    for (const auto& w : writers) {
        EXPECT_EQ(WaitForSingleObject(w.hProcess, 300000), WAIT_OBJECT_0) << "a writer hangs";
        DWORD code = 1;
        GetExitCodeProcess(w.hProcess, &code);
        EXPECT_EQ(code, 0u) << "writes that failed";
        CloseHandle(w.hProcess);
    }

    const auto data = read_file(path);
    ASSERT_TRUE(data.has_value());
    EXPECT_EQ(data->size(), 2u * kAppends * 40);
    std::vector<int> seen(2 * kAppends, 0);
    for (std::size_t at = 0; at + 40 <= data->size(); at += 40) {
        const std::string r = data->substr(at, 40);
        const int writer_index = r[0] == 'A' ? 0 : r[0] == 'B' ? 1 : -1;
        const int n = std::atoi(r.substr(1, 6).c_str());
        const bool whole = writer_index >= 0 && n >= 0 && n < kAppends &&
                           r == tagged_record(r[0], n);
        EXPECT_TRUE(whole) << "torn record at " << at << ": " << r;
        if (whole) ++seen[writer_index * kAppends + n];
    }
    for (int i = 0; i < 2 * kAppends; ++i)
        EXPECT_EQ(seen[i], 1) << (i < kAppends ? 'A' : 'B') << i % kAppends;
    DeleteFileA(path.c_str());
}

}  // namespace

// The writer processes of FilesWine run this program with their own
// arguments; every other start runs the tests.
int main(int argc, char** argv) {
    if (argc >= 3 && (std::string(argv[1]) == "--append" || std::string(argv[1]) == "--rewrite"))
        return writer(argv[1], argv[2], argc >= 4 ? argv[3][0] : ' ');
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
