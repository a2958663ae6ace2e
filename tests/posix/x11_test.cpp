// SetAlwaysOnTop as the window manager's keep-above state, on a real X
// server (Xvfb) where the test plays the window manager.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <climits>

#include "support/scoped_variable.h"
#include "tarnwick/tarnwick.h"

// After gtest and the library: X defines macros (None, Bool) that clash.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace tarnwick {
namespace {

// An X server of the test's own, on a display number it picks itself, and
// the test's connection to it; the server is stopped when the object goes.
struct XSession {
    XSession() {
        int fds[2];
        if (::pipe(fds) != 0) return;
        if ((server = ::fork()) == 0) {
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, 1), ::dup2(null, 2), ::dup2(fds[1], 3);
            ::execlp("Xvfb", "Xvfb", "-displayfd", "3", "-nolisten", "tcp", nullptr);
            ::_exit(127);
        }
        ::close(fds[1]);
        // Xvfb writes its display number and a newline once it listens.
        char c;
        pollfd p{fds[0], POLLIN, 0};
        while (::poll(&p, 1, 20000) == 1 && ::read(fds[0], &c, 1) == 1 && c != '\n') display += c;
        ::close(fds[0]);
        if (!display.empty()) connection = XOpenDisplay((display = ":" + display).c_str());
    }
    ~XSession() {
        if (connection) XCloseDisplay(connection);
        if (server > 0) ::kill(server, SIGTERM), ::waitpid(server, nullptr, 0);
    }
    pid_t server = -1;
    std::string display;
    Display* connection = nullptr;
};

TEST(KeepAbove, TheWindowManagerIsAskedOrTheWindowCarriesTheState) {
    XSession x;
    if (!x.connection) GTEST_SKIP() << "no X server (Xvfb) could be started";
    testing::ScopedVariable display("DISPLAY", x.display);
    Display* d = x.connection;
    const auto atom = [&](const char* name) { return XInternAtom(d, name, False); };
    const long above = atom("_NET_WM_STATE_ABOVE"), sticky = atom("_NET_WM_STATE_STICKY");
    const long netWmState = atom("_NET_WM_STATE"), active = atom("_NET_ACTIVE_WINDOW");
    const auto window = [&](Atom property, Atom type, const long* values, int count) {
        const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 9, 9, 0, 0, 0);
        XChangeProperty(d, w, property, type, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(values), count);
        XSync(d, False);  // the library's own connection must see it
        return w;
    };
    twFunctions f;

    // A window the window manager manages (its WM_STATE normal) is asked of
    // the manager, whose part the test takes at the root window, and
    // activated, as on Windows.
    const long normal[] = {NormalState, None};
    const Window managed = window(atom("WM_STATE"), atom("WM_STATE"), normal, 2);
    const long w = static_cast<long>(managed);
    XSelectInput(d, DefaultRootWindow(d), SubstructureRedirectMask);
    XSync(d, False);
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
        // The last 1: asked by a normal application.
        EXPECT_EQ(asked, (std::vector<std::array<long, 5>>{{w, netWmState, action, above, 1},
                                                           {w, active, 1, CurrentTime, 1}}))
            << on.raw();
    }
    XSelectInput(d, DefaultRootWindow(d), NoEventMask);

    // A window not yet managed carries the state in its own property into its
    // mapping, its other states kept. No window, or no display, is no error.
    const Window withdrawn = window(netWmState, XA_ATOM, &sticky, 1);
    const auto states = [&] {
        Atom type;
        int format;
        unsigned long count, after;
        unsigned char* data = nullptr;
        XGetWindowProperty(d, withdrawn, netWmState, 0, 64, False, XA_ATOM, &type, &format, &count,
                           &after, &data);
        std::vector<long> out(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + count);
        if (data) XFree(data);
        return out;
    };
    f.SetAlwaysOnTop(true, static_cast<std::int32_t>(withdrawn));
    EXPECT_EQ(states(), (std::vector<long>{sticky, above}));
    f.SetAlwaysOnTop(false, static_cast<std::int32_t>(withdrawn));
    EXPECT_EQ(states(), std::vector<long>{sticky});
    for (const std::int32_t id : {0, -1, 1, INT_MIN, INT_MAX, 0x1FFFFFFF})
        f.SetAlwaysOnTop(true, id);
    ::unsetenv("DISPLAY");
    f.SetAlwaysOnTop(true, static_cast<std::int32_t>(withdrawn));
    EXPECT_EQ(states(), std::vector<long>{sticky}) << "without a display nothing was asked";
}

}  // namespace
}  // namespace tarnwick
