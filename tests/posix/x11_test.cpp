// Real windows under an X server of the test's own with a window manager:
// SetAlwaysOnTop as the window manager's keep-above state, and a CD-ROM
// wait answered in a real dialog by a test driver that focuses it and
// presses keys, as a user would (GTK ignores synthetic key events, so the
// keys go through the XTEST extension).
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "platform/posix/posix_platform.h"
#include "support/temp_folder.h"
#include "tarnwick/tarnwick.h"
#include "x_session.h"

namespace tarnwick {
namespace {

using testing::TempFolder;
using testing::XSession;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
}

// DISPLAY names the test's server while a test runs.
class WithDisplay : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!x.running()) GTEST_SKIP() << x.why();
        const char* old = std::getenv("DISPLAY");
        if (old) savedDisplay_ = old;
        hadDisplay_ = old != nullptr;
        ::setenv("DISPLAY", x.display().c_str(), 1);
    }
    void TearDown() override {
        if (hadDisplay_)
            ::setenv("DISPLAY", savedDisplay_.c_str(), 1);
        else
            ::unsetenv("DISPLAY");
    }
    static void SetUpTestSuite() { x_ = new XSession; }
    static void TearDownTestSuite() {
        delete x_;
        x_ = nullptr;
    }
    static inline XSession* x_ = nullptr;
    XSession& x = *x_;

  private:
    std::string savedDisplay_;
    bool hadDisplay_ = false;
};

// ------------------------------------------------------------ always on top

class KeepAbove : public WithDisplay {
  protected:
    struct Geometry {
        int x, y, width, height;
        friend bool operator==(const Geometry&, const Geometry&) = default;
    };
    Display* d() { return x.connection(); }
    Atom atom(const char* name) { return XInternAtom(d(), name, False); }

    std::vector<long> longs(Window w, const char* property, Atom type) {
        XSync(d(), False);
        Atom actual;
        int format;
        unsigned long count, after;
        unsigned char* data = nullptr;
        std::vector<long> out;
        if (XGetWindowProperty(d(), w, atom(property), 0, 1024, False, type, &actual, &format,
                               &count, &after, &data) == Success &&
            data) {
            if (format == 32)
                out.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + count);
            XFree(data);
        }
        return out;
    }
    bool above(Window w) {
        const std::vector<long> states = longs(w, "_NET_WM_STATE", XA_ATOM);
        return std::find(states.begin(), states.end(),
                         static_cast<long>(atom("_NET_WM_STATE_ABOVE"))) != states.end();
    }
    Window active() {
        const std::vector<long> a = longs(DefaultRootWindow(d()), "_NET_ACTIVE_WINDOW", XA_WINDOW);
        return a.empty() ? None : static_cast<Window>(a[0]);
    }
    // Bottom to top, as the window manager stacks its clients.
    std::vector<Window> stacking() {
        std::vector<Window> out;
        for (long w : longs(DefaultRootWindow(d()), "_NET_CLIENT_LIST_STACKING", XA_WINDOW))
            out.push_back(static_cast<Window>(w));
        return out;
    }
    bool isAbove(Window upper, Window lower) {
        const std::vector<Window> order = stacking();
        const auto u = std::find(order.begin(), order.end(), upper);
        const auto l = std::find(order.begin(), order.end(), lower);
        return u != order.end() && l != order.end() && u > l;
    }
    Geometry geometry(Window w) {
        XWindowAttributes a;
        XGetWindowAttributes(d(), w, &a);
        int rx = 0, ry = 0;
        Window child;
        XTranslateCoordinates(d(), w, DefaultRootWindow(d()), 0, 0, &rx, &ry, &child);
        return {rx, ry, a.width, a.height};
    }
    Window window(int left, int top, bool map = true) {
        const Window w =
            XCreateSimpleWindow(d(), DefaultRootWindow(d()), left, top, 320, 200, 0, 0, 0xFFFFFF);
        XSizeHints hints{};
        hints.flags = USPosition | USSize;
        hints.x = left;
        hints.y = top;
        hints.width = 320;
        hints.height = 200;
        XSetWMNormalHints(d(), w, &hints);
        XStoreName(d(), w, "tarnwick test window");
        XSync(d(), False);  // the library's own connection must see it
        if (map) {
            XMapWindow(d(), w);
            EXPECT_TRUE(waitUntil([&] {
                const std::vector<long> s = longs(w, "WM_STATE", atom("WM_STATE"));
                return !s.empty() && s[0] == NormalState;
            })) << "the window manager did not map the window";
            EXPECT_TRUE(waitUntil([&] { return active() == w; }));
        }
        windows_.push_back(w);
        return w;
    }
    void activate(Window w) {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = w;
        e.xclient.message_type = atom("_NET_ACTIVE_WINDOW");
        e.xclient.format = 32;
        e.xclient.data.l[0] = 2;  // a pager asks
        XSendEvent(d(), DefaultRootWindow(d()), False,
                   SubstructureRedirectMask | SubstructureNotifyMask, &e);
        XFlush(d());
    }
    void TearDown() override {
        if (x_ && x.running()) {
            for (Window w : windows_) XDestroyWindow(d(), w);
            XSync(d(), False);
        }
        WithDisplay::TearDown();
    }
    twFunctions f;

  private:
    std::vector<Window> windows_;
};

