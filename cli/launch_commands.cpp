// Subcommands that start emulators through twShell.
#include "cli.h"

namespace tarnwick::cli {
namespace {

// Prints a launcher's message, on one line as a script expects, and turns it
// into the exit status. The message names the program or file concerned.
int reportLaunch(const String& result) {
    if (result.empty()) return Ok;
    std::string line = toUtf8(result);
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    err("tarnwick " + commandName() + ": " + line);
    return No;
}

const char* const commonNote =
    "\n"
    "The emulator is started and left running; tarnwick returns at once. When it\n"
    "cannot be started, the reason is printed on stderr and the exit status is 1.\n"
    "Paths may be given as they are on this system; on Linux a path that would not\n"
    "stand unquoted on a command line reaches the emulator through a short alias.\n"
    "An emulator path with blanks is resolved as Windows does, shortest prefix\n"
    "first; on Linux a shorter prefix (/srv/C64 for \"/srv/C64 Emus/frodo\") only\n"
    "runs when it is an executable file owned by you or root in a folder that\n"
    "neither its group nor others may write.\n"
    "\n"
    "  --dry-run         start nothing and write nothing: print the command line the\n"
    "                    emulator would be started with (after the configuration\n"
    "                    lines it would write, each as FILE: LINE), by the same code\n"
    "                    that starts it";

const char* const writeNote =
    "  --write-config    first write these choices into the emulator's configuration\n"
    "                    file beside it (skipped silently when it is missing or on a\n"
    "                    CD-ROM)\n";

std::int16_t gameIndex(const Args& a) {
    return static_cast<std::int16_t>(
        integerOption(a.option("index").value_or(u"0"), "index", -32768, 32767));
}

std::int32_t choice(const Args& a, const std::string& name, const char16_t* fallback,
                    const std::vector<std::pair<std::string, std::int32_t>>& names) {
    return choiceOption(a.option(name).value_or(fallback), name, names);
}

const std::vector<std::pair<std::string, std::int32_t>> ccs109Ports = {
    {"pcjoystick1", eCCS109_PCJoystick1},
    {"pcjoystick2", eCCS109_PCJoystick2},
    {"keyset1", eCCS109_KeySet1},
    {"keyset2", eCCS109_KeySet2},
    {"keyset3", eCCS109_KeySet3}};
const std::vector<std::pair<std::string, std::int32_t>> ccs20Controls = {
    {"none", eCCS20_None}, {"joystick", eCCS20_Joystick}, {"mouse", eCCS20_MouseC1351}};
const std::vector<std::pair<std::string, std::int32_t>> ccs20Modes = {
    {"pcjoystick1", eCCS20_PCJoystick1}, {"pcjoystick2", eCCS20_PCJoystick2},
    {"keyset1", eCCS20_KeySet1},         {"keyset2", eCCS20_KeySet2},
    {"keyset3", eCCS20_KeySet3},         {"pcmouse", eCCS20_PCMouse}};
const std::vector<std::pair<std::string, std::int32_t>> c64sPorts = {
    {"disable", Disable}, {"keyboard", Keyboard}, {"analogue", AnalogueJoystick}};
const std::vector<std::pair<std::string, std::int32_t>> vicePorts = {
    {"none", eVICE_None},
    {"numpad", eVICE_NumpadRCtrl},
    {"keyseta", eVICE_KeysetA},
    {"keysetb", eVICE_KeysetB},
    {"pcjoystick1", eVICE_PCJoystick1},
    {"pcjoystick2", eVICE_PCJoystick2}};

void addConfiguredLaunchers(std::vector<Command>& commands) {
    commands.push_back(
        {"ccs64v109",
         "start CCS64 v1.09 on a game",
         std::string(
             "Usage: tarnwick ccs64v109 --emulator PATH --game PATH [--games-dir DIR]\n"
             "         [--index N] [--joy1 P] [--joy2 P] [--key1 K] [--key2 K] [--write-config]\n"
             "\n"
             "Starts CCS64 v1.09 through ccsdpmi.exe, which must stand beside the emulator:\n"
             "SHORT-DIR/ccsdpmi.exe ccs64.exe SHORT-GAME,INDEX.\n"
             "\n"
             "  --emulator PATH   the emulator program (only its folder is used further)\n"
             "  --game PATH       the game file\n"
             "  --games-dir DIR   written as $LOADPATH when it exists\n"
             "  --index N         the game index (default 0)\n"
             "  --joy1, --joy2    $JOYSTICK1PC/$JOYSTICK2PC: pcjoystick1, pcjoystick2 or a number\n"
             "  --key1, --key2    $JOYSTICK1KEY/$JOYSTICK2KEY: keyset1, keyset2, keyset3 or a "
             "number\n") +
             writeNote + commonNote,
         [](const Args& a) {
             a.expectPositionals(0, "no arguments besides the options");
             return reportLaunch(
                 twShell(platform())
                     .CCS64v109(
                         a.required("emulator"), a.option("games-dir").value_or(u""),
                         a.required("game"), gameIndex(a),
                         static_cast<CCS64v109ControlsEnum>(choice(a, "joy1", u"0", ccs109Ports)),
                         static_cast<CCS64v109ControlsEnum>(choice(a, "joy2", u"1", ccs109Ports)),
                         static_cast<CCS64v109ControlsEnum>(choice(a, "key1", u"0", ccs109Ports)),
                         static_cast<CCS64v109ControlsEnum>(choice(a, "key2", u"1", ccs109Ports)),
                         a.flag("write-config"), false));
         },
         {"emulator", "game", "games-dir", "index", "joy1", "joy2", "key1", "key2"},
         {"write-config"}});
    commands.push_back(
        {"ccs64v20",
         "start CCS64 v2.0 on a game",
         std::string(
             "Usage: tarnwick ccs64v20 --emulator PATH --game PATH [--games-dir DIR] [--index N]\n"
             "         [--port1 C] [--port2 C] [--mode1 M] [--mode2 M] [--write-config]\n"
             "\n"
             "Starts CCS64 v2.0: SHORT-EMULATOR SHORT-GAME,INDEX.\n"
             "\n"
             "  --emulator PATH   the emulator program\n"
             "  --game PATH       the game file\n"
             "  --games-dir DIR   written as $LOADPATH when it exists\n"
             "  --index N         the game index (default 0)\n"
             "  --port1, --port2  device: none, joystick, mouse or a number (default joystick)\n"
             "  --mode1, --mode2  what drives it: pcjoystick1, pcjoystick2, keyset1..keyset3,\n"
             "                    pcmouse or a number (one higher is written for the mouse)\n") +
             writeNote + commonNote,
         [](const Args& a) {
             a.expectPositionals(0, "no arguments besides the options");
             return reportLaunch(
                 twShell(platform())
                     .CCS64v20DosAndWin(
                         a.required("emulator"), a.option("games-dir").value_or(u""),
                         a.required("game"), gameIndex(a),
                         static_cast<CCS64v20ControlEnum>(choice(a, "port1", u"1", ccs20Controls)),
                         static_cast<CCS64v20ControlEnum>(choice(a, "port2", u"1", ccs20Controls)),
                         static_cast<CCS64v20ControlModeEnum>(choice(a, "mode1", u"0", ccs20Modes)),
                         static_cast<CCS64v20ControlModeEnum>(choice(a, "mode2", u"1", ccs20Modes)),
                         a.flag("write-config"), false));
         },
         {"emulator", "game", "games-dir", "index", "port1", "port2", "mode1", "mode2"},
         {"write-config"}});
    commands.push_back(
        {"c64s",
         "start C64S v2.52 on a disk or tape image",
         std::string("Usage: tarnwick c64s --emulator PATH --game IMAGE [--program NAME]\n"
                     "         [--port1 P] [--port2 P] [--write-config]\n"
                     "\n"
                     "Starts C64S v2.52 on a .d64 or .t64 image and has it type LOAD and RUN.\n"
                     "\n"
                     "  --emulator PATH   the emulator program\n"
                     "  --game IMAGE      the disk (.d64) or tape (.t64) image\n"
                     "  --program NAME    the program to load from the image (default: the first)\n"
                     "  --port1, --port2  Joy1/Joy2 in Config.ini: disable, keyboard, analogue or "
                     "a number\n") +
             writeNote + commonNote,
         [](const Args& a) {
             a.expectPositionals(0, "no arguments besides the options");
             const auto name = a.option("program");
             return reportLaunch(
                 twShell(platform())
                     .C64Sv252(a.required("emulator"), a.required("game"),
                               name ? Variant(*name) : Variant(),
                               static_cast<C64SControlsEnum>(choice(a, "port1", u"1", c64sPorts)),
                               static_cast<C64SControlsEnum>(choice(a, "port2", u"1", c64sPorts)),
                               a.flag("write-config"), false));
         },
         {"emulator", "game", "program", "port1", "port2"},
         {"write-config"}});
    commands.push_back(
        {"vice",
         "start VICE on a game",
         std::string("Usage: tarnwick vice --emulator PATH --game PATH [--program NAME]\n"
                     "         [--port1 D] [--port2 D] | [--no-settings]\n"
                     "\n"
                     "Starts VICE autostarting the game (and the program NAME in it). The whole\n"
                     "command line reaches VICE in lower case.\n"
                     "\n"
                     "  --emulator PATH   the emulator program\n"
                     "  --game PATH       the game file, of any kind VICE autostarts\n"
                     "  --program NAME    the program to start from the game file\n"
                     "  --port1, --port2  joystick device: none, numpad, keyseta, keysetb,\n"
                     "                    pcjoystick1, pcjoystick2 or a number (default none)\n"
                     "  --no-settings     pass no joystick devices at all\n") +
             commonNote,
         [](const Args& a) {
             a.expectPositionals(0, "no arguments besides the options");
             const String name = a.option("program").value_or(u"");
             if (a.flag("no-settings")) {
                 if (a.option("port1") || a.option("port2"))
                     throw UsageError{
                         "--no-settings passes no joystick devices: drop --port1/--port2"};
                 return reportLaunch(
                     twShell(platform())
                         .VICENoSettings(a.required("emulator"), a.required("game"), name, false));
             }
             return reportLaunch(
                 twShell(platform())
                     .VICE(a.required("emulator"), a.required("game"), name,
                           static_cast<VICEControlsEnum>(choice(a, "port1", u"0", vicePorts)),
                           static_cast<VICEControlsEnum>(choice(a, "port2", u"0", vicePorts)),
                           false));
         },
         {"emulator", "game", "program", "port1", "port2"},
         {"no-settings"}});
}

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
             return reportLaunch(twShell(platform()).Frodo(a.required("emulator"), false));
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
                 twShell(platform()).Win64Beta(a.required("emulator"), a.required("game"), false));
         },
         {"emulator", "game"},
         {}});
    commands.push_back(
        {"pc64win",
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
             return reportLaunch(
                 twShell(platform()).PC64Win(a.required("emulator"), a.required("game"), false));
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
             return reportLaunch(twShell(platform())
                                     .Comeback64(a.required("emulator"), a.required("game"),
                                                 port == 1 ? SelectPort1 : SelectPort2, false));
         },
         {"emulator", "game", "joystick"},
         {}});
    addConfiguredLaunchers(commands);
    for (Command& c : commands) c.flags.push_back("dry-run");
    return commands;
}

}  // namespace tarnwick::cli
