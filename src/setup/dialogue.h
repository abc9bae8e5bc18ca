// Texts and rules shared by the set-up and the change dialogues.
#pragma once

#include <string>
#include <string_view>

namespace kv {

// The first input box's prompt; the change dialogue leaves out the closing
// sentence.
std::string question_prompt(bool with_closing_sentence);
// A question without a final "?" gets one after its last non-blank
// character (within the 250-character field); one that has it stays as
// typed.
std::string with_question_mark(std::string_view entered);
std::string verify_prompt(std::string_view question);
// Both entries as 20-character fields, blanks at both ends ignored,
// case-sensitive.
bool answers_match(std::string_view first, std::string_view second);

inline constexpr const char* kUnstorableMessage =
    "This entry contains characters that Kestrova cannot store. Please use letters, digits and "
    "ordinary punctuation.";

}  // namespace kv
