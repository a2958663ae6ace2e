// The settings store on Linux against real SQLite files: the registry's
// rules as the file keeps them; other programs and processes at once, and
// crashes; where the file lives; read-only media; damaged files and other
// programs' databases. The tarnwick command is the other program.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/mount.h>

#include <fstream>
#include <thread>

#include "platform/posix/posix_platform.h"
#include "support/child_process.h"
#include "support/temp_folder.h"
#include "tarnwick/tarnwick.h"

#ifdef TARNWICK_CLI
namespace tarnwick {
namespace {

namespace fs = std::filesystem;
const String HKCU = u"HKEY_CURRENT_USER", Key = u"Software\\Tarnwick";
const Variant NotFound = u"--NOT-FOUND--";

String text(long n) {
    return fromUtf8(std::to_string(n));
}

// The store in one file as a program using the library sees it.
struct Store {
    explicit Store(const fs::path& file)
        : host([&] {
              PosixOptions o;
              o.registryFile = file.string();
              return o;
          }()) {}
    PosixPlatform host;
    twRegistry reg{host};
    // Text as text, anything else as a number.
    bool save(const String& name, const Variant& value, const String& key = Key) {
        const bool asText = value.kind() == Variant::Kind::String;
        return reg.SaveSetting(HKCU, key, name, value, asText).isExactlyTrue();
    }
    // The value read, or "(false)" when GetSetting answers false.
    Variant get(const String& name, const String& key = Key,
                const Variant& fallback = u"--DONT-SET--") {
        Variant v = u"(unset)";
        return reg.GetSetting(HKCU, key, name, v, true, fallback) ? v : Variant(u"(false)");
    }
};

// "tarnwick reg" on the store in file, with args.
testing::Finished command(const fs::path& file, std::vector<std::string> args) {
    args.insert(args.begin(),
                {"/usr/bin/env", "TARNWICK_REGISTRY=" + file.string(), TARNWICK_CLI, "reg"});
    return testing::runChild(args);
}

// Runs sql on db; the first column of each row, each followed by ";".
std::string query(sqlite3* db, const std::string& sql) {
    std::string out;
    const auto row = [](void* text, int, char** columns, char**) {
        *static_cast<std::string*>(text) += std::string(columns[0]) + ";";
        return 0;
    };
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), row, &out, nullptr), SQLITE_OK) << sql;
    return out;
}

TEST(RegistryStore, KeepsTheRegistrysRulesInAPrivateFile) {
    testing::TempFolder temp;
    const fs::path file = temp / "config/tarnwick/registry.sqlite";
    Store s(file);
    const String ö = u"Software\\Gr\u00f6\u00dfe", Ö = u"SOFTWARE\\GR\u00d6\u00dfE";
    const String hostile = String(u"'); DROP TABLE registry_keys; --\0\"; x", 36);
    const struct {
        String key, name;
        Variant value;
        bool saved;
        String readKey, readName;
        Variant read;  // "(false)": GetSetting answers false
    } rows[] = {
        {ö, u"Volume", u"1", true, Ö, u"VOLUME", u"1"},
        {u"software\\\\gr\u00f6\u00dfe\\", u"vOlUmE", u"3", true, Ö + u"\\", u"volume", u"3"},
        {Ö + u"\\Sub", u"N", -1001, true, ö + u"\\sub", u"n", -1001},
        {u"", u"AtRoot", u"top", true, u"", u"atroot", u"top"},
        {Key, String(16383, u'n'), u"", true, Key, String(16383, u'N'), u""},
        {Key, String(16384, u'n'), u"x", false, Key, String(16384, u'n'), NotFound},
        {u"\\Software", u"A", u"x", false, u"\\Software", u"A", u"(false)"},
        {u"Fresh\\" + hostile, hostile, hostile, true, u"FRESH\\" + hostile, hostile, hostile},
        {u"Other\\Path", u"A", u"1", true, u"Other\\Path", u"B", NotFound},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(toUtf8(row.key.substr(0, 20)) + " " + toUtf8(row.name.substr(0, 10)));
        EXPECT_EQ(s.save(row.name, row.value, row.key), row.saved);
        EXPECT_EQ(s.get(row.readName, row.readKey), row.read);
    }
    // The key tree as another program finds it: each key named as first written.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(query(db,
                    "SELECT name FROM registry_keys WHERE root = 2147483649 AND parent IN "
                    "('', 'SOFTWARE') ORDER BY path"),
              toUtf8(u"Fresh;Other;Software;Gr\u00f6\u00dfe;Tarnwick;"));
    sqlite3_close(db);
    for (const auto& [path, mode] : {std::pair{file, 0600},
                                     {file.parent_path(), 0700},
                                     {file.parent_path().parent_path(), 0700}}) {
        EXPECT_EQ(int(fs::status(path).permissions()), mode) << path;
    }
    // A number of more than four bytes is none that GetSetting reads.
    RegistryKey k = 0;
    ASSERT_EQ(s.host.createKey(registry_roots::CurrentUser, Key, key_access::Settings, k), 0);
    ASSERT_EQ(s.host.setValue(k, u"Long", value_kinds::Number, "123456", 6), 0);
    EXPECT_EQ(s.host.closeKey(k), 0);
    EXPECT_EQ(s.host.closeKey(k), registry_status::InvalidHandle);
    EXPECT_EQ(s.get(u"long"), NotFound);
    // A forked child opens its own connection and leaves its parent's alone.
    const pid_t child = ::fork();
    if (child == 0) ::_exit(s.save(u"Forked", u"fork") ? 0 : 1);
    int status = -1;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(s.get(u"Forked"), Variant(u"fork"));
    EXPECT_TRUE(s.save(u"After", u"fork"));
    // A store deleted underneath is made afresh at its place.
    for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(file.string() + suffix);
    EXPECT_TRUE(s.save(u"New", u"2"));
    EXPECT_EQ(s.get(u"Forked"), NotFound);
    EXPECT_EQ(command(file, {"get", "HKEY_CURRENT_USER", toUtf8(Key), "NEW"}).output, "2\n");
}

