// The access-attempt log: a record per wrong answer, shown as a line in the
// main window's List2, and the file "klingon2" of 40-byte records that keeps
// them between runs (see log_file_path for where it is).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace kv {

// One attempt: its 40 bytes as loaded or made, and the line shown for it.
// A loaded record is written back as the bytes it came from, never
// remade from its line.
struct LogRecord {
    std::string bytes;
    std::string line;
};

// The attempt log's working copy: its records in the order of the sorted
// list that shows them. The file need not be in that order: a wrong answer
// appends its record at the end, and a load sorts what it reads; a rewrite
// writes the list's order. Every change is written through to the file; a
// view, if any, is told of it.
class AttemptLog {
public:
    // Shows the records (the main window's List2); told of every change.
    class View {
    public:
        virtual void records_reset() = 0;
        virtual void record_added(std::size_t at) = 0;
        virtual void record_removed(std::size_t at) = 0;

    protected:
        ~View() = default;
    };

    void set_view(View* view) { view_ = view; }
    const std::vector<LogRecord>& records() const { return records_; }

    // Replaces the records with the file's. A load that fails leaves them
    // as they were; the next rewrite reads the file first.
    void load_list3();
    // Rewrites the file with this process's changes since it last read or
    // wrote it: the records it removed go, those it added and the file has
    // not taken come; what another process (another signed-in user) added
    // or removed meanwhile stays as that process left it. The records then
    // hold the file.
    void update3();
    // A wrong answer: its record is made and added, and appended to the
    // file, which costs the same however long the log is. Until the records
    // hold the file, the file alone takes it; when they hold changes the
    // file has not taken, update3 saves them all. The result of the write
    // that was to put the record in the file.
    platform::Result record_attempt(std::string_view when, std::string_view typed);
    // Deletes one record, or all, and rewrites the file.
    void remove(std::size_t at);
    void clear();

    // The records hold every record of the file (a load or a rewrite read
    // it).
    bool log_in_list() const { return log_in_list_; }
    // The records hold changes the file has not taken (a rewrite or an
    // append failed).
    bool log_unsaved() const { return log_unsaved_; }
    // The file, as the last load or rewrite found it.
    const std::string& log_path() const { return log_path_; }

private:
    // update3, with the result of the rewrite.
    platform::Result rewrite();
    // Adds every whole record of `data` in its place.
    void add_records(std::string_view data);
    std::size_t insert(LogRecord record);

    std::vector<LogRecord> records_;
    // The records' bytes as the file held them at the last load or rewrite,
    // with the appends since: what the changes of update3 are counted from.
    std::vector<std::string> synced_;
    View* view_ = nullptr;
    bool log_in_list_ = false;
    bool log_unsaved_ = false;
    std::string log_path_;
};

// The file's form: fixed records of two fields, each scrambled and padded.
inline constexpr std::size_t kLogFieldSize = 20;
inline constexpr std::size_t kLogRecordSize = 2 * kLogFieldSize;  // when, then the answer

// The line the lock screen adds: date-and-time padded to 21, eight blanks,
// the typed text padded to 21.
std::string attempt_line(std::string_view when, std::string_view typed);
// The two parts of a line, blanks trimmed.
std::string line_when(std::string_view line);
std::string line_answer(std::string_view line);

// The 40-byte file form of a line: both parts scrambled, each padded with
// blanks (not scrambled) or cut to 20 bytes.
std::string log_record(std::string_view line);
// The line a record loads as: the parts padded to 21 and 20.
std::string record_line(std::string_view record);

// Where the log is: "klingon2" in the folder kUserDataFolder under the
// machine's shared data folder (%ProgramData%) when that folder exists (the
// installers make it, writable by every user); otherwise "klingon2" beside
// the program.
std::string log_file_path();

}  // namespace kv
