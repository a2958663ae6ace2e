// A second local user, and work done in a child process (as that user, when
// one is given) with a bound on its time, so that a hang fails at once.
#pragma once

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <optional>

namespace tarnwick::testing {

// A second local user in the group games, made once; unset when not root.
inline std::optional<passwd> secondUser() {
    if (::geteuid() != 0 || (!::getpwnam("twother") &&
                             std::system("useradd -M -N -g games -s /usr/sbin/nologin twother")))
        return std::nullopt;
    return *::getpwnam("twother");
}

// Makes this (child) process user, for good.
inline void become(const passwd& user) {
    const gid_t group = user.pw_gid;
    if (::setgroups(1, &group) || ::setresgid(group, group, group) ||
        ::setresuid(user.pw_uid, user.pw_uid, user.pw_uid))
        ::_exit(99);
}

// body's answer, run in a child process (as user, when one is given) that
// is killed when it has not answered within the seconds given (-1).
inline int inChild(const passwd* user, const std::function<int()>& body, int seconds = 2) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (user) become(*user);
        ::_exit(body());
    }
    int status = -1;
    for (int n = 0; n < seconds * 100 && ::waitpid(child, &status, WNOHANG) == 0; ++n)
        ::usleep(10000);
    if (status == -1) ::kill(child, SIGKILL), ::waitpid(child, nullptr, 0);
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace tarnwick::testing
