// The registry on Linux: the settings store's keys and values (see
// sqlite.h for how many processes share it, location.cpp for where it
// lives).
//
// It answers as the Windows registry does. Keys are created with every
// missing part; key paths and value names are compared after upper-casing
// each part (as the registry does) and keep the case they were first written
// in; value kinds are plain numbers; failures are the registry's statuses.
//
// One connection per process serves every key opened; an open key is a
// number naming the key's root and folded path.
#include <sys/stat.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/posix/posix_platform.h"
#include "platform/posix/registry/sqlite.h"
#include "platform/posix/system_calls.h"

namespace tarnwick {

namespace {

using namespace registry_db;

// The registry's longest value name.
constexpr std::size_t LongestValueName = 16383;
// How long a reader trusts that the database file is still the one it
// opened before looking again.
constexpr auto IdentityRecheck = std::chrono::seconds(1);

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
    // The entry of the key closed last, kept with its strings' room for
    // the next key opened: a front end reads its settings a key at a time,
    // thousands of times, and this spares each read its allocations.
    decltype(keys)::node_type spare;
    // The key and value names of the last read made without an open key.
    std::string readingKey, readingName;
};

Store& store() {
    static Store s;
    return s;
}

// Whether the file at the connection's path is still the one it opened (a
// user may delete or replace it while a program runs).
bool stillThere(Connection& c) {
    struct stat st;
    c.checkedAt = CoarseClock::now();
    return systemCalls().stat(c.path.c_str(), &st) == 0 && st.st_dev == c.device &&
           st.st_ino == c.inode;
}

// Makes the store's current connection the one to path: the current one
// while it is this process's and its file is still there; else a new one.
// Reading may go on the last look at the file for a moment; writing always
// looks (see setValue).
std::int32_t connectionTo(const std::string& path, bool writing) {
    Store& s = store();
    if (s.current && s.current->path == path && s.current->owner == thisProcess()) {
        const bool recent = CoarseClock::now() - s.current->checkedAt < IdentityRecheck;
        if ((recent && !writing) || stillThere(*s.current)) return registry_status::Ok;
    }
    s.current.reset();
    std::shared_ptr<Connection> fresh;
    const std::int32_t status = openStore(path, fresh);
    if (status != registry_status::Ok) return status;
    fresh->checkedAt = CoarseClock::now();
    s.current = std::move(fresh);
    return registry_status::Ok;
}

// Notes a key as present (until it is deleted: see Connection::knownKeys).
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

// Reads a value's kind and data: SQLITE_ROW when it is there, SQLITE_DONE
// when not, else an error.
int readRow(Connection& c, std::int64_t root, const std::string& keyFold,
            const std::string& nameFold, std::uint32_t& kind, std::string& data) {
    c.findValue.bind(1, root);
    c.findValue.bind(2, keyFold);
    c.findValue.bind(3, nameFold);
    const int rc = c.findValue.step();
    if (rc == SQLITE_ROW) {
        sqlite3_stmt* row = c.findValue.get();
        kind = static_cast<std::uint32_t>(sqlite3_column_int64(row, 0));
        const void* bytes = sqlite3_column_blob(row, 1);
        data.assign(static_cast<const char*>(bytes ? bytes : ""),
                    static_cast<std::size_t>(sqlite3_column_bytes(row, 1)));
    }
    c.findValue.reset();
    return rc;
}

// Reads the value into the key's cache.
int readValue(OpenKey& k, const String& name, const std::string& fold) {
    k.cached = false;
    const int rc = readRow(*k.connection, k.root, k.path.fold, fold, k.cachedKind, k.cachedData);
    if (rc == SQLITE_ROW) {
        k.cachedName = name;
        k.cachedFold = fold;
        k.cached = true;
    }
    return rc;
}

// The value of an open key in its cache: read now, or (with reuse) kept from
// the read of the same name just before, as the size query and the data
// query of one GetSetting ask for it twice. Ok, or the status telling why not.
std::int32_t cachedValue(PosixPlatform& platform, OpenKey* k, const String& name, bool reuse) {
    if (!k) return registry_status::InvalidHandle;
    if ((k->access & key_access::QueryValue) == 0) return registry_status::AccessDenied;
    if (reuse && k->cached && k->cachedName == name) return registry_status::Ok;
    const std::string fold = folded(platform, name);
    if (reuse && k->cached && k->cachedFold == fold) return registry_status::Ok;
    k->connection->startCall();
    const int rc = readValue(*k, name, fold);
    if (rc == SQLITE_DONE) return registry_status::FileNotFound;
    return rc == SQLITE_ROW ? registry_status::Ok : statusOf(rc, k->connection->db);
}

// A key opened and closed without a value written is made at its close, in
// a store that is still the one at its path.
std::int32_t makeIfMissing(const OpenKey& k) {
    if (!k.missing || k.connection->owner != thisProcess()) return registry_status::Ok;
    Connection& c = *k.connection;
    if (!stillThere(c)) return registry_status::Ok;
    c.startCall();
    const int rc = c.write([&] { return addKeyParts(c, k.root, k.path); });
    if (rc == SQLITE_OK) remember(c, k.root, k.path);
    return statusOf(rc, c.db);
}

// Why a key cannot be named by root and subKey at all, or Ok: an unknown
// root, or a path that begins with a separator.
std::int32_t namingProblem(std::uint32_t root, const String& subKey) {
    if (root < registry_roots::ClassesRoot || root > registry_roots::Users)
        return registry_status::InvalidHandle;
    if (!subKey.empty() && subKey[0] == u'\\') return registry_status::BadPathname;
    return registry_status::Ok;
}

}  // namespace

