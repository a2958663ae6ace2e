// Where the store lives, and opening it there: one SQLite database per user
// holding the four roots, $XDG_CONFIG_HOME/tarnwick/registry.sqlite unless
// TARNWICK_REGISTRY names another file.
//
// The file's location is fixed the first time this process needs it: a
// relative name is taken from the current directory of that moment, which
// every launch changes afterwards.
//
// The database and its folder are made on first use. A store on a file
// system mounted read-only (a CD, a write-protected card) is opened as
// immutable, which needs none of WAL's shared-memory file: its settings
// read as usual and every write answers "access denied". (What a writer
// that crashed left in the WAL, not yet folded into the file, is not seen
// there; a store closed normally has no WAL.)
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <unordered_map>

#include "platform/posix/posix_platform.h"
#include "platform/posix/registry/sqlite.h"
#include "platform/posix/system_calls.h"

namespace tarnwick::registry_db {

namespace {

// Makes the folder and any missing parent, private to the user.
int makeFolders(const std::string& folder) {
    struct stat st;
    if (systemCalls().stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    const std::size_t slash = folder.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        if (const int e = makeFolders(folder.substr(0, slash))) return e;
    }
    if (systemCalls().mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    return 0;
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

}  // namespace

const std::string& databasePath(const std::string& option) {
    // Where each name given (the option, or "" for the default) put the
    // store the first time it was needed.
    static std::unordered_map<std::string, std::string> located;
    // The one asked for last, compared rather than hashed: a process nearly
    // always has one store, asked for on every call.
    static const std::pair<const std::string, std::string>* last = nullptr;
    if (last && last->first == option) return last->second;
    auto& entry = *located.try_emplace(option).first;
    if (entry.second.empty()) entry.second = locate(option);
    last = &entry;
    return entry.second;
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
    c->startCall();
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

}  // namespace tarnwick::registry_db
