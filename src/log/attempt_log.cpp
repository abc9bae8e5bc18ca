#include "log/attempt_log.h"

#include "app/form1.h"
#include "app/program.h"
#include "platform/files.h"
#include "platform/system.h"
#include "store/scrambler.h"
#include "store/text.h"

namespace kv {

namespace {
constexpr std::size_t kWhenWidth = 21;
constexpr const char* kGap = "        ";  // eight blanks
}  // namespace

std::string attempt_line(std::string_view when, std::string_view typed) {
    return fixed(when, kWhenWidth) + kGap + fixed(typed, kWhenWidth);
}

std::string line_when(std::string_view line) {
    return std::string(trim(line.substr(0, kWhenWidth)));
}

std::string line_answer(std::string_view line) {
    return line.size() > kWhenWidth ? std::string(trim(line.substr(kWhenWidth))) : std::string{};
}

// Typed text that the scrambler cannot process is recorded with a substitute
// character rather than lost.
std::string log_record(std::string_view line) {
    return fixed(scramble_lenient(kScrambleKey, line_when(line).substr(0, kLogFieldSize)),
                 kLogFieldSize) +
           fixed(scramble_lenient(kScrambleKey, line_answer(line).substr(0, kLogFieldSize)),
                 kLogFieldSize);
}

// Damaged bytes are decoded as well as they can be; a record never stops
// the load.
std::string record_line(std::string_view record) {
    const auto when = unscramble_lenient(kScrambleKey, trim(record.substr(0, kLogFieldSize)));
    const auto answer =
        unscramble_lenient(kScrambleKey, trim(record.substr(kLogFieldSize, kLogFieldSize)));
    return fixed(when, kWhenWidth) + kGap + fixed(answer, kLogFieldSize);
}

std::string log_file_path() {
    std::string dir = platform::program_dir();
    if (dir.empty() || dir.back() != '\\') dir += '\\';
    return dir + "klingon2";
}

void Form1::load_list3() {
    program_.log_path = log_file_path();
    auto list = ctl("List2");
    list.list_clear();
    platform::ensure_file(program_.log_path);
    std::string data;
    if (!platform::read_file(program_.log_path, data)) return;
    const std::size_t records = data.size() / kLogRecordSize;
    for (std::size_t n = 0; n < records; ++n)
        list.list_add(
            record_line(std::string_view(data).substr(n * kLogRecordSize, kLogRecordSize)));
}

// The new file is written beside the old one and moved over it, so a crash
// or a failed write leaves the previous log whole.
void Form1::update3() {
    program_.log_path = log_file_path();
    auto list = ctl("List2");
    std::string data;
    for (int i = 0; i < list.list_count(); ++i) data += log_record(list.list_item(i));
    platform::replace_file(program_.log_path, data);
}

}  // namespace kv
