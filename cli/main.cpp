// tarnwick: every capability of the library from the shell.
#include <cctype>
#include <cstdio>
#include <exception>
#include <new>

#include "cli.h"

namespace tarnwick::cli {
namespace {

std::vector<Command> allCommands() {
    std::vector<Command> all;
    for (auto part : {launchCommands, configCommands, pathCommands, registryCommands, sidCommands,
                      searchCommands, mediaCommands})
        for (Command& c : part()) all.push_back(std::move(c));
    return all;
}

// The subcommands that start another program.
bool startsPrograms(const std::string& name) {
    if (name == "play" || name == "open") return true;
    for (const Command& c : launchCommands())
        if (c.name == name) return true;
    return false;
}

void overview(const std::vector<Command>& commands) {
    out("Usage: tarnwick COMMAND [OPTIONS]\n"
        "\n"
        "Tarnwick General Functions v2.2 from the shell: start C64 emulators on game\n"
        "files and answer questions about paths.\n"
        "\n"
        "Commands:");
    for (const Command& c : commands) {
        std::string line = "  " + c.name;
        line.resize(std::max<std::size_t>(line.size() + 2, 16), ' ');
        out(line + c.summary);
    }
    out("\n"
        "Run 'tarnwick COMMAND --help' for the options of a command.\n"
        "\n"
        "Exit status:\n"
        "  0  done, or yes\n"
        "  1  did not happen, not found, or no\n"
        "  2  a wrong command line (unknown command or option, missing or bad value)\n"
        "  3  the library raised an error\n"
        "Every status but 0 comes with one line on stderr, 'tarnwick COMMAND: NAME:\n"
        "reason', naming the file, key or program and the cause; yes/no questions\n"
        "answer no on stdout instead.\n"
        "\n"
        "A started emulator, player or document program gets /dev/null as its input,\n"
        "and as its output where tarnwick's output is a pipe: its chatter must not\n"
        "flood a script, nor keep $(tarnwick ...) or tarnwick ... | cat waiting until\n"
        "it ends. On a terminal it keeps its output.");
}

int run(const std::vector<String>& words) {
    const std::vector<Command> commands = allCommands();
    if (words.empty()) {
        overview(commands);
        return Usage;
    }
    const std::string name = toUtf8(words[0]);
    if (name == "--help" || name == "-h" || name == "help") {
        if (words.size() > 1) {
            for (const Command& c : commands)
                if (c.name == toUtf8(words[1])) {
                    out(c.help);
                    return Ok;
                }
            err("tarnwick help: " + toUtf8(words[1]) + ": no such command");
            return Usage;
        }
        overview(commands);
        return Ok;
    }
    if (name == "--version") {
        out("tarnwick 2.2 (Tarnwick General Functions v2.2)");
        return Ok;
    }
    for (const Command& c : commands) {
        if (c.name != name) continue;
        try {
            const Args args(std::vector<String>(words.begin() + 1, words.end()), c.valueOptions,
                            c.flags);
            if (args.help()) {
                out(c.help);
                return Ok;
            }
            setCommandName(name);
            if (!args.positionals().empty()) about(args.positionals()[0]);
            if (startsPrograms(name)) detachStandardStreams();
            return c.run(args);
        } catch (const UsageError& e) {
            err("tarnwick " + name + ": " + e.message + " (see 'tarnwick " + name + " --help')");
            return Usage;
        } catch (const Error& e) {
            std::string reason = toUtf8(e.description());
            if (!reason.empty()) reason[0] = static_cast<char>(std::tolower(reason[0]));
            err("tarnwick " + name + ": " + toUtf8(subject()) + ": " + reason + " (error " +
                std::to_string(e.number()) + ")");
            return Failed;
        } catch (const std::bad_alloc&) {
            // Never an abort: a command that runs out of memory says so.
            err("tarnwick " + name + ": out of memory");
            return Failed;
        } catch (const std::exception& e) {
            err("tarnwick " + name + ": " + e.what());
            return Failed;
        }
    }
    err("tarnwick: " + name + ": unknown command (see 'tarnwick --help')");
    return Usage;
}

}  // namespace
}  // namespace tarnwick::cli

int main(int argc, char** argv) {
    std::vector<tarnwick::String> words = tarnwick::programArguments(argc, argv);
    if (!words.empty()) words.erase(words.begin());
    return tarnwick::cli::run(words);
}
