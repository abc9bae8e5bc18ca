// The scrambled question and answer, kept among the system's time-zone
// settings.
#pragma once

#include <string>
#include <string_view>

#include "platform/result.h"

namespace kv::store {

// Readers open the key with a trailing backslash, writers create it by
// joining the parent and "AddZones".
inline constexpr const char* kZonesKeyRead =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Time Zones\\AddZones\\";
inline constexpr const char* kZonesKeyParent =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Time Zones\\";

// Whether a question is stored: Absent when the key or the value does not
// exist; Denied when this account may not read it (the question is there,
// but no answer can be checked); otherwise Stored. A failed read is tried
// once more, and any other failure counts as stored, so that a passing
// fault never opens the set-up (which would let anyone choose a new answer)
// in place of the lock.
enum class QuestionState { Stored, Absent, Denied };
QuestionState question_state();
// Anything but Absent: the set-up must not open.
bool question_stored();

struct QuestionAnswer {
    std::string question;  // 250-character field
    std::string answer;    // 20-character field
    // The answer was read, or is known to be missing; false when the read
    // failed otherwise and the field says nothing.
    bool answer_known = true;
};
QuestionAnswer load_question_answer();
// The question alone, as a 250-character field.
std::string load_question();

// True when text can be stored as a question or an answer.
bool storable(std::string_view text);

// A write of the credentials answers with the first failing registry
// result, or kErrorUnstorable when the text cannot be scrambled and nothing
// was written. Each write is read back; when any step fails the values are
// put back as they were, so the stored pair is the old one or the new one,
// never a mixture.
inline constexpr long kErrorUnstorable = 1113;  // ERROR_NO_UNICODE_TRANSLATION
// Writes Command from `answer` unchanged.
platform::Result write_answer(std::string_view answer);
// Writes Query from the 250-character question field, then Command from the
// 20-character answer field.
platform::Result write_question_and_answer(std::string_view question, std::string_view answer);

}  // namespace kv::store
