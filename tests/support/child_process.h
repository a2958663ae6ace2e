// Another program for the tests, its arguments quoted for the shell that
// starts it (an environment or another user comes through /usr/bin/env or
// setpriv): its standard output and exit status (128 + signal).
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

namespace tarnwick::testing {

struct Finished {
    int status = -1;
    std::string output;
};

inline Finished runChild(const std::vector<std::string>& argv) {
    std::string line = "exec";
    for (const std::string& a : argv) {
        line += " '";
        for (const char c : a) line += c == '\'' ? std::string("'\\''") : std::string(1, c);
        line += "'";
    }
    Finished f;
    FILE* out = ::popen(line.c_str(), "re");
    char buffer[4096];
    for (std::size_t n; out && (n = std::fread(buffer, 1, sizeof buffer, out)) > 0;)
        f.output.append(buffer, n);
    const int status = out ? ::pclose(out) : -1;
    if (status >= 0) f.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return f;
}

}  // namespace tarnwick::testing
