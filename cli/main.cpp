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

std::string overview(const std::vector<Command>& commands) {
    std::string text =
        "Usage: tarnwick COMMAND [OPTIONS]\n"
        "\n"
        "Tarnwick General Functions v2.2 from the shell: start C64 emulators on game\n"
        "files and answer questions about paths.\n"
        "\n"
        "Commands:\n";
    for (const Command& c : commands) {
        std::string line = "  " + c.name;
        line.resize(std::max<std::size_t>(line.size() + 2, 16), ' ');
        text += line + c.summary + "\n";
    }
    return text +
           "\n"
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
           "it ends. On a terminal it keeps its output.";
}

// Text for a roff .nf block: backslashes escaped, no line read as a request.
std::string roff(const std::string& text) {
    std::string out = "\\&";
    for (const char c : text) {
        if (c == '\\')
            out += "\\e";
        else
            out += c;
        if (c == '\n') out += "\\&";
    }
    return out;
}

// The manual page, made from the same texts as --help at build time.
std::string manualPage(const std::vector<Command>& commands) {
    std::string page =
        ".TH TARNWICK 1 2026 \"tarnwick 2.2\" \"User Commands\"\n"
        ".SH NAME\n"
        "tarnwick \\- C64 emulators, SID tunes and collection helpers from the "
        "shell\n"
        ".SH DESCRIPTION\n.nf\n" +
        roff(overview(commands)) + "\n.fi\n.SH COMMANDS\n";
    for (const Command& c : commands)
        page += ".SS " + c.name + "\n.nf\n" + roff(c.help) + "\n.fi\n";
    return page + ".SH COPYRIGHT\n.nf\n" + roff(licenceText()) + "\n.fi\n";
}

// Bash completion of the subcommands and of each one's options.
std::string bashCompletion(const std::vector<Command>& commands) {
    std::string names, cases;
    for (const Command& c : commands) {
        names += c.name + " ";
        std::string options = "--help";
        for (const std::string& o : c.valueOptions) options += " --" + o;
        for (const std::string& f : c.flags) options += (f.size() == 1 ? " -" : " --") + f;
        std::string actions;
        for (const std::string& a : c.actions) actions += (actions.empty() ? "" : " ") + a;
        cases += "        " + c.name + ") options='" + options + "' actions='" + actions + "' ;;\n";
    }
    return "# bash completion for tarnwick\n"
           "_tarnwick() {\n"
           "    local cur=${COMP_WORDS[COMP_CWORD]} options='' actions=''\n"
           "    if ((COMP_CWORD == 1)); then\n"
           "        COMPREPLY=($(compgen -W '" +
           names +
           "help --help --version' -- \"$cur\"))\n"
           "        return\n"
           "    fi\n"
           "    case ${COMP_WORDS[1]} in\n" +
           cases + "        help) COMPREPLY=($(compgen -W '" + names +
           "' -- \"$cur\")); return ;;\n"
           "    esac\n"
           "    if ((COMP_CWORD == 2)) && [[ -n $actions && $cur != -* ]]; then\n"
           "        COMPREPLY=($(compgen -W \"$actions\" -- \"$cur\"))\n"
           "    elif [[ $cur == -* ]]; then\n"
           "        COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
           "    else\n"
           "        compopt -o filenames\n"
           "        COMPREPLY=($(compgen -f -- \"$cur\"))\n"
           "    fi\n"
           "}\n"
           "complete -F _tarnwick tarnwick\n";
}

int run(const std::vector<String>& words) {
    const std::vector<Command> commands = allCommands();
    if (words.empty()) {
        out(overview(commands));
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
        out(overview(commands));
        return Ok;
    }
    // Made at build time: the manual page and the bash completion.
    if (name == "--manual-page" || name == "--bash-completion") {
        const std::string text =
            name == "--manual-page" ? manualPage(commands) : bashCompletion(commands);
        std::fwrite(text.data(), 1, text.size(), stdout);
        return Ok;
    }
    if (name == "--version") {
        out("tarnwick 2.2 (Tarnwick General Functions v2.2)\n");
        out(licenceText());
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
            if (args.flag("dry-run"))
                setDryRun(true);
            else if (startsPrograms(name))
                detachStandardStreams();
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