// Another program makes the store while holding the write lock, then holds
// the lock of the finished store: the library waits for it each time (and
// reads meanwhile), and then uses the store the other program made.
TEST(RegistryStore, WaitsForTheLockAnotherProgramHolds) {
    testing::TempFolder temp;
    const fs::path made = temp / "made.sqlite", file = temp.write("registry.sqlite");
    ASSERT_TRUE(Store(made).save(u"X", u"x"));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(made.c_str(), &db), SQLITE_OK);
    const std::string layout =
        query(db, "SELECT sql FROM sqlite_master WHERE sql NOT NULL") +
        query(db,
              "SELECT 'PRAGMA application_id=' || application_id || ';PRAGMA user_version=' "
              "|| user_version FROM pragma_application_id, pragma_user_version");
    sqlite3_close(db);
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    sqlite3_busy_timeout(db, 10000);
    Store s(file);
    for (const bool making : {true, false}) {
        const std::string held = making ? "BEGIN IMMEDIATE;" + layout : "BEGIN IMMEDIATE";
        ASSERT_EQ(sqlite3_exec(db, held.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        std::thread release([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        });
        EXPECT_EQ(s.get(u"Held"), making ? NotFound : Variant(u"before"));
        EXPECT_TRUE(s.save(u"Held", making ? u"before" : u"after")) << making;
        release.join();
    }
    sqlite3_close(db);
    EXPECT_EQ(s.get(u"Held"), Variant(u"after"));
}

TEST(RegistryStore, LivesWhereTheProcessFirstLookedForIt) {
    testing::TempFolder temp;
    const std::string t = temp.path().string(), home = t + "/home";
    fs::create_directories(home);
    // A relative name is taken from the current folder (home here).
    const std::pair<std::string, std::string> rows[] = {
        {"XDG_CONFIG_HOME=" + t + "/xdg TARNWICK_REGISTRY=", "xdg/tarnwick/registry.sqlite"},
        {"XDG_CONFIG_HOME=" + t + "/xdg TARNWICK_REGISTRY=o/s.db", "home/o/s.db"},
        {"XDG_CONFIG_HOME=relative TARNWICK_REGISTRY=", "home/.config/tarnwick/registry.sqlite"}};
    for (const auto& [environment, where] : rows) {
        EXPECT_EQ(
            testing::runChild({"/bin/sh", "-c",
                               "cd " + home + " && HOME=" + home + " " + environment + " " +
                                   TARNWICK_CLI + " reg set hkey_current_user K N -12 --number"})
                .status,
            0);
        EXPECT_TRUE(fs::exists(temp / where)) << where;
    }
    EXPECT_EQ(command(temp / "home/o/s.db",
                      {"get", "HKEY_CURRENT_USER", "K", "New", "--default", "7", "--number"})
                  .output,
              "7\n");
    EXPECT_EQ(Store(temp / "xdg/tarnwick/registry.sqlite").get(u"n", u"K"), Variant(-12));
    // A launch or DirExists changes the current folder: a relative name
    // keeps naming the file it named when the store was first needed.
    const fs::path saved = fs::current_path();
    fs::current_path(home);
    Store s("settings.sqlite");
    EXPECT_TRUE(s.save(u"Kept", u"yes"));
    EXPECT_TRUE(twFunctions(s.host).DirExists(fromUtf8(t)));
    const Variant kept = s.get(u"Kept");
    fs::current_path(saved);
    EXPECT_EQ(kept, Variant(u"yes"));
    EXPECT_FALSE(fs::exists(temp / "settings.sqlite"));
}

TEST(RegistryStore, OnReadOnlyMediaReadsWorkAndWritesAnswerFalse) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a read-only copy needs root";
    testing::TempFolder temp;
    const fs::path media = temp / "media", ro = temp / "ro";
    ASSERT_EQ(
        command(media / "r.sqlite", {"set", "HKEY_CURRENT_USER", "K", "Kept", "on disc"}).status,
        0);
    fs::create_directories(ro);
    ASSERT_EQ(::mount(media.c_str(), ro.c_str(), nullptr, MS_BIND, nullptr), 0);
    const int remounted =
        ::mount(nullptr, ro.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr);
    if (remounted == 0) {
        Store disc(ro / "r.sqlite");
        EXPECT_EQ(disc.get(u"Kept", u"K"), Variant(u"on disc"));
        EXPECT_EQ(disc.get(u"Missing", u"K"), NotFound);
        EXPECT_EQ(disc.get(u"Kept", u"No\\Such\\Key"), NotFound);
        EXPECT_FALSE(disc.save(u"Kept", u"new", u"K"));
        EXPECT_EQ(disc.get(u"Missing", u"K", u"default"), Variant(u"(false)"));
    }
    ::umount2(ro.c_str(), MNT_DETACH);
    ASSERT_EQ(remounted, 0);
}

