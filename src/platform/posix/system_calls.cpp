// The real system calls, as the table's entries.
#include "platform/posix/system_calls.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/xattr.h>
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
    [](int folder, const char* name, int flags, mode_t mode) {
        return ::openat(folder, name, flags, mode);
    },
    [](int folder, const char* name, struct stat* st, int flags) {
        return ::fstatat(folder, name, st, flags);
    },
    [](int fromFolder, const char* from, int toFolder, const char* to) {
        return ::renameat(fromFolder, from, toFolder, to);
    },
    [](int folder, const char* name, int flags) { return ::unlinkat(folder, name, flags); },
    [](int fd, int operation) { return ::flock(fd, operation); },
    [](int fd, const char* name, const void* value, size_t size, int flags) {
        return ::fsetxattr(fd, name, value, size, flags);
    },
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
