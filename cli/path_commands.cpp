// The path helpers of twFunctions.
#include "cli.h"

namespace tarnwick::cli {

std::vector<Command> pathCommands() {
    std::vector<Command> commands;
    commands.push_back({"split", "split a path into folder and file name",
                        "Usage: tarnwick split PATH\n"
                        "\n"
                        "Prints the folder (without its trailing separator) on the first line and\n"
                        "the file name on the second. A path without a separator is all file name.",
                        [](const Args& a) {
                            a.expectPositionals(1, "one PATH");
                            String path, file;
                            twFunctions(platform()).GetFileAndPath(a.positionals()[0], path, file);
                            out(path);
                            out(file);
                            return Ok;
                        }});
    commands.push_back({"name", "print the file name of a path",
                        "Usage: tarnwick name PATH\n"
                        "\n"
                        "Prints the part of PATH after its last separator.",
                        [](const Args& a) {
                            a.expectPositionals(1, "one PATH");
                            out(twFunctions(platform()).JustFileName(a.positionals()[0]));
                            return Ok;
                        }});
    commands.push_back(
        {"short", "print the short form of a path",
         "Usage: tarnwick short PATH\n"
         "\n"
         "Prints a form of PATH that names the same file and stands unquoted on a\n"
         "command line (on Windows its 8.3 form; on Linux the path itself when it has\n"
         "no blanks or capitals, else a private alias). Exit status 1 when the path\n"
         "does not resolve.",
         [](const Args& a) {
             a.expectPositionals(1, "one PATH");
             const String form = twFunctions(platform()).Long2Short(a.positionals()[0]);
             if (form.empty()) {
                 err("tarnwick short: " + toUtf8(a.positionals()[0]) + ": no such file or folder");
                 return No;
             }
             out(form);
             return Ok;
         }});
    commands.push_back(
        {"exists",
         "tell whether a file exists",
         "Usage: tarnwick exists [-q] FILE [--explain CAPTION]\n"
         "\n"
         "Prints yes or no (exit status 0 or 1; -q prints nothing). A folder, a FIFO, a socket, a "
         "device,\n"
         "or a file that may not be read, counts as missing. With --explain, a missing\n"
         "file is explained in a message box with that caption (a dialog on the\n"
         "desktop, else the terminal).",
         [](const Args& a) {
             a.expectPositionals(1, "one FILE");
             const auto caption = a.option("explain");
             return yesNo(static_cast<bool>(twFunctions(platform())
                                                .FileExists(a.positionals()[0], caption.has_value(),
                                                            caption.value_or(String()))),
                          a.flag("q"));
         },
         {"explain"},
         {"q"}});
    commands.push_back(
        {"dir-exists",
         "tell whether a folder exists",
         "Usage: tarnwick dir-exists [-q] FOLDER\n"
         "\n"
         "Prints yes or no (exit status 0 or 1; -q prints nothing): whether FOLDER "
         "can be made the\n"
         "current folder.",
         [](const Args& a) {
             a.expectPositionals(1, "one FOLDER");
             return yesNo(static_cast<bool>(twFunctions(platform()).DirExists(a.positionals()[0])),
                          a.flag("q"));
         },
         {},
         {"q"}});
    commands.push_back(
        {"is-cdrom",
         "tell whether a path is on a CD-ROM",
         "Usage: tarnwick is-cdrom [-q] PATH\n"
         "\n"
         "Prints yes or no (exit status 0 or 1; -q prints nothing). On Windows PATH is a drive "
         "such as D:;\n"
         "on Linux any path, answered for the file system that holds it (ISO 9660 and\n"
         "UDF count as CD-ROM). A path that does not exist also answers yes, as a drive\n"
         "with no disc in it does.",
         [](const Args& a) {
             a.expectPositionals(1, "one PATH");
             return yesNo(
                 static_cast<bool>(twFunctions(platform()).DriveTypeIsCDRom(a.positionals()[0])),
                 a.flag("q"));
         },
         {},
         {"q"}});
    return commands;
}

}  // namespace tarnwick::cli
