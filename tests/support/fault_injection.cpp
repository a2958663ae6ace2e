// The stand-ins of the fault plan: for the backend's system calls, and a
// VFS for SQLite.
#include "support/fault_injection.h"

#include <fcntl.h>
#include <sqlite3.h>

#include <cstring>
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

constexpr SystemCalls Faulty{
    [](const char* path, int flags, mode_t mode) {
        if ((flags & O_CREAT) && faultPlan().refusesNewFiles()) {
            errno = EACCES;
            return -1;
        }
        return faultPlan().strike("open") ? -1 : real().open(path, flags, mode);
    },
    [](int fd, void* buffer, size_t size) {
        return faultPlan().strike("read") ? ssize_t(-1) : real().read(fd, buffer, size);
    },
    [](int fd, const void* buffer, size_t size, off_t offset) {
        return faultPlan().strike("pwrite") ? ssize_t(-1) : real().pwrite(fd, buffer, size, offset);
    },
    [](int fd) { return faultPlan().strike("fsync") ? -1 : real().fsync(fd); },
    [](int fd, off_t size) {
        return faultPlan().strike("ftruncate") ? -1 : real().ftruncate(fd, size);
    },
    [](int fd, off_t offset, off_t size) {
        return faultPlan().strike("fallocate") ? faultPlan().error()
                                               : real().fallocate(fd, offset, size);
    },
    [](int fd, mode_t mode) { return faultPlan().strike("fchmod") ? -1 : real().fchmod(fd, mode); },
    [](int fd, uid_t owner, gid_t group) {
        return faultPlan().strike("fchown") ? -1 : real().fchown(fd, owner, group);
    },
    [](const char* from, const char* to) {
        return faultPlan().strike("rename") ? -1 : real().rename(from, to);
    },
    [](const char* path) { return faultPlan().strike("unlink") ? -1 : real().unlink(path); },
    [](int fd) {
        // Linux closes the descriptor even when close reports an error.
        if (!faultPlan().strike("close")) return real().close(fd);
        const int error = errno;
        real().close(fd);
        errno = error;
        return -1;
    },
    [](const char* path, struct stat* st) {
        return faultPlan().strike("stat") ? -1 : real().stat(path, st);
    },
    [](int fd, struct stat* st) { return faultPlan().strike("fstat") ? -1 : real().fstat(fd, st); },
    [](int folder, const char* path, int mode, int flags) {
        return faultPlan().strike("faccessat") ? -1 : real().faccessat(folder, path, mode, flags);
    },
    [](const char* path, mode_t mode) {
        return faultPlan().strike("mkdir") ? -1 : real().mkdir(path, mode);
    },
};

// The VFS. Each file is the stand-in's header followed by the real VFS's
// file, in the room SQLite gives.
sqlite3_vfs* realVfs = nullptr;
sqlite3_vfs faultyVfs;
// The errno of the last failure made here, for sqlite3_system_errno.
int lastError = 0;

struct FaultyFile {
    sqlite3_file base;
    sqlite3_file* real;
};

sqlite3_file* realOf(sqlite3_file* file) {
    return reinterpret_cast<FaultyFile*>(file)->real;
}

// The result SQLite's own unix VFS gives when that call meets the error.
int failure(const char* call, int ioerr) {
    if (!faultPlan().strike(call)) return SQLITE_OK;
    lastError = faultPlan().error();
    if (lastError == ENOSPC && (ioerr == SQLITE_IOERR_WRITE || ioerr == SQLITE_IOERR_TRUNCATE))
        return SQLITE_FULL;
    return ioerr;
}

