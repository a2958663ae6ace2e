// Another program for the tests: started with the arguments given (an
// environment or another user comes through /usr/bin/env or setpriv), its
// standard output read back and its exit status (128 + signal) reported.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace tarnwick::testing {

struct Finished {
    int status = -1;
    std::string output;
};

inline Finished runChild(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    int out[2];
    Finished f;
    if (::pipe2(out, O_CLOEXEC) != 0) return f;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    char buffer[4096];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) f.output.append(buffer, n);
    ::close(out[0]);
    int status = 0;
    if (spawned == 0 && ::waitpid(pid, &status, 0) == pid)
        f.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return f;
}

}  // namespace tarnwick::testing
