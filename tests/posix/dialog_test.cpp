// The system's own message boxes on Linux when the host installed no handler:
// a desktop dialog program when there is a display, else the terminal the
// process belongs to, else none at all.
#include <dirent.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/posix/posix_platform.h"
#include "support/scoped_variable.h"
#include "support/temp_folder.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using testing::ScopedVariable;
using testing::TempFolder;

std::int32_t systemBox(std::int32_t style) {
    setMessageBoxHandler(nullptr);
    return systemPlatform().messageBox(u"Insert the disc", style, u"Tarnwick");
}

// The box in a child process whose controlling terminal is a new pseudo
// terminal; the test plays the user at the other end (typed, or the end of
// input when typed is empty). Returns the answer and what the terminal showed.
struct TerminalRun {
    int answer = -1;
    std::string shown;
};

TerminalRun onTerminal(std::int32_t style, const std::string& typed) {
    int master = -1;
    const pid_t child = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (child == 0) {
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
        std::exit(systemBox(style));  // exit, so that profiles are written
    }
    TerminalRun run;
    if (child < 0) return run;
    // Wait for the question before answering, as a user would.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    char buffer[256];
    while (run.shown.find(style == 1 ? "[o/c]" : "Enter") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0) break;
        run.shown.append(buffer, static_cast<std::size_t>(n));
    }
    const std::string input = typed.empty() ? std::string(1, '\4') : typed;  // ^D: end of input
    EXPECT_EQ(::write(master, input.data(), input.size()), static_cast<ssize_t>(input.size()));
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(master);
    if (WIFEXITED(status)) run.answer = WEXITSTATUS(status);
    return run;
}

TEST(TerminalBox, IsAnsweredAtTheTerminal) {
    struct Case {
        std::int32_t style;
        std::string typed;
        int answer;
    };
    const std::int32_t question = box_styles::OkCancel, warning = box_styles::Exclamation;
    for (const Case& c : {Case{question, "o\n", answers::Ok}, Case{question, "OK\n", answers::Ok},
                          Case{question, "\n", answers::Ok}, Case{question, "c\n", answers::Cancel},
                          Case{question, "x\n", answers::Cancel},
                          Case{question, "", answers::Cancel}, Case{warning, "\n", answers::Ok}}) {
        const TerminalRun run = onTerminal(c.style, c.typed);
        EXPECT_EQ(run.answer, c.answer) << "typed " << c.typed;
        EXPECT_NE(run.shown.find("[Tarnwick] Insert the disc"), std::string::npos) << run.shown;
        EXPECT_NE(run.shown.find(c.style == question ? "OK or Cancel?" : "Press Enter"),
                  std::string::npos)
            << run.shown;
    }
}

int openDescriptors() {
    int n = 0;
    DIR* fds = ::opendir("/proc/self/fd");
    while (::readdir(fds)) ++n;
    ::closedir(fds);
    return n;
}

// A terminal that refuses the prompt (written from a background process group
// that nobody can resume, with TOSTOP set: the write fails with EIO): the
// question is cancelled and the terminal is not left open.
TEST(TerminalBox, AFailedPromptCancelsAndKeepsNothingOpen) {
    int result[2];
    ASSERT_EQ(::pipe(result), 0);
    int master = -1;
    const pid_t leader = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (leader == 0) {
        termios t;
        ::tcgetattr(0, &t);
        t.c_lflag |= TOSTOP;
        ::tcsetattr(0, TCSANOW, &t);
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
        const pid_t group = ::fork();
        if (group == 0) {
            ::setpgid(0, 0);
            const pid_t parent = ::getpid();
            if (::fork() == 0) {
                ::alarm(10);
                while (::getppid() == parent) ::usleep(1000);  // orphaned once its parent is gone
                const int before = openDescriptors();
                const int answer = systemBox(box_styles::OkCancel);
                const int report[2] = {answer, openDescriptors() - before};
                [[maybe_unused]] const ssize_t n = ::write(result[1], report, sizeof report);
            }
            ::_exit(0);  // leaves the group's last member orphaned
        }
        ::close(result[1]);
        ::waitpid(group, nullptr, 0);
        ::pause();  // keeps the session, and with it the terminal, until killed
    }
    ::close(result[1]);
    int report[2] = {-1, -1};
    pollfd answered{result[0], POLLIN, 0};
    if (::poll(&answered, 1, 15000) == 1) {
        EXPECT_EQ(::read(result[0], report, sizeof report), static_cast<ssize_t>(sizeof report));
    }
    ::kill(leader, SIGKILL);
    ::waitpid(leader, nullptr, 0);
    ::close(result[0]);
    ::close(master);
    EXPECT_EQ(report[0], answers::Cancel);
    EXPECT_EQ(report[1], 0) << "descriptors left open";
}

// In a session of its own (no terminal), with the display and the dialog
// programs given: who answers, if anyone.
TEST(DesktopBox, TheDialogProgramOrNobodyAnswers) {
    TempFolder temp;
    {
        std::ofstream script(temp / "kdialog");
        script << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '"
               << (temp / "arguments").string() << "'\nexit ${KDIALOG_STATUS:-0}\n";
    }
    std::filesystem::permissions(temp / "kdialog", std::filesystem::perms::owner_all);
    struct Case {
        const char* name;
        std::int32_t style;
        const char *display, *wayland, *status;
        std::string path;
        int answer;
        std::string arguments;  // what kdialog got, when it ran
    };
    const std::string kdialog = temp.path().string(), none = (temp / "none").string();
    const std::vector<Case> cases = {
        {"kdialog: continue", 1, ":99", "", "0", kdialog, answers::Ok,
         "--title\nTarnwick\n--warningcontinuecancel\nInsert the disc\n"},
        {"kdialog: cancel", 1, ":99", "", "1", kdialog, answers::Cancel,
         "--title\nTarnwick\n--warningcontinuecancel\nInsert the disc\n"},
        {"kdialog: a warning", 48, ":99", "", "0", kdialog, answers::Ok,
         "--title\nTarnwick\n--sorry\nInsert the disc\n"},
        {"Wayland counts as a display", 1, "", "wayland-0", "0", kdialog, answers::Ok, "-"},
        {"no dialog program: nobody asks", 1, ":99", "", "0", none, answers::Cancel, ""},
        {"no display: nobody asks", 1, "", "", "0", kdialog, answers::Cancel, ""},
        {"no display: a warning passes", 48, "", "", "0", kdialog, answers::Ok, ""},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(temp / "arguments");
        const pid_t child = ::fork();
        if (child == 0) {
            ::setsid();
            ::setenv("DISPLAY", c.display, 1);
            ::setenv("WAYLAND_DISPLAY", c.wayland, 1);
            ::setenv("KDIALOG_STATUS", c.status, 1);
            ::setenv("PATH", c.path.c_str(), 1);
            std::exit(systemBox(c.style));
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.answer) << c.name;
        std::ifstream in(temp / "arguments");
        const std::string got{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (c.arguments != "-") {
            EXPECT_EQ(got, c.arguments) << c.name;
        }
    }
}

}  // namespace
}  // namespace tarnwick
