// The scrambled question and answer, kept among the system's time-zone
// settings.
#pragma once

#include <string>
#include <string_view>

namespace kv::store {

// Readers open the key with a trailing backslash, writers create it by
// joining the parent and "AddZones".
inline constexpr const char* kZonesKeyRead =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Time Zones\\AddZones\\";
inline constexpr const char* kZonesKeyParent =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Time Zones\\";

// True when the value Query can be read.
bool question_stored();

struct QuestionAnswer {
    std::string question;  // 250-character field
    std::string answer;    // 20-character field
};
QuestionAnswer load_question_answer();
// The question alone, as a 250-character field.
std::string load_question();

// True when text can be stored as a question or an answer.
bool storable(std::string_view text);

// Writes Command from `answer` unchanged. False, and nothing written, when
// the text cannot be scrambled.
bool write_answer(std::string_view answer);
// Writes Query from the 250-character question field, then Command from the
// 20-character answer field. False, and nothing written, when either cannot
// be scrambled.
bool write_question_and_answer(std::string_view question, std::string_view answer);

}  // namespace kv::store
