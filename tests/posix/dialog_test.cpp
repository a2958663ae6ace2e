// The system's own message boxes on Linux when the host installed no handler:
// a desktop dialog program when there is a display, else the terminal the
// process belongs to, else none at all.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <functional>

#include "platform/platform.h"
#include "support/temp_folder.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

int openDescriptors() {
    return static_cast<int>(
        std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

// The system's box, asked in this process: its answer, plus 10 for every
// descriptor it left open.
int systemBox(std::int32_t style) {
    setMessageBoxHandler(nullptr);
    const int before = openDescriptors();
    const int answer = systemPlatform().messageBox(u"Insert the disc", style, u"Tarnwick");
    return answer + 10 * (openDescriptors() - before);
}

// Runs body in a child process, in a session of its own whose controlling
// terminal is a new pseudo terminal, or that has none, and gives its exit
// status. The test plays the user at that terminal: once `until` shows, it
// types `typed` (^D, the end of input, when empty).
int inSession(bool terminal, const std::function<int()>& body, const std::string& until = "",
              std::string typed = "") {
    int master = -1;
    const pid_t child = terminal ? ::forkpty(&master, nullptr, nullptr, nullptr) : ::fork();
    if (child == 0) {
        ::alarm(10);  // a box that never returns fails, and fast
        if (!terminal) ::setsid();
        std::exit(body());  // exit, so that profiles are written
    }
    std::string shown;
    char buffer[256];
    pollfd screen{master, POLLIN, 0};
    while (!until.empty() && shown.find(until) == std::string::npos &&
           ::poll(&screen, 1, 5000) == 1) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0) break;
        shown.append(buffer, static_cast<std::size_t>(n));
    }
    EXPECT_NE(shown.find(until), std::string::npos) << shown;
    if (typed.empty()) typed = "\4";
    if (!until.empty()) {
        EXPECT_EQ(::write(master, typed.data(), typed.size()), ssize_t(typed.size()));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    if (master >= 0) ::close(master);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SystemBox, TheDialogProgramElseTheTerminalElseNobodyAnswers) {
    const testing::TempFolder temp;
    // A stand-in for the dialog programs: says who it is and what it got.
    const fs::path script = temp.write("zenity/zenity",
                                       "#!/bin/sh\nprintf '%s\\n' \"${0##*/}\" "
                                       "\"$@\" >\"$ARGS\"\nexit $STATUS\n");
    fs::permissions(script, fs::perms::owner_all);
    fs::create_directory(temp / "kdialog");
    for (const char* folder : {"zenity", "kdialog"})
        fs::create_symlink(script, temp / folder / "kdialog");
    const std::int32_t ask = box_styles::OkCancel, tell = box_styles::Exclamation;
    const std::string asked = "[Tarnwick] Insert the disc\r\nOK or Cancel? [o/c] ",
                      told = "[Tarnwick] Insert the disc\r\nPress Enter to go on. ",
                      zenity =
                          "zenity\n--question\n--no-markup\n--title=Tarnwick\n--text=Insert "
                          "the disc\n--ok-label=OK\n--cancel-label=Cancel\n",
                      kdialog =
                          "kdialog\n--title\nTarnwick\n--warningcontinuecancel\nInsert the "
                          "disc\n";
    const struct {
        const char* name;
        bool terminal;
        const char *display, *programs;  // the folder on PATH, "" for none
        const char* status;              // the dialog program's
        std::int32_t style;
        std::string typed;
        int answer;
        std::string seen;  // on the terminal, or the dialog program's arguments
    } rows[] = {
        // clang-format off
        {"o", true, "", "zenity", "0", ask, "o\n", answers::Ok, asked},
        {"OK", true, "", "zenity", "0", ask, "OK\n", answers::Ok, asked},
        {"Enter", true, "", "", "0", ask, "\n", answers::Ok, asked},
        {"c", true, "", "", "0", ask, "c\n", answers::Cancel, asked},
        {"x", true, "", "", "0", ask, "x\n", answers::Cancel, asked},
        {"end of input", true, "", "", "0", ask, "", answers::Cancel, asked},
        {"no dialog program, a terminal", true, "DISPLAY=:99", "", "0", tell, "\n", answers::Ok, told},
        {"zenity: OK", false, "DISPLAY=:99", "zenity", "0", ask, "", answers::Ok, zenity},
        {"zenity: Cancel", false, "DISPLAY=:99", "zenity", "1", ask, "", answers::Cancel, zenity},
        {"zenity: a warning", false, "DISPLAY=:99", "zenity", "0", tell, "", answers::Ok,
         "zenity\n--warning\n--no-markup\n--title=Tarnwick\n--text=Insert the disc\n--ok-label=OK\n"},
        {"Wayland is a display", false, "WAYLAND_DISPLAY=w-0", "zenity", "0", ask, "", answers::Ok, zenity},
        {"kdialog: continue", false, "DISPLAY=:99", "kdialog", "0", ask, "", answers::Ok, kdialog},
        {"kdialog: cancel", false, "DISPLAY=:99", "kdialog", "1", ask, "", answers::Cancel, kdialog},
        {"kdialog: a warning", false, "DISPLAY=:99", "kdialog", "0", tell, "", answers::Ok,
         "kdialog\n--title\nTarnwick\n--sorry\nInsert the disc\n"},
        {"no dialog program", false, "DISPLAY=:99", "", "0", ask, "", answers::Cancel, ""},
        {"no display, no terminal", false, "", "zenity", "0", ask, "", answers::Cancel, ""},
        {"a warning nobody sees", false, "", "zenity", "0", tell, "", answers::Ok, ""}};
    // clang-format on
    for (const auto& row : rows) {
        const fs::path arguments = temp / "arguments";
        fs::remove(arguments);
        const int answer = inSession(
            row.terminal,
            [&] {
                ::unsetenv("DISPLAY");
                ::unsetenv("WAYLAND_DISPLAY");
                if (*row.display) ::putenv(const_cast<char*>(row.display));
                ::setenv("PATH", *row.programs ? (temp / row.programs).c_str() : "/nowhere", 1);
                ::setenv("ARGS", arguments.c_str(), 1);
                ::setenv("STATUS", row.status, 1);
                return systemBox(row.style);
            },
            row.terminal ? row.seen : "", row.typed);
        EXPECT_EQ(answer, row.answer) << row.name << " (10 more for each descriptor left open)";
        EXPECT_EQ(testing::contentOf(arguments), row.terminal ? "" : row.seen) << row.name;
    }
}

// The prompt written from a background process group that is orphaned (no
// parent in the session), with TOSTOP set: the terminal refuses it (EIO),
// the question is cancelled and the terminal not left open.
TEST(SystemBox, APromptTheTerminalRefusesIsCancelled) {
    const int answer = inSession(true, [] {
        termios t;
        ::tcgetattr(0, &t);
        t.c_lflag |= TOSTOP;
        ::tcsetattr(0, TCSANOW, &t);
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
        const pid_t foreground = ::fork();
        if (foreground == 0) {
            ::alarm(10);
            ::pause();
        }
        ::setpgid(foreground, foreground);
        ::tcsetpgrp(0, foreground);
        const int result = systemBox(box_styles::OkCancel);
        ::kill(foreground, SIGKILL);
        return result;
    });
    EXPECT_EQ(answer, answers::Cancel) << "10 more for each descriptor left open";
}

}  // namespace
}  // namespace tarnwick
