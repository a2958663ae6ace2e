// Windows command lines, one grammar both ways: how a line is written so
// that each argument arrives whole, and how a started program finds its name
// and its arguments in the line (used where the system starts programs from
// an argument vector instead of a command line).
#pragma once

#include <string_view>
#include <vector>

#include "tarnwick/types.h"

namespace tarnwick {

// One way of reading the front of a command line as the program: the
// program's path and the text that holds its arguments.
struct ProgramCandidate {
    String program;
    String arguments;
};

// The program candidates in the order the system tries them. A quoted
// program is the only candidate; an unquoted one with blanks gives every
// blank-delimited prefix, shortest first.
std::vector<ProgramCandidate> programCandidates(const String& commandLine);

// Splits argument text by the C runtime's rules: blanks and tabs separate,
// double quotes group, 2n backslashes before a quote give n backslashes and
// a quote that groups, 2n+1 give n backslashes and a literal quote, a doubled
// quote inside quotes gives a literal quote; other backslashes are literal.
std::vector<String> splitArguments(const String& text);

// Text to stand inside a double-quoted piece of a command line: quotes, and
// the backslashes before them, are escaped by the command-line rules, and so
// are backslashes at the end when closesQuote says a closing quote follows.
// The text then stays inside its argument whatever it holds; text without
// quotes and trailing backslashes comes back unchanged.
String escapeInQuotes(std::u16string_view text, bool closesQuote);

// The argument as a double-quoted piece of a command line that reaches the
// program as one argument whatever it holds; a Windows path, which holds no
// quote, is simply put between quotes.
String quoteArgument(const String& text);

}  // namespace tarnwick
