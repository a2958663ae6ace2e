// The stand-ins of the fault plan: for the backend's system-call table, and
// for the file calls of SQLite's "unix" layer, set through its own hook so
// that SQLite meets each failure as it would a real one.
#include "support/fault_injection.h"

#include <fcntl.h>
#include <sqlite3.h>

#include <algorithm>

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

// The call named N: fails as the real one would (-1 and errno) when the
// plan says so, else is the real one.
template <Name N, typename F>
struct StandIn;
template <Name N, typename R, typename... A>
struct StandIn<N, R(A...)> {
    static inline R (*real)(A...) = nullptr;
    static R call(A... a) { return faultPlan().strike(N.text) ? R(-1) : real(a...); }
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
#define TW_STAND(call) s.call = standIn<#call>(s.call)
    TW_STAND(read), TW_STAND(pwrite), TW_STAND(fsync), TW_STAND(ftruncate), TW_STAND(fchmod),
        TW_STAND(fchown), TW_STAND(stat), TW_STAND(fstat), TW_STAND(mkdir), TW_STAND(fstatat),
        TW_STAND(renameat), TW_STAND(unlinkat), TW_STAND(flock), TW_STAND(fsetxattr);
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
}

Faults::~Faults() {
    faultPlan().failAt = 0;
    systemCalls() = realSystemCalls();
    sqlite3_vfs* vfs = sqlite3_vfs_find("unix");
    vfs->xSetSystemCall(vfs, nullptr, nullptr);
}

}  // namespace tarnwick::testing
