// Other processes for the tests: a program started with extra environment
// (and, for root, as another user), its standard output read back.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

extern char** environ;

namespace tarnwick::testing {

struct Child {
    pid_t pid = -1;
    int output = -1;  // the read end of its standard output
};

// Starts argv[0] with argv, with the environment plus the NAME=VALUE entries
// given (which override), standard output into a pipe. With runAs set (by
// root), the program runs as that user and group.
inline Child startChild(const std::vector<std::string>& argv,
                        const std::vector<std::string>& environment = {}, uid_t runAs = 0) {
    std::vector<std::string> entries = environment;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        bool overridden = false;
        for (const std::string& given : environment)
            overridden = overridden || entry.substr(0, entry.find('=') + 1) ==
                                           given.substr(0, given.find('=') + 1);
        if (!overridden) entries.push_back(entry);
    }
    std::vector<char*> args, envp;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const std::string& e : entries) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return {};
    Child child;
    child.pid = ::fork();
    if (child.pid == 0) {
        ::dup2(fds[1], 1);
        if (runAs != 0 && (::setgid(runAs) != 0 || ::setuid(runAs) != 0)) ::_exit(126);
        ::execve(args[0], args.data(), envp.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    child.output = fds[0];
    return child;
}

// Reads what is left of the child's output, waits for it and returns its
// exit status (128 + signal when a signal ended it).
inline int finishChild(Child& child, std::string& output) {
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(child.output, buffer, sizeof buffer)) != 0) {
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        output.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(child.output);
    int status = 0;
    while (::waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

struct Finished {
    int status;
    std::string output;
};

inline Finished runChild(const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment = {}, uid_t runAs = 0) {
    Child child = startChild(argv, environment, runAs);
    Finished f{-1, std::string()};
    if (child.pid > 0) f.status = finishChild(child, f.output);
    return f;
}

}  // namespace tarnwick::testing
