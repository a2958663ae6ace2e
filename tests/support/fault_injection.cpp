// The stand-ins of the fault plan: for the backend's system calls, and a
// VFS for SQLite.
#include "support/fault_injection.h"

#include <fcntl.h>
#include <sqlite3.h>

#include <mutex>

#include "platform/posix/system_calls.h"

namespace tarnwick::testing {

FaultPlan& faultPlan() {
    static FaultPlan plan;
    return plan;
}

namespace {

const SystemCalls& real() {
    return realSystemCalls();
}
bool refused(int flags) {
    if (!(flags & O_CREAT) || !faultPlan().refuseNewFiles) return false;
    errno = EACCES;
    return true;
}

// Each entry fails as the real call would (-1 and errno), then calls it.
#define TW_FAIL(name, call) (faultPlan().strike(name) ? -1 : (call))
constexpr SystemCalls Faulty{
    [](const char* p, int flags, mode_t m) {
        return refused(flags) ? -1 : TW_FAIL("open", real().open(p, flags, m));
    },
    [](int fd, void* b, size_t n) { return ssize_t(TW_FAIL("read", real().read(fd, b, n))); },
    [](int fd, const void* b, size_t n, off_t at) {
        return ssize_t(TW_FAIL("pwrite", real().pwrite(fd, b, n, at)));
    },
    [](int fd) { return TW_FAIL("fsync", real().fsync(fd)); },
    [](int fd, off_t n) { return TW_FAIL("ftruncate", real().ftruncate(fd, n)); },
    [](int fd, off_t at, off_t n) {
        return faultPlan().strike("fallocate") ? faultPlan().error() : real().fallocate(fd, at, n);
    },
    [](int fd, mode_t m) { return TW_FAIL("fchmod", real().fchmod(fd, m)); },
    [](int fd, uid_t u, gid_t g) { return TW_FAIL("fchown", real().fchown(fd, u, g)); },
    [](const char* a, const char* b) { return TW_FAIL("rename", real().rename(a, b)); },
    [](const char* p) { return TW_FAIL("unlink", real().unlink(p)); },
    [](int fd) {
        // Linux closes the descriptor even when close reports an error.
        const int result = real().close(fd);
        return faultPlan().strike("close") ? -1 : result;
    },
    [](const char* p, struct stat* st) { return TW_FAIL("stat", real().stat(p, st)); },
    [](int fd, struct stat* st) { return TW_FAIL("fstat", real().fstat(fd, st)); },
    [](int d, const char* p, int m, int f) {
        return TW_FAIL("faccessat", real().faccessat(d, p, m, f));
    },
    [](const char* p, mode_t m) { return TW_FAIL("mkdir", real().mkdir(p, m)); },
    [](int d, const char* p, int flags, mode_t m) {
        return refused(flags) ? -1 : TW_FAIL("openat", real().openat(d, p, flags, m));
    },
    [](int d, const char* p, struct stat* st, int f) {
        return TW_FAIL("fstatat", real().fstatat(d, p, st, f));
    },
    [](int d, const char* a, int e, const char* b) {
        return TW_FAIL("renameat", real().renameat(d, a, e, b));
    },
    [](int d, const char* p, int f) { return TW_FAIL("unlinkat", real().unlinkat(d, p, f)); },
    [](int fd, int op) { return TW_FAIL("flock", real().flock(fd, op)); },
    [](int fd, const char* n, const void* v, size_t s, int f) {
        return TW_FAIL("fsetxattr", real().fsetxattr(fd, n, v, s, f));
    },
};

// The VFS: each file is the stand-in's header followed by the real one's.
sqlite3_vfs* realVfs = nullptr;
sqlite3_vfs faultyVfs;
int lastError = 0;  // for sqlite3_system_errno

struct FaultyFile {
    sqlite3_file base;
    sqlite3_file* real;
};
sqlite3_file* realOf(sqlite3_file* f) {
    return reinterpret_cast<FaultyFile*>(f)->real;
}
// The result SQLite's unix VFS gives when that call meets the error.
int failure(const char* call, int ioerr) {
    if (!faultPlan().strike(call)) return SQLITE_OK;
    lastError = faultPlan().error();
    if (lastError == ENOSPC && (ioerr == SQLITE_IOERR_WRITE || ioerr == SQLITE_IOERR_TRUNCATE))
        return SQLITE_FULL;
    return ioerr;
}
#define TW_IO(call, ioerr, ...)                          \
    if (const int rc = failure(#call, ioerr)) return rc; \
    return realOf(f)->pMethods->call(realOf(f) __VA_OPT__(, ) __VA_ARGS__)

int xClose(sqlite3_file* f) {
    return realOf(f)->pMethods->xClose(realOf(f));
}
int xRead(sqlite3_file* f, void* b, int n, sqlite3_int64 at) {
    TW_IO(xRead, SQLITE_IOERR_READ, b, n, at);
}
int xWrite(sqlite3_file* f, const void* b, int n, sqlite3_int64 at) {
    TW_IO(xWrite, SQLITE_IOERR_WRITE, b, n, at);
}
int xTruncate(sqlite3_file* f, sqlite3_int64 n) {
    TW_IO(xTruncate, SQLITE_IOERR_TRUNCATE, n);
}
int xSync(sqlite3_file* f, int flags) {
    TW_IO(xSync, SQLITE_IOERR_FSYNC, flags);
}
int xFileSize(sqlite3_file* f, sqlite3_int64* n) {
    TW_IO(xFileSize, SQLITE_IOERR_FSTAT, n);
}
int xLock(sqlite3_file* f, int level) {
    TW_IO(xLock, SQLITE_IOERR_LOCK, level);
}
// Dropping a lock never fails: the kernel does not refuse it, and SQLite
// ignores the answer by design.
int xUnlock(sqlite3_file* f, int level) {
    return realOf(f)->pMethods->xUnlock(realOf(f), level);
}
int xCheckReservedLock(sqlite3_file* f, int* out) {
    TW_IO(xCheckReservedLock, SQLITE_IOERR_CHECKRESERVEDLOCK, out);
}
int xFileControl(sqlite3_file* f, int op, void* arg) {
    // Only the control that does I/O of its own: growing the file ahead.
    if (op == SQLITE_FCNTL_SIZE_HINT) {
        if (const int rc = failure("xFileControl", SQLITE_IOERR_TRUNCATE)) return rc;
    }
    return realOf(f)->pMethods->xFileControl(realOf(f), op, arg);
}
int xSectorSize(sqlite3_file* f) {
    return realOf(f)->pMethods->xSectorSize(realOf(f));
}
int xDeviceCharacteristics(sqlite3_file* f) {
    return realOf(f)->pMethods->xDeviceCharacteristics(realOf(f));
}
int xShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** out) {
    TW_IO(xShmMap, SQLITE_IOERR_SHMMAP, region, size, extend, out);
}
int xShmLock(sqlite3_file* f, int offset, int n, int flags) {
    // As xUnlock: only taking a lock may fail.
    if ((flags & SQLITE_SHM_LOCK) != 0) {
        if (const int rc = failure("xShmLock", SQLITE_IOERR_SHMLOCK)) return rc;
    }
    return realOf(f)->pMethods->xShmLock(realOf(f), offset, n, flags);
}
void xShmBarrier(sqlite3_file* f) {
    realOf(f)->pMethods->xShmBarrier(realOf(f));
}
int xShmUnmap(sqlite3_file* f, int deleteFlag) {
    return realOf(f)->pMethods->xShmUnmap(realOf(f), deleteFlag);
}
int xFetch(sqlite3_file* f, sqlite3_int64 at, int n, void** out) {
    return realOf(f)->pMethods->xFetch(realOf(f), at, n, out);
}
int xUnfetch(sqlite3_file* f, sqlite3_int64 at, void* page) {
    return realOf(f)->pMethods->xUnfetch(realOf(f), at, page);
}
const sqlite3_io_methods FaultyMethods = {3,
                                          xClose,
                                          xRead,
                                          xWrite,
                                          xTruncate,
                                          xSync,
                                          xFileSize,
                                          xLock,
                                          xUnlock,
                                          xCheckReservedLock,
                                          xFileControl,
                                          xSectorSize,
                                          xDeviceCharacteristics,
                                          xShmMap,
                                          xShmLock,
                                          xShmBarrier,
                                          xShmUnmap,
                                          xFetch,
                                          xUnfetch};

int xOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
    auto* self = reinterpret_cast<FaultyFile*>(file);
    self->base.pMethods = nullptr;
    self->real = reinterpret_cast<sqlite3_file*>(self + 1);
    if (faultPlan().strike("xOpen")) {
        lastError = faultPlan().error();
        return SQLITE_CANTOPEN;
    }
    const int rc = realVfs->xOpen(realVfs, name, self->real, flags, outFlags);
    if (self->real->pMethods) self->base.pMethods = &FaultyMethods;
    return rc;
}
int xDelete(sqlite3_vfs*, const char* name, int syncFolder) {
    if (const int rc = failure("xDelete", SQLITE_IOERR_DELETE)) return rc;
    return realVfs->xDelete(realVfs, name, syncFolder);
}
int xAccess(sqlite3_vfs*, const char* name, int flags, int* out) {
    if (const int rc = failure("xAccess", SQLITE_IOERR_ACCESS)) return rc;
    return realVfs->xAccess(realVfs, name, flags, out);
}
int xGetLastError(sqlite3_vfs*, int size, char* out) {
    return lastError != 0 ? lastError : realVfs->xGetLastError(realVfs, size, out);
}

}  // namespace

FaultySystemCalls::FaultySystemCalls() {
    systemCalls() = Faulty;
}
FaultySystemCalls::~FaultySystemCalls() {
    systemCalls() = realSystemCalls();
}

void installFaultyVfs() {
    static std::once_flag once;
    std::call_once(once, [] {
        realVfs = sqlite3_vfs_find("unix");
        // Everything but the stand-ins is the real VFS's own.
        faultyVfs = *realVfs;
        faultyVfs.szOsFile = static_cast<int>(sizeof(FaultyFile)) + realVfs->szOsFile;
        faultyVfs.zName = "tarnwick-faulty";
        faultyVfs.pNext = nullptr;
        faultyVfs.xOpen = xOpen;
        faultyVfs.xDelete = xDelete;
        faultyVfs.xAccess = xAccess;
        faultyVfs.xGetLastError = xGetLastError;
        faultyVfs.iVersion = 2;
        sqlite3_vfs_register(&faultyVfs, 1);
    });
    lastError = 0;
}

}  // namespace tarnwick::testing