TEST_F(KeepAbove, OnKeepsTheWindowAboveOthersAndOffReturnsItWithoutMovingIt) {
    const Window front = window(100, 100);
    const Window other = window(160, 140);
    ASSERT_TRUE(isAbove(other, front)) << "the later window starts on top";
    const Geometry before = geometry(front);
    const std::int32_t id = static_cast<std::int32_t>(front);

    f.SetAlwaysOnTop(true, id);
    EXPECT_TRUE(waitUntil([&] { return above(front); })) << "_NET_WM_STATE_ABOVE set";
    EXPECT_TRUE(waitUntil([&] { return active() == front; })) << "the window is activated";
    EXPECT_TRUE(waitUntil([&] { return isAbove(front, other); }));
    EXPECT_EQ(geometry(front), before);

    // Another window activated stays below the one kept on top.
    activate(other);
    ASSERT_TRUE(waitUntil([&] { return active() == other; }));
    EXPECT_TRUE(isAbove(front, other));

    f.SetAlwaysOnTop(false, id);
    EXPECT_TRUE(waitUntil([&] { return !above(front); })) << "_NET_WM_STATE_ABOVE cleared";
    EXPECT_TRUE(waitUntil([&] { return active() == front; }));
    EXPECT_EQ(geometry(front), before);
    activate(other);
    EXPECT_TRUE(waitUntil([&] { return isAbove(other, front); }))
        << "back among the normal windows";

    f.SetAlwaysOnTop(Boolean::fromRaw(1), id);  // any non-zero value is on
    EXPECT_TRUE(waitUntil([&] { return above(front); }));
    EXPECT_EQ(geometry(front), before);
}

TEST_F(KeepAbove, AWindowNotYetManagedCarriesTheStateIntoItsMapping) {
    const Window later = window(300, 300, false);
    f.SetAlwaysOnTop(true, static_cast<std::int32_t>(later));
    EXPECT_TRUE(above(later)) << "written on the window itself";
    XMapWindow(d(), later);
    XSync(d(), False);
    ASSERT_TRUE(waitUntil([&] {
        const std::vector<long> s = longs(later, "WM_STATE", atom("WM_STATE"));
        return !s.empty() && s[0] == NormalState;
    }));
    const Window newer = window(320, 320);
    EXPECT_TRUE(waitUntil([&] { return isAbove(later, newer); }))
        << "the window manager honoured the state";
    EXPECT_TRUE(above(later));
}

TEST_F(KeepAbove, NoSuchWindowAndNoDisplayDoNothing) {
    const Window present = window(50, 50);
    f.SetAlwaysOnTop(true, 0x7FFFFFF0);  // no window has this id: the error is dropped
    f.SetAlwaysOnTop(false, 0);
    ::unsetenv("DISPLAY");
    f.SetAlwaysOnTop(true, static_cast<std::int32_t>(present));
    ::setenv("DISPLAY", x.display().c_str(), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(above(present)) << "without a display nothing was asked";
}

// ------------------------------------------------------------ a real dialog

// The zenity that this process started, if it is running now.
pid_t ourDialog() {
    pid_t found = -1;
    DIR* proc = ::opendir("/proc");
    while (const dirent* e = proc ? ::readdir(proc) : nullptr) {
        const pid_t pid = std::atoi(e->d_name);
        if (pid <= 0) continue;
        std::ifstream stat("/proc/" + std::string(e->d_name) + "/stat");
        std::string line;
        std::getline(stat, line);
        const std::size_t close = line.rfind(')');
        if (close == std::string::npos || line.find("(zenity)") == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 2));
        char state;
        pid_t parent;
        rest >> state >> parent;
        if (parent == ::getpid() && state != 'Z') found = pid;
    }
    if (proc) ::closedir(proc);
    return found;
}

std::vector<std::string> commandLine(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    std::vector<std::string> words;
    for (std::string w; std::getline(in, w, '\0');) words.push_back(w);
    return words;
}

std::string output(const std::string& command) {
    std::string text;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe)) text += buffer;
        ::pclose(pipe);
    }
    return text;
}

