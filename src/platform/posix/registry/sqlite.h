// The settings store's hold on SQLite: its results as the registry's
// statuses, prepared statements, and the process's connection to one
// database file.
//
// Many processes may use the store at once. The database runs in WAL mode:
// readers never wait for the writer, and each write is one short IMMEDIATE
// transaction, so two writers queue on the lock instead of losing an update.
// A call that finds a lock taken waits for it in SQLite's busy handler
// (briefly sleeping and trying again) for up to a minute before it fails
// with "busy": what a caller of the registry would only see if another
// program held the store for that long. SQLite calls the handler for every
// lock a statement needs but two: a read transaction turning into a write,
// which never arises since every write begins as IMMEDIATE, and the switch
// of a new store to WAL, which alone waits by trying again (prepareStore).
//
// The connection belongs to the process that opened it: a child made by
// fork never touches it (the child opens its own when it needs one), and
// every descriptor is close-on-exec, so a started program inherits nothing
// of the store.
#pragma once

#include <sqlite3.h>
#include <sys/types.h>
#include <time.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "tarnwick/types.h"

namespace tarnwick {
class PosixPlatform;
}

namespace tarnwick::registry_db {

using Clock = std::chrono::steady_clock;
// The same time read at the tick of the system's timer (a few milliseconds):
// enough to tell a second, at a fraction of the cost, on every settings call.
struct CoarseClock {
    using duration = std::chrono::nanoseconds;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<CoarseClock>;
    static constexpr bool is_steady = true;
    static time_point now() noexcept {
        timespec t;
        ::clock_gettime(CLOCK_MONOTONIC_COARSE, &t);
        return time_point(std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec));
    }
};

// How long a call waits for a lock another process holds.
constexpr auto LockPatience = std::chrono::seconds(60);

// An errno from the store's own file work as the registry's status.
std::int32_t statusOfErrno(int error);
// SQLite's result codes as the registry's statuses, in one place.
std::int32_t statusOf(int rc, sqlite3* db);

// Sleeps a little before trying a lock again.
void pause(int attempt);

// This process's id, kept current across fork without asking the kernel on
// every call.
pid_t thisProcess();

// One prepared statement, finalised with its connection.
class Statement {
  public:
    Statement() = default;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement() { sqlite3_finalize(stmt_); }

    int prepare(sqlite3* db, const char* sql) {
        return sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr);
    }
    sqlite3_stmt* get() const { return stmt_; }
    // Drops the statement without finalising it (see ~Connection).
    void forget() { stmt_ = nullptr; }
    void bind(int i, std::int64_t n) { sqlite3_bind_int64(stmt_, i, n); }
    void bind(int i, const std::string& text) {
        sqlite3_bind_text(stmt_, i, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
    }
    void bindBlob(int i, const char* data, std::uint32_t size) {
        if (size == 0)
            sqlite3_bind_zeroblob(stmt_, i, 0);
        else
            sqlite3_bind_blob64(stmt_, i, data, size, SQLITE_STATIC);
    }
    // Steps once; a statement that has no more rows is made ready again.
    int step() {
        const int rc = sqlite3_step(stmt_);
        if (rc != SQLITE_ROW) sqlite3_reset(stmt_);
        return rc;
    }
    void reset() {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }

  private:
    sqlite3_stmt* stmt_ = nullptr;
};

// The process's connection to one database file.
struct Connection {
    sqlite3* db = nullptr;
    std::string path;
    dev_t device = 0;
    ino_t inode = 0;
    pid_t owner = thisProcess();
    CoarseClock::time_point checkedAt;  // when the file was last found still there
    bool readOnly = false;
    // Each call of the store waits at most LockPatience for locks in all:
    // the deadline is taken when the call first has to wait, so that a call
    // that never waits never reads the clock for it.
    void startCall() { deadline = Clock::time_point::min(); }
    Clock::time_point callDeadline() {
        if (deadline == Clock::time_point::min()) deadline = Clock::now() + LockPatience;
        return deadline;
    }
    Clock::time_point deadline = Clock::time_point::min();
    Statement findKey, addKey, findValue, putValue, listSubKeys, listValues, dropValue, dropKeys,
        dropValues, begin, commit, rollback;
    // Keys this connection has seen present, so that the next open of one
    // needs no lookup. (By root: the low two bits of its handle value.)
    // Keys may be deleted, by this process or another: the connection's own
    // deletes forget them here. Another process's delete is not seen, and
    // need not be: every value write adds its key in its own transaction,
    // so a value never lives without its key; only an empty key that a
    // read would have made is then not made. (Asking the store whether
    // anyone wrote since, on every open, made each GetSetting half again
    // as slow.)
    std::unordered_set<std::string> knownKeys[4];

    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection();

    // Runs one statement to its end.
    int run(Statement& s) {
        const int rc = s.step();
        s.reset();
        return rc == SQLITE_ROW ? SQLITE_DONE : rc;
    }

    // Runs body (returning an SQLite code) inside one IMMEDIATE transaction
    // and commits it, or rolls it back whole.
    template <typename Body>
    int write(Body body) {
        return writeWith([](void* b) { return (*static_cast<Body*>(b))(); }, &body);
    }
    // The body of write, compiled once rather than once per caller.
    int writeWith(int (*body)(void*), void* context);

    // Waits for locks; the deadline is per call, not per lock.
    static int onBusy(void* context, int attempt);
};

// Makes an opened database ready as the store (schema.cpp).
std::int32_t prepareStore(Connection& c);

// Opens the store at path, making its folder and file first where the
// medium may be written (location.cpp).
std::int32_t openStore(const std::string& path, std::shared_ptr<Connection>& out);

// Runs work under the store's lock on the connection for the key subKey
// below root, given the key's upper-cased path (store.cpp): for a list or a
// delete, which open no key. An unknown root, a path starting with a
// separator, a store that cannot be opened (or, when writing, written)
// answer their status instead.
using KeyWork = std::function<std::int32_t(Connection& c, const std::string& fold)>;
std::int32_t onKey(PosixPlatform& platform, const std::string& option, std::uint32_t root,
                   const String& subKey, bool writing, const KeyWork& work);
// A name upper-cased as the store compares it, in UTF-8 (names.cpp); into
// out, whose room it reuses; for a key path, with its parts joined too.
std::string folded(PosixPlatform& platform, const String& text);
void foldInto(PosixPlatform& platform, const String& text, std::string& out);
void foldPathInto(PosixPlatform& platform, const String& path, std::string& out);
// A key path's parts joined by one '\', and the parts of a joined path.
std::string joinedParts(std::string path);
std::vector<std::string> partsOf(const std::string& joined);

// The database file as this process first located it for the option, "" for
// the default (location.cpp). Called under the store's lock.
const std::string& databasePath(const std::string& option);

}  // namespace tarnwick::registry_db
