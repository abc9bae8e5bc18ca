// The access-attempt log: one 50-character line per wrong answer in the
// main window's List2, and the file "klingon2" of 40-byte records beside the
// program that keeps them between runs.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "ui/main_window.h"

namespace kv {

// The attempt log as the main window carries it: its list List2 is the
// working copy that is shown, and the file is written from it. Each line
// keeps the bytes of its record, so that a rewrite gives back exactly what
// was loaded and a line is never parsed back from the list.
class AttemptLog {
public:
    explicit AttemptLog(MainWindow& main) : main_(main) {}

    // Clears List2 and fills it from the file. A load that fails leaves the
    // list as it was; the next rewrite reads the file first.
    void load_list3();
    // Rewrites the file from List2.
    void update3();
    // A wrong answer's record, appended to the file, which costs the same
    // however long the log is, and its line to the working copy. Before the
    // main window loads, only the file takes it (the load reads it from
    // there). When the list does not hold the file as it is (a load or a
    // save failed), update3 saves it instead.
    void record_attempt(std::string_view when, std::string_view typed);

    // The list holds every record of the file (a load or a rewrite read it).
    bool log_in_list() const { return log_in_list_; }
    // The list holds changes the file has not taken (a rewrite failed).
    bool log_unsaved() const { return log_unsaved_; }

private:
    void add_records(std::string_view data);

    MainWindow& main_;
    bool log_in_list_ = false;
    bool log_unsaved_ = false;
    // Each line loaded from or written to the file, with its record's bytes.
    std::multimap<std::string, std::string> log_records_;
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

// The directory of the program followed by "\klingon2".
std::string log_file_path();

}  // namespace kv
