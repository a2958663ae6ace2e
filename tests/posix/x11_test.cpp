// SetAlwaysOnTop as the window manager's keep-above state, on a real X
// server where the test plays the window manager: it sees the requests a
// managed window's keep-above state is asked with, and the state a window
// not yet managed carries into its mapping.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

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
using testing::ScopedVariable;

// An X server of the test's own (Xvfb, on a display number it picks itself),
// stopped when the object goes, and the test's connection to it.
struct XSession {
    XSession() {
        if (std::system("command -v Xvfb >/dev/null") != 0) return;
        for (int attempt = 0; attempt < 3 && !connection; ++attempt) start();
    }
    ~XSession() {
        if (connection) XCloseDisplay(connection);
        stop();
    }
    void start() {
        stop();
        int fds[2];
        if (::pipe(fds) != 0) return;
        if ((server = ::fork()) == 0) {
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, 0), ::dup2(null, 1), ::dup2(null, 2), ::dup2(fds[1], 3);
            ::execlp("Xvfb", "Xvfb", "-displayfd", "3", "-nolisten", "tcp", nullptr);
            ::_exit(127);
        }
        ::close(fds[1]);
        // Xvfb writes its display number and a newline once it listens.
        std::string number;
        char c;
        pollfd p{fds[0], POLLIN, 0};
        while (server > 0 && ::poll(&p, 1, 20000) == 1 && ::read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        ::close(fds[0]);
        if (!number.empty()) connection = XOpenDisplay((display = ":" + number).c_str());
    }
    void stop() {
        if (server > 0) ::kill(server, SIGTERM), ::waitpid(server, nullptr, 0);
        server = -1;
    }
    pid_t server = -1;
    std::string display;
    Display* connection = nullptr;
};

class KeepAbove : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { x = std::make_unique<XSession>(); }
    static void TearDownTestSuite() { x.reset(); }
    void SetUp() override {
        if (!x->connection) GTEST_SKIP() << "no X server (Xvfb) could be started";
        display.emplace("DISPLAY", x->display);
    }
    Display* d() { return x->connection; }
    Atom atom(const char* name) { return XInternAtom(d(), name, False); }
    Window window(bool managed) {
        const Window w = XCreateSimpleWindow(d(), DefaultRootWindow(d()), 0, 0, 9, 9, 0, 0, 0);
        const long state[] = {NormalState, None};
        if (managed)
            XChangeProperty(d(), w, atom("WM_STATE"), atom("WM_STATE"), 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(state), 2);
        XSync(d(), False);  // the library's own connection must see it
        return w;
    }
    std::vector<long> states(Window w) {
        Atom type;
        int format;
        unsigned long count, after;
        unsigned char* data = nullptr;
        XGetWindowProperty(d(), w, atom("_NET_WM_STATE"), 0, 64, False, XA_ATOM, &type, &format,
                           &count, &after, &data);
        std::vector<long> out(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + count);
        if (data) XFree(data);
        return out;
    }
    // The requests that reached the root window since the last call.
    std::vector<XClientMessageEvent> requests() {
        XSync(d(), False);
        std::vector<XClientMessageEvent> out;
        for (XEvent e; XPending(d());)
            if (XNextEvent(d(), &e), e.type == ClientMessage) out.push_back(e.xclient);
        return out;
    }
    static inline std::unique_ptr<XSession> x;
    std::optional<ScopedVariable> display;
    twFunctions f;
};

TEST_F(KeepAbove, AManagedWindowIsAskedOfTheWindowManagerAndActivated) {
    XSelectInput(d(), DefaultRootWindow(d()), SubstructureRedirectMask);  // the manager's part
    const Window w = window(true);
    for (const auto& [on, action] :
         {std::pair{Boolean(true), 1L}, {Boolean(false), 0L}, {Boolean::fromRaw(1), 1L}}) {
        f.SetAlwaysOnTop(on, static_cast<std::int32_t>(w));
        const std::vector<XClientMessageEvent> r = requests();
        ASSERT_EQ(r.size(), 2u) << on.raw();
        EXPECT_EQ(r[0].window, w);
        EXPECT_EQ(r[0].message_type, atom("_NET_WM_STATE"));
        EXPECT_EQ(r[0].data.l[0], action) << on.raw();
        EXPECT_EQ(r[0].data.l[1], static_cast<long>(atom("_NET_WM_STATE_ABOVE")));
        EXPECT_EQ(r[0].data.l[3], 1) << "asked by a normal application";
        EXPECT_EQ(r[1].window, w);
        EXPECT_EQ(r[1].message_type, atom("_NET_ACTIVE_WINDOW")) << "activated, as on Windows";
    }
    XSelectInput(d(), DefaultRootWindow(d()), NoEventMask);
}

