// The command's standard streams while it starts a program, on Linux: a
// started program inherits descriptors 0 to 2, so a pipe of the caller's
// would stay open, and $(tarnwick ...) or tarnwick ... | cat would wait
// for the emulator to end.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "cli.h"

namespace tarnwick::cli {

namespace {
// The command's own descriptors while the standard ones are detached.
int saved[3] = {-1, -1, -1};
}  // namespace

void detachStandardStreams() {
    std::fflush(stdout);
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null < 0) return;
    for (int fd = 0; fd < 3; ++fd) {
        struct stat st {};
        // On a terminal the program may keep its output; input is never shared.
        if (fd > 0 && (::fstat(fd, &st) != 0 || (!S_ISFIFO(st.st_mode) && !S_ISSOCK(st.st_mode))))
            continue;
        // Kept close-on-exec, so the started program never inherits the original.
        saved[fd] = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
        if (saved[fd] >= 0) ::dup2(null, fd);
    }
    ::close(null);
}

void reattachStandardStreams() {
    for (int fd = 0; fd < 3; ++fd)
        if (saved[fd] >= 0) {
            ::dup2(saved[fd], fd);
            ::close(saved[fd]);
            saved[fd] = -1;
        }
}

}  // namespace tarnwick::cli
