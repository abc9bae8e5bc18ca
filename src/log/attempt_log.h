// The access-attempt log: one 50-character line per wrong answer in the
// main window's List2, and the file "klingon2" of 40-byte records beside the
// program that keeps them between runs.
#pragma once

#include <string>
#include <string_view>

namespace kv {

inline constexpr std::size_t kLogRecordSize = 40;
inline constexpr std::size_t kLogFieldSize = 20;

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
