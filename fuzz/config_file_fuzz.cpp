// The configuration-file editor on any content and change list: the lines no
// change touched stay, in order; nothing else is written; lines end in CR LF.
#include "fuzz_support.h"

// The lines the editor reads: as it drops empty ones, CR LF, CR and LF each end one.
std::vector<std::string> linesOf(std::string text) {
    std::replace(text.begin(), text.end(), '\r', '\n');
    std::istringstream in(text);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.insert(lines.end(), !line.empty(), line);
    return lines;
}

FUZZ_TARGET(input) {
    const bool noArray = input.ConsumeIntegralInRange(0, 31) == 0;
    const int lower = input.ConsumeIntegralInRange(-2, 1), n = input.ConsumeIntegralInRange(0, 5);
    std::vector<ConfigFileType> changes;
    std::string written;  // by the changes at index 0 on, a line each
    for (int i = lower; i < lower + n; ++i) {
        const std::string key = input.ConsumeRandomLengthString(24);
        const std::string value = input.ConsumeRandomLengthString(24);
        changes.push_back({fromUtf8(key), fromUtf8(value)});
        written += i >= 0 ? key + "=" + value + "\n" : "";
    }
    const std::string content = input.ConsumeRemainingBytesAsString();
    const std::string path = scratchFolder() + "/c64.cfg";
    std::ofstream(path, std::ios::binary) << content;
    try {
        twFunctions().ChangeConfigFile(
            fromUtf8(path), noArray ? ConfigFileArray() : ConfigFileArray(changes, lower));
    } catch (const Error& e) {  // refused before anything is written
        return PROMISE(e.number() == 9 && (noArray || lower > 0) && readFile(path) == content);
    }
    PROMISE(!noArray && lower <= 0);
    const std::string result = readFile(path);
    const auto before = linesOf(content), after = linesOf(result);
    std::vector<std::size_t> row(after.size() + 1, 0), next = row;  // lines kept in order
    for (std::size_t i = before.size(); i-- > 0; std::swap(row, next))
        for (std::size_t j = after.size(); j-- > 0;)
            next[j] = before[i] == after[j] ? row[j + 1] + 1 : std::max(row[j], next[j + 1]);
    const std::size_t applied = std::max(0, n + lower);
    PROMISE(row[0] + applied >= before.size() && after.size() <= row[0] + linesOf(written).size());
    std::string normal;  // the result unless a change wrote line ends of its own
    for (const std::string& line : after) normal += line + "\r\n";
    const bool lineEnds = written.find_first_of("\r") != std::string::npos ||
                          std::count(written.begin(), written.end(), '\n') > long(applied);
    PROMISE(lineEnds ? result.empty() || result.ends_with("\r\n") : result == normal);
}
