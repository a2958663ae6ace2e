// The search's wildcard matcher and case-blind comparison on any pattern and
// name, against a plain table-driven matcher over the same folded characters.
#include "fuzz_support.h"

std::u32string folded(std::string_view text) {
    const String units = fromUtf8(text);
    std::u32string out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const bool pair = (units[i] & 0xFC00) == 0xD800 && (units[i + 1] & 0xFC00) == 0xDC00;
        out += foldCase(pair ? 0x10000 + ((units[i] - 0xD800) << 10) + (units[i + 1] - 0xDC00)
                             : units[i]);
        i += pair;
    }
    return out;
}

FUZZ_TARGET(input) {
    const std::string pattern = input.ConsumeRandomLengthString(64);
    const std::string name = input.ConsumeRemainingBytesAsString().substr(0, 256);
    const std::u32string p = folded(pattern), n = folded(name);
    std::vector<bool> matched(n.size() + 1, false), next = matched;  // the first j characters
    matched[0] = true;
    for (const char32_t c : p) {
        for (std::size_t j = 0; j <= n.size(); ++j)
            next[j] = c == U'*' ? matched[j] || (j > 0 && next[j - 1])
                                : j > 0 && matched[j - 1] && (c == U'?' || c == n[j - 1]);
        std::swap(matched, next);
    }
    const bool everything = pattern == "*" || pattern == "*.*";
    PROMISE(NamePattern(pattern).matches(name) == (everything || matched.back()) &&
            sameNameIgnoringCase(pattern, name) == (p == n));
}
