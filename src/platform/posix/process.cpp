// Current directory and process start on Linux.
//
// A program is started from a Windows-style command line: the line is split
// by the Windows rules, the program is found as Windows finds it, and it is
// run with no shell in between, detached in a session of its own. An
// intermediate child forks the program and exits at once, so the program is
// adopted by init and never lingers as our zombie, with no SIGCHLD handler
// needed. Whether the exec worked comes back through a close-on-exec pipe.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/command_line.h"
#include "platform/posix/posix_platform.h"

extern char** environ;

namespace tarnwick {

void PosixPlatform::changeDrive(const String&) {
    // No drives: the directory change that follows does the work.
}

void PosixPlatform::changeDirectory(const String& path) {
    if (::chdir(toUtf8(path).c_str()) == 0) return;
    throw errorFromErrno(errno, Failed::DirectoryChange);
}

String PosixPlatform::currentDirectory() {
    std::string buffer(PATH_MAX, '\0');
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) throw errorFromErrno(errno);
        buffer.resize(buffer.size() * 2);
    }
    buffer.resize(std::strlen(buffer.c_str()));
    return fromUtf8(buffer);
}

namespace {

enum class Found { Program, NotAProgram, Missing };

// In a coverage build (clang's profile runtime linked in), a child that ends
// in exec or _exit writes what it ran first: the runtime writes only at a
// normal exit. Elsewhere the symbol is absent and this does nothing.
extern "C" int __llvm_profile_write_file(void) __attribute__((weak));
void keepCoverage() {
    if (__llvm_profile_write_file) __llvm_profile_write_file();
}

// The folders of PATH in order, an empty entry kept as "" (the current
// folder); a common list when PATH is not set.
std::vector<std::string> pathFolders() {
    const char* path = std::getenv("PATH");
    const std::string list = path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::vector<std::string> folders;
    for (std::size_t begin = 0;;) {
        const std::size_t end = list.find(':', begin);
        folders.push_back(list.substr(begin, end - begin));
        if (end == std::string::npos) return folders;
        begin = end + 1;
    }
}

Found probe(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return Found::Missing;
    if (S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0) return Found::Program;
    return Found::NotAProgram;
}

// Finds the program as Windows does: a name with a path is taken as it is;
// a bare name is looked for in the current directory, then along PATH.
Found locate(const std::string& name, std::string& found) {
    if (name.empty()) return Found::Missing;
    if (name.find('/') != std::string::npos) {
        found = name;
        return probe(name);
    }
    Found best = probe(name);
    if (best == Found::Program) {
        found = "./" + name;
        return best;
    }
    for (const std::string& directory : pathFolders()) {
        const std::string candidate = (directory.empty() ? "." : directory) + "/" + name;
        const Found f = probe(candidate);
        if (f == Found::Program) {
            found = candidate;
            return f;
        }
        if (f == Found::NotAProgram) best = f;
    }
    return best;
}

struct Report {
    char kind;  // 'P': the program's pid; 'E': errno of a failed step
    int value;
};

void sendReport(int fd, char kind, int value) {
    const Report report{kind, value};
    while (::write(fd, &report, sizeof report) < 0 && errno == EINTR) {
    }
}

// Closes every descriptor above standard error but keep (-1: none).
void closeInheritedDescriptors(int keep) {
    // close_range where the kernel has it; else one close per possible slot.
#ifdef SYS_close_range
    const auto closeRange = [](int first, unsigned last) {
        return ::syscall(SYS_close_range, static_cast<unsigned>(first), last, 0u) == 0;
    };
    const bool below = keep <= 3 || closeRange(3, static_cast<unsigned>(keep - 1));
    if (below && closeRange(keep < 3 ? 3 : keep + 1, ~0u)) return;
#endif
    long max = ::sysconf(_SC_OPEN_MAX);
    if (max < 0 || max > 65536) max = 65536;
    for (int fd = 3; fd < max; ++fd)
        if (fd != keep) ::close(fd);
}

// A started program begins as if the system had started it: no signal
// blocked or ignored (a host may ignore SIGINT or SIGPIPE for itself), and
// no descriptor of ours but reportFd (-1: none) beyond standard input, output
// and error. Async-signal-safe only: it runs between fork and exec.
void resetChild(int reportFd) {
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int s = 1; s < NSIG; ++s) ::signal(s, SIG_DFL);
    closeInheritedDescriptors(reportFd);
}

