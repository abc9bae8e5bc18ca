#include <expat.h>
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <vector>

#include "platform/registry.h"
#include "sim_fixture.h"
#include "store/grants.h"
#include "store/scrambler.h"
#include "store/secrets.h"
#include "store/policy_names.h"
#include "store/settings.h"
#include "store/text.h"

namespace kv::test {
namespace {

using platform::kErrorAccessDenied;
using platform::kRegSz;
constexpr const char* kZones = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Time Zones\\AddZones";

// --- scrambler -----------------------------------------------------------

TEST(Scrambler, RoundTripsPrintableText) {
    std::string all;
    for (int c = 32; c < 127; ++c) all.push_back(static_cast<char>(c));
    for (std::uint8_t key = 0; key <= 10; ++key) {
        const auto s = scramble(key, all);
        ASSERT_TRUE(s.has_value()) << int{key};
        EXPECT_EQ(s->size(), all.size());
        EXPECT_EQ(unscramble(key, *s), all) << int{key};
    }
}

TEST(Scrambler, OddPositionsShiftUpAndEvenDown) {
    // key 6: odd (c + 6) ^ 4, even (c - 6) ^ 4
    EXPECT_EQ(*scramble(6, "AA"),
              std::string({static_cast<char>((65 + 6) ^ 4), static_cast<char>((65 - 6) ^ 4)}));
    // Swapping the rules gives a different value.
    EXPECT_NE(*scramble(6, "AB"),
              std::string({static_cast<char>((65 - 6) ^ 4), static_cast<char>((66 + 6) ^ 4)}));
}

TEST(Scrambler, RefusesTextItCannotProcess) {
    EXPECT_FALSE(scramble(kScrambleKey, std::string(1, '\xFF')).has_value());  // odd: 255 + key
    EXPECT_FALSE(scramble(kScrambleKey, std::string("a\x01")).has_value());    // even: 1 - key
    EXPECT_FALSE(scramble(kScrambleKey, std::string(255, 'a')).has_value());
    EXPECT_TRUE(scramble(kScrambleKey, std::string(254, 'a')).has_value());
    EXPECT_FALSE(store::storable(std::string(1, '\xFB')));
    EXPECT_TRUE(store::storable("\xE9t\xE9"));  // accented letters still fit
}

TEST(Scrambler, KeyKeepsTypeableCharactersFromLeadingBlank) {
    for (int c = 32; c < 256; ++c) {
        const auto s = scramble(kScrambleKey, std::string(1, static_cast<char>(c)));
        if (s) {
            EXPECT_NE((*s)[0], ' ') << c;
        }
    }
}

TEST(Scrambler, LenientFormsSubstituteAndNeverFail) {
    const std::string typed = std::string("a\x01") + '\xFF';
    const std::string s = scramble_lenient(kScrambleKey, typed);
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(unscramble_lenient(kScrambleKey, s), "a??");
    EXPECT_EQ(unscramble_lenient(kScrambleKey, std::string(300, '\xFF')).size(), 254u);
}

// --- settings ------------------------------------------------------------

class Settings : public SimTest {};

TEST_F(Settings, AlertIsStoredAsSixBytesAndDeleted) {
    EXPECT_FALSE(store::check_alert());
    ASSERT_TRUE(store::set_alert());
    const auto v = sim::get_value(store::kVendorKey, "Status");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->type, kRegSz);
    EXPECT_EQ(v->data, std::string("Alert\0", 6));
    EXPECT_TRUE(store::check_alert());

