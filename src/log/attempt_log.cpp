#include "log/attempt_log.h"

#include <algorithm>
#include <map>

#include "platform/files.h"
#include "platform/system.h"
#include "store/scrambler.h"
#include "store/text.h"
#include "ui/state.h"

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
// the load. Only the padding on the right is trimmed before unscrambling: a
// blank at the left is a scrambled character, and dropping it would decode
// the rest at the wrong parity. A list line cannot hold a NUL.
std::string record_line(std::string_view record) {
    const auto field = [&](std::size_t at) {
        std::string text = unscramble_lenient(
            kScrambleKey, rtrim(record.substr(std::min(at, record.size()), kLogFieldSize)));
        std::replace(text.begin(), text.end(), '\0', '?');
        return text;
    };
    return fixed(field(0), kWhenWidth) + kGap + fixed(field(kLogFieldSize), kLogFieldSize);
}

std::string log_file_path() {
    std::string dir = platform::program_dir();
    if (dir.empty() || dir.back() != '\\') dir += '\\';
    return dir + "klingon2";
}

// Adds a line for every whole record of `data` and keeps each record's
// bytes, so that a rewrite gives back exactly what it loaded.
void AttemptLog::add_records(std::string_view data) {
    auto list = main_.ctl("List2");
    for (std::size_t at = 0; at + kLogRecordSize <= data.size(); at += kLogRecordSize) {
        const std::string record(data.substr(at, kLogRecordSize));
        std::string line = record_line(record);
        list.list_add(line);
        log_records_.emplace(std::move(line), record);
    }
}

// A load that fails leaves the list as it was: it then shows a part of what
// the file holds, and the next rewrite reads the file first.
void AttemptLog::load_list3() {
    auto list = main_.ctl("List2");  // loads the window first, with its own load
    main_.state().log_path = log_file_path();
    // Changes the file has not taken yet would be lost by the reload.
    if (log_unsaved_) {
        update3();
        if (log_unsaved_) return;
    }
    const std::string& path = main_.state().log_path;
    platform::ensure_file(path);
    std::string data;
    if (!platform::read_file(path, data)) return;
    list.list_clear();
    log_records_.clear();
    add_records(data);
    log_in_list_ = true;
}

// The new file is written beside the old one and moved over it, so a crash
// or a failed write leaves the previous log whole. A record on disk that the
// list does not hold (its load failed) is taken in first; if the file cannot
// be read even then, it is left as it is and the list is written later.
void AttemptLog::update3() {
    auto list = main_.ctl("List2");
    main_.state().log_path = log_file_path();
    const std::string& path = main_.state().log_path;
    if (!log_in_list_) {
        platform::ensure_file(path);
        std::string data;
        if (!platform::read_file(path, data)) {
            log_unsaved_ = true;
            return;
        }
        add_records(data);
        log_in_list_ = true;
    }
    auto loaded = log_records_;
    std::multimap<std::string, std::string> written;
    std::string data;
    for (int i = 0; i < list.list_count(); ++i) {
        std::string line = list.list_item(i);
        // A loaded line is written back as the bytes it came from.
        std::string record;
        if (const auto same = loaded.find(line); same != loaded.end()) {
            record = same->second;
            loaded.erase(same);
        } else {
            record = log_record(line);
        }
        data += record;
        written.emplace(std::move(line), std::move(record));
    }
    log_unsaved_ = !platform::replace_file(path, data);
    if (!log_unsaved_) log_records_ = std::move(written);
}

void AttemptLog::record_attempt(std::string_view when, std::string_view typed) {
    std::string line = attempt_line(when, typed);
    // Its record is made once, here, and kept with the line.
    std::string record = log_record(line);
    main_.state().log_path = log_file_path();
    // Before the main window loads, the file alone takes it: the load reads
    // it from there, and is not made to read the whole log now.
    if (!main_.loaded() && platform::append_record(main_.state().log_path, record)) return;
    auto list = main_.ctl("List2");  // the main window's load reads the file
    const bool in_step = log_in_list_ && !log_unsaved_;
    list.list_add(line);
    const auto kept = log_records_.emplace(std::move(line), std::move(record));
    if (!in_step) return update3();
    log_unsaved_ = !platform::append_record(main_.state().log_path, kept->second);
}

}  // namespace kv