TEST(RegistryStore, ADamagedFileOrAnotherProgramsDatabaseIsReportedAndNeverChanged) {
    testing::TempFolder temp;
    const fs::path file = temp / "registry.sqlite";
    std::string noise(8192, '\0');
    for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>(i * 7919 % 251);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((temp / "foreign.sqlite").c_str(), &db), SQLITE_OK);
    query(db, "CREATE TABLE notes(text)");
    sqlite3_close(db);
    Store s(file);
    for (const std::string& bytes : {noise, testing::contentOf(temp / "foreign.sqlite")}) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
        EXPECT_FALSE(s.save(u"V", u"new"));
        EXPECT_EQ(s.get(u"V", Key, u"default"), Variant(u"(false)"));
        EXPECT_TRUE(testing::contentOf(file) == bytes) << "the file was changed";
        EXPECT_EQ(std::distance(fs::directory_iterator(temp.path()), {}), 2) << "nothing beside";
    }
}

// Eight processes start at once on a store none has made yet, each saving
// values of its own (and reading them back) and numbers they all share,
// until all are killed wherever they are: no call failed, and each value is
// the last write reported, or the write then in progress.
TEST(RegistryStore, EightProcessesAtOnceThenKilledLoseNoWrite) {
    testing::TempFolder temp;
    const fs::path file = temp / "registry.sqlite";
    constexpr int Workers = 8;
    int go[2], out[2];
    ASSERT_EQ(::pipe(go), 0);
    ASSERT_EQ(::pipe(out), 0);
    pid_t workers[Workers];
    for (int w = 0; w < Workers; ++w) {
        if ((workers[w] = ::fork()) != 0) continue;
        ::close(go[1]);
        char c;
        (void)!::read(go[0], &c, 1);  // until the parent lets all go at once
        Store s(file);
        for (int i = 0;; ++i) {
            const String mine = u"P" + text(w) + u"_" + text(i % 50);
            const std::string line = std::to_string(w) + " " + std::to_string(i) + "\n";
            if (!s.save(mine, i) || s.get(mine) != Variant(i) || !s.save(u"S" + text(i % 10), w) ||
                s.get(u"s" + text(i % 10)).kind() != Variant::Kind::Long ||
                ::write(out[1], line.data(), line.size()) < 0)
                ::_exit(1);
        }
    }
    ::close(go[0]);
    ::close(go[1]);
    ::close(out[1]);
    FILE* reports = ::fdopen(out[0], "r");
    int last[Workers] = {-1, -1, -1, -1, -1, -1, -1, -1};
    for (int lines = 0, w, i; lines < 2000 && std::fscanf(reports, "%d %d", &w, &i) == 2; ++lines)
        last[w] = i;
    for (const pid_t w : workers) ::kill(w, SIGKILL);
    for (int w, i; std::fscanf(reports, "%d %d", &w, &i) == 2;) last[w] = i;
    std::fclose(reports);
    for (const pid_t w : workers) {
        int status = 0;
        ::waitpid(w, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status)) << "a call failed";
    }
    Store s(file);
    for (int w = 0; w < Workers; ++w) {
        for (int j = 0; j < 50; ++j) {
            const int reported = last[w] - ((last[w] - j) % 50 + 50) % 50;
            const Variant v = s.get(u"P" + text(w) + u"_" + text(j));
            EXPECT_TRUE(v == (reported < 0 ? NotFound : Variant(reported)) ||
                        ((last[w] + 1) % 50 == j && v == Variant(last[w] + 1)))
                << w << " " << j;
        }
    }
    for (int j = 0; j < 10; ++j) EXPECT_LT(s.get(u"S" + text(j)).toLong(), Workers);
}

}  // namespace
}  // namespace tarnwick
#endif
