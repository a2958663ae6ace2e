// Volume labels, the CD-ROM waits, and the window, deletion and open
// helpers.
#include <cerrno>
#include <cstdlib>

#include "cli.h"

namespace tarnwick::cli {
namespace {

int yesNo(bool answer) {
    out(answer ? "yes" : "no");
    return answer ? Ok : No;
}

// A window id in decimal or with 0x in hexadecimal, as X11 tools print it.
std::int32_t windowId(const String& text) {
    const std::string s = toUtf8(text);
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(s.c_str(), &end, 0);
    if (s.empty() || *end != '\0' || errno != 0 || value < INT32_MIN || value > 0xFFFFFFFFll)
        throw UsageError{"WINDOW must be a window id (decimal or 0x...), not '" + s + "'"};
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

}  // namespace

std::vector<Command> mediaCommands() {
    std::vector<Command> commands;
    commands.push_back({"volume", "print the label of a mounted volume",
                        "Usage: tarnwick volume MOUNT\n"
                        "\n"
                        "Prints the label of the file system mounted at MOUNT (on Windows a drive\n"
                        "such as D:). Exit status 1 when there is no label, or no volume there.",
                        [](const Args& a) {
                            a.expectPositionals(1, "one MOUNT");
                            const String label = twFunctions().GetVolumeName(a.positionals()[0]);
                            if (label.empty()) return No;
                            out(label);
                            return Ok;
                        }});
    commands.push_back({"wait-cd", "wait until a disc with a label is mounted",
                        "Usage: tarnwick wait-cd MOUNT LABEL\n"
                        "\n"
                        "Until the volume at MOUNT carries exactly LABEL, asks the user to insert\n"
                        "the disc (OK to look again, Cancel to give up). Prints yes or no.",
                        [](const Args& a) {
                            a.expectPositionals(2, "MOUNT and LABEL");
                            return yesNo(static_cast<bool>(twFunctions().WaitForCDRom(
                                a.positionals()[0], a.positionals()[1])));
                        }});
    commands.push_back({"wait-path", "wait until a folder exists",
                        "Usage: tarnwick wait-path FOLDER\n"
                        "\n"
                        "Until FOLDER exists, asks the user to insert the disc that holds it\n"
                        "(OK to look again, Cancel to give up). Prints yes or no.",
                        [](const Args& a) {
                            a.expectPositionals(1, "one FOLDER");
                            return yesNo(static_cast<bool>(
                                twFunctions().WaitForCDRomPath(Variant(a.positionals()[0]))));
                        }});
    commands.push_back({"wait-file", "wait until a file exists",
                        "Usage: tarnwick wait-file FILE\n"
                        "\n"
                        "Until FILE exists, asks the user to insert the disc that holds it\n"
                        "(OK to look again, Cancel to give up). Prints yes or no.",
                        [](const Args& a) {
                            a.expectPositionals(1, "one FILE");
                            return yesNo(static_cast<bool>(
                                twFunctions().WaitForCDRomFile(Variant(a.positionals()[0]))));
                        }});
    commands.push_back({"on-top", "keep a window above the others, or stop",
                        "Usage: tarnwick on-top WINDOW on|off\n"
                        "\n"
                        "Puts the window (an X11 window id, decimal or 0x..., as xwininfo prints\n"
                        "it; on Windows a window handle) above all normal windows, or back among\n"
                        "them, and activates it, without moving or resizing it.",
                        [](const Args& a) {
                            a.expectPositionals(2, "WINDOW and on or off");
                            const std::string state = toUtf8(a.positionals()[1]);
                            if (state != "on" && state != "off") throw UsageError{"say on or off"};
                            twFunctions().SetAlwaysOnTop(state == "on",
                                                         windowId(a.positionals()[0]));
                            return Ok;
                        }});
    commands.push_back({"delete", "delete a file or folder tree, silently and for good",
                        "Usage: tarnwick delete PATH\n"
                        "\n"
                        "Deletes the file, or the folder with everything in it, without asking\n"
                        "and without keeping anything. Wildcards in the last name delete every\n"
                        "match. Links are removed, never followed. Nothing is reported.",
                        [](const Args& a) {
                            a.expectPositionals(1, "one PATH");
                            twFunctions().DeletePathSilent(a.positionals()[0]);
                            return Ok;
                        }});
    commands.push_back({"open",
                        "open a document in its associated program",
                        "Usage: tarnwick open FILE [--parent WINDOW]\n"
                        "\n"
                        "Asks the desktop to open FILE in the program associated with its type\n"
                        "(gio open, else xdg-open) and returns at once. Nothing is reported.",
                        [](const Args& a) {
                            a.expectPositionals(1, "one FILE");
                            const auto parent = a.option("parent");
                            twShell().ShellWithDefaultProgram(a.positionals()[0],
                                                              parent ? windowId(*parent) : 0);
                            return Ok;
                        },
                        {"parent"}});
    return commands;
}

}  // namespace tarnwick::cli
