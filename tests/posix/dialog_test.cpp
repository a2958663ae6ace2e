// The system's own message boxes on Linux when the host installed no handler:
// a desktop dialog program when there is a display, else the terminal the
// process belongs to, else none at all.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "platform/posix/posix_platform.h"
#include "support/scoped_variable.h"
#include "support/temp_folder.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using testing::ScopedVariable;
using testing::TempFolder;

std::int32_t systemBox(const char16_t* prompt, std::int32_t style) {
    setMessageBoxHandler(nullptr);
    return systemPlatform().messageBox(prompt, style, u"Tarnwick");
}

// The box in a child process whose controlling terminal is a new pseudo
// terminal; the test plays the user at the other end. Returns the answer
// and what the terminal showed.
struct TerminalRun {
    int answer = -1;
    std::string shown;
};

TerminalRun onTerminal(std::int32_t style, const std::string& typed, bool closeInstead = false) {
    int master = -1;
    const pid_t child = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (child == 0) {
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
        std::exit(systemBox(u"Insert the disc", style));  // exit, so that profiles are written
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
    if (closeInstead) {
        // End of input: the terminal's end-of-file character.
        const char eof = 4;
        EXPECT_EQ(::write(master, &eof, 1), 1);
    } else {
        EXPECT_EQ(::write(master, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(master);
    if (WIFEXITED(status)) run.answer = WEXITSTATUS(status);
    return run;
}

TEST(TerminalBox, AQuestionIsAnsweredAtTheTerminal) {
    struct Case {
        std::string typed;
        int answer;
    };
    for (const Case& c : {Case{"o\n", answers::Ok}, Case{"OK\n", answers::Ok},
                          Case{"\n", answers::Ok}, Case{"c\n", answers::Cancel},
                          Case{"cancel\n", answers::Cancel}, Case{"x\n", answers::Cancel}}) {
        const TerminalRun run = onTerminal(box_styles::OkCancel, c.typed);
        EXPECT_EQ(run.answer, c.answer) << "typed " << c.typed;
        EXPECT_NE(run.shown.find("[Tarnwick] Insert the disc"), std::string::npos) << run.shown;
    }
}

TEST(TerminalBox, EndOfInputCancelsAQuestion) {
    EXPECT_EQ(onTerminal(box_styles::OkCancel, "", true).answer, answers::Cancel);
}

TEST(TerminalBox, AWarningWaitsForEnterAndAnswersOk) {
    const TerminalRun run = onTerminal(box_styles::Exclamation, "\n");
    EXPECT_EQ(run.answer, answers::Ok);
    EXPECT_NE(run.shown.find("Press Enter"), std::string::npos) << run.shown;
}

// No display and no terminal (a session of its own): nobody can answer, so
// a question is cancelled and a warning passes.
TEST(TerminalBox, WithoutATerminalAQuestionIsCancelled) {
    for (const std::int32_t style : {box_styles::OkCancel, box_styles::Exclamation}) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::setsid();
            ::unsetenv("DISPLAY");
            ::unsetenv("WAYLAND_DISPLAY");
            std::exit(systemBox(u"Insert the disc", style));
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status),
                  style == box_styles::OkCancel ? answers::Cancel : answers::Ok);
    }
}

// Where zenity is missing, KDE's kdialog asks: a stand-in of it records its
// arguments and answers with its exit status as kdialog does.
TEST(DesktopBox, KdialogAsksWhereZenityIsMissing) {
    TempFolder temp;
    const std::string record = (temp / "arguments").string();
    {
        std::ofstream script(temp / "kdialog");
        script << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" << record
               << "'\nexit ${KDIALOG_STATUS:-0}\n";
    }
    std::filesystem::permissions(temp / "kdialog", std::filesystem::perms::owner_all);
    ScopedVariable path("PATH", temp.path().c_str());
    ScopedVariable display("DISPLAY", ":99");
    for (const int status : {0, 1}) {
        ScopedVariable answer("KDIALOG_STATUS", std::to_string(status).c_str());
        EXPECT_EQ(systemBox(u"Insert the disc", box_styles::OkCancel),
                  status == 0 ? answers::Ok : answers::Cancel);
        std::ifstream in(record);
        std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(all, "--title\nTarnwick\n--warningcontinuecancel\nInsert the disc\n");
    }
    EXPECT_EQ(systemBox(u"Disc missing", box_styles::Exclamation), answers::Ok);
    std::ifstream in(record);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(all, "--title\nTarnwick\n--sorry\nDisc missing\n");
}

// A Wayland session counts as a display too; a display with neither dialog
// program installed falls back to the terminal (here: none, so Cancel).
TEST(DesktopBox, WaylandAsksTooAndNoDialogProgramFallsBackToTheTerminal) {
    TempFolder temp;
    {
        std::ofstream script(temp / "kdialog");
        script << "#!/bin/sh\nexit 0\n";
    }
    std::filesystem::permissions(temp / "kdialog", std::filesystem::perms::owner_all);
    const auto inOwnSession = [](const std::string& path) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::setsid();
            ::unsetenv("DISPLAY");
            ::setenv("WAYLAND_DISPLAY", "wayland-0", 1);
            ::setenv("PATH", path.c_str(), 1);
            std::exit(systemBox(u"Insert the disc", box_styles::OkCancel));
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(inOwnSession(temp.path().string()), answers::Ok) << "kdialog answered";
    EXPECT_EQ(inOwnSession((temp / "empty").string()), answers::Cancel) << "nobody to ask";
}

}  // namespace
}  // namespace tarnwick
