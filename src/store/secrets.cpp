#include "store/secrets.h"

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/registry.h"
#include "store/scrambler.h"
#include "store/settings.h"
#include "store/text.h"

namespace kv::store {

using namespace kv::platform;

namespace {

constexpr std::uint32_t kReadBufferSize = 255;

// The stored text is taken exactly as it stands and unscrambled before any
// blank is trimmed: a scrambled character may itself be a blank (an even-
// position "*" scrambles to one), and trimming it first would lose it and
// shift every following character to the wrong parity.
std::string read_field(std::string_view name, std::size_t width, Result* result = nullptr) {
    const ValueRead r = read_sequence(kZonesKeyRead, name);
    if (result != nullptr) *result = r.result;
    const std::string stored = r.found() ? r.text : std::string{};
    const std::string clear = unscramble_lenient(kScrambleKey, stored.substr(0, width));
    return fixed(rtrim(clear), width);
}

std::string zones_key_write() { return std::string(kZonesKeyParent) + "AddZones"; }

// The key opened to set values, created only when it is missing (which a
// standard user may not do: the installers make it).
long open_zones_for_writing(RegKey& k) {
    const long opened = reg_open_key(kHKeyLocalMachine, zones_key_write(), kKeySetValue, k.out());
    if (opened != kErrorFileNotFound) return opened;
    return reg_create_key(kHKeyLocalMachine, zones_key_write(), kKeySetValue | kKeyCreateSubKey,
                          k.out());
}

// The open, set and close of the write sequence; the first failing result.
Result write_zone_value(std::string_view name, std::uint32_t type, const std::string& bytes) {
    RegKey k;
    if (const long opened = open_zones_for_writing(k); opened != kErrorSuccess) return opened;
    return reg_set_value(k.get(), name, type, bytes.data(),
                         static_cast<std::uint32_t>(bytes.size()));
}

// A value as it stands, whatever its size, to put it back after a failed
// write. Nothing when it does not exist; the error when it cannot be read.
struct Previous {
    long result = kErrorSuccess;
    bool exists = false;
    std::uint32_t type = 0;
    std::string bytes;
};

Previous read_previous(std::string_view name) {
    Previous p;
    RegKey k;
    p.result = reg_open_key(kHKeyLocalMachine, kZonesKeyRead, kKeyQueryValue, k.out());
    std::uint32_t size = 1024;
    if (p.result == kErrorSuccess) {
        // The value may grow between the calls; a few rounds settle it.
        for (int tries = 0; tries < 4; ++tries) {
            p.bytes.assign(size, '\0');
            p.result = reg_query_value(k.get(), name, &p.type, p.bytes.data(), &size);
            if (p.result != kErrorMoreData) break;
        }
    }
    if (p.result == kErrorFileNotFound) {
        p.result = kErrorSuccess;
        p.bytes.clear();
    } else if (p.result == kErrorSuccess) {
        p.exists = true;
        p.bytes.resize(std::min<std::size_t>(size, p.bytes.size()));
    }
    return p;
}

// Dropped when it fails: the write it undoes has failed already and is
// reported with its own cause, and a value that cannot be put back is the
// old or the new one, each whole.
void put_back(std::string_view name, const Previous& p) {
    if (p.exists) {
        static_cast<void>(write_zone_value(name, p.type, p.bytes));
    } else {
        RegKey k;
        if (reg_open_key(kHKeyLocalMachine, zones_key_write(), kKeySetValue, k.out()) ==
            kErrorSuccess)
            reg_delete_value(k.get(), name);
    }
}

// Reads the value back as the lock screen will read it.
Result read_back(std::string_view name, const std::string& scrambled) {
    const ValueRead r = read_sequence(kZonesKeyRead, name);
    if (!r.found()) return r.result;
    return r.size == scrambled.size() + 1 && r.text == scrambled ? kErrorSuccess
                                                                 : kErrorReadBackDiffers;
}

// Writes each (name, scrambled text) in order and reads them all back. On any
// failure every value is put back as it was before.
Result write_values(std::initializer_list<std::pair<const char*, std::string>> values) {
    Result out;
    std::vector<Previous> before;
    for (const auto& [name, text] : values) {
        before.push_back(read_previous(name));
        // Without the values as they were, a failure could not be undone.
        if (before.back().result != kErrorSuccess) return before.back().result;
    }
    for (const auto& [name, text] : values) {
        if (out) out = write_zone_value(name, kRegSz, text + '\0');
    }
    for (const auto& [name, text] : values) {
        if (out) out = read_back(name, text);
    }
    if (!out) {
        std::size_t i = 0;
        for (const auto& [name, text] : values) put_back(name, before[i++]);
    }
    return out;
}

long query_question() {
    RegKey k;
    long r = reg_open_key(kHKeyLocalMachine, kZonesKeyRead, kKeyQueryValue, k.out());
    if (r == kErrorSuccess) {
        std::string buffer(kReadBufferSize, ' ');
        std::uint32_t size = kReadBufferSize;
        std::uint32_t type = 0;
        r = reg_query_value(k.get(), "Query", &type, buffer.data(), &size);
    }
    return r;
}

// A Query too long for the buffer is damaged: as good as none.
bool absent(long r) { return r == kErrorFileNotFound || r == kErrorMoreData; }

}  // namespace

// Either answer has a price: a wrong "absent" opens the set-up in place of
// the lock, a wrong "stored" skips the set-up. A read that fails otherwise
// is tried once more; then denied access is told apart, and any other
// failure counts as stored.
QuestionState question_state() {
    long r = query_question();
    if (r != kErrorSuccess && !absent(r)) r = query_question();
    if (absent(r)) return QuestionState::Absent;
    return r == kErrorAccessDenied ? QuestionState::Denied : QuestionState::Stored;
}

bool question_stored() { return question_state() != QuestionState::Absent; }

QuestionAnswer load_question_answer() {
    QuestionAnswer qa;
    qa.question = read_field("Query", kQuestionWidth);
    Result r;
    qa.answer = read_field("Command", kAnswerWidth, &r);
    qa.answer_known = r == kErrorSuccess || r == kErrorFileNotFound || r == kErrorMoreData;
    return qa;
}

std::string load_question() { return read_field("Query", kQuestionWidth); }

bool storable(std::string_view text) { return scramble(kScrambleKey, text).has_value(); }

Result write_answer(std::string_view answer) {
    const auto s = scramble(kScrambleKey, answer);
    if (!s) return kErrorUnstorable;
    return write_values({{"Command", *s}});
}

Result write_question_and_answer(std::string_view question, std::string_view answer) {
    const auto q = scramble(kScrambleKey, fixed(question, kQuestionWidth));
    const auto a = scramble(kScrambleKey, fixed(answer, kAnswerWidth));
    if (!q || !a) return kErrorUnstorable;
    return write_values({{"Query", *q}, {"Command", *a}});
}

}  // namespace kv::store
