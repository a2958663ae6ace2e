// The registry on Linux: listing a key, and deleting a value or a key with
// everything below it (store.cpp opens the keys and keeps their values).
//
// Each delete is one IMMEDIATE transaction, as every write is; a listing is
// one read transaction, so that it shows the key as of one moment whatever
// other processes write meanwhile.
#include <vector>

#include "platform/posix/posix_platform.h"
#include "platform/posix/registry/sqlite.h"

namespace tarnwick {

namespace {

using namespace registry_db;

// The names one listing statement gives for the key, in its order.
int namesOf(Statement& list, std::int64_t root, const std::string& fold,
            std::vector<String>& names) {
    list.bind(1, root);
    list.bind(2, fold);
    int rc;
    while ((rc = list.step()) == SQLITE_ROW)
        names.push_back(
            fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(list.get(), 0))));
    list.reset();
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

}  // namespace

std::int32_t PosixPlatform::listKey(std::uint32_t root, const String& subKey,
                                    std::vector<String>& subKeys, std::vector<String>& valueNames) {
    subKeys.clear();
    valueNames.clear();
    return onKey(*this, options_.registryFile, root, subKey, false,
                 [&](Connection& c, const std::string& fold) {
                     int rc = sqlite3_exec(c.db, "BEGIN", nullptr, nullptr, nullptr);
                     bool present = true;  // the root always is
                     if (rc == SQLITE_OK && !fold.empty()) {
                         c.findKey.bind(1, root);
                         c.findKey.bind(2, fold);
                         rc = c.findKey.step();
                         c.findKey.reset();
                         present = rc == SQLITE_ROW;
                         if (rc == SQLITE_ROW || rc == SQLITE_DONE) rc = SQLITE_OK;
                     }
                     if (rc == SQLITE_OK && present)
                         rc = namesOf(c.listSubKeys, root, fold, subKeys);
                     if (rc == SQLITE_OK && present)
                         rc = namesOf(c.listValues, root, fold, valueNames);
                     sqlite3_exec(c.db, "COMMIT", nullptr, nullptr, nullptr);
                     if (rc != SQLITE_OK) return statusOf(rc, c.db);
                     return present ? registry_status::Ok : registry_status::FileNotFound;
                 });
}

std::int32_t PosixPlatform::deleteValue(std::uint32_t root, const String& subKey,
                                        const String& name) {
    const std::string valueFold = folded(*this, name);
    return onKey(*this, options_.registryFile, root, subKey, true,
                 [&](Connection& c, const std::string& fold) {
                     bool found = false;
                     const int rc = c.write([&] {
                         c.dropValue.bind(1, root);
                         c.dropValue.bind(2, fold);
                         c.dropValue.bind(3, valueFold);
                         const int dropped = c.run(c.dropValue);
                         found = sqlite3_changes(c.db) > 0;
                         return dropped;
                     });
                     if (rc == SQLITE_OK && !found) return registry_status::FileNotFound;
                     return statusOf(rc, c.db);
                 });
}

std::int32_t PosixPlatform::deleteKey(std::uint32_t root, const String& subKey) {
    return onKey(*this, options_.registryFile, root, subKey, true,
                 [&](Connection& c, const std::string& fold) {
                     if (fold.empty()) return registry_status::AccessDenied;  // a root stays
                     bool found = false;
                     const int rc = c.write([&] {
                         for (Statement* drop : {&c.dropKeys, &c.dropValues}) {
                             drop->bind(1, root);
                             drop->bind(2, fold);
                             const int dropped = c.run(*drop);
                             if (dropped != SQLITE_DONE) return dropped;
                             if (drop == &c.dropKeys) found = sqlite3_changes(c.db) > 0;
                         }
                         return SQLITE_DONE;
                     });
                     // The keys it deleted are no longer known present.
                     c.knownKeys[root & 3].clear();
                     if (rc == SQLITE_OK && !found) return registry_status::FileNotFound;
                     return statusOf(rc, c.db);
                 });
}

}  // namespace tarnwick
