// The tarnwick command: shared pieces of its subcommands.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tarnwick/tarnwick.h"

namespace tarnwick::cli {

// Exit statuses.
inline constexpr int Ok = 0;
inline constexpr int No = 1;      // a negative answer, or a launch that did not happen
inline constexpr int Usage = 2;   // the command line was wrong
inline constexpr int Failed = 3;  // the library raised an error

// Raised for a wrong command line; main prints it with a hint to --help.
struct UsageError {
    std::string message;
};

// The arguments of one subcommand: named options and positional values.
class Args {
  public:
    // valueOptions take a value ("--game PATH" or "--game=PATH"); flags do not.
    // A flag of one letter or digit is given as "-q", "-0".
    Args(const std::vector<String>& words, const std::vector<std::string>& valueOptions,
         const std::vector<std::string>& flags);

    bool help() const { return help_; }
    bool flag(const std::string& name) const { return flags_.count(name) != 0; }
    std::optional<String> option(const std::string& name) const;
    String required(const std::string& name) const;  // UsageError when missing
    const std::vector<String>& positionals() const { return positionals_; }
    // Exactly n positionals, or a UsageError naming what is expected.
    void expectPositionals(std::size_t n, const std::string& what) const;

  private:
    bool help_ = false;
    std::map<std::string, String> values_;
    std::map<std::string, bool> flags_;
    std::vector<String> positionals_;
};

struct Command {
    std::string name;
    std::string summary;  // one line for the overview
    std::string help;     // the full --help text
    std::function<int(const Args&)> run;
    std::vector<std::string> valueOptions = {};
    std::vector<std::string> flags = {};
    // The words a subcommand takes first ("reg get", "reg set", ...), for
    // the completion.
    std::vector<std::string> actions = {};
};

// What the running subcommand is about (a file, key or program): main names it
// in the message of an error the library raises. Defaults to the first
// positional argument.
void about(const String& subject);
const String& subject();
// The running subcommand's name, for its messages.
void setCommandName(const std::string& name);
const std::string& commandName();

// A started program must not hold the caller's pipes: while the command
// starts it, stdin is /dev/null, and stdout and stderr are /dev/null when
// they are pipes, so that a script's $(...) or | returns at once. out() and
// err() put the command's own streams back first (reattachStandardStreams).
// Each system has its own file: streams_posix.cpp, streams_windows.cpp.
void detachStandardStreams();
void reattachStandardStreams();

// The platform the subcommands hand to the library: the system's, or with
// --dry-run one that prints each start and write instead of making it.
void setDryRun(bool on);
bool dryRun();
Platform& platform();

// A JSON string (RFC 8259) of text, in UTF-8. A file name byte that is no
// UTF-8 reaches a String as a lone surrogate U+DC80..U+DCFF and is kept as
// that \u escape: the name is lossless and the JSON valid UTF-8.
std::string jsonString(const String& text);

// The licence, as in the LICENSE file (built in).
const char* licenceText();

// Prints yes or no (unless quiet) and returns Ok or No.
int yesNo(bool answer, bool quiet = false);

// Prints text (UTF-8) and a newline.
void out(const String& text);
void err(const String& text);
void out(const std::string& text);
void err(const std::string& text);

// An integer option within bounds, or a UsageError.
std::int32_t integerOption(const String& text, const std::string& name, std::int32_t low,
                           std::int32_t high);

// An enumeration option: one of the names (any letter case) or a number.
std::int32_t choiceOption(const String& text, const std::string& name,
                          const std::vector<std::pair<std::string, std::int32_t>>& names);

std::vector<Command> launchCommands();
std::vector<Command> configCommands();
std::vector<Command> pathCommands();
std::vector<Command> registryCommands();
std::vector<Command> sidCommands();
std::vector<Command> searchCommands();
std::vector<Command> mediaCommands();

}  // namespace tarnwick::cli
