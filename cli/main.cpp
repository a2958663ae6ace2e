// tarnwick: every capability of the library from the shell.
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
        "Exit status: 0 done (or yes), 1 not started (or no), 2 wrong command line,\n"
        "3 an error was raised.");
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
            return c.run(args);
        } catch (const UsageError& e) {
            err("tarnwick " + name + ": " + e.message);
            err("Try 'tarnwick " + name + " --help'.");
            return Usage;
        } catch (const Error& e) {
            err("tarnwick " + name + ": error " + std::to_string(e.number()) + ": " +
                toUtf8(e.description()));
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
    err("tarnwick: unknown command '" + name + "'. Try 'tarnwick --help'.");
    return Usage;
}

}  // namespace
}  // namespace tarnwick::cli

int main(int argc, char** argv) {
    std::vector<tarnwick::String> words = tarnwick::programArguments(argc, argv);
    if (!words.empty()) words.erase(words.begin());
    return tarnwick::cli::run(words);
}
