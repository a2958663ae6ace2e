// The registry on Linux: one SQLite database per user holding the four
// roots, $XDG_CONFIG_HOME/tarnwick/registry.sqlite unless TARNWICK_REGISTRY
// names another file.
//
// It answers as the Windows registry does. Keys are created with every
// missing part; key paths and value names are compared after upper-casing
// each part (as the registry does) and keep the case they were first written
// in; value kinds are plain numbers; failures are the registry's statuses.
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
// of a new store to WAL, which alone waits by trying again (prepareStore). synchronous=FULL makes
// every write that succeeded durable the moment it returns: a crash, even of the whole machine,
// loses at most the write in progress, which is then wholly absent.
//
// The database and its folder are made on first use. A store on a file
// system mounted read-only (a CD, a write-protected card) is opened as
// immutable, which needs none of WAL's shared-memory file: its settings
// read as usual and every write answers "access denied". (What a writer
// that crashed left in the WAL, not yet folded into the file, is not seen
// there; a store closed normally has no WAL.)
//
// The file's location is fixed the first time this process needs it: a
// relative name is taken from the current directory of that moment, which
// every launch changes afterwards.
//
// The database and its folder are made on first use. A file that is not a
// settings store (damaged, or another program's database) is reported as a
// damaged registry (1009) and left exactly as it is; nothing here ever
// deletes or replaces the file.
//
// One connection per process serves every key opened; an open key is a
// number naming the key's root and folded path. The connection belongs to
// the process that opened it: a child made by fork never touches it (the
// child opens its own when it needs one), and every descriptor is
// close-on-exec, so a started program inherits nothing of the store.
#include <fcntl.h>
#include <pthread.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/posix/posix_platform.h"
#include "platform/posix/system_calls.h"

