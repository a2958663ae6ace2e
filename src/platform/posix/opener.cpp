// Opening a document with its associated program on Linux: the desktop's
// opener, `gio open` where it is installed, else `xdg-open`, started
// detached like any program Tarnwick starts and never waited for. Its
// output, error messages included, goes nowhere: the request reports
// nothing, as the shell's request does on Windows.
#include "platform/posix/posix_platform.h"

namespace tarnwick {

void PosixPlatform::openWithDefault(const String& target, std::int32_t) {
    // The owner window has no counterpart in the openers: they choose
    // their own placement.
    std::string what = toUtf8(target);
    // A name that begins with "-" would be read as an option.
    if (!what.empty() && what[0] == '-') what = "./" + what;

    std::vector<std::string> arguments;
    std::string program = programOnPath("gio");
    if (!program.empty()) {
        arguments = {program, "open", what};
    } else if (!(program = programOnPath("xdg-open")).empty()) {
        arguments = {program, what};
    } else {
        return;  // no desktop opener on this machine
    }
    try {
        startDetached(program, arguments, true);
    } catch (const Error&) {
        // Nothing is reported, whatever became of the request.
    }
}

}  // namespace tarnwick
