// Editing an emulator configuration file from the shell.
#include "cli.h"

namespace tarnwick::cli {

std::vector<Command> configCommands() {
    std::vector<Command> commands;
    commands.push_back(
        {"config", "set keys in an emulator configuration file",
         "Usage: tarnwick config FILE [KEY=VALUE]...\n"
         "\n"
         "For each KEY=VALUE in turn, the first line of FILE that begins with KEY (in\n"
         "any letter case) becomes KEY=VALUE. Keys the file lacks are not added. Empty\n"
         "lines are dropped and every line ends in CR LF, even with no change given.\n"
         "The file is replaced in one step: if anything fails it keeps its content.\n"
         "It keeps its owner, group, permissions, ACL, attributes and hard links;\n"
         "rewrites of one file by several tarnwick commands follow one another.\n"
         "Only a regular file of at most 16 MiB is edited.\n"
         "\n"
         "Example: tarnwick config c64.cfg '$JOYSTICK1PC=1' '$LOADPATH=/games/'",
         [](const Args& a) {
             if (a.positionals().empty()) throw UsageError{"expected FILE and KEY=VALUE pairs"};
             std::vector<ConfigFileType> changes;
             for (std::size_t i = 1; i < a.positionals().size(); ++i) {
                 const String& pair = a.positionals()[i];
                 const std::size_t eq = pair.find(u'=');
                 if (eq == String::npos)
                     throw UsageError{"'" + toUtf8(pair) + "' is not KEY=VALUE"};
                 changes.push_back({pair.substr(0, eq), pair.substr(eq + 1)});
             }
             twFunctions(platform()).ChangeConfigFile(a.positionals()[0], ConfigFileArray(changes));
             return Ok;
         }});
    return commands;
}

}  // namespace tarnwick::cli