// In the program's process, between fork and exec: async-signal-safe only.
[[noreturn]] void becomeProgram(const char* path, char* const argv[], int reportFd, bool quiet) {
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        if (null != 0) ::dup2(null, 0);
        if (quiet) {
            ::dup2(null, 1);
            ::dup2(null, 2);
        }
        if (null > 2) ::close(null);
    }
    resetChild(reportFd);
    keepCoverage();
    ::execve(path, argv, environ);
    const int error = errno;
    keepCoverage();
    sendReport(reportFd, 'E', error);
    ::_exit(127);
}

// Whether a program found for a prefix of an unquoted line may run: Windows
// tries "/srv/C64" for "/srv/C64 Emus/frodo" first, and here any user who
// can create that file (in a shared or sticky folder) would choose what we
// run. So a prefix only counts when it is a regular file of ours or root's,
// in a folder that neither group nor others may write.
bool trustedPrefix(const std::string& program) {
    struct stat file, folder;
    if (::stat(program.c_str(), &file) != 0 || ::stat(folderOf(program).c_str(), &folder) != 0)
        return false;
    const bool owned = file.st_uid == ::geteuid() || file.st_uid == 0;
    return S_ISREG(file.st_mode) && owned && (folder.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace

StartPlan planStart(const String& givenLine) {
    // The system reads a command line as a C string: it ends at the first
    // NUL, so nothing behind one can name the program or add an argument.
    const String commandLine = givenLine.substr(0, givenLine.find(u'\0'));
    StartPlan plan;
    String argumentText;
    bool denied = false;
    const std::vector<ProgramCandidate> candidates = programCandidates(commandLine);
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        std::string found;
        const Found f = locate(toUtf8(candidates[i].program), found);
        const bool prefix = i + 1 < candidates.size();
        if (f == Found::Program && (!prefix || trustedPrefix(found))) {
            plan.program = found;
            argumentText = candidates[i].arguments;
            break;
        }
        denied = denied || f == Found::NotAProgram;
    }
    if (plan.program.empty()) throw Error(denied ? errors::PermissionDenied : errors::FileNotFound);

    plan.arguments.push_back(plan.program);
    for (const String& a : splitArguments(argumentText)) plan.arguments.push_back(toUtf8(a));
    return plan;
}

std::int32_t PosixPlatform::startProcess(const String& commandLine, std::int32_t) {
    const StartPlan plan = planStart(commandLine);
    return startDetached(plan.program, plan.arguments, false);
}

int startDetached(const std::string& program, const std::vector<std::string>& givenArguments,
                  bool quiet) {
    // Everything the children need is built before the fork.
    std::vector<std::string> arguments = givenArguments;
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) throw errorFromErrno(errno, Failed::Start);
    const pid_t intermediate = ::fork();
    if (intermediate < 0) {
        const int e = errno;
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        throw errorFromErrno(e, Failed::Start);
    }
    if (intermediate == 0) {
        ::close(pipeFds[0]);
        ::setsid();
        const pid_t child = ::fork();
        if (child == 0) becomeProgram(program.c_str(), argv.data(), pipeFds[1], quiet);
        sendReport(pipeFds[1], child < 0 ? 'E' : 'P', child < 0 ? errno : child);
        keepCoverage();
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    while (::waitpid(intermediate, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid_t pid = -1;
    int failure = 0;
    Report report;
    ssize_t got;
    // Reports are smaller than PIPE_BUF, so each arrives whole.
    while ((got = ::read(pipeFds[0], &report, sizeof report)) != 0) {
        if (got < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (got != sizeof report) break;
        if (report.kind == 'P') pid = report.value;
        if (report.kind == 'E') failure = report.value;
    }
    ::close(pipeFds[0]);
    if (failure != 0) throw errorFromErrno(failure, Failed::Start);
    if (pid < 0) throw Error(errors::InvalidProcedureCall);
    return pid;
}

std::string programOnPath(const std::string& name) {
    if (name.find('/') != std::string::npos) return std::string();
    for (const std::string& directory : pathFolders())
        if (!directory.empty() && probe(directory + "/" + name) == Found::Program)
            return directory + "/" + name;
    return std::string();
}

int runAndWait(const std::vector<std::string>& arguments) {
    if (arguments.empty()) return -1;
    // Found before the fork: the child may only exec.
    const std::string program =
        arguments[0].find('/') == std::string::npos ? programOnPath(arguments[0]) : arguments[0];
    if (program.empty()) return -1;
    std::vector<char*> argv;
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        resetChild(-1);
        keepCoverage();
        ::execve(program.c_str(), argv.data(), environ);
        keepCoverage();
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    if (!WIFEXITED(status)) return -1;
    return WEXITSTATUS(status) == 127 ? -1 : WEXITSTATUS(status);
}

}  // namespace tarnwick
