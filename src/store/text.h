// Fixed-width text fields and blank trimming.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kv {

inline constexpr std::size_t kQuestionWidth = 250;
inline constexpr std::size_t kAnswerWidth = 20;

// Cuts longer text and pads shorter text with blanks on the right.
std::string fixed(std::string_view text, std::size_t width);
// Blanks (code 32) removed at the left, the right, or both ends.
std::string_view ltrim(std::string_view text);
std::string_view rtrim(std::string_view text);
std::string_view trim(std::string_view text);

}  // namespace kv