    EXPECT_EQ(store::clear_alert(), platform::kErrorSuccess);
    EXPECT_FALSE(sim::get_value(store::kVendorKey, "Status"));
    EXPECT_FALSE(store::check_alert());
    // Already gone: the delete says so, and nothing is shown by the store.
    EXPECT_EQ(store::clear_alert(), platform::kErrorFileNotFound);
    EXPECT_TRUE(world().boxes.empty());
}

TEST_F(Settings, ZeroByteValuesAreFoundExceptAnEmptyLogin) {
    // Found exactly when the query succeeds, whatever the type and content.
    sim::put_value(store::kVendorKey, "Status", platform::kRegDword, std::string(4, '\0'));
    EXPECT_TRUE(store::check_alert());
    sim::put_value(store::kVendorKey, "Status", kRegSz, "");
    EXPECT_TRUE(store::check_alert());
    sim::put_value(store::kRunKey, "Dulcimet", kRegSz, "");
    EXPECT_TRUE(store::check_dulcimet_autorun().found());
    sim::put_value(store::kRunKey, "Kestrova", platform::kRegBinary, "");
    EXPECT_EQ(store::read_value(store::kRunKey, "Kestrova"), std::string{});
    // Login of zero bytes has no text, not even an empty one: the hidden start.
    sim::put_value(store::kVendorKey, "Login", kRegSz, "");
    EXPECT_EQ(store::read_login(), "1");
    sim::put_string(store::kVendorKey, "Login", "");
    EXPECT_EQ(store::read_login(), "");
}

TEST_F(Settings, FailAnyFailsTheNthCallWhateverItsKind) {
    ASSERT_TRUE(store::set_alert());
    sim::fail_any(1117, 2);  // open, then query
    EXPECT_FALSE(store::check_alert());
    ASSERT_TRUE(world().failed_call.has_value());
    EXPECT_EQ(*world().failed_call, sim::Call::RegQueryValue);
    EXPECT_TRUE(store::check_alert());
}

TEST_F(Settings, LoginReadsAsOneWhenNotFound) {
    EXPECT_EQ(store::read_login(), "1");
    EXPECT_FALSE(sim::key_exists(store::kVendorKey));

    EXPECT_TRUE(store::set_login_lock());
    EXPECT_EQ(sim::get_value(store::kVendorKey, "Login")->data, std::string("2\0", 2));
    EXPECT_EQ(store::read_login(), "2");
    EXPECT_TRUE(store::set_login_hidden());
    EXPECT_EQ(store::read_login(), "1");

    sim::put_string(store::kVendorKey, "Login", "abc");
    EXPECT_EQ(store::read_login(), "abc");

    // Too long for the 255-byte buffer, empty, or unreadable: "1".
    sim::put_string(store::kVendorKey, "Login", std::string(255, '2'));
    EXPECT_EQ(store::read_login(), "1");
    sim::put_string(store::kVendorKey, "Login", std::string(254, '2'));
    EXPECT_EQ(store::read_login(), std::string(254, '2'));
    sim::put_value(store::kVendorKey, "Login", kRegSz, "");
    EXPECT_EQ(store::read_login(), "1");
    // Denied is no "not stored": a start mode that cannot be read locks.
    sim::put_string(store::kVendorKey, "Login", "1");
    sim::fail(sim::Call::RegOpenKey, kErrorAccessDenied);
    EXPECT_EQ(store::read_login(), "2");
}

TEST_F(Settings, AStandardUserReadsEverythingAndWritesOnlyWhereGranted) {
    sim::put_string(store::kRunKey, "Dulcimet", "c:\\d.exe");
    sim::put_string(store::kVendorKey, "Status", "Alert");
    sim::put_string(store::kVendorKey, "Login", "2");
    standard_user();
    EXPECT_TRUE(store::check_alert());
    EXPECT_TRUE(store::check_dulcimet_autorun().found());
    EXPECT_EQ(store::read_login(), "2");
    EXPECT_EQ(store::set_login_hidden(), platform::kErrorSuccess);
    EXPECT_EQ(store::clear_alert(), platform::kErrorSuccess);
    EXPECT_FALSE(store::check_alert());
    // Not the Run key, and no key where none was made.
    EXPECT_EQ(store::add_autorun(), kErrorAccessDenied);
    sim::put_string(store::kRunKey, "Kestrova", "k.exe");
    EXPECT_EQ(store::remove_autorun(), kErrorAccessDenied);
    EXPECT_TRUE(sim::get_value(store::kRunKey, "Kestrova"));
    world().keys.erase("SOFTWARE\\ORVANE\\KESTROVA");
    EXPECT_EQ(store::set_login_lock(), kErrorAccessDenied);
    EXPECT_FALSE(sim::key_exists(store::kVendorKey));
    EXPECT_TRUE(world().boxes.empty());

    // A read that is denied is not taken for a missing value.
    sim::put_string(store::kVendorKey, "Status", "Alert");
    sim::fail(sim::Call::RegOpenKey, kErrorAccessDenied);
    EXPECT_TRUE(store::check_alert());
    EXPECT_EQ(store::not_stored_text("The AutoRun option", kErrorAccessDenied),
              "The AutoRun option could not be stored: Windows refused the change, which "
              "needs an administrator. Right-click Kestrova and choose \"Run as "
              "administrator\", or reinstall it with its setup program.");
}

TEST_F(Settings, AutorunNamesTheProgramInItsDirectory) {
    world().program_dir = "C:\\";
    EXPECT_TRUE(store::add_autorun());
    EXPECT_EQ(stored_text(*sim::get_value(store::kRunKey, "Kestrova")), "C:\\\\kvstrn.exe");
    world().program_dir = "C:\\Program Files\\Kestrova";
    EXPECT_TRUE(store::add_autorun());
    const auto v = sim::get_value(store::kRunKey, "Kestrova");
    // Quoted, or Windows would try "C:\Program.exe" first.
    EXPECT_EQ(v->data, std::string("\"C:\\Program Files\\Kestrova\\kvstrn.exe\"") + '\0');
    world().program_dir = "D:\\Tools";
    EXPECT_TRUE(store::add_autorun());
    EXPECT_EQ(stored_text(*sim::get_value(store::kRunKey, "Kestrova")), "D:\\Tools\\kvstrn.exe");

    EXPECT_EQ(store::check_dulcimet_autorun().result, platform::kErrorFileNotFound);
    sim::put_string(store::kRunKey, "Dulcimet", "x");
    EXPECT_TRUE(store::check_dulcimet_autorun().found());

    EXPECT_TRUE(store::remove_autorun());
    EXPECT_TRUE(store::remove_autorun());  // silently, also when already gone
    EXPECT_FALSE(sim::get_value(store::kRunKey, "Kestrova"));
    EXPECT_TRUE(world().boxes.empty());
}

TEST_F(Settings, AFailedWriteLeavesTheStoreUnchanged) {
    ASSERT_TRUE(store::set_login_hidden());
    sim::fail(sim::Call::RegSetValue, kErrorAccessDenied);
    EXPECT_EQ(store::set_login_lock(), kErrorAccessDenied);
    EXPECT_EQ(stored_text(*sim::get_value(store::kVendorKey, "Login")), "1");
    sim::fail(sim::Call::RegDeleteValue, kErrorAccessDenied);
    ASSERT_TRUE(store::set_alert());
    EXPECT_EQ(store::clear_alert(), kErrorAccessDenied);
    EXPECT_TRUE(sim::get_value(store::kVendorKey, "Status"));
}

// --- question and answer -------------------------------------------------

// An element of a policy template, with its attributes and the path of
// element names from the root.
struct XmlElement {
    std::string path;
    std::map<std::string, std::string> attrs;
};

// Parses a whole file with expat; empty with a failure when it is not
// well-formed XML.
std::vector<XmlElement> parse_xml(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    struct State {
        std::vector<XmlElement> elements;
        std::vector<std::string> open;
    } state;
    XML_Parser parser = XML_ParserCreateNS(nullptr, '|');
    XML_SetUserData(parser, &state);
    XML_SetElementHandler(
        parser,
        [](void* data, const XML_Char* name, const XML_Char** attrs) {
            auto& st = *static_cast<State*>(data);
            std::string local = name;
            local = local.substr(local.rfind('|') + 1);
            st.open.push_back(st.open.empty() ? local : st.open.back() + "/" + local);
            XmlElement e{st.open.back(), {}};
            for (int i = 0; attrs[i] != nullptr; i += 2) e.attrs[attrs[i]] = attrs[i + 1];
            st.elements.push_back(std::move(e));
        },
        [](void* data, const XML_Char*) { static_cast<State*>(data)->open.pop_back(); });
    const std::string xml = text.str();
    const bool ok = !xml.empty() &&
                    XML_Parse(parser, xml.data(), static_cast<int>(xml.size()), 1) == XML_STATUS_OK;
    EXPECT_TRUE(ok) << file << ": " << XML_ErrorString(XML_GetErrorCode(parser)) << " at line "
                    << XML_GetCurrentLineNumber(parser);
    XML_ParserFree(parser);
    return ok ? state.elements : std::vector<XmlElement>{};
}

// The Group Policy templates shipped for administrators: well-formed, every
// text and presentation they use defined in the English resources, and each
// policy the key, value name, type and range the program reads.
TEST_F(Settings, PolicyTemplatesNameWhatTheProgramReads) {
    const std::string dir = KV_POLICY_DIR;
    const auto admx = parse_xml(dir + "/Kestrova.admx");
    const auto adml = parse_xml(dir + "/en-US/Kestrova.adml");
    ASSERT_FALSE(admx.empty());
    ASSERT_FALSE(adml.empty());

    std::set<std::string> strings, presentations;
    for (const auto& e : adml) {
        if (e.path.ends_with("stringTable/string")) strings.insert(e.attrs.at("id"));
        if (e.path.ends_with("presentationTable/presentation"))
            presentations.insert(e.attrs.at("id"));
    }
    const std::regex ref(R"(\$\((string|presentation)\.([^)]*)\))");
    int refs = 0;
    // Each policy's key, value name (its own or its element's), DWORD type
    // (a decimal element or decimal switch values) and range.
    struct Policy {
        std::string key, value;
        bool dword = false;
        std::string max;
    };
    std::map<std::string, Policy> policies;
    std::string current;
    for (const auto& e : admx) {
        for (const auto& [name, value] : e.attrs) {
            for (std::sregex_iterator m(value.begin(), value.end(), ref), end; m != end; ++m) {
                ++refs;
                const auto& ids = (*m)[1] == "string" ? strings : presentations;
                EXPECT_TRUE(ids.count((*m)[2])) << (*m)[0] << " is not defined in the ADML";
            }
        }
        if (e.path.ends_with("policies/policy")) {
            current = e.attrs.at("name");
            EXPECT_EQ(e.attrs.at("class"), "Machine") << current;
            policies[current].key = e.attrs.at("key");
            if (e.attrs.count("valueName")) policies[current].value = e.attrs.at("valueName");
        } else if (e.path.ends_with("policy/elements/decimal")) {
            EXPECT_FALSE(e.attrs.count("storeAsText")) << current;
            policies[current].value = e.attrs.at("valueName");
            policies[current].dword = true;
            policies[current].max = e.attrs.at("maxValue");
        } else if (e.path.ends_with("policy/enabledValue/decimal")) {
            policies[current].dword = true;
        } else if (std::regex_search(e.path, std::regex("abledValue/[^/]+$")) &&
                   !e.path.ends_with("/decimal")) {
            ADD_FAILURE() << current << ": a value other than a decimal: " << e.path;
        }
    }
    EXPECT_GE(refs, 9);
    // What the program reads: REG_DWORD values under the policy key.
    static_assert(store::kPolicyType == platform::kRegDword);
    const std::map<std::string, std::string> expected = {
        {store::kInactivityTimeoutPolicy, std::to_string(store::kMaxInactivitySecs)},
        {store::kLockBeforeSleepPolicy, ""},
        {store::kCoverScreenPolicy, ""},
    };
    ASSERT_EQ(policies.size(), expected.size());
    for (const auto& [name, max] : expected) {
        ASSERT_TRUE(policies.count(name)) << name;
        const auto& p = policies.at(name);
        EXPECT_EQ(p.key, store::kPolicyKey) << name;
        EXPECT_EQ(p.value, name);
        EXPECT_TRUE(p.dword) << name;
        EXPECT_EQ(p.max, max) << name;
    }
}

// What the setup program and the MSI package give ordinary users, as each
// states it ("/grant SID RIGHTS KEY..." to their helper; the MSI's actions
// are added by kv_make_msi): exactly the keys and rights of the table, to
// the Users group by SID, and nothing granted any other way.
TEST_F(Settings, InstallersGrantUsersExactlyTheTable) {
    std::map<std::string, std::uint32_t> table;
    for (const auto& g : store::kUserKeyGrants) table[g.key] = g.access;
    const std::string root = std::string(KV_POLICY_DIR) + "/..";
    const auto text = [](const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        EXPECT_FALSE(s.str().empty()) << file;
        return s.str();
    };
    std::string nsis = text(root + "/cmake/packaging/NSIS.template.in");
    // The setup program names keys through its !defines.
    // (All read before any is put in: a replacement moves the text the
    // matches point into.)
    const std::regex define(R"(!define (\w+) \"([^\"]*)\")");
    std::vector<std::pair<std::string, std::string>> defines;
    for (std::sregex_iterator m(nsis.begin(), nsis.end(), define), end; m != end; ++m)
        defines.emplace_back("${" + (*m)[1].str() + "}", (*m)[2].str());
    for (const auto& [use, value] : defines)
        for (auto at = nsis.find(use); at != std::string::npos; at = nsis.find(use, at))
            nsis.replace(at, use.size(), value);
    // The MSI's custom actions are SQL inside a shell string: \" is ".
    std::string msi = text(root + "/scripts/lib.sh");
    for (auto at = msi.find("\\\""); at != std::string::npos; at = msi.find("\\\"", at))
        msi.erase(at, 1);
    const std::regex grant(R"(/grant (\S+) (0x[0-9a-fA-F]+)((?: \"[^\"]+\")+))");
    const std::regex quoted(R"(\"([^\"]+)\")");
    for (const auto& [name, script] : {std::pair{"setup program", nsis}, {"MSI", msi}}) {
        std::map<std::string, std::uint32_t> granted;
        std::size_t grants = 0;
        for (auto at = script.find("/grant "); at != std::string::npos;
             at = script.find("/grant ", at + 1))
            ++grants;
        std::size_t parsed = 0;
        for (std::sregex_iterator m(script.begin(), script.end(), grant), end; m != end; ++m) {
            ++parsed;
            EXPECT_EQ((*m)[1], store::kUsersSid) << name;
            const auto rights = static_cast<std::uint32_t>(std::stoul((*m)[2], nullptr, 16));
            const std::string keys = (*m)[3];
            for (std::sregex_iterator k(keys.begin(), keys.end(), quoted); k != end; ++k)
                EXPECT_TRUE(granted.emplace((*k)[1], rights).second) << name << ": " << (*k)[1];
        }
        EXPECT_EQ(grants, parsed) << name << ": a grant in another form";
        EXPECT_EQ(granted, table) << name;
        // Neither a plug-in nor the MSI's own permission tables.
        for (const char* other : {"AccessControl::", "LockPermissions", "MsiLockPermissionsEx",
                                  "SetEntriesInAcl", "SetNamedSecurityInfo"})
            EXPECT_EQ(script.find(other), std::string::npos) << name << ": " << other;
    }
    const std::string wxs = text(root + "/cmake/packaging/Kestrova.wxs");
    EXPECT_EQ(wxs.find("Permission"), std::string::npos);
}

class Secrets : public SimTest {};

TEST_F(Secrets, QuestionAndAnswerAreStoredScrambledInFixedFields) {
    EXPECT_FALSE(store::question_stored());
    ASSERT_TRUE(store::write_question_and_answer("Favourite colour?", "Teal"));
    EXPECT_TRUE(store::question_stored());

    const auto q = sim::get_value(kZones, "Query");
    ASSERT_TRUE(q);
    EXPECT_EQ(q->type, kRegSz);
    ASSERT_EQ(q->data.size(), 251u);
    EXPECT_EQ(q->data.back(), '\0');
    EXPECT_EQ(q->data.substr(0, 250), *scramble(kScrambleKey, fixed("Favourite colour?", 250)));
    const auto a = sim::get_value(kZones, "Command");
    ASSERT_EQ(a->data.size(), 21u);
    EXPECT_EQ(a->data.substr(0, 20), *scramble(kScrambleKey, fixed("Teal", 20)));

    const auto qa = store::load_question_answer();
    EXPECT_EQ(qa.question, fixed("Favourite colour?", 250));
    EXPECT_EQ(qa.answer, fixed("Teal", 20));
    EXPECT_EQ(store::load_question(), qa.question);
}

TEST_F(Secrets, LongAnswersAreKeptInFullButReadAsTwentyCharacters) {
    ASSERT_TRUE(store::write_question_and_answer("Q?", "old"));
    const std::string answer = "abcdefghijklmnopqrstuvwxy";  // 25
    ASSERT_TRUE(store::write_answer(answer));
    EXPECT_EQ(sim::get_value(kZones, "Command")->data.size(), 26u);
    EXPECT_EQ(store::load_question_answer().answer, answer.substr(0, 20));
}

TEST_F(Secrets, MissingValuesReadAsBlanks) {
    EXPECT_EQ(store::load_question_answer().answer, std::string(20, ' '));
    EXPECT_EQ(store::load_question_answer().question, std::string(250, ' '));
    sim::put_string(kZones, "Query", *scramble(kScrambleKey, fixed("Q?", 250)));
    EXPECT_TRUE(store::question_stored());
    EXPECT_EQ(store::load_question_answer().answer, std::string(20, ' '));
    sim::fail(sim::Call::RegQueryValue, platform::kErrorFileNotFound);
    EXPECT_FALSE(store::question_stored());
}

TEST_F(Secrets, AnswersEndingInStarReadBack) {
    // A "*" at an even position scrambles to a blank; reading must keep it.
    ASSERT_EQ((*scramble(kScrambleKey, "a*"))[1], ' ');
    ASSERT_TRUE(store::write_answer("a*"));
    EXPECT_EQ(store::load_question_answer().answer, fixed("a*", 20));
    const std::string twenty = "abcdefghijklmnopqrs*";
    ASSERT_TRUE(store::write_question_and_answer("Q?", twenty));
    EXPECT_EQ(store::load_question_answer().answer, twenty);
}

TEST_F(Secrets, ValuesWrittenByEarlierBuildsReadAsBefore) {
    // An unpadded answer and a question with leading blanks, written byte for
    // byte as the set-up always wrote them.
    sim::put_string(kZones, "Query", *scramble(kScrambleKey, fixed("  Where?", 250)));
    sim::put_string(kZones, "Command", *scramble(kScrambleKey, "Paris"));
    const auto qa = store::load_question_answer();
    EXPECT_EQ(qa.question, fixed("  Where?", 250));
    EXPECT_EQ(qa.answer, fixed("Paris", 20));
}

TEST_F(Secrets, UnstorableTextWritesNothing) {
    ASSERT_TRUE(store::write_question_and_answer("Q?", "good"));
    const auto before = sim::get_value(kZones, "Command")->data;
    EXPECT_FALSE(store::write_answer(std::string(1, '\xFF')));
    EXPECT_FALSE(store::write_question_and_answer("New?", std::string(1, '\xFF')));
    EXPECT_EQ(sim::get_value(kZones, "Command")->data, before);
    EXPECT_EQ(store::load_question_answer().question, fixed("Q?", 250));
}

TEST_F(Secrets, DamagedStoredBytesNeverCrash) {
    sim::put_value(kZones, "Command", kRegSz, std::string(300, '\xFF'));
    EXPECT_EQ(store::load_question_answer().answer, std::string(20, ' '));  // too long: absent
    sim::put_value(kZones, "Command", kRegSz, std::string(10, '\xFF') + '\0');
    EXPECT_EQ(store::load_question_answer().answer.size(), 20u);
}

}  // namespace
}  // namespace kv::test
