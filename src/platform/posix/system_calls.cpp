// The real system calls, as the table's entries.
#include "platform/posix/system_calls.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace tarnwick {

namespace {

constexpr SystemCalls Real{
    [](const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); },
    [](int fd, void* buffer, size_t size) { return ::read(fd, buffer, size); },
    [](int fd, const void* buffer, size_t size, off_t offset) {
        return ::pwrite(fd, buffer, size, offset);
    },
    [](int fd) { return ::fsync(fd); },
    [](int fd, off_t size) { return ::ftruncate(fd, size); },
    [](int fd, off_t offset, off_t size) { return ::posix_fallocate(fd, offset, size); },
    [](int fd, mode_t mode) { return ::fchmod(fd, mode); },
    [](int fd, uid_t owner, gid_t group) { return ::fchown(fd, owner, group); },
    [](const char* from, const char* to) { return ::rename(from, to); },
    [](const char* path) { return ::unlink(path); },
    [](int fd) { return ::close(fd); },
    [](const char* path, struct stat* st) { return ::stat(path, st); },
    [](int fd, struct stat* st) { return ::fstat(fd, st); },
    [](int folder, const char* path, int mode, int flags) {
        return ::faccessat(folder, path, mode, flags);
    },
    [](const char* path, mode_t mode) { return ::mkdir(path, mode); },
};

constinit SystemCalls current = Real;

}  // namespace

SystemCalls& systemCalls() {
    return current;
}

const SystemCalls& realSystemCalls() {
    return Real;
}

}  // namespace tarnwick
