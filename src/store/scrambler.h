// The positional character scrambler that protects the question, the answer
// and both fields of every log record.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kv {

// The key every caller passes. Any key from 0 to 10 works; 6 is the smallest
// that keeps every typeable character from scrambling to a leading blank
// (only control characters do at odd positions), and a small key keeps the
// range of characters that fit at odd positions (up to 255 - key) wide.
inline constexpr std::uint8_t kScrambleKey = 6;

// The longest text the one-byte position counter handles.
inline constexpr std::size_t kScrambleMaxLength = 254;

// Scrambles `text`, or gives nothing when a step leaves the range 0..255 or
// the text is longer than kScrambleMaxLength: such text cannot be stored.
std::optional<std::string> scramble(std::uint8_t key, std::string_view text);

// The inverse of scramble. Gives nothing for bytes that scramble could not
// have produced.
std::optional<std::string> unscramble(std::uint8_t key, std::string_view text);

// Unscrambles what it can and puts `substitute` where a byte cannot be
// decoded, for reading stored data that may be damaged.
std::string unscramble_lenient(std::uint8_t key, std::string_view text, char substitute = '?');

// Scrambles what it can and puts a safe substitute where a character cannot
// be processed, so that any typed text can be recorded.
std::string scramble_lenient(std::uint8_t key, std::string_view text, char substitute = '?');

}  // namespace kv
