#include "store/secrets.h"

#include <optional>
#include <string>

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
std::string read_field(std::string_view name, std::size_t width) {
    const std::string stored =
        read_value(kZonesKeyRead, name, kKeyAccess63).value_or(std::string{});
    const std::string clear = unscramble_lenient(kScrambleKey, stored.substr(0, width));
    return fixed(rtrim(clear), width);
}

void write_zone_value(std::string_view name, const std::string& scrambled) {
    RegKey k;
    reg_create_key(kHKeyLocalMachine, std::string(kZonesKeyParent) + "AddZones", kKeyAccess63,
                   k.out());
    reg_set_value(k.get(), name, kRegSz, scrambled.c_str(),
                  static_cast<std::uint32_t>(scrambled.size() + 1));
}

}  // namespace

bool question_stored() {
    RegKey k;
    if (reg_open_key(kHKeyLocalMachine, kZonesKeyRead, kKeyAccess63, k.out()) != kErrorSuccess)
        return false;
    std::string buffer(kReadBufferSize, ' ');
    std::uint32_t size = kReadBufferSize;
    std::uint32_t type = 0;
    return reg_query_value(k.get(), "Query", &type, buffer.data(), &size) == kErrorSuccess;
}

QuestionAnswer load_question_answer() {
    return {read_field("Query", kQuestionWidth), read_field("Command", kAnswerWidth)};
}

std::string load_question() { return read_field("Query", kQuestionWidth); }

bool storable(std::string_view text) { return scramble(kScrambleKey, text).has_value(); }

bool write_answer(std::string_view answer) {
    const auto s = scramble(kScrambleKey, answer);
    if (!s) return false;
    write_zone_value("Command", *s);
    return true;
}

bool write_question_and_answer(std::string_view question, std::string_view answer) {
    const auto q = scramble(kScrambleKey, fixed(question, kQuestionWidth));
    const auto a = scramble(kScrambleKey, fixed(answer, kAnswerWidth));
    if (!q || !a) return false;
    write_zone_value("Query", *q);
    write_zone_value("Command", *a);
    return true;
}

}  // namespace kv::store
