#include "cli.h"

#include <cctype>
#include <climits>
#include <cstdio>

namespace tarnwick::cli {

Args::Args(const std::vector<String>& words, const std::vector<std::string>& valueOptions,
           const std::vector<std::string>& flags) {
    const auto known = [](const std::vector<std::string>& list, const std::string& name) {
        for (const std::string& n : list)
            if (n == name) return true;
        return false;
    };
    bool onlyPositionals = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string word = toUtf8(words[i]);
        if (onlyPositionals || word.size() < 2 || word.rfind("--", 0) != 0) {
            // "-" alone and anything not starting with "--" is a value.
            if (!onlyPositionals && word.size() == 2 && word[0] == '-' &&
                known(flags, word.substr(1))) {
                flags_[word.substr(1)] = true;
                continue;
            }
            if (!onlyPositionals && word.size() >= 2 && word[0] == '-' && word != "-" &&
                !(word[1] >= '0' && word[1] <= '9')) {
                if (word == "-h") {
                    help_ = true;
                    continue;
                }
                throw UsageError{"unknown option " + word};
            }
            positionals_.push_back(words[i]);
            continue;
        }
        if (word == "--") {
            onlyPositionals = true;
            continue;
        }
        std::string name = word.substr(2);
        std::optional<String> value;
        if (const std::size_t eq = name.find('='); eq != std::string::npos) {
            value = fromUtf8(name.substr(eq + 1));
            name = name.substr(0, eq);
        }
        if (name == "help") {
            help_ = true;
        } else if (known(valueOptions, name)) {
            if (!value) {
                if (i + 1 >= words.size()) throw UsageError{"--" + name + " needs a value"};
                value = words[++i];
            }
            values_[name] = *value;
        } else if (known(flags, name)) {
            if (value) throw UsageError{"--" + name + " takes no value"};
            flags_[name] = true;
        } else {
            throw UsageError{"unknown option --" + name};
        }
    }
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
