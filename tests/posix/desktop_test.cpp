// The system's message boxes and SetAlwaysOnTop on Linux (Xvfb, the test as window manager).
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <climits>

#include "platform/platform.h"
#include "support/scoped_variable.h"
#include "support/temp_folder.h"
#include "tarnwick/tarnwick.h"

// After gtest and the library: X defines macros (None, Bool) that clash.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

// A dialog program with a display, else the controlling terminal (a pty), else nobody.
TEST(SystemBox, TheDialogProgramElseTheTerminalElseNobodyAnswers) {
    const testing::TempFolder temp;
    const fs::path script =
        temp.write("z/zenity", "#!/bin/sh\nIFS='|'\necho \"${0##*/}|$*\" >'" +
                                   (temp / "arguments").string() + "'\nexit $ANSWER");
    fs::permissions(script, fs::perms::owner_all);
    fs::create_directory(temp / "k");
    for (const char* folder : {"z", "k"}) fs::create_symlink(script, temp / folder / "kdialog");
    const std::int32_t ask = box_styles::OkCancel, tell = box_styles::Exclamation;
    const int ok = answers::Ok, cancel = answers::Cancel, none = 0, tty = 1, refusing = 2;
    const char *x = "DISPLAY=:9", *wayland = "WAYLAND_DISPLAY=w", *blank = "DISPLAY=";
    const std::string q = "\r\n[Tarnwick] Insert the disc\r\nOK or Cancel? [o/c] ",
                      z = "zenity|--question|--no-markup|--title=Tarnwick|--text=Insert the disc|"
                          "--ok-label=OK|--cancel-label=Cancel\n",
                      k = "kdialog|--title|Tarnwick|--warningcontinuecancel|Insert the disc\n";
    // Terminal: none, tty, or one that refuses the prompt; programs on PATH: z zenity and kdialog,
    // k kdialog; typed at the terminal (none: ^D), or the dialog's status; seen there, or by it.
    // clang-format off
    const struct { int terminal; const char *display, *programs; std::int32_t style; std::string typed; int answer; std::string seen; } rows[] = {
        {tty, "", "z", ask, "o\n", ok, q}, {tty, "", "", ask, "OK\n", ok, q}, {tty, "", "", ask, "\n", ok, q},
        {tty, "", "", ask, "x\n", cancel, q}, {tty, "", "", ask, "", cancel, q},
        {tty, x, "", tell, "\n", ok, "\r\n[Tarnwick] Insert the disc\r\nPress Enter to go on. "},
        {refusing, "", "", ask, "", cancel, ""}, {refusing, "", "", tell, "", ok, ""},
        {none, x, "z", ask, "0", ok, z}, {none, wayland, "z", ask, "1", cancel, z},
        {none, x, "z", tell, "0", ok, "zenity|--warning|--no-markup|--title=Tarnwick|--text=Insert the disc|--ok-label=OK\n"},
        {none, x, "k", ask, "0", ok, k}, {none, x, "k", tell, "0", ok, "kdialog|--title|Tarnwick|--sorry|Insert the disc\n"},
        {none, x, "", ask, "", cancel, ""}, {none, blank, "z", ask, "0", cancel, ""}, {none, "", "z", tell, "", ok, ""}};
    // clang-format on
    for (const auto& row : rows) {
        const std::string name = row.display + std::string(" ") + row.programs + " " + row.typed;
        fs::remove(temp / "arguments");
        int master = -1;
        const pid_t child = row.terminal ? ::forkpty(&master, nullptr, nullptr, nullptr) : ::fork();
        if (child == 0) {
            ::alarm(10);  // a box that never returns fails, and fast
            if (row.terminal == none) ::setsid();
            ::unsetenv("DISPLAY"), ::unsetenv("WAYLAND_DISPLAY");
            if (*row.display) ::putenv(const_cast<char*>(row.display));
            ::setenv("PATH", (temp / row.programs).c_str(), 1);
            ::setenv("ANSWER", row.typed.c_str(), 1);
            pid_t foreground = 0;
            if (row.terminal == refusing) {
                // From an orphaned background group with TOSTOP set, the prompt fails.
                termios t;
                ::tcgetattr(0, &t), t.c_lflag |= TOSTOP, ::tcsetattr(0, TCSANOW, &t);
                if ((foreground = ::fork()) == 0) ::alarm(10), ::pause();
                ::setpgid(foreground, foreground), ::tcsetpgrp(0, foreground);
            }
            const auto open = [] {
                return std::distance(fs::directory_iterator("/proc/self/fd"), {});
            };
            const auto before = open();
            const int answer =
                systemPlatform().messageBox(u"Insert the disc", row.style, u"Tarnwick");
            if (foreground > 0) ::kill(foreground, SIGKILL);
            std::exit(answer + 10 * int(open() - before));  // exit: profiles are written
        }
        std::string shown;
        pollfd screen{master, POLLIN, 0};
        for (char c; row.terminal == tty && shown.find(row.seen) == std::string::npos &&
                     ::poll(&screen, 1, 5000) == 1 && ::read(master, &c, 1) == 1;)
            shown += c;
        const std::string typed = row.typed.empty() ? "\4" : row.typed;
        if (row.terminal == tty && ::write(master, typed.data(), typed.size()) < 0) ADD_FAILURE();
        int status = 0;
        ::waitpid(child, &status, 0);
        if (master >= 0) ::close(master);
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, row.answer)
            << name << " (10 more for each descriptor left open)";
        EXPECT_EQ(row.terminal == tty ? shown : testing::contentOf(temp / "arguments"), row.seen)
            << name;
    }
}

