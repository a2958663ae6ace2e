// Editing emulator configuration files: key=value lines, matched by the
// beginning of the line without regard to case.
#include "platform/platform.h"
#include "tarnwick/tw_functions.h"

namespace tarnwick {

namespace {

// The editor's positions are 16-bit: a table of 32,767 entries holds at
// most 32,766 lines and the empty entry behind them.
constexpr std::size_t maxLines = 32766;
constexpr std::int64_t maxChangeIndex = 32766;
// No emulator's configuration comes near this; a file that does is not one,
// and is refused before it can fill the memory (a link to an endless device).
constexpr std::size_t maxFileBytes = 16u << 20;

// The file's lines, ended by CR LF, CR alone or LF alone, followed by one
// empty entry.
std::vector<String> readLines(const String& text) {
    std::vector<String> table;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c != u'\r' && c != u'\n') continue;
        if (table.size() == maxLines) throw Error(errors::Overflow);
        table.push_back(text.substr(start, i - start));
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) {
        if (table.size() == maxLines) throw Error(errors::Overflow);
        table.push_back(text.substr(start));
    }
    table.emplace_back();
    return table;
}

}  // namespace

void twFunctions::ChangeConfigFile(const String& ConfigFile, const ConfigFileArray& ChArray) {
    // The whole edit runs between one read and one write of the same open
    // file, so no rewrite by another caller can fall between them.
    platform_.rewriteFile(ConfigFile, maxFileBytes, [&](std::string_view content) {
        std::vector<String> table = readLines(platform_.fromAnsi(content));

        if (!ChArray.exists()) throw Error(errors::SubscriptOutOfRange);
        const std::vector<ConfigFileType>& changes = ChArray.items();
        const std::int64_t lower = ChArray.lowerBound();
        const std::int64_t upper = lower + static_cast<std::int64_t>(changes.size()) - 1;
        if (upper > maxChangeIndex) throw Error(errors::Overflow);
        if (lower > 0) throw Error(errors::SubscriptOutOfRange);

        // Each line upper-cased once, and again only when a change rewrites it.
        std::vector<String> upperTable;
        upperTable.reserve(table.size());
        for (const String& line : table) upperTable.push_back(platform_.upperCase(line));

        for (std::int64_t index = 0; index <= upper; ++index) {
            const ConfigFileType& change = changes[static_cast<std::size_t>(index - lower)];
            const String key = platform_.upperCase(change.KeyToChange);
            for (std::size_t i = 0; i < table.size(); ++i) {
                // A line shorter than the key differs from it in this comparison.
                if (upperTable[i].compare(0, key.size(), key) != 0) continue;
                table[i] = change.KeyToChange + u"=" + change.ValueToSet;
                upperTable[i] = platform_.upperCase(table[i]);
                break;
            }
        }

        String text;
        for (const String& line : table) {
            if (line.empty()) continue;
            text += line;
            text += u"\r\n";
        }
        return platform_.toAnsi(text);
    });
}

}  // namespace tarnwick
