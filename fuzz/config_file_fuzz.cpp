// The configuration-file editor on any content and change list: the lines no
// change touched stay, in order; nothing else is written; lines end in CR LF.
#include "fuzz_support.h"

// The lines the editor reads: as it drops empty ones, CR LF, CR and LF each end one.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines{""};
    for (const char c : text) c == '\r' || c == '\n' ? lines.emplace_back() : lines.back() += c;
    std::erase(lines, "");
    return lines;
}

FUZZ_TARGET(input) {
    std::vector<ConfigFileType> changes;
    std::string written;  // a line each
    for (int n = input.ConsumeIntegralInRange(0, 5); n-- > 0;) {
        const std::string key = input.ConsumeRandomLengthString(24);
        const std::string value = input.ConsumeRandomLengthString(24);
        changes.push_back({fromUtf8(key), fromUtf8(value)});
        written += key + "=" + value + "\n";
    }
    const std::string content = input.ConsumeRemainingBytesAsString();
    const std::string path = scratchFolder() + "/c64.cfg";
    std::ofstream(path, std::ios::binary) << content;
    twFunctions().ChangeConfigFile(fromUtf8(path), changes);
    const std::string result = readFile(path);
    const auto before = linesOf(content), after = linesOf(result);
    std::vector<std::size_t> row(after.size() + 1, 0), next = row;  // lines kept in order
    for (std::size_t i = before.size(); i-- > 0; std::swap(row, next))
        for (std::size_t j = after.size(); j-- > 0;)
            next[j] = before[i] == after[j] ? row[j + 1] + 1 : std::max(row[j], next[j + 1]);
    PROMISE(row[0] + changes.size() >= before.size() &&
            after.size() <= row[0] + linesOf(written).size());
    std::string normal;  // the result unless a change wrote line ends of its own
    for (const std::string& line : after) normal += line + "\r\n";
    const auto lineEnds = std::count_if(written.begin(), written.end(),
                                        [](char c) { return c == '\r' || c == '\n'; });
    PROMISE(std::size_t(lineEnds) > changes.size() || result == normal);
}
