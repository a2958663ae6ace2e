// Wildcard matching of file names without regard to case, as the Windows
// enumeration matches them.
#include "platform/posix/posix_platform.h"

namespace tarnwick {

namespace {

// Decodes UTF-8 into folded characters; a byte that does not begin a valid
// sequence stands for itself (as U+DC80..U+DCFF, as fromUtf8 keeps it).
std::u32string foldedCharacters(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    const String wide = fromUtf8(text);
    for (std::size_t i = 0; i < wide.size(); ++i) {
        char32_t c = wide[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
            wide[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
            ++i;
        }
        out += foldCase(c);
    }
    return out;
}

bool isAscii(std::string_view text) {
    for (const unsigned char c : text)
        if (c >= 0x80) return false;
    return true;
}

// Star and question mark over folded characters: the last star is the only
// point to go back to, which is enough for patterns of this kind.
template <typename Text>
bool wildcardMatch(const std::u32string& pattern, const Text& name) {
    std::size_t p = 0, n = 0, starP = std::u32string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == U'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == U'?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (starP != std::u32string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == U'*') ++p;
    return p == pattern.size();
}

// An ASCII name folded in place, without decoding: the common case of a
// large tune collection, where every name is asked about.
struct AsciiFolded {
    std::string_view text;
    std::size_t size() const { return text.size(); }
    char32_t operator[](std::size_t i) const {
        return asciiUpper(static_cast<unsigned char>(text[i]));
    }
};

}  // namespace

NamePattern::NamePattern(std::string_view pattern)
    : folded_(foldedCharacters(pattern)), everything_(pattern == "*" || pattern == "*.*") {}

bool NamePattern::matches(std::string_view name) const {
    if (everything_) return true;
    if (isAscii(name)) return wildcardMatch(folded_, AsciiFolded{name});
    return wildcardMatch(folded_, foldedCharacters(name));
}

bool sameNameIgnoringCase(std::string_view a, std::string_view b) {
    if (a == b) return true;
    if (isAscii(a) && isAscii(b)) {
        if (a.size() != b.size()) return false;
        const AsciiFolded fa{a}, fb{b};
        for (std::size_t i = 0; i < a.size(); ++i)
            if (fa[i] != fb[i]) return false;
        return true;
    }
    return foldedCharacters(a) == foldedCharacters(b);
}

}  // namespace tarnwick
