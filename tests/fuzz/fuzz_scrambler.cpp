// The scrambler and its lenient forms on arbitrary bytes. The first byte
// picks the key (every key the scrambler takes) and the substitute; the rest
// is the text. Properties: nothing fails to return, lengths are kept, the
// strict pair are exact inverses, unscramble(scramble(x)) == x for every
// storable x, and lenient scrambling reads back as the text with
// substitutes only where a character could not be processed.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "store/scrambler.h"

using kv::kScrambleMaxLength;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t kept = std::min(text.size(), kScrambleMaxLength);
    const char substitute = static_cast<char>(data[0]);

    for (const std::uint8_t key : {static_cast<std::uint8_t>(data[0] % 11), kv::kScrambleKey}) {
        if (const auto s = kv::scramble(key, text)) {
            KV_CHECK(text.size() <= kScrambleMaxLength);
            KV_CHECK(s->size() == text.size());
            const auto back = kv::unscramble(key, *s);
            KV_CHECK(back && *back == text);
        }
        // The text as stored bytes.
        const auto clear = kv::unscramble(key, text);
        if (clear) {
            const auto again = kv::scramble(key, *clear);
            KV_CHECK(again && *again == text);
        }
        const std::string lenient = kv::unscramble_lenient(key, text);
        KV_CHECK(lenient.size() == kept);
        if (clear) KV_CHECK(lenient == *clear);

        for (const char sub : {'?', substitute}) {
            const std::string stored = kv::scramble_lenient(key, text, sub);
            KV_CHECK(stored.size() == kept);
            const auto read = kv::unscramble(key, stored);
            KV_CHECK(read.has_value());
            const auto exact = kv::scramble(key, text.substr(0, kept));
            if (exact) KV_CHECK(*read == text.substr(0, kept));
            for (std::size_t i = 0; i < kept; ++i)
                KV_CHECK((*read)[i] == text[i] || (*read)[i] == sub || (*read)[i] == '?');
        }
    }
    // Keys the scrambler does not take give nothing, or only substitutes.
    const auto bad_key = static_cast<std::uint8_t>(11 + data[0] % 245);
    KV_CHECK(!kv::scramble(bad_key, text) && !kv::unscramble(bad_key, text));
    KV_CHECK(kv::unscramble_lenient(bad_key, text).find_first_not_of('?') == std::string::npos);
    KV_CHECK(kv::scramble_lenient(bad_key, text).find_first_not_of('?') == std::string::npos);
    return 0;
}
