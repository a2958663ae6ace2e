// SQLite's results as the registry's statuses, the busy wait, and the
// connection's ownership across fork.
#include "platform/posix/registry/sqlite.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <random>
#include <thread>
#include <vector>

#include "platform/registry.h"

namespace tarnwick::registry_db {

std::int32_t statusOfErrno(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
        case EROFS:
            return registry_status::AccessDenied;
        case ENOSPC:
        case EDQUOT:
            return registry_status::DiskFull;
        case ENOMEM:
            return registry_status::OutOfMemory;
        default:
            return registry_status::IoFailed;
    }
}

std::int32_t statusOf(int rc, sqlite3* db) {
    switch (rc & 0xFF) {
        case SQLITE_OK:
        case SQLITE_ROW:
        case SQLITE_DONE:
            return registry_status::Ok;
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_AUTH:
            return registry_status::AccessDenied;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return registry_status::Busy;
        case SQLITE_NOMEM:
            return registry_status::OutOfMemory;
        case SQLITE_FULL:
            return registry_status::DiskFull;
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
        case SQLITE_FORMAT:
        case SQLITE_SCHEMA:
            return registry_status::BadDatabase;
        case SQLITE_TOOBIG:
            return registry_status::InvalidParameter;
        case SQLITE_CANTOPEN:
        case SQLITE_IOERR:
            return db ? statusOfErrno(sqlite3_system_errno(db)) : registry_status::IoFailed;
        default:
            return registry_status::GeneralFailure;
    }
}

void pause(int attempt) {
    static thread_local std::minstd_rand random{std::random_device{}()};
    // Short random sleeps that grow with the attempts, so that waiting
    // writers neither spin nor fall into step with each other.
    const int ceiling = 50 << std::min(attempt, 6);
    std::uniform_int_distribution<int> microseconds(20, ceiling);
    std::this_thread::sleep_for(std::chrono::microseconds(microseconds(random)));
}

namespace {

std::atomic<pid_t>& processId() {
    static std::atomic<pid_t> id{::getpid()};
    return id;
}
void forkedChild() {
    processId().store(::getpid());
}

// Connections a forked child inherited from its parent.
std::vector<void*>& abandoned() {
    static auto* kept = new std::vector<void*>;
    return *kept;
}

}  // namespace

pid_t thisProcess() {
    static const int watching = ::pthread_atfork(nullptr, nullptr, forkedChild);
    (void)watching;
    return processId().load(std::memory_order_relaxed);
}

Connection::~Connection() {
    if (owner != thisProcess()) {
        // A forked child's copy: the parent still owns the connection, its
        // locks and its files. It is kept (reachable, never used) rather
        // than closed or finalised.
        abandoned().push_back(db);
        for (Statement* s : {&findKey, &addKey, &findValue, &putValue, &listSubKeys, &listValues,
                             &dropValue, &dropKeys, &dropValues, &begin, &commit, &rollback}) {
            abandoned().push_back(s->get());
            s->forget();
        }
        return;
    }
    // Statements are finalised by their destructors after this body;
    // close_v2 defers the close until then.
    sqlite3_close_v2(db);
}

int Connection::writeWith(int (*body)(void*), void* context) {
    int rc = begin.step();
    if (rc == SQLITE_DONE) {
        rc = body(context);
        if (rc == SQLITE_DONE || rc == SQLITE_OK) rc = commit.step();
        if (rc == SQLITE_DONE) return SQLITE_OK;
    }
    if (!sqlite3_get_autocommit(db)) rollback.step();
    return rc;
}

int Connection::onBusy(void* context, int attempt) {
    auto* self = static_cast<Connection*>(context);
    if (Clock::now() >= self->callDeadline()) return 0;
    pause(attempt);
    return 1;
}

}  // namespace tarnwick::registry_db
