// An X server of the test's own (Xvfb, on a display number it picks itself)
// with a window manager (openbox), both stopped when the object goes. Their
// standard streams go to /dev/null, so that they neither clutter the test's
// output nor keep ctest waiting on a pipe.
#pragma once

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace tarnwick::testing {

class XSession {
  public:
    XSession() {
        if (!onPath("Xvfb")) {
            why_ = "Xvfb is not installed";
            return;
        }
        if (!onPath("openbox")) {
            why_ = "openbox is not installed";
            return;
        }
        int pipeFds[2];
        if (::pipe(pipeFds) != 0) {
            why_ = "no pipe";
            return;
        }
        server_ =
            spawn({"Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24", "-nolisten", "tcp"},
                  pipeFds[1], {});
        ::close(pipeFds[1]);
        std::string number;
        pollfd p{pipeFds[0], POLLIN, 0};
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (number.find('\n') == std::string::npos &&
               std::chrono::steady_clock::now() < deadline) {
            if (::poll(&p, 1, 200) <= 0) continue;
            char buffer[16];
            const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
            if (n <= 0) break;
            number.append(buffer, n);
        }
        ::close(pipeFds[0]);
        if (number.find('\n') == std::string::npos) {
            why_ = "Xvfb did not start";
            return;
        }
        display_ = ":" + number.substr(0, number.find('\n'));
        manager_ = spawn({"openbox", "--sm-disable"}, -1, {"DISPLAY=" + display_});
        connection_ = XOpenDisplay(display_.c_str());
        if (!connection_) {
            why_ = "the X server did not answer";
            return;
        }
        // The window manager is up once it manages a window: it announces
        // itself on the root a moment before it does.
        while (std::chrono::steady_clock::now() < deadline && !running_) {
            const Window probe = XCreateSimpleWindow(connection_, DefaultRootWindow(connection_), 0,
                                                     0, 10, 10, 0, 0, 0);
            XMapWindow(connection_, probe);
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
            while (!running_ && std::chrono::steady_clock::now() < until) {
                running_ = hasProperty(probe, "WM_STATE");
                if (!running_) std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            XDestroyWindow(connection_, probe);
            XSync(connection_, False);
        }
        if (running_) return;
        why_ = "openbox did not take over the screen";
    }
    ~XSession() {
        if (connection_) XCloseDisplay(connection_);
        stop(manager_);
        stop(server_);
    }
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    bool running() const { return running_; }
    const std::string& why() const { return why_; }
    const std::string& display() const { return display_; }
    // The test's own connection to the server.
    Display* connection() const { return connection_; }

    static bool onPath(const std::string& program) {
        return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
    }

  private:
    bool hasProperty(Window w, const char* name) {
        const Atom property = XInternAtom(connection_, name, False);
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        const bool found =
            XGetWindowProperty(connection_, w, property, 0, 1, False, AnyPropertyType, &type,
                               &format, &count, &after, &data) == Success &&
            type != None;
        if (data) XFree(data);
        return found;
    }
    // Starts program with its streams on /dev/null; keepFd (if any) becomes
    // descriptor 3; extra environment entries are added to ours.
    static pid_t spawn(const std::vector<std::string>& argv, int keepFd,
                       const std::vector<std::string>& extraEnvironment) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        for (int fd = 0; fd <= 2; ++fd)
            posix_spawn_file_actions_addopen(&actions, fd, "/dev/null",
                                             fd == 0 ? O_RDONLY : O_WRONLY, 0);
        if (keepFd >= 0) posix_spawn_file_actions_adddup2(&actions, keepFd, 3);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
        std::vector<std::string> environment;
        for (char** e = environ; *e; ++e) environment.emplace_back(*e);
        for (const std::string& extra : extraEnvironment) environment.push_back(extra);
        std::vector<char*> env, args;
        for (std::string& e : environment) env.push_back(e.data());
        env.push_back(nullptr);
        std::vector<std::string> copy = argv;
        for (std::string& a : copy) args.push_back(a.data());
        args.push_back(nullptr);
        pid_t pid = -1;
        if (posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), env.data()) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        return pid;
    }
    // Ends a process group we started, waiting a while before insisting.
    static void stop(pid_t pid) {
        if (pid <= 0) return;
        ::kill(-pid, SIGTERM);
        for (int i = 0; i < 50; ++i) {
            if (::waitpid(pid, nullptr, WNOHANG) == pid) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ::kill(-pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }

    pid_t server_ = -1;
    pid_t manager_ = -1;
    Display* connection_ = nullptr;
    std::string display_;
    std::string why_;
    bool running_ = false;
};

}  // namespace tarnwick::testing
