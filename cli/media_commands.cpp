// Volume labels, the CD-ROM waits, and the window, deletion and open
// helpers.
#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "cli.h"

namespace tarnwick::cli {
namespace {

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

// Whether anything is at the path itself (a link counts, not its target).
bool present(const String& path) {
    std::error_code error;
    return std::filesystem::exists(
        std::filesystem::symlink_status(std::filesystem::u8path(toUtf8(path)), error));
}

bool hasWildcard(const String& path) {
    const std::size_t last = path.find_last_of(u"/\\");
    return path.find_first_of(u"*?", last == String::npos ? 0 : last) != String::npos;
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
                            const String label =
                                twFunctions(platform()).GetVolumeName(a.positionals()[0]);
                            if (label.empty()) return No;
                            out(label);
                            return Ok;
                        }});
    commands.push_back(
        {"wait-cd", "wait until a disc with a label is mounted",
         "Usage: tarnwick wait-cd MOUNT LABEL\n"
         "\n"
         "Until the volume at MOUNT carries exactly LABEL, asks the user to insert\n"
         "the disc (OK to look again, Cancel to give up). Prints yes or no.",
         [](const Args& a) {
             a.expectPositionals(2, "MOUNT and LABEL");
             return yesNo(static_cast<bool>(
                 twFunctions(platform()).WaitForCDRom(a.positionals()[0], a.positionals()[1])));
         }});
    commands.push_back(
        {"wait-path", "wait until a folder exists",
         "Usage: tarnwick wait-path FOLDER\n"
         "\n"
         "Until FOLDER exists, asks the user to insert the disc that holds it\n"
         "(OK to look again, Cancel to give up). Prints yes or no.",
         [](const Args& a) {
             a.expectPositionals(1, "one FOLDER");
             return yesNo(static_cast<bool>(
                 twFunctions(platform()).WaitForCDRomPath(Variant(a.positionals()[0]))));
         }});
    commands.push_back(
        {"wait-file", "wait until a file exists",
         "Usage: tarnwick wait-file FILE\n"
         "\n"
         "Until FILE exists, asks the user to insert the disc that holds it\n"
         "(OK to look again, Cancel to give up). Prints yes or no.",
         [](const Args& a) {
             a.expectPositionals(1, "one FILE");
             return yesNo(static_cast<bool>(
                 twFunctions(platform()).WaitForCDRomFile(Variant(a.positionals()[0]))));
         }});
    commands.push_back(
        {"on-top", "keep a window above the others, or stop",
         "Usage: tarnwick on-top WINDOW on|off\n"
         "\n"
         "Puts the window (an X11 window id, decimal or 0x..., as xwininfo prints\n"
         "it; on Windows a window handle) above all normal windows, or back among\n"
         "them, and activates it, without moving or resizing it.",
         [](const Args& a) {
             a.expectPositionals(2, "WINDOW and on or off");
             const std::string state = toUtf8(a.positionals()[1]);
             if (state != "on" && state != "off") throw UsageError{"say on or off"};
             twFunctions(platform()).SetAlwaysOnTop(state == "on", windowId(a.positionals()[0]));
             return Ok;
         }});
    commands.push_back({"delete",
                        "delete a file or folder tree, silently and for good",
                        "Usage: tarnwick delete [-v] [--dry-run] PATH\n"
                        "\n"
                        "Deletes the file, or the folder with everything in it, without asking\n"
                        "and without keeping anything. Wildcards in the last name delete every\n"
                        "match. Links are removed, never followed. With -v, says what it\n"
                        "deleted; with --dry-run, prints 'would delete PATH' and deletes\n"
                        "nothing. Exit status 1 when PATH was not there or is still there\n"
                        "(wildcards: never).",
                        [](const Args& a) {
                            a.expectPositionals(1, "one PATH");
                            const String& path = a.positionals()[0];
                            const bool pattern = hasWildcard(path);
                            if (!pattern && !present(path)) {
                                err("tarnwick delete: " + toUtf8(path) +
                                    ": no such file or folder");
                                return No;
                            }
                            twFunctions(platform()).DeletePathSilent(path);
                            if (dryRun()) return Ok;
                            if (!pattern && present(path)) {
                                err("tarnwick delete: " + toUtf8(path) +
                                    ": left in place (not allowed, or in use)");
                                return No;
                            }
                            if (a.flag("v")) out(u"deleted " + path);
                            return Ok;
                        },
                        {},
                        {"v", "dry-run"}});
    commands.push_back(
        {"open",
         "open a document in its associated program",
         "Usage: tarnwick open FILE [--parent WINDOW]\n"
         "\n"
         "Asks the desktop to open FILE in the program associated with its type\n"
         "(gio open, else xdg-open) and returns at once. Exit status 1 when FILE\n"
         "does not exist; whether the program could open it is not reported.",
         [](const Args& a) {
             a.expectPositionals(1, "one FILE");
             if (!present(a.positionals()[0])) {
                 err("tarnwick open: " + toUtf8(a.positionals()[0]) + ": no such file");
                 return No;
             }
             const auto parent = a.option("parent");
             twShell(platform())
                 .ShellWithDefaultProgram(a.positionals()[0], parent ? windowId(*parent) : 0);
             return Ok;
         },
         {"parent"}});
    return commands;
}

}  // namespace tarnwick::cli
