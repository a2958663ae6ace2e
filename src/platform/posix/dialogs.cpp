// Message boxes on Linux (asked only when the host installed no handler): a
// desktop dialog when a display exists; else the terminal when one is
// attached; else no box at all, and a question then answers Cancel.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/posix/posix_platform.h"

namespace tarnwick {

namespace {

bool onPath(const std::string& program) {
    return !programOnPath(program).empty();
}

bool hasDisplay() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}

// -1 when no dialog program could be run.
int desktopDialog(const std::string& prompt, bool question, const std::string& caption) {
    if (onPath("zenity")) {
        std::vector<std::string> argv{"zenity",           question ? "--question" : "--warning",
                                      "--no-markup",      "--title=" + caption,
                                      "--text=" + prompt, "--ok-label=OK"};
        if (question) argv.push_back("--cancel-label=Cancel");
        return runAndWait(argv);
    }
    if (onPath("kdialog")) {
        return runAndWait({"kdialog", "--title", caption,
                           question ? "--warningcontinuecancel" : "--sorry", prompt});
    }
    return -1;
}

std::int32_t terminalDialog(const std::string& prompt, bool question, const std::string& caption) {
    const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty < 0) return question ? answers::Cancel : answers::Ok;
    const std::string text = "\n[" + caption + "] " + prompt + "\n" +
                             (question ? "OK or Cancel? [o/c] " : "Press Enter to go on. ");
    if (::write(tty, text.data(), text.size()) < 0) {
        ::close(tty);
        return question ? answers::Cancel : answers::Ok;
    }
    std::string line;
    char c;
    ssize_t n;
    while ((n = ::read(tty, &c, 1)) == 1 && c != '\n') line += c;
    ::close(tty);
    if (!question) return answers::Ok;
    if (n != 1) return answers::Cancel;  // end of input closes the box
    const bool ok = line.empty() || line[0] == 'o' || line[0] == 'O';
    return ok ? answers::Ok : answers::Cancel;
}

}  // namespace

std::int32_t PosixPlatform::messageBox(const String& prompt, std::int32_t style,
                                       const String& caption) {
    const bool question = (style & 0xF) == box_styles::OkCancel;
    const std::string text = toUtf8(prompt), title = toUtf8(caption);
    if (hasDisplay()) {
        const int status = desktopDialog(text, question, title);
        if (status >= 0) return status == 0 ? answers::Ok : answers::Cancel;
    }
    return terminalDialog(text, question, title);
}

}  // namespace tarnwick