namespace tarnwick {

namespace {

using Clock = std::chrono::steady_clock;

// Marks a database as a settings store ("TwRg"), and its layout.
constexpr std::int32_t StoreApplicationId = 0x54775267;
constexpr std::int32_t StoreVersion = 1;
// How long a call waits for a lock another process holds.
constexpr auto LockPatience = std::chrono::seconds(60);
// The registry's longest value name.
constexpr std::size_t LongestValueName = 16383;
// How long a reader trusts that the database file is still the one it
// opened before looking again.
constexpr auto IdentityRecheck = std::chrono::seconds(1);

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

// SQLite's result codes as the registry's statuses, in one place.
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

// Makes the folder and any missing parent, private to the user.
int makeFolders(const std::string& folder) {
    if (folder.empty()) return 0;
    struct stat st;
    if (systemCalls().stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    const std::size_t slash = folder.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        if (const int e = makeFolders(folder.substr(0, slash))) return e;
    }
    if (systemCalls().mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    return 0;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return std::string();
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

void pause(int attempt) {
    static thread_local std::minstd_rand random{std::random_device{}()};
    // Short random sleeps that grow with the attempts, so that waiting
    // writers neither spin nor fall into step with each other.
    const int ceiling = 50 << std::min(attempt, 6);
    std::uniform_int_distribution<int> microseconds(20, ceiling);
    std::this_thread::sleep_for(std::chrono::microseconds(microseconds(random)));
}

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

// This process's id, kept current across fork without asking the kernel on
// every call.
std::atomic<pid_t>& processId() {
    static std::atomic<pid_t> id{::getpid()};
    return id;
}
void forkedChild() {
    processId().store(::getpid());
}
pid_t thisProcess() {
    static const int watching = ::pthread_atfork(nullptr, nullptr, forkedChild);
    (void)watching;
    return processId().load(std::memory_order_relaxed);
}

// Connections a forked child inherited from its parent.
std::vector<void*>& abandoned() {
    static auto* kept = new std::vector<void*>;
    return *kept;
}

// The process's connection to one database file.
struct Connection {
    sqlite3* db = nullptr;
    std::string path;
    dev_t device = 0;
    ino_t inode = 0;
    pid_t owner = thisProcess();
    Clock::time_point checkedAt;  // when the file was last found still there
    bool readOnly = false;
    Clock::time_point deadline;
    Statement findKey, addKey, findValue, putValue, begin, commit, rollback;
    // Keys this connection has seen present: keys are never deleted, so the
    // next open of one needs no lookup.
    // (By root: the low two bits of its handle value.)
    std::unordered_set<std::string> knownKeys[4];

    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() {
        if (owner != thisProcess()) {
            // A forked child's copy: the parent still owns the connection,
            // its locks and its files. It is kept (reachable, never used)
            // rather than closed or finalised.
            abandoned().push_back(db);
            for (Statement* s :
                 {&findKey, &addKey, &findValue, &putValue, &begin, &commit, &rollback}) {
                abandoned().push_back(s->get());
                s->forget();
            }
            return;
        }
        // Statements are finalised by their destructors after this body;
        // close_v2 defers the close until then.
        sqlite3_close_v2(db);
    }

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
        int rc = begin.step();
        if (rc == SQLITE_DONE) {
            rc = body();
            if (rc == SQLITE_DONE || rc == SQLITE_OK) rc = commit.step();
            if (rc == SQLITE_DONE) return SQLITE_OK;
        }
        if (!sqlite3_get_autocommit(db)) rollback.step();
        return rc;
    }

    // Waits for locks; the deadline is per call, not per lock.
    static int onBusy(void* context, int attempt) {
        auto* self = static_cast<Connection*>(context);
        if (Clock::now() >= self->deadline) return 0;
        pause(attempt);
        return 1;
    }
};

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
        const std::string folder = folderOf(c.path);
        const int fd = systemCalls().open(folder.empty() ? "." : folder.c_str(),
                                          O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
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
            if ((rc & 0xFF) != SQLITE_BUSY || Clock::now() >= c.deadline) break;
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

// The file as an SQLite URI that opens it immutable: read without locks
// and without WAL's shared-memory file.
std::string immutableUri(const std::string& path) {
    static const char digits[] = "0123456789ABCDEF";
    std::string uri = "file:";
    for (const unsigned char c : path) {
        if (c == '%' || c == '?' || c == '#') {
            uri += '%';
            uri += digits[c >> 4];
            uri += digits[c & 15];
        } else {
            uri += static_cast<char>(c);
        }
    }
    return uri + "?immutable=1";
}

std::int32_t openStore(const std::string& path, std::shared_ptr<Connection>& out) {
    struct statvfs volume;
    // Nothing on a file system mounted read-only can change while it stays
    // so: the store there is read as it is, and never made.
    const bool readOnlyMedia =
        ::statvfs(path.c_str(), &volume) == 0 && (volume.f_flag & ST_RDONLY) != 0;
    if (!readOnlyMedia) {
        if (const int e = makeFolders(folderOf(path))) return statusOfErrno(e);
        // Made here, private to the user, so that SQLite finds an empty
        // database; an existing file, whatever it holds, is opened as it is.
        const int fd = systemCalls().open(path.c_str(),
                                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600);
        if (fd >= 0)
            systemCalls().close(fd);
        else if (errno != EEXIST)
            return statusOfErrno(errno);
    }

    auto c = std::make_shared<Connection>();
    c->path = path;
    c->deadline = Clock::now() + LockPatience;
    const int rc =
        readOnlyMedia
            ? sqlite3_open_v2(immutableUri(path).c_str(), &c->db,
                              SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr)
            : sqlite3_open_v2(path.c_str(), &c->db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                              nullptr);
    if (rc != SQLITE_OK) return statusOf(rc, c->db);
    sqlite3_extended_result_codes(c->db, 1);
    sqlite3_busy_handler(c->db, &Connection::onBusy, c.get());
    // SQLite falls back to reading when the file may not be written.
    c->readOnly = sqlite3_db_readonly(c->db, "main") == 1;
    if (const std::int32_t status = prepareStore(*c)) return status;

    struct stat st;
    if (systemCalls().stat(path.c_str(), &st) != 0) return statusOfErrno(errno);
    c->device = st.st_dev;
    c->inode = st.st_ino;
    out = std::move(c);
    return registry_status::Ok;
}

// A key path's parts joined by one '\': runs of separators and a trailing
// one name no parts of their own.
std::string joinedParts(std::string path) {
    std::size_t kept = 0;
    for (const char c : path) {
        if (c == '\\' && (kept == 0 || path[kept - 1] == '\\')) continue;
        path[kept++] = c;
    }
    if (kept > 0 && path[kept - 1] == '\\') --kept;
    path.resize(kept);
    return path;
}

// The parts of a joined path.
std::vector<std::string> partsOf(const std::string& joined) {
    std::vector<std::string> parts;
    std::size_t begin = 0;
    while (begin < joined.size()) {
        std::size_t end = joined.find('\\', begin);
        if (end == std::string::npos) end = joined.size();
        parts.push_back(joined.substr(begin, end - begin));
        begin = end + 1;
    }
    return parts;
}

// A name upper-cased as the registry compares it, in UTF-8. Plain ASCII,
// what settings nearly always are, is folded here directly: the locale's
// case tables and the strings on the way cost more than the lookup itself.
std::string folded(PosixPlatform& platform, const String& text) {
    std::string out(text.size(), '\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0x80) return toUtf8(platform.upperCase(text));
        out[i] = static_cast<char>(c >= u'a' && c <= u'z' ? c - u'a' + u'A' : c);
    }
    return out;
}

// A key path as the store keeps it: the upper-cased path that finds the key
// (upper-casing leaves every separator where it is, and UTF-8 never uses the
// separator's byte inside another character), and the path as written, from
// which a new key takes the names of its parts.
struct KeyPath {
    std::string fold;
    String written;
};

struct OpenKey {
    std::shared_ptr<Connection> connection;
    std::int64_t root = 0;
    KeyPath path;
    std::uint32_t access = 0;
    // Not yet in the store: the first value written through the key, or
    // else its close, makes it, so that a save is one transaction.
    bool missing = false;
    // The value last read through this key, so that asking for its data
    // after its size answers from the same reading.
    bool cached = false;
    String cachedName;
    std::string cachedFold;
    std::uint32_t cachedKind = 0;
    std::string cachedData;
};

// The state of the store in this process.
struct Store {
    std::mutex lock;
    std::shared_ptr<Connection> current;
    std::unordered_map<RegistryKey, OpenKey> keys;
    RegistryKey nextKey = 1;
    // Where each name given (the option, or "" for the default) put the
    // store the first time it was needed.
    std::unordered_map<std::string, std::string> located;
};

Store& store() {
    static Store s;
    return s;
}

// The database file: the option, else TARNWICK_REGISTRY, else the user's
// config folder. A relative name is taken from the current directory.
std::string locate(const std::string& option) {
    std::string path = option;
    if (path.empty()) {
        const char* given = std::getenv("TARNWICK_REGISTRY");
        if (given && *given) path = given;
    }
    if (path.empty()) {
        const char* config = std::getenv("XDG_CONFIG_HOME");
        if (config && *config == '/') {
            path = std::string(config) + "/tarnwick/registry.sqlite";
        } else {
            const char* home = std::getenv("HOME");
            std::string base = home && *home == '/' ? home : "";
            if (base.empty()) {
                if (const passwd* user = ::getpwuid(::geteuid())) base = user->pw_dir;
            }
            if (base.empty()) base = "/";
            path = base + "/.config/tarnwick/registry.sqlite";
        }
    }
    if (path[0] != '/') {
        char* cwd = ::getcwd(nullptr, 0);
        if (cwd) {
            path = std::string(cwd) + "/" + path;
            std::free(cwd);
        }
    }
    return path;
}

// The database file as this process first located it for the option.
const std::string& databasePath(const std::string& option) {
    std::string& path = store().located[option];
    if (path.empty()) path = locate(option);
    return path;
}

// Whether the file at the connection's path is still the one it opened (a
// user may delete or replace it while a program runs).
bool stillThere(Connection& c) {
    struct stat st;
    c.checkedAt = Clock::now();
    return systemCalls().stat(c.path.c_str(), &st) == 0 && st.st_dev == c.device &&
           st.st_ino == c.inode;
}

// The connection to path: the current one while it is this process's and
// its file is still there; else a new one. Reading may go on the last
// look at the file for a moment; writing always looks (see setValue).
std::int32_t connectionTo(const std::string& path, bool writing, std::shared_ptr<Connection>& out) {
    Store& s = store();
    if (s.current && s.current->path == path && s.current->owner == thisProcess()) {
        const bool recent = Clock::now() - s.current->checkedAt < IdentityRecheck;
        if ((recent && !writing) || stillThere(*s.current)) {
            out = s.current;
            return registry_status::Ok;
        }
    }
    s.current.reset();
    std::shared_ptr<Connection> fresh;
    const std::int32_t status = openStore(path, fresh);
    if (status != registry_status::Ok) return status;
    fresh->checkedAt = Clock::now();
    s.current = fresh;
    out = std::move(fresh);
    return registry_status::Ok;
}

// Notes a key as present: keys are never deleted.
void remember(Connection& c, std::int64_t root, const KeyPath& path) {
    std::unordered_set<std::string>& known = c.knownKeys[root & 3];
    if (known.size() > 4096) known.clear();
    known.insert(path.fold);
}

// Whether the key is in the store (the root always is). A read, never a
// write: a missing key is made by the first write through it, in that
// write's own transaction.
int keyPresent(Connection& c, std::int64_t root, const KeyPath& path, bool& present) {
    present = true;
    if (path.fold.empty()) return SQLITE_OK;  // the root itself
    std::unordered_set<std::string>& known = c.knownKeys[root & 3];
    if (known.count(path.fold)) return SQLITE_OK;
    c.findKey.bind(1, root);
    c.findKey.bind(2, path.fold);
    const int rc = c.findKey.step();
    c.findKey.reset();
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return rc;
    present = rc == SQLITE_ROW;
    if (present) remember(c, root, path);
    return SQLITE_OK;
}

// Adds the key and every missing part above it, inside the caller's
// transaction.
int addKeyParts(Connection& c, std::int64_t root, const KeyPath& path) {
    // Each part's path and its name as written (bound, not copied: the
    // texts must outlive the steps).
    const std::vector<std::string> folds = partsOf(path.fold),
                                   names = partsOf(joinedParts(toUtf8(path.written)));
    std::vector<std::string> prefixes(folds.size() + 1);
    for (std::size_t i = 0; i < folds.size(); ++i)
        prefixes[i + 1] = prefixes[i] + (i ? "\\" : "") + folds[i];
    for (std::size_t i = 0; i < folds.size(); ++i) {
        c.addKey.bind(1, root);
        c.addKey.bind(2, prefixes[i + 1]);
        c.addKey.bind(3, prefixes[i]);
        c.addKey.bind(4, names[i]);
        const int added = c.run(c.addKey);
        if (added != SQLITE_DONE) return added;
    }
    return SQLITE_DONE;
}

OpenKey* openKey(RegistryKey key) {
    Store& s = store();
    const auto it = s.keys.find(key);
    if (it == s.keys.end() || it->second.connection->owner != thisProcess()) return nullptr;
    return &it->second;
}

// Reads the value into the key's cache: SQLITE_ROW when it is there,
// SQLITE_DONE when not, else an error.
int readValue(OpenKey& k, const String& name, const std::string& fold) {
    Connection& c = *k.connection;
    k.cached = false;
    c.findValue.bind(1, k.root);
    c.findValue.bind(2, k.path.fold);
    c.findValue.bind(3, fold);
    const int rc = c.findValue.step();
    if (rc == SQLITE_ROW) {
        sqlite3_stmt* row = c.findValue.get();
        k.cachedKind = static_cast<std::uint32_t>(sqlite3_column_int64(row, 0));
        const void* data = sqlite3_column_blob(row, 1);
        const int size = sqlite3_column_bytes(row, 1);
        k.cachedData.assign(static_cast<const char*>(data ? data : ""),
                            static_cast<std::size_t>(size));
        k.cachedName = name;
        k.cachedFold = fold;
        k.cached = true;
    }
    c.findValue.reset();
    return rc;
}

}  // namespace

std::int32_t PosixPlatform::createKey(std::uint32_t root, const String& subKey,
                                      std::uint32_t access, RegistryKey& key) {
    if (root < registry_roots::ClassesRoot || root > registry_roots::Users)
        return registry_status::InvalidHandle;
    if (!subKey.empty() && subKey[0] == u'\\') return registry_status::BadPathname;

    KeyPath path{joinedParts(folded(*this, subKey)), subKey};

    Store& s = store();
    std::lock_guard guard(s.lock);
    std::shared_ptr<Connection> c;
    if (const std::int32_t status = connectionTo(databasePath(options_.registryFile), false, c))
        return status;
    c->deadline = Clock::now() + LockPatience;
    bool present = true;
    if (const int rc = keyPresent(*c, root, path, present)) return statusOf(rc, c->db);

    key = s.nextKey++;
    OpenKey& opened = s.keys[key];
    opened.connection = std::move(c);
    opened.root = root;
    opened.path = std::move(path);
    opened.access = access;
    // A key a read-only store lacks cannot be made; it reads as a key with
    // no values, and a write to it answers "access denied".
    opened.missing = !present && !opened.connection->readOnly;
    return registry_status::Ok;
}

std::int32_t PosixPlatform::queryValueInfo(RegistryKey key, const String& name, std::uint32_t& kind,
                                           std::uint32_t& size) {
    Store& s = store();
    std::lock_guard guard(s.lock);
    OpenKey* k = openKey(key);
    if (!k) return registry_status::InvalidHandle;
    if ((k->access & key_access::QueryValue) == 0) return registry_status::AccessDenied;
    k->connection->deadline = Clock::now() + LockPatience;
    const int rc = readValue(*k, name, folded(*this, name));
    if (rc == SQLITE_DONE) return registry_status::FileNotFound;
    if (rc != SQLITE_ROW) return statusOf(rc, k->connection->db);
    kind = k->cachedKind;
    size = static_cast<std::uint32_t>(k->cachedData.size());
    return registry_status::Ok;
}

std::int32_t PosixPlatform::queryValueData(RegistryKey key, const String& name, char* data,
                                           std::uint32_t& size) {
    Store& s = store();
    std::lock_guard guard(s.lock);
    OpenKey* k = openKey(key);
    if (!k) return registry_status::InvalidHandle;
    if ((k->access & key_access::QueryValue) == 0) return registry_status::AccessDenied;
    if (!k->cached || k->cachedName != name) {
        const std::string fold = folded(*this, name);
        if (!k->cached || k->cachedFold != fold) {
            k->connection->deadline = Clock::now() + LockPatience;
            const int rc = readValue(*k, name, fold);
            if (rc == SQLITE_DONE) return registry_status::FileNotFound;
            if (rc != SQLITE_ROW) return statusOf(rc, k->connection->db);
        }
    }
    const auto needed = static_cast<std::uint32_t>(k->cachedData.size());
    if (needed > size) {
        size = needed;
        return registry_status::MoreData;
    }
    if (needed > 0) std::memcpy(data, k->cachedData.data(), needed);
    size = needed;
    return registry_status::Ok;
}

std::int32_t PosixPlatform::setValue(RegistryKey key, const String& name, std::uint32_t kind,
                                     const char* data, std::uint32_t size) {
    Store& s = store();
    std::lock_guard guard(s.lock);
    OpenKey* k = openKey(key);
    if (!k) return registry_status::InvalidHandle;
    if ((k->access & key_access::SetValue) == 0) return registry_status::AccessDenied;
    if (name.size() > LongestValueName) return registry_status::InvalidParameter;
    if (k->connection->readOnly) return registry_status::AccessDenied;
    k->cached = false;
    // Never write into a file that is no longer the store: when it was
    // deleted or replaced, the key moves to the store now at its path.
    if (!stillThere(*k->connection)) {
        std::shared_ptr<Connection> fresh;
        if (const std::int32_t status = connectionTo(k->connection->path, true, fresh))
            return status;
        if (fresh->readOnly) return registry_status::AccessDenied;
        fresh->deadline = Clock::now() + LockPatience;
        bool present = true;
        if (const int rc = keyPresent(*fresh, k->root, k->path, present))
            return statusOf(rc, fresh->db);
        k->missing = !present;
        k->connection = std::move(fresh);
    }
    Connection& c = *k->connection;
    c.deadline = Clock::now() + LockPatience;
    const std::string fold = folded(*this, name), written = toUtf8(name);
    const int rc = c.write([&] {
        if (k->missing) {
            const int added = addKeyParts(c, k->root, k->path);
            if (added != SQLITE_DONE) return added;
        }
        c.putValue.bind(1, k->root);
        c.putValue.bind(2, k->path.fold);
        c.putValue.bind(3, fold);
        c.putValue.bind(4, written);
        c.putValue.bind(5, static_cast<std::int64_t>(kind));
        c.putValue.bindBlob(6, data, size);
        return c.run(c.putValue);
    });
    if (rc == SQLITE_OK && k->missing) {
        k->missing = false;
        remember(c, k->root, k->path);
    }
    return statusOf(rc, c.db);
}

std::int32_t PosixPlatform::closeKey(RegistryKey key) {
    Store& s = store();
    std::lock_guard guard(s.lock);
    const auto it = s.keys.find(key);
    if (it == s.keys.end()) return registry_status::InvalidHandle;
    const OpenKey k = std::move(it->second);
    s.keys.erase(it);
    if (!k.missing || k.connection->owner != thisProcess()) return registry_status::Ok;
    // A key opened and closed without a value written is made now, in a
    // store that is still the one at its path.
    Connection& c = *k.connection;
    if (!stillThere(c)) return registry_status::Ok;
    c.deadline = Clock::now() + LockPatience;
    const int rc = c.write([&] { return addKeyParts(c, k.root, k.path); });
    if (rc == SQLITE_OK) remember(c, k.root, k.path);
    return statusOf(rc, c.db);
}

}  // namespace tarnwick