int xClose(sqlite3_file* f) {
    return realOf(f)->pMethods->xClose(realOf(f));
}
int xRead(sqlite3_file* f, void* buffer, int amount, sqlite3_int64 offset) {
    if (const int rc = failure("xRead", SQLITE_IOERR_READ)) return rc;
    return realOf(f)->pMethods->xRead(realOf(f), buffer, amount, offset);
}
int xWrite(sqlite3_file* f, const void* buffer, int amount, sqlite3_int64 offset) {
    if (const int rc = failure("xWrite", SQLITE_IOERR_WRITE)) return rc;
    return realOf(f)->pMethods->xWrite(realOf(f), buffer, amount, offset);
}
int xTruncate(sqlite3_file* f, sqlite3_int64 size) {
    if (const int rc = failure("xTruncate", SQLITE_IOERR_TRUNCATE)) return rc;
    return realOf(f)->pMethods->xTruncate(realOf(f), size);
}
int xSync(sqlite3_file* f, int flags) {
    if (const int rc = failure("xSync", SQLITE_IOERR_FSYNC)) return rc;
    return realOf(f)->pMethods->xSync(realOf(f), flags);
}
int xFileSize(sqlite3_file* f, sqlite3_int64* size) {
    if (const int rc = failure("xFileSize", SQLITE_IOERR_FSTAT)) return rc;
    return realOf(f)->pMethods->xFileSize(realOf(f), size);
}
int xLock(sqlite3_file* f, int level) {
    if (const int rc = failure("xLock", SQLITE_IOERR_LOCK)) return rc;
    return realOf(f)->pMethods->xLock(realOf(f), level);
}
// Releasing a lock is not counted and never fails: the kernel does not
// refuse to drop an advisory lock on an open descriptor, and SQLite ignores
// the answer by design, so a failure here would only leave the connection
// holding a lock it believes it dropped, a state no real disk produces.
int xUnlock(sqlite3_file* f, int level) {
    return realOf(f)->pMethods->xUnlock(realOf(f), level);
}
int xCheckReservedLock(sqlite3_file* f, int* out) {
    if (const int rc = failure("xCheckReservedLock", SQLITE_IOERR_CHECKRESERVEDLOCK)) return rc;
    return realOf(f)->pMethods->xCheckReservedLock(realOf(f), out);
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
    if (const int rc = failure("xShmMap", SQLITE_IOERR_SHMMAP)) return rc;
    return realOf(f)->pMethods->xShmMap(realOf(f), region, size, extend, out);
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
int xFetch(sqlite3_file* f, sqlite3_int64 offset, int amount, void** out) {
    return realOf(f)->pMethods->xFetch(realOf(f), offset, amount, out);
}
int xUnfetch(sqlite3_file* f, sqlite3_int64 offset, void* page) {
    return realOf(f)->pMethods->xUnfetch(realOf(f), offset, page);
}

const sqlite3_io_methods FaultyMethods = {
    3,
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
    xUnfetch,
};

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
int xFullPathname(sqlite3_vfs*, const char* name, int size, char* out) {
    return realVfs->xFullPathname(realVfs, name, size, out);
}
void* xDlOpen(sqlite3_vfs*, const char* name) {
    return realVfs->xDlOpen(realVfs, name);
}
void xDlError(sqlite3_vfs*, int size, char* out) {
    realVfs->xDlError(realVfs, size, out);
}
void (*xDlSym(sqlite3_vfs*, void* library, const char* symbol))(void) {
    return realVfs->xDlSym(realVfs, library, symbol);
}
void xDlClose(sqlite3_vfs*, void* library) {
    realVfs->xDlClose(realVfs, library);
}
int xRandomness(sqlite3_vfs*, int size, char* out) {
    return realVfs->xRandomness(realVfs, size, out);
}
int xSleep(sqlite3_vfs*, int microseconds) {
    return realVfs->xSleep(realVfs, microseconds);
}
int xCurrentTime(sqlite3_vfs*, double* out) {
    return realVfs->xCurrentTime(realVfs, out);
}
int xGetLastError(sqlite3_vfs*, int size, char* out) {
    if (lastError != 0) return lastError;
    return realVfs->xGetLastError(realVfs, size, out);
}
int xCurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* out) {
    return realVfs->xCurrentTimeInt64(realVfs, out);
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
        faultyVfs = sqlite3_vfs{};
        faultyVfs.iVersion = 2;
        faultyVfs.szOsFile = static_cast<int>(sizeof(FaultyFile)) + realVfs->szOsFile;
        faultyVfs.mxPathname = realVfs->mxPathname;
        faultyVfs.zName = "tarnwick-faulty";
        faultyVfs.xOpen = xOpen;
        faultyVfs.xDelete = xDelete;
        faultyVfs.xAccess = xAccess;
        faultyVfs.xFullPathname = xFullPathname;
        faultyVfs.xDlOpen = xDlOpen;
        faultyVfs.xDlError = xDlError;
        faultyVfs.xDlSym = xDlSym;
        faultyVfs.xDlClose = xDlClose;
        faultyVfs.xRandomness = xRandomness;
        faultyVfs.xSleep = xSleep;
        faultyVfs.xCurrentTime = xCurrentTime;
        faultyVfs.xGetLastError = xGetLastError;
        faultyVfs.xCurrentTimeInt64 = xCurrentTimeInt64;
        sqlite3_vfs_register(&faultyVfs, 1);
    });
    lastError = 0;
}

}  // namespace tarnwick::testing
