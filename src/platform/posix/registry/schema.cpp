// The store's layout: two tables, marked as a settings store, in WAL mode
// with full durability. synchronous=FULL makes every write that succeeded
// durable the moment it returns: a crash, even of the whole machine, loses
// at most the write in progress, which is then wholly absent.
//
// A file that is not a settings store (damaged, or another program's
// database) is reported as a damaged registry (1009) and left exactly as it
// is; nothing here ever deletes or replaces the file.
#include <fcntl.h>

#include <string>

#include "platform/posix/posix_platform.h"
#include "platform/posix/registry/sqlite.h"
#include "platform/posix/system_calls.h"

namespace tarnwick::registry_db {

namespace {

// Marks a database as a settings store ("TwRg"), and its layout.
constexpr std::int32_t StoreApplicationId = 0x54775267;
constexpr std::int32_t StoreVersion = 1;

const char* const Schema =
    "CREATE TABLE registry_keys("
    " root INTEGER NOT NULL,"
    " path TEXT NOT NULL,"    // upper-cased parts joined by '\'
    " parent TEXT NOT NULL,"  // the parent's path ('' below the root)
    " name TEXT NOT NULL,"    // the key's own name as first written
    " PRIMARY KEY (root, path)) WITHOUT ROWID;"
    "CREATE TABLE registry_values("
    " root INTEGER NOT NULL,"
    " key TEXT NOT NULL,"   // the path of its key
    " fold TEXT NOT NULL,"  // the upper-cased name
    " name TEXT NOT NULL,"  // the name as first written
    " kind INTEGER NOT NULL,"
    " data BLOB NOT NULL,"
    " PRIMARY KEY (root, key, fold)) WITHOUT ROWID;";

enum class Layout { Ours, Empty, Foreign };

// What the database holds, read in one statement so that a store another
// process is making at this moment is seen either empty or whole.
Layout layoutOf(Connection& c, int& rc) {
    Statement s;
    rc = s.prepare(c.db,
                   "SELECT a.application_id, u.user_version, (SELECT count(*) FROM sqlite_master) "
                   "FROM pragma_application_id AS a, pragma_user_version AS u");
    if (rc != SQLITE_OK) return Layout::Foreign;
    rc = s.step();
    if (rc != SQLITE_ROW) return Layout::Foreign;
    const std::int64_t id = sqlite3_column_int64(s.get(), 0);
    const std::int64_t version = sqlite3_column_int64(s.get(), 1);
    const std::int64_t objects = sqlite3_column_int64(s.get(), 2);
    s.reset();
    rc = SQLITE_OK;
    if (id == StoreApplicationId && version == StoreVersion) return Layout::Ours;
    return id == 0 && version == 0 && objects == 0 ? Layout::Empty : Layout::Foreign;
}

int execute(Connection& c, const char* sql) {
    return sqlite3_exec(c.db, sql, nullptr, nullptr, nullptr);
}

// Makes the store ready: the tables, WAL mode, full durability. An empty
// database (just created) is given the tables first; a database of another
// layout is refused before anything is written to it.
}  // namespace

std::int32_t prepareStore(Connection& c) {
    int rc = SQLITE_OK;
    Layout layout = layoutOf(c, rc);
    if (rc != SQLITE_OK) return statusOf(rc, c.db);
    if (layout == Layout::Empty) {
        if (c.readOnly) return registry_status::AccessDenied;
        // Another process may be making the same store: decide under the
        // write lock.
        rc = execute(c, "BEGIN IMMEDIATE");
        if (rc != SQLITE_OK) return statusOf(rc, c.db);
        layout = layoutOf(c, rc);
        if (rc == SQLITE_OK && layout == Layout::Empty) {
            rc = sqlite3_exec(c.db, Schema, nullptr, nullptr, nullptr);
            if (rc == SQLITE_OK) {
                const std::string mark =
                    "PRAGMA application_id=" + std::to_string(StoreApplicationId) +
                    ";PRAGMA user_version=" + std::to_string(StoreVersion);
                rc = sqlite3_exec(c.db, mark.c_str(), nullptr, nullptr, nullptr);
            }
            if (rc == SQLITE_OK) layout = Layout::Ours;
        }
        if (rc == SQLITE_OK) rc = execute(c, "COMMIT");
        if (rc != SQLITE_OK) {
            sqlite3_exec(c.db, "ROLLBACK", nullptr, nullptr, nullptr);
            return statusOf(rc, c.db);
        }
        // Make the new file's name durable along with its content.
        const int fd =
            systemCalls().open(folderOf(c.path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
        if (fd >= 0) {
            systemCalls().fsync(fd);
            systemCalls().close(fd);
        }
    }
    if (layout != Layout::Ours) return registry_status::BadDatabase;
    if (!c.readOnly) {
        // The answer is the mode now in force; a file system without shared
        // memory keeps the rollback journal, which is just as safe. Leaving
        // the rollback journal takes the exclusive lock without asking the
        // busy handler, so a store that other processes are opening at this
        // moment is waited for here.
        for (int attempt = 0;; ++attempt) {
            rc = execute(c, "PRAGMA journal_mode=WAL");
            if ((rc & 0xFF) != SQLITE_BUSY || Clock::now() >= c.callDeadline()) break;
            pause(attempt);
        }
        if (rc != SQLITE_OK) return statusOf(rc, c.db);
    }
    rc = execute(c, "PRAGMA synchronous=FULL");
    if (rc != SQLITE_OK) return statusOf(rc, c.db);

    struct {
        Statement& s;
        const char* sql;
    } statements[] = {
        {c.findKey, "SELECT 1 FROM registry_keys WHERE root=?1 AND path=?2"},
        {c.addKey,
         "INSERT OR IGNORE INTO registry_keys(root,path,parent,name) VALUES(?1,?2,?3,?4)"},
        {c.findValue, "SELECT kind,data FROM registry_values WHERE root=?1 AND key=?2 AND fold=?3"},
        {c.putValue,
         "INSERT INTO registry_values(root,key,fold,name,kind,data) VALUES(?1,?2,?3,?4,?5,?6) "
         "ON CONFLICT(root,key,fold) DO UPDATE SET kind=excluded.kind,data=excluded.data"},
        {c.listSubKeys, "SELECT name FROM registry_keys WHERE root=?1 AND parent=?2 ORDER BY path"},
        {c.listValues, "SELECT name FROM registry_values WHERE root=?1 AND key=?2 ORDER BY fold"},
        {c.dropValue, "DELETE FROM registry_values WHERE root=?1 AND key=?2 AND fold=?3"},
        // The key and every path below it: those that begin with its path
        // and a separator, i.e. sort between "path\\" and "path]" ('\\'+1).
        {c.dropKeys,
         "DELETE FROM registry_keys WHERE root=?1 AND (path=?2 OR (path>?2||'\\' AND "
         "path<?2||']'))"},
        {c.dropValues,
         "DELETE FROM registry_values WHERE root=?1 AND (key=?2 OR (key>?2||'\\' AND "
         "key<?2||']'))"},
        {c.begin, "BEGIN IMMEDIATE"},
        {c.commit, "COMMIT"},
        {c.rollback, "ROLLBACK"},
    };
    for (auto& [statement, sql] : statements) {
        rc = statement.prepare(c.db, sql);
        if (rc != SQLITE_OK) return statusOf(rc, c.db);
    }
    return registry_status::Ok;
}

}  // namespace tarnwick::registry_db
