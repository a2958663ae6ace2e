#include "cli.h"

#include <cctype>
#include <climits>
#include <cstdio>

#include <CLI/CLI.hpp>

namespace tarnwick::cli {

Args::Args(const std::vector<String>& words, const std::vector<std::string>& valueOptions,
           const std::vector<std::string>& flags) {
    // CLI11 reads the words; the help texts stay the command's own, so that
    // --help, the overview and the manual page say the same.
    CLI::App app;
    app.set_help_flag();
    app.add_flag("-h,--help", help_);
    std::map<std::string, std::string> values;
    for (const std::string& name : valueOptions) app.add_option("--" + name, values[name]);
    for (const std::string& name : flags)
        app.add_flag((name.size() == 1 ? "-" : "--") + name, flags_[name]);
    std::vector<std::string> rest;
    app.add_option("values", rest);
    // CLI11 takes the words last first.
    std::vector<std::string> reversed;
    for (auto it = words.rbegin(); it != words.rend(); ++it) reversed.push_back(toUtf8(*it));
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        std::string message = e.what();
        if (!message.empty()) message[0] = static_cast<char>(std::tolower(message[0]));
        throw UsageError{message};
    }
    for (const std::string& name : valueOptions)
        if (app.count("--" + name) != 0) values_[name] = fromUtf8(values[name]);
    std::erase_if(flags_, [](const auto& f) { return !f.second; });
    for (const std::string& word : rest) positionals_.push_back(fromUtf8(word));
}

std::optional<String> Args::option(const std::string& name) const {
    const auto it = values_.find(name);
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

String Args::required(const std::string& name) const {
    if (auto v = option(name)) return *v;
    throw UsageError{"--" + name + " is required"};
}

void Args::expectPositionals(std::size_t n, const std::string& what) const {
    if (positionals_.size() != n) throw UsageError{"expected " + what};
}

namespace {
String currentSubject;
std::string currentCommand;
}  // namespace

void about(const String& subject) {
    currentSubject = subject;
}
const String& subject() {
    return currentSubject;
}
void setCommandName(const std::string& name) {
    currentCommand = name;
}
const std::string& commandName() {
    return currentCommand;
}

std::string jsonString(const String& text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        const bool high = c >= 0xD800 && c <= 0xDBFF, low = c >= 0xDC00 && c <= 0xDFFF;
        const bool pair =
            high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
        char escaped[8];
        if (c == u'"' || c == u'\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F || ((high || low) && !pair)) {
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out += toUtf8(text.substr(i, pair ? 2 : 1));
            i += pair ? 1 : 0;
        }
    }
    return out + "\"";
}

int yesNo(bool answer, bool quiet) {
    if (!quiet) out(answer ? "yes" : "no");
    return answer ? Ok : No;
}

void out(const std::string& text) {
    reattachStandardStreams();
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
}
void err(const std::string& text) {
    reattachStandardStreams();
    std::fflush(stdout);
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
}
void out(const String& text) {
    out(toUtf8(text));
}
void err(const String& text) {
    err(toUtf8(text));
}

std::int32_t integerOption(const String& text, const std::string& name, std::int32_t low,
                           std::int32_t high) {
    const std::string s = toUtf8(text);
    std::size_t used = 0;
    long long value = 0;
    try {
        value = std::stoll(s, &used, 10);
    } catch (const std::exception&) {
        used = 0;
    }
    if (s.empty() || used != s.size() || value < low || value > high)
        throw UsageError{"--" + name + " must be a whole number from " + std::to_string(low) +
                         " to " + std::to_string(high) + ", not '" + s + "'"};
    return static_cast<std::int32_t>(value);
}

std::int32_t choiceOption(const String& text, const std::string& name,
                          const std::vector<std::pair<std::string, std::int32_t>>& names) {
    std::string lower = toUtf8(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string known;
    for (const auto& [word, value] : names) {
        if (word == lower) return value;
        known += (known.empty() ? "" : ", ") + word;
    }
    try {
        return integerOption(text, name, INT32_MIN, INT32_MAX);
    } catch (const UsageError&) {
        throw UsageError{"--" + name + " must be one of " + known + " or a number, not '" +
                         toUtf8(text) + "'"};
    }
}

}  // namespace tarnwick::cli
