// The wildcard matcher of the search: any pattern against any name, bytes
// that are no UTF-8 included, checked against a plain table-driven matcher
// over the same folded characters; and the case-blind name comparison.
#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

#include "fuzz_support.h"
#include "platform/posix/posix_platform.h"

using namespace tarnwick;
using namespace tarnwick::fuzzing;

namespace {

std::u32string folded(std::string_view text) {
    const String wide = fromUtf8(text);
    std::u32string out;
    for (std::size_t i = 0; i < wide.size(); ++i) {
        char32_t c = wide[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
            wide[i + 1] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (wide[++i] - 0xDC00);
        out += foldCase(c);
    }
    return out;
}

// matched[i][j]: the first i pattern characters match the first j name
// characters.
bool reference(const std::u32string& pattern, const std::u32string& name) {
    std::vector<std::vector<bool>> matched(pattern.size() + 1, std::vector<bool>(name.size() + 1));
    matched[0][0] = true;
    for (std::size_t i = 1; i <= pattern.size(); ++i) {
        const char32_t p = pattern[i - 1];
        for (std::size_t j = 0; j <= name.size(); ++j) {
            if (p == U'*')
                matched[i][j] = matched[i - 1][j] || (j > 0 && matched[i][j - 1]);
            else
                matched[i][j] = j > 0 && matched[i - 1][j - 1] && (p == U'?' || p == name[j - 1]);
        }
    }
    return matched[pattern.size()][name.size()];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string pattern = input.ConsumeRandomLengthString(64);
    const std::string name = input.ConsumeRemainingBytesAsString().substr(0, 256);

    const NamePattern matcher(pattern);
    const bool everything = pattern == "*" || pattern == "*.*";
    const bool expected = everything || reference(folded(pattern), folded(name));
    check(matcher.matches(name) == expected, "the matcher agrees with the table");

    // A name always matches itself as a pattern, and compares equal to
    // itself; names compare equal exactly when their folded forms do.
    if (pattern.find_first_of("*?") == std::string::npos)
        check(NamePattern(pattern).matches(pattern), "a plain name matches itself");
    check(sameNameIgnoringCase(name, name), "a name equals itself");
    check(sameNameIgnoringCase(pattern, name) == (folded(pattern) == folded(name)),
          "case-blind comparison");
    return 0;
}
