// The configuration-file editor on arbitrary file content and change lists:
// empty keys, keys and values holding line ends or bytes that are no UTF-8,
// CR/LF mixtures, long lines. After every run each line that no change
// touched must still be in the file, byte for byte and in order.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <vector>

#include "fuzz_support.h"
#include "tarnwick/tw_functions.h"

using namespace tarnwick;
using namespace tarnwick::fuzzing;

namespace {

// The file's lines as the editor reads them (CR LF, CR alone or LF alone end
// a line), empty ones left out, as the editor leaves them out.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n') {
            line += c;
            continue;
        }
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        if (!line.empty()) lines.push_back(line);
        line.clear();
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

// The longest run of lines of a that stands, in order, in b.
std::size_t commonSubsequence(const std::vector<std::string>& a,
                              const std::vector<std::string>& b) {
    std::vector<std::size_t> row(b.size() + 1, 0), next(b.size() + 1, 0);
    for (std::size_t i = a.size(); i-- > 0;) {
        for (std::size_t j = b.size(); j-- > 0;)
            next[j] = a[i] == b[j] ? row[j + 1] + 1 : std::max(row[j], next[j + 1]);
        std::swap(row, next);
    }
    return row[0];
}

bool holdsLineEnd(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const bool noArray = input.ConsumeIntegralInRange<int>(0, 31) == 0;
    const auto lower = input.ConsumeIntegralInRange<std::int32_t>(-2, 1);
    const auto count = input.ConsumeIntegralInRange<std::size_t>(0, 5);
    std::vector<ConfigFileType> changes;
    std::vector<std::string> keys, replacements;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string key = input.ConsumeRandomLengthString(24);
        const std::string value = input.ConsumeRandomLengthString(24);
        changes.push_back({fromUtf8(key), fromUtf8(value)});
        keys.push_back(key);
        replacements.push_back(key + "=" + value);
    }
    const std::string content = input.ConsumeRemainingBytesAsString();

    const std::string path = scratchFolder() + "/c64.cfg";
    writeFile(path, content);
    twFunctions functions;
    const ConfigFileArray array = noArray ? ConfigFileArray() : ConfigFileArray(changes, lower);
    try {
        functions.ChangeConfigFile(fromUtf8(path), array);
    } catch (const Error& e) {
        check(e.number() == errors::SubscriptOutOfRange && (noArray || lower > 0),
              "only a missing array or a lower bound above 0 is refused");
        check(readFile(path) == content, "a refused change leaves the file as it was");
        return 0;
    }
    check(!noArray && lower <= 0, "a missing array or a lower bound above 0 is refused");

    // Every line ends with CR LF and none is empty (but for what a change
    // wrote with line ends of its own).
    const std::string result = readFile(path);
    const std::vector<std::string> before = linesOf(content), after = linesOf(result);
    check(result.empty() || result.ends_with("\r\n"), "the file ends with CR LF");

    // The changes in force are those from index 0 on; each rewrites at most
    // one line, and what it wrote is the only text that was not there before.
    const std::size_t applied =
        lower <= 0 ? changes.size() - std::min<std::size_t>(changes.size(), -lower) : 0;
    std::size_t written = 0;
    bool lineEnds = false;
    for (std::size_t i = changes.size() - applied; i < changes.size(); ++i) {
        written += std::max<std::size_t>(1, linesOf(replacements[i]).size());
        lineEnds = lineEnds || holdsLineEnd(replacements[i]);
    }
    const std::size_t kept = commonSubsequence(before, after);
    check(kept + applied >= before.size(), "every line no change touched is still there, in order");
    check(after.size() <= kept + written, "nothing but the changes was written");
    if (!lineEnds) {
        std::string joined;
        for (const std::string& line : after) joined += line + "\r\n";
        check(joined == result, "lines end with CR LF alone, and none is empty");
        check(after.size() <= before.size() + applied, "a change adds at most one line");
    }
    if (applied == 0) {
        std::string expected;
        for (const std::string& line : before) expected += line + "\r\n";
        check(result == expected, "without changes the file is only normalised");
    }
    return 0;
}