TEST_F(KeepAbove, AWindowNotYetManagedCarriesTheStateInItsOwnProperty) {
    const Window w = window(false);
    const long sticky = static_cast<long>(atom("_NET_WM_STATE_STICKY"));
    const long above = static_cast<long>(atom("_NET_WM_STATE_ABOVE"));
    XChangeProperty(d(), w, atom("_NET_WM_STATE"), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&sticky), 1);
    XSync(d(), False);
    f.SetAlwaysOnTop(true, static_cast<std::int32_t>(w));
    EXPECT_EQ(states(w), (std::vector<long>{sticky, above}));
    f.SetAlwaysOnTop(false, static_cast<std::int32_t>(w));
    EXPECT_EQ(states(w), std::vector<long>{sticky}) << "other states are kept";
}

TEST_F(KeepAbove, AnyWindowNumberOrNoDisplayReturnsAndDoesNothing) {
    for (const std::int32_t id : {0, -1, 1, INT_MIN, INT_MAX, 0x1FFFFFFF})
        for (const std::int16_t on : {0, -1, 1, -32768}) f.SetAlwaysOnTop(Boolean::fromRaw(on), id);
    const Window w = window(false);
    ::unsetenv("DISPLAY");  // put back by the fixture
    f.SetAlwaysOnTop(true, static_cast<std::int32_t>(w));
    EXPECT_TRUE(states(w).empty()) << "without a display nothing was asked";
}

// The system's own dialog (zenity) on the screen, answered at the keyboard
// as a user would: the keys go through the XTEST extension, since GTK
// ignores synthetic key events.
TEST_F(KeepAbove, ARealDialogAsksForTheDiscAndItsAnswerEndsTheWait) {
    if (std::system("command -v zenity >/dev/null && command -v xdotool >/dev/null") != 0)
        GTEST_SKIP() << "zenity and xdotool are not installed";
    setMessageBoxHandler(nullptr);
    ScopedVariable noBus("NO_AT_BRIDGE", "1");  // no accessibility bus to look for
    const testing::TempFolder temp;
    const fs::path saved = fs::current_path();  // the wait enters the folder it finds
    const std::string folder = (temp / "Disc 2").string(), seen = (temp / "seen").string(),
                      again = (temp / "again").string();
    const std::string ours = std::to_string(::getpid());
    const std::string find = "timeout 20 xdotool search --sync --onlyvisible --name '^ravelstone$'";
    for (const std::string key : {"Escape", "Return"}) {
        std::thread user([&] {
            // The dialog shows, the disc arrives, the user presses the key.
            // A dialog that could not be answered is closed: nothing hangs.
            const std::string show = find + ">/dev/null && pgrep -a -P " + ours + " -x zenity >";
            const std::string press = find + " windowfocus --sync && xdotool key " + key;
            if (std::system((show + seen).c_str()) == 0 &&
                (key == "Escape" || fs::create_directory(folder)) &&
                std::system(press.c_str()) == 0) {
                // Nothing asks again, as it would were the answer misread.
                std::system(("sleep 2; pgrep -P " + ours + " -x zenity >" + again).c_str());
                if (testing::contentOf(again).empty()) return;
            }
            ADD_FAILURE() << "the dialog was not answered by " << key << " alone";
            std::system(("kill $(pgrep -P " + ours + " -x zenity) 2>/dev/null").c_str());
        });
        const Boolean result = f.WaitForCDRomPath(Variant(fromUtf8(folder)));
        user.join();
        EXPECT_EQ(result, Boolean(key == "Return")) << key;
        const std::string asked = testing::contentOf(seen);
        EXPECT_NE(asked.find("--question"), std::string::npos) << "OK and Cancel: " << asked;
        EXPECT_NE(asked.find("--title=ravelstone"), std::string::npos) << asked;
        EXPECT_NE(asked.find("--text=Insert the CD for Path: '" + folder + "'"), std::string::npos)
            << asked;
    }
    fs::current_path(saved);
}

}  // namespace
}  // namespace tarnwick
