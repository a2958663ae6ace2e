// A second local user, and work done as that user in a child process.
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

// body's answer in a child (as user, if given), -1 when it has not answered in time.
inline int inChild(const passwd* user, const std::function<int()>& body, int seconds = 2) {
    const pid_t child = ::fork();
    const uid_t u = user ? user->pw_uid : 0;
    const gid_t g = user ? user->pw_gid : 0;
    if (!child && user && (::setgroups(1, &g) || ::setresgid(g, g, g) || ::setresuid(u, u, u)))
        ::_exit(99);
    if (!child) ::_exit(body());
    int status = -1;
    for (int n = 0; n < seconds * 100 && ::waitpid(child, &status, WNOHANG) == 0; ++n)
        ::usleep(10000);
    if (status == -1) ::kill(child, SIGKILL), ::waitpid(child, nullptr, 0);
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace tarnwick::testing
