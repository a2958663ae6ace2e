// Subcommands that start emulators through twShell.
#include "cli.h"

namespace tarnwick::cli {
namespace {

// Prints a launcher's message and turns it into the exit status.
int reportLaunch(const String& result) {
    if (result.empty()) return Ok;
    err(result);
    return No;
}

const char* const commonNote =
    "\n"
    "The emulator is started and left running; tarnwick returns at once. When it\n"
    "cannot be started, the reason is printed on stderr and the exit status is 1.\n"
    "Paths may be given as they are on this system; on Linux a path that would not\n"
    "stand unquoted on a command line reaches the emulator through a short alias.";

}  // namespace

std::vector<Command> launchCommands() {
    std::vector<Command> commands;
    commands.push_back(
        {"frodo",
         "start Frodo",
         std::string("Usage: tarnwick frodo --emulator PATH\n"
                     "\n"
                     "Starts the Frodo emulator with no arguments, in its own folder.\n"
                     "\n"
                     "  --emulator PATH   the emulator program\n") +
             commonNote,
         [](const Args& a) {
             a.expectPositionals(0, "no arguments besides the options");
             return reportLaunch(twShell().Frodo(a.required("emulator"), false));
         },
         {"emulator"},
         {}});
    commands.push_back(
        {"win64beta",
         "start Win64 Beta on a game",
         std::string("Usage: tarnwick win64beta --emulator PATH --game PATH\n"
                     "\n"
                     "Starts Win64 Beta on a game: the emulator path as given, then the game\n"
                     "path in double quotes.\n"
                     "\n"
                     "  --emulator PATH   the emulator program\n"
                     "  --game PATH       the game file\n") +
             commonNote,
         [](const Args& a) {
             a.expectPositionals(0, "no arguments besides the options");
             return reportLaunch(
                 twShell().Win64Beta(a.required("emulator"), a.required("game"), false));
         },
         {"emulator", "game"},
         {}});
    commands.push_back({"pc64win",
                        "start PC64Win on a game",
                        std::string("Usage: tarnwick pc64win --emulator PATH --game PATH\n"
                                    "\n"
                                    "Starts PC64Win on a game, both given by their short forms.\n"
                                    "\n"
                                    "  --emulator PATH   the emulator program\n"
                                    "  --game PATH       the game file\n") +
                            commonNote,
                        [](const Args& a) {
                            a.expectPositionals(0, "no arguments besides the options");
                            return reportLaunch(twShell().PC64Win(a.required("emulator"),
                                                                  a.required("game"), false));
                        },
                        {"emulator", "game"},
                        {}});
    commands.push_back(
        {"comeback64",
         "start Come Back 64 on a game",
         std::string(
             "Usage: tarnwick comeback64 --emulator PATH --game PATH [--joystick 1|2]\n"
             "\n"
             "Starts Come Back 64 on a game with the joystick in port 1 or 2. The\n"
             "emulator gets the lower-cased line: SHORT-EMULATOR /lSHORT-GAME /j1 (or /j2).\n"
             "\n"
             "  --emulator PATH   the emulator program\n"
             "  --game PATH       the game file\n"
             "  --joystick PORT   1 or 2 (default 1)\n") +
             commonNote,
         [](const Args& a) {
             a.expectPositionals(0, "no arguments besides the options");
             const std::int32_t port =
                 integerOption(a.option("joystick").value_or(u"1"), "joystick", 1, 2);
             return reportLaunch(twShell().Comeback64(a.required("emulator"), a.required("game"),
                                                      port == 1 ? SelectPort1 : SelectPort2,
                                                      false));
         },
         {"emulator", "game", "joystick"},
         {}});
    return commands;
}

}  // namespace tarnwick::cli
