// An X server of the test's own (Xvfb, on a display number it picks
// itself), stopped when the object goes, and the test's connection to it.
// The tests play the window manager themselves, so that they see exactly
// what the library asks of one.
#pragma once

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace tarnwick::testing {

class XSession {
  public:
    XSession() {
        if (std::system("command -v Xvfb >/dev/null") != 0) return;
        for (int attempt = 0; attempt < 3 && !connection_; ++attempt) start();
    }
    ~XSession() {
        if (connection_) XCloseDisplay(connection_);
        stop();
    }
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    bool running() const { return connection_ != nullptr; }
    const std::string& display() const { return display_; }
    Display* connection() const { return connection_; }

  private:
    void start() {
        stop();
        int fds[2];
        if (::pipe(fds) != 0) return;
        server_ = ::fork();
        if (server_ == 0) {
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
        while (server_ > 0 && ::poll(&p, 1, 20000) == 1 && ::read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        ::close(fds[0]);
        if (!number.empty()) connection_ = XOpenDisplay((display_ = ":" + number).c_str());
    }
    void stop() {
        if (server_ > 0) ::kill(server_, SIGTERM), ::waitpid(server_, nullptr, 0);
        server_ = -1;
    }
    pid_t server_ = -1;
    std::string display_;
    Display* connection_ = nullptr;
};

}  // namespace tarnwick::testing