// An X server of the test's own and a connection to it.
struct XSession {
    int number() { return out && std::fgets(line, sizeof line, out) ? std::atoi(line) : -1; }
    ~XSession() {
        if (connection) XCloseDisplay(connection);
        if (server > 0) ::kill(server, SIGTERM);
        if (out) ::pclose(out);
    }
    FILE* out = ::popen("echo $$; exec Xvfb -displayfd 1 -nolisten tcp 2>/dev/null", "r");
    char line[32];
    const int server = number();
    const std::string display = ":" + std::to_string(number());
    Display* connection = display == ":-1" ? nullptr : XOpenDisplay(display.c_str());
};

// A managed window's state is asked of the window manager; others carry it themselves.
TEST(KeepAbove, TheWindowManagerIsAskedOrTheWindowCarriesTheState) {
    XSession x;
    if (!x.connection) GTEST_SKIP() << "no X server (Xvfb) could be started";
    testing::ScopedVariable display("DISPLAY", x.display);
    Display* d = x.connection;
    const Window root = DefaultRootWindow(d);
    const auto atom = [&](const char* name) {
        return static_cast<long>(XInternAtom(d, name, False));
    };
    const long above = atom("_NET_WM_STATE_ABOVE"), sticky = atom("_NET_WM_STATE_STICKY"),
               state = atom("_NET_WM_STATE"), wmState = atom("WM_STATE");
    std::array<Window, 3> w;  // managed, without WM_STATE, withdrawn
    for (Window& window : w) window = XCreateSimpleWindow(d, root, 0, 0, 9, 9, 0, 0, 0);
    const auto set = [&](Window window, long property, long type, std::vector<long> values) {
        XChangeProperty(d, window, property, type, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(values.data()), values.size());
    };
    set(w[0], wmState, wmState, {NormalState, None});
    set(w[1], state, XA_ATOM, {sticky});
    set(w[2], wmState, wmState, {WithdrawnState});
    set(w[2], state, XA_CARDINAL, {sticky});          // not a list of atoms: nothing to keep
    XSelectInput(d, root, SubstructureRedirectMask);  // the window manager's part
    XSync(d, False);  // the library's own connection must see all this
    twFunctions f;
    const long managed = static_cast<long>(w[0]), active = atom("_NET_ACTIVE_WINDOW");
    for (const auto& [on, action] :
         {std::pair{Boolean(true), 1L}, {Boolean(false), 0L}, {Boolean::fromRaw(1), 1L}}) {
        f.SetAlwaysOnTop(on, static_cast<std::int32_t>(managed));
        XSync(d, False);
        std::vector<std::array<long, 5>> asked;  // window, message, data 0, 1 and 3
        for (XEvent e; XPending(d);)
            if (XNextEvent(d, &e), e.type == ClientMessage)
                asked.push_back({static_cast<long>(e.xclient.window),
                                 static_cast<long>(e.xclient.message_type), e.xclient.data.l[0],
                                 e.xclient.data.l[1], e.xclient.data.l[3]});
        EXPECT_EQ(asked, (std::vector<std::array<long, 5>>{{managed, state, action, above, 1},
                                                           {managed, active, 1, CurrentTime, 1}}))
            << on.raw();
    }
    const auto statesAfter = [&](bool on, Window window) {  // the window's own list of states
        f.SetAlwaysOnTop(on, static_cast<std::int32_t>(window));
        unsigned char* data = nullptr;
        Atom type;
        int format;
        unsigned long count = 0, after;
        XGetWindowProperty(d, window, state, 0, 64, False, XA_ATOM, &type, &format, &count, &after,
                           &data);
        const std::vector<long> out(reinterpret_cast<long*>(data),
                                    reinterpret_cast<long*>(data) + count);
        XFree(data);  // none is no harm
        return out;
    };
    EXPECT_EQ(statesAfter(true, w[1]), (std::vector<long>{sticky, above}));
    EXPECT_EQ(statesAfter(true, w[2]), std::vector<long>{above});
    EXPECT_EQ(statesAfter(false, w[1]), std::vector<long>{sticky});
    for (const std::int32_t id : {0, -1, 1, INT_MIN, INT_MAX, 0x1FFFFFFF})
        f.SetAlwaysOnTop(true, id);
    ::unsetenv("DISPLAY");
    EXPECT_EQ(statesAfter(true, w[1]), std::vector<long>{sticky}) << "without a display, unasked";
}

}  // namespace
}  // namespace tarnwick
