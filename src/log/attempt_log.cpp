#include "log/attempt_log.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "platform/files.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "store/grants.h"
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

// An installed copy cannot write beside itself (Program Files): its log is
// in the folder its installer made for every user. A copy run from
// anywhere else keeps it beside itself.
std::string log_file_path() {
    const std::string shared = platform::common_app_data();
    if (!shared.empty()) {
        const std::string folder = shared + '\\' + store::kUserDataFolder;
        if (platform::folder_exists(folder)) return folder + "\\klingon2";
    }
    std::string dir = platform::program_dir();
    if (dir.empty() || dir.back() != '\\') dir += '\\';
    return dir + "klingon2";
}

namespace {
bool before(const LogRecord& a, const LogRecord& b) {
    return platform::list_order(a.line, b.line) < 0;
}

std::vector<std::string> whole_records(std::string_view data) {
    std::vector<std::string> r;
    r.reserve(data.size() / kLogRecordSize);
    for (std::size_t at = 0; at + kLogRecordSize <= data.size(); at += kLogRecordSize)
        r.emplace_back(data.substr(at, kLogRecordSize));
    return r;
}

// What `a` holds beyond `b`, each record counted as often as it occurs.
std::vector<std::string> beyond(std::vector<std::string> a, std::vector<std::string> b) {
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    std::vector<std::string> r;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(r));
    return r;
}
}  // namespace

// A record goes after those that compare equal to it, where the sorted list
// would add its line.
std::size_t AttemptLog::insert(LogRecord record) {
    const auto at = static_cast<std::size_t>(
        std::upper_bound(records_.begin(), records_.end(), record, before) - records_.begin());
    records_.insert(records_.begin() + static_cast<std::ptrdiff_t>(at), std::move(record));
    return at;
}

// In file order, then sorted as the list would have them: equal lines keep
// their order. A rewritten file is sorted already, but the records appended
// since are at its end, wherever the list puts them.
void AttemptLog::add_records(std::string_view data) {
    for (std::size_t at = 0; at + kLogRecordSize <= data.size(); at += kLogRecordSize) {
        std::string record(data.substr(at, kLogRecordSize));
        std::string line = record_line(record);
        records_.push_back({std::move(record), std::move(line)});
    }
    if (!std::is_sorted(records_.begin(), records_.end(), before))
        std::stable_sort(records_.begin(), records_.end(), before);
}

// A load that fails leaves the records as they were: they then hold a part
// of what the file holds, and the next rewrite reads the file first.
void AttemptLog::load_list3() {
    log_path_ = log_file_path();
    // Changes the file has not taken yet would be lost by the reload.
    if (log_unsaved_) {
        update3();
        if (log_unsaved_) return;
    }
    // Dropped: a file that cannot be made is missing for the read just
    // after, and the load fails there.
    static_cast<void>(platform::ensure_file(log_path_));
    std::string data;
    if (!platform::read_file(log_path_, data)) return;
    records_.clear();
    add_records(data);
    synced_ = whole_records(data);
    log_in_list_ = true;
    if (view_) view_->records_reset();
}

// The new file is written beside the old one and moved over it, so a crash
// or a failed write leaves the previous log whole. The file is read again
// under the lock that every writer of it takes: a record another session
// appended since, or one whose load failed here, is kept; one this process
// removed goes once for each time it was removed. If the file cannot be
// read, it is left as it is and written later. The new file is in the
// list's order.
void AttemptLog::update3() {
    // Its failure is kept as log_unsaved, which the viewer shows and the
    // next change or load acts on.
    static_cast<void>(rewrite());
}

platform::Result AttemptLog::rewrite() {
    log_path_ = log_file_path();
    std::vector<std::string> mine;
    mine.reserve(records_.size());
    for (const auto& r : records_) mine.push_back(r.bytes);
    const std::vector<std::string> added = beyond(mine, synced_);
    const std::vector<std::string> removed = beyond(synced_, std::move(mine));
    std::vector<LogRecord> merged;
    platform::EditBy merge([&](std::string_view current) {
        merged.clear();
        std::vector<std::string> to_remove = removed;  // sorted
        for (auto& bytes : whole_records(current)) {
            const auto it = std::lower_bound(to_remove.begin(), to_remove.end(), bytes);
            if (it != to_remove.end() && *it == bytes) {
                to_remove.erase(it);
                continue;
            }
            merged.push_back({std::move(bytes), {}});
        }
        for (const auto& bytes : added) merged.push_back({bytes, {}});
        for (auto& r : merged) r.line = record_line(r.bytes);
        if (!std::is_sorted(merged.begin(), merged.end(), before))
            std::stable_sort(merged.begin(), merged.end(), before);
        std::string data;
        data.reserve(merged.size() * kLogRecordSize);
        for (const auto& r : merged) data += r.bytes;
        return data;
    });
    const platform::Result written = platform::rewrite_file(log_path_, merge);
    log_unsaved_ = !written;
    if (!written) return written;
    synced_.clear();
    for (const auto& r : merged) synced_.push_back(r.bytes);
    const bool same = merged.size() == records_.size() &&
                      std::equal(merged.begin(), merged.end(), records_.begin(),
                                 [](const LogRecord& a, const LogRecord& b) {
                                     return a.bytes == b.bytes;
                                 });
    records_ = std::move(merged);
    const bool was_in_list = std::exchange(log_in_list_, true);
    if (view_ && (!same || !was_in_list)) view_->records_reset();
    return written;
}

platform::Result AttemptLog::record_attempt(std::string_view when, std::string_view typed) {
    std::string line = attempt_line(when, typed);
    std::string bytes = log_record(line);
    // Until the records hold the file (before the main window's load, or
    // after a failed one), the file alone takes it: the next load or
    // rewrite reads it from there, and a wrong answer is not made to read
    // the whole log now. Records waiting for the file go with it instead.
    if (!log_in_list_ && !log_unsaved_) {
        if (const platform::Result appended = platform::append_record(log_file_path(), bytes))
            return appended;
    }
    const bool in_step = log_in_list_ && !log_unsaved_;
    const std::size_t at = insert({std::move(bytes), std::move(line)});
    if (view_) view_->record_added(at);
    // Appending costs the same however long the log is; a file the records
    // are not in step with is rewritten whole instead.
    if (!in_step) return rewrite();
    log_path_ = log_file_path();
    const platform::Result appended = platform::append_record(log_path_, records_[at].bytes);
    log_unsaved_ = !appended;
    if (appended) synced_.push_back(records_[at].bytes);
    return appended;
}

void AttemptLog::remove(std::size_t at) {
    if (at >= records_.size()) return;
    records_.erase(records_.begin() + static_cast<std::ptrdiff_t>(at));
    if (view_) view_->record_removed(at);
    update3();
}

void AttemptLog::clear() {
    records_.clear();
    if (view_) view_->records_reset();
    update3();
}

}  // namespace kv