std::int32_t registry_db::onKey(PosixPlatform& platform, const std::string& option,
                                std::uint32_t root, const String& subKey, bool writing,
                                const KeyWork& work) {
    if (const std::int32_t status = namingProblem(root, subKey)) return status;
    std::string fold;
    foldPathInto(platform, subKey, fold);
    Store& s = store();
    std::lock_guard guard(s.lock);
    if (const std::int32_t status = connectionTo(databasePath(option), writing)) return status;
    const std::shared_ptr<Connection> c = s.current;  // kept while the work runs
    if (writing && c->readOnly) return registry_status::AccessDenied;
    c->startCall();
    return work(*c, fold);
}

std::int32_t PosixPlatform::createKey(std::uint32_t root, const String& subKey,
                                      std::uint32_t access, RegistryKey& key) {
    if (const std::int32_t status = namingProblem(root, subKey)) return status;
    Store& s = store();
    std::lock_guard guard(s.lock);
    if (const std::int32_t status = connectionTo(databasePath(options_.registryFile), false))
        return status;
    std::shared_ptr<Connection> c = s.current;
    c->startCall();
    // Key 0 is never handed out: a new entry is made under it, then taken out.
    auto entry = s.spare.empty() ? s.keys.extract(s.keys.try_emplace(0).first) : std::move(s.spare);
    OpenKey& opened = entry.mapped();
    foldPathInto(*this, subKey, opened.path.fold);
    opened.path.written.assign(subKey);
    bool present = true;
    if (const int rc = keyPresent(*c, root, opened.path, present)) {
        s.spare = std::move(entry);
        return statusOf(rc, c->db);
    }

    key = s.nextKey++;
    entry.key() = key;
    opened.connection = std::move(c);
    opened.root = root;
    opened.access = access;
    opened.cached = false;
    // A key a read-only store lacks cannot be made; it reads as a key with
    // no values, and a write to it answers "access denied".
    opened.missing = !present && !opened.connection->readOnly;
    s.keys.insert(std::move(entry));
    return registry_status::Ok;
}

bool PosixPlatform::readExistingValue(std::uint32_t root, const String& subKey, const String& name,
                                      std::uint32_t& kind, std::string& data) {
    if (namingProblem(root, subKey)) return false;
    Store& s = store();
    std::lock_guard guard(s.lock);
    if (connectionTo(databasePath(options_.registryFile), false)) return false;
    Connection& c = *s.current;
    c.startCall();
    // The folded names go into the store's own strings, whose room stays. A
    // value found means its key is there: every write adds the key's parts
    // with the value, and a key's deletion takes its values with it.
    foldPathInto(*this, subKey, s.readingKey);
    foldInto(*this, name, s.readingName);
    return readRow(c, root, s.readingKey, s.readingName, kind, data) == SQLITE_ROW;
}

std::int32_t PosixPlatform::queryValueInfo(RegistryKey key, const String& name, std::uint32_t& kind,
                                           std::uint32_t& size) {
    Store& s = store();
    std::lock_guard guard(s.lock);
    OpenKey* k = openKey(key);
    if (const std::int32_t status = cachedValue(*this, k, name, false)) return status;
    kind = k->cachedKind;
    size = static_cast<std::uint32_t>(k->cachedData.size());
    return registry_status::Ok;
}

std::int32_t PosixPlatform::queryValueData(RegistryKey key, const String& name, char* data,
                                           std::uint32_t& size) {
    Store& s = store();
    std::lock_guard guard(s.lock);
    OpenKey* k = openKey(key);
    if (const std::int32_t status = cachedValue(*this, k, name, true)) return status;
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
        if (const std::int32_t status = connectionTo(k->connection->path, true)) return status;
        std::shared_ptr<Connection> fresh = store().current;
        if (fresh->readOnly) return registry_status::AccessDenied;
        fresh->startCall();
        bool present = true;
        if (const int rc = keyPresent(*fresh, k->root, k->path, present))
            return statusOf(rc, fresh->db);
        k->missing = !present;
        k->connection = std::move(fresh);
    }
    Connection& c = *k->connection;
    c.startCall();
    const std::string fold = folded(*this, name), written = toUtf8(name);
    // The key's parts are added with every value, not only when the key was
    // missing at its open: another process (or this one) may have deleted
    // the key since, and a value must never be left without its key.
    const int rc = c.write([&] {
        const int added = addKeyParts(c, k->root, k->path);
        if (added != SQLITE_DONE) return added;
        c.putValue.bind(1, k->root);
        c.putValue.bind(2, k->path.fold);
        c.putValue.bind(3, fold);
        c.putValue.bind(4, written);
        c.putValue.bind(5, static_cast<std::int64_t>(kind));
        c.putValue.bindBlob(6, data, size);
        return c.run(c.putValue);
    });
    if (rc == SQLITE_OK) {
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
    auto entry = s.keys.extract(it);
    const std::int32_t status = makeIfMissing(entry.mapped());
    entry.mapped().connection.reset();
    s.spare = std::move(entry);
    return status;
}

}  // namespace tarnwick
