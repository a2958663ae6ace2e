// The stand-ins of the fault plan: for the backend's system-call table, and
// for the system calls of SQLite's "unix" layer (set through the layer's own
// hook, so that SQLite turns each failure into its result code as it would
// for a real one).
#include "support/fault_injection.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstdarg>
#include <type_traits>

#include "platform/posix/system_calls.h"

namespace tarnwick::testing {

FaultPlan& faultPlan() {
    static FaultPlan plan;
    return plan;
}

bool FaultPlan::strike(const char* call) {
    if (failAt == 0) return false;
    trail += (trail.empty() ? "" : " ") + std::string(call);
    if (++calls != failAt) return false;
    site = call;
    errno = error;
    return true;
}

namespace {

template <std::size_t N>
struct Name {
    constexpr Name(const char (&s)[N]) { std::copy_n(s, N, text); }
    char text[N];
};

// The call named N: fails as the real one would (-1, or MAP_FAILED, with
// errno) when the plan says so, else is the real one.
template <Name N, typename F>
struct StandIn;
template <Name N, typename R, typename... A>
struct StandIn<N, R(A...)> {
    static inline R (*real)(A...) = nullptr;
    static R call(A... a) {
        if (!faultPlan().strike(N.text)) return real(a...);
        if constexpr (std::is_pointer_v<R>)
            return static_cast<R>(MAP_FAILED);
        else
            return R(-1);
    }
};
template <Name N, typename R, typename... A>
auto standIn(R (*real)(A...)) {
    StandIn<N, R(A...)>::real = real;
    return &StandIn<N, R(A...)>::call;
}

bool refused(int flags) {
    if (!(flags & O_CREAT) || !faultPlan().refuseNewFiles) return false;
    errno = EACCES;
    return true;
}

SystemCalls faulty() {
    SystemCalls s = realSystemCalls();
    static const auto open = standIn<"open">(s.open);
    static const auto openat = standIn<"openat">(s.openat);
    s.open = [](const char* p, int f, mode_t m) { return refused(f) ? -1 : open(p, f, m); };
    s.openat = [](int d, const char* p, int f, mode_t m) {
        return refused(f) ? -1 : openat(d, p, f, m);
    };
    s.read = standIn<"read">(s.read);
    s.pwrite = standIn<"pwrite">(s.pwrite);
    s.fsync = standIn<"fsync">(s.fsync);
    s.ftruncate = standIn<"ftruncate">(s.ftruncate);
    s.fchmod = standIn<"fchmod">(s.fchmod);
    s.fchown = standIn<"fchown">(s.fchown);
    s.stat = standIn<"stat">(s.stat);
    s.fstat = standIn<"fstat">(s.fstat);
    s.faccessat = standIn<"faccessat">(s.faccessat);
    s.mkdir = standIn<"mkdir">(s.mkdir);
    s.fstatat = standIn<"fstatat">(s.fstatat);
    s.renameat = standIn<"renameat">(s.renameat);
    s.unlinkat = standIn<"unlinkat">(s.unlinkat);
    s.flock = standIn<"flock">(s.flock);
    s.fsetxattr = standIn<"fsetxattr">(s.fsetxattr);
    // As posix_fallocate, the error number is the answer.
    s.fallocate = [](int fd, off_t at, off_t n) {
        return faultPlan().strike("fallocate") ? faultPlan().error
                                               : realSystemCalls().fallocate(fd, at, n);
    };
    // Linux closes the descriptor even when close reports an error.
    s.close = [](int fd) {
        const int result = realSystemCalls().close(fd);
        return faultPlan().strike("close") ? -1 : result;
    };
    return s;
}

// SQLite's calls, named "db." and the name of its hook.
template <Name N, typename F>
void hook(sqlite3_vfs* vfs) {
    const char* name = N.text + 3;
    auto* real = reinterpret_cast<F*>(vfs->xGetSystemCall(vfs, name));
    vfs->xSetSystemCall(vfs, name, reinterpret_cast<sqlite3_syscall_ptr>(standIn<N>(real)));
}
int (*realFcntl)(int, int, ...);
// Only taking a lock may fail: the kernel never refuses to drop one.
int fcntlStandIn(int fd, int op, ...) {
    va_list args;
    va_start(args, op);
    void* arg = va_arg(args, void*);
    va_end(args);
    if ((op == F_SETLK || op == F_SETLKW) && static_cast<struct flock*>(arg)->l_type != F_UNLCK &&
        faultPlan().strike("db.fcntl"))
        return -1;
    return realFcntl(fd, op, arg);
}

}  // namespace

Faults::Faults(int failAt, int error, bool refuseNewFiles) {
    faultPlan() = {failAt, error, 0, refuseNewFiles, "", ""};
    systemCalls() = faulty();
    sqlite3_vfs* vfs = sqlite3_vfs_find("unix");
    hook<"db.open", int(const char*, int, int)>(vfs);
    hook<"db.pread64", ssize_t(int, void*, size_t, off_t)>(vfs);
    hook<"db.pwrite64", ssize_t(int, const void*, size_t, off_t)>(vfs);
    hook<"db.ftruncate", int(int, off_t)>(vfs);
    hook<"db.fstat", int(int, struct stat*)>(vfs);
    hook<"db.mmap", void*(void*, size_t, int, int, int, off_t)>(vfs);
    realFcntl = reinterpret_cast<int (*)(int, int, ...)>(vfs->xGetSystemCall(vfs, "fcntl"));
    vfs->xSetSystemCall(vfs, "fcntl", reinterpret_cast<sqlite3_syscall_ptr>(fcntlStandIn));
}

Faults::~Faults() {
    faultPlan().failAt = 0;
    systemCalls() = realSystemCalls();
    sqlite3_vfs* vfs = sqlite3_vfs_find("unix");
    vfs->xSetSystemCall(vfs, nullptr, nullptr);
}

}  // namespace tarnwick::testing