// A user at the screen: waits for the dialog, checks what it says, focuses
// it and presses key. Gives up after a while, closing the dialog, so that a
// broken dialog cannot hold the test.
class DialogDriver {
  public:
    struct Seen {
        std::vector<std::string> commandLine;
        bool answered = false;
    };
    Seen answer(const std::string& key, const std::function<void()>& before = {}) {
        Seen seen;
        const auto deadline = Clock::now() + std::chrono::seconds(30);
        pid_t dialog = -1;
        while (Clock::now() < deadline && (dialog = ourDialog()) < 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (dialog < 0) return seen;
        std::string window;
        while (Clock::now() < deadline && window.empty()) {
            window = output("xdotool search --onlyvisible --pid " + std::to_string(dialog) +
                            " 2>/dev/null | head -n 1");
            if (window.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        while (!window.empty() && std::isspace(static_cast<unsigned char>(window.back())))
            window.pop_back();
        // Read once the dialog shows: while the program is still being
        // loaded, the system may already name it but not yet its arguments.
        seen.commandLine = commandLine(dialog);
        if (!window.empty()) {
            if (before) before();
            std::system(("timeout 10 xdotool windowactivate --sync " + window + " >/dev/null 2>&1")
                            .c_str());
            std::system(
                ("timeout 10 xdotool windowfocus --sync " + window + " >/dev/null 2>&1").c_str());
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            std::system(("xdotool key --clearmodifiers " + key + " >/dev/null 2>&1").c_str());
            // The dialog must go away; if the key was lost, try once more.
            const auto gone = Clock::now() + std::chrono::seconds(5);
            while (Clock::now() < gone && ::kill(dialog, 0) == 0 && ourDialog() == dialog)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (ourDialog() == dialog)
                std::system(("xdotool key --clearmodifiers " + key + " >/dev/null 2>&1").c_str());
            seen.answered = true;
        }
        // Whatever happened, the dialog does not outlive the deadline.
        while (Clock::now() < deadline && ourDialog() == dialog)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (ourDialog() == dialog) {
            ::kill(dialog, SIGTERM);
            seen.answered = false;
        }
        return seen;
    }
};

class RealDialog : public WithDisplay {
  protected:
    void SetUp() override {
        WithDisplay::SetUp();
        if (IsSkipped()) return;
        if (!XSession::onPath("zenity")) GTEST_SKIP() << "zenity is not installed";
        if (!XSession::onPath("xdotool")) GTEST_SKIP() << "xdotool is not installed";
        setMessageBoxHandler(nullptr);     // the system's own boxes
        ::setenv("NO_AT_BRIDGE", "1", 1);  // no accessibility bus to look for
        saved_ = fs::current_path();
    }
    void TearDown() override {
        if (!saved_.empty()) fs::current_path(saved_);
        WithDisplay::TearDown();
    }
    static bool has(const std::vector<std::string>& words, const std::string& word) {
        return std::find(words.begin(), words.end(), word) != words.end();
    }
    TempFolder temp;
    fs::path saved_;
};

TEST_F(RealDialog, OkAfterTheDiscArrivedEndsThePathWait) {
    const fs::path folder = temp / "Disc 2" / "Games";
    DialogDriver::Seen seen;
    std::thread user(
        [&] { seen = DialogDriver().answer("Return", [&] { fs::create_directories(folder); }); });
    twFunctions f;
    const Boolean result = f.WaitForCDRomPath(Variant(fromUtf8(folder.string())));
    user.join();
    ASSERT_TRUE(seen.answered) << "no dialog could be answered";
    EXPECT_TRUE(static_cast<bool>(result));
    EXPECT_TRUE(has(seen.commandLine, "--title=ravelstone"));
    EXPECT_TRUE(has(seen.commandLine, "--question")) << "OK and Cancel";
    EXPECT_TRUE(has(seen.commandLine, "--text=Insert the CD for Path: '" + folder.string() + "'"));
    EXPECT_EQ(fs::current_path(), folder);
}

TEST_F(RealDialog, EscapeClosesTheDialogAndEndsTheFileWaitWithFalse) {
    const fs::path file = temp / "nowhere" / "game.d64";
    DialogDriver::Seen seen;
    std::thread user([&] { seen = DialogDriver().answer("Escape"); });
    twFunctions f;
    const Boolean result = f.WaitForCDRomFile(Variant(fromUtf8(file.string())));
    user.join();
    ASSERT_TRUE(seen.answered) << "no dialog could be answered";
    EXPECT_FALSE(static_cast<bool>(result));
    EXPECT_TRUE(has(seen.commandLine, "--text=Insert the CD for File: '" + file.string() + "'"));
}

}  // namespace
}  // namespace tarnwick
