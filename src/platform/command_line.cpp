#include "platform/command_line.h"

namespace tarnwick {

namespace {
bool isBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}
}  // namespace

std::vector<ProgramCandidate> programCandidates(const String& commandLine) {
    std::size_t start = 0;
    while (start < commandLine.size() && isBlank(commandLine[start])) ++start;
    std::vector<ProgramCandidate> candidates;
    if (start == commandLine.size()) return candidates;

    if (commandLine[start] == u'"') {
        const std::size_t close = commandLine.find(u'"', start + 1);
        if (close == String::npos) {
            candidates.push_back({commandLine.substr(start + 1), String()});
        } else {
            candidates.push_back(
                {commandLine.substr(start + 1, close - start - 1), commandLine.substr(close + 1)});
        }
        return candidates;
    }
    for (std::size_t i = start; i <= commandLine.size(); ++i) {
        if (i == commandLine.size()) {
            candidates.push_back({commandLine.substr(start), String()});
        } else if (isBlank(commandLine[i]) && !isBlank(commandLine[i - 1])) {
            candidates.push_back({commandLine.substr(start, i - start), commandLine.substr(i + 1)});
        }
    }
    return candidates;
}

std::vector<String> splitArguments(const String& text) {
    std::vector<String> arguments;
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (true) {
        while (i < n && isBlank(text[i])) ++i;
        if (i >= n) break;
        String argument;
        bool quoted = false;
        while (i < n && (quoted || !isBlank(text[i]))) {
            if (text[i] == u'\\') {
                std::size_t backslashes = 0;
                while (i < n && text[i] == u'\\') ++backslashes, ++i;
                if (i < n && text[i] == u'"') {
                    argument.append(backslashes / 2, u'\\');
                    if (backslashes % 2 == 1) {
                        argument += u'"';
                        ++i;
                    }
                    // an even count leaves the quote to the code below
                } else {
                    argument.append(backslashes, u'\\');
                }
            } else if (text[i] == u'"') {
                if (quoted && i + 1 < n && text[i + 1] == u'"') {
                    argument += u'"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                argument += text[i++];
            }
        }
        arguments.push_back(std::move(argument));
    }
    return arguments;
}

String escapeInQuotes(std::u16string_view text, bool closesQuote) {
    String out;
    std::size_t backslashes = 0;
    for (const char16_t c : text) {
        if (c == u'\\') {
            ++backslashes;
        } else {
            if (c == u'"') out.append(backslashes + 1, u'\\');
            backslashes = 0;
        }
        out += c;
    }
    if (closesQuote) out.append(backslashes, u'\\');
    return out;
}

String quoteArgument(const String& text) {
    return u"\"" + escapeInQuotes(text, true) + u"\"";
}

}  // namespace tarnwick
