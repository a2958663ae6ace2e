// The system calls that read and rewrite files, and that the settings store
// makes on its own (outside SQLite), reached through one table.
//
// The table holds the real calls and nothing else in a running program. It
// exists so that the code that must never lose a file's content can be made
// to meet every failure the kernel can give, at every call, and be seen to
// keep the content whole: a test puts its own entries in (see
// tests/support/fault_injection.h) and the real ones back afterwards.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

namespace tarnwick {

struct SystemCalls {
    int (*open)(const char* path, int flags, mode_t mode);
    ssize_t (*read)(int fd, void* buffer, size_t size);
    ssize_t (*pwrite)(int fd, const void* buffer, size_t size, off_t offset);
    int (*fsync)(int fd);
    int (*ftruncate)(int fd, off_t size);
    // As posix_fallocate: the error number is returned, errno is not set.
    int (*fallocate)(int fd, off_t offset, off_t size);
    int (*fchmod)(int fd, mode_t mode);
    int (*fchown)(int fd, uid_t owner, gid_t group);
    int (*rename)(const char* from, const char* to);
    int (*unlink)(const char* path);
    // As close on Linux: the descriptor is gone even when it reports an error.
    int (*close)(int fd);
    int (*stat)(const char* path, struct stat* st);
    int (*fstat)(int fd, struct stat* st);
    int (*faccessat)(int folder, const char* path, int mode, int flags);
    int (*mkdir)(const char* path, mode_t mode);
    int (*openat)(int folder, const char* name, int flags, mode_t mode);
    int (*fstatat)(int folder, const char* name, struct stat* st, int flags);
    int (*renameat)(int fromFolder, const char* from, int toFolder, const char* to);
    int (*unlinkat)(int folder, const char* name, int flags);
    int (*flock)(int fd, int operation);
    int (*fsetxattr)(int fd, const char* name, const void* value, size_t size, int flags);
};

// The table every call goes through.
SystemCalls& systemCalls();
// The real calls, for putting them back.
const SystemCalls& realSystemCalls();

}  // namespace tarnwick
