#include "store/scrambler.h"

namespace kv {
namespace {

// Positions count from 1: odd positions shift up by the key, even ones down,
// and both are XORed with (10 - key).
int scramble_code(std::uint8_t key, std::size_t pos, unsigned char c) {
    const int v = (pos % 2 == 1) ? int{c} + key : int{c} - key;
    if (v < 0 || v > 255) return -1;
    return v ^ (10 - key);
}

int unscramble_code(std::uint8_t key, std::size_t pos, unsigned char e) {
    const int w = int{e} ^ (10 - key);
    const int c = (pos % 2 == 1) ? w - key : w + key;
    return (c < 0 || c > 255) ? -1 : c;
}

template <typename Step>
std::optional<std::string> transform(std::string_view text, Step step, const char* substitute) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int code = step(i + 1, static_cast<unsigned char>(text[i]));
        if (code < 0) {
            if (substitute == nullptr) return std::nullopt;
            out.push_back(*substitute);
        } else {
            out.push_back(static_cast<char>(code));
        }
    }
    return out;
}

}  // namespace

std::optional<std::string> scramble(std::uint8_t key, std::string_view text) {
    if (key > 10 || text.size() > kScrambleMaxLength) return std::nullopt;
    return transform(
        text, [key](std::size_t i, unsigned char c) { return scramble_code(key, i, c); }, nullptr);
}

std::optional<std::string> unscramble(std::uint8_t key, std::string_view text) {
    if (key > 10 || text.size() > kScrambleMaxLength) return std::nullopt;
    return transform(
        text, [key](std::size_t i, unsigned char e) { return unscramble_code(key, i, e); },
        nullptr);
}

std::string unscramble_lenient(std::uint8_t key, std::string_view text, char substitute) {
    if (key > 10) return std::string(text.size(), substitute);
    text = text.substr(0, kScrambleMaxLength);
    return *transform(
        text, [key](std::size_t i, unsigned char e) { return unscramble_code(key, i, e); },
        &substitute);
}

std::string scramble_lenient(std::uint8_t key, std::string_view text, char substitute) {
    if (key > 10) return std::string(text.size(), substitute);
    text = text.substr(0, kScrambleMaxLength);
    // The substitute itself is scrambled, so that reading it back gives it;
    // one that cannot be scrambled at a position gives way to '?'.
    return *transform(
        text,
        [key, substitute](std::size_t i, unsigned char c) {
            int code = scramble_code(key, i, c);
            if (code < 0) code = scramble_code(key, i, static_cast<unsigned char>(substitute));
            return code >= 0 ? code : scramble_code(key, i, '?');
        },
        nullptr);
}

}  // namespace kv
