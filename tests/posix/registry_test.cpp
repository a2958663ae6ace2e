// The settings store on Linux against real SQLite files: the registry's
// rules as the file keeps them; other programs and processes at once, and
// crashes; where the file lives; files that are read-only, another user's,
// damaged or another program's.
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
using Args = std::vector<std::string>;
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
    // Text as text, numbers as numbers.
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

// The tarnwick command on the store in file ("reg" and args), as user when given.
testing::Finished command(const fs::path& file, const Args& args, uid_t user = 0) {
    Args argv{"/usr/bin/env", "TARNWICK_REGISTRY=" + file.string(), TARNWICK_CLI, "reg"};
    if (user) {
        const std::string id = std::to_string(user);
        argv.insert(argv.begin(),
                    {"/usr/bin/setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups"});
    }
    argv.insert(argv.end(), args.begin(), args.end());
    return testing::runChild(argv);
}

// The first column of each row of a query, each followed by ";".
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
    // A store deleted underneath is made afresh at its place.
    for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(file.string() + suffix);
    EXPECT_TRUE(s.save(u"New", u"2"));
    EXPECT_EQ(s.get(u"Volume", ö), NotFound);
    EXPECT_EQ(Store(file).get(u"New"), Variant(u"2"));
}

TEST(RegistryStore, IsSharedWithOtherProgramsAndForkedChildren) {
    testing::TempFolder temp;
    const fs::path file = temp / "registry.sqlite";
    Store s(file);
    EXPECT_TRUE(s.save(u"FromLibrary", u"library"));
    const std::string K = "Software\\Tarnwick";
    const struct {
        Args args;
        int status;
        std::string output;
    } rows[] = {
        {{"get", "hkey_current_user", "SOFTWARE\\TARNWICK", "FROMLIBRARY"}, 0, "library\n"},
        {{"set", "HKEY_CURRENT_USER", K, "Count", "-12", "--number"}, 0, ""},
        {{"get", "HKEY_CURRENT_USER", K, "No"}, 1, ""},
        {{"get", "HKEY_CURRENT_USER", K, "No", "--default", "seven", "--number"}, 3, ""},
        {{"get", "HKEY_CURRENT_USER", K, "No", "--default", "7", "--number"}, 0, "7\n"},
        {{"set", "HKCU", K, "X", "1"}, 1, ""},
        {{"set", "HKEY_USERS", K, "X"}, 2, ""},
        {{"set", "HKEY_USERS", K, "X", "1", "--default", "2"}, 2, ""},
        {{"list"}, 2, ""},
    };
    for (const auto& row : rows) {
        const testing::Finished f = command(file, row.args);
        EXPECT_EQ(f.status, row.status) << row.args[0] << " " << row.args.back();
        EXPECT_EQ(f.output, row.output) << row.args[0] << " " << row.args.back();
    }
    EXPECT_EQ(s.get(u"count"), Variant(-12));
    EXPECT_EQ(s.get(u"NO"), Variant(7));
    // A forked child opens its own connection and leaves its parent's alone.
    const pid_t child = ::fork();
    if (child == 0) ::_exit(s.save(u"Forked", u"fork") ? 0 : 1);
    int status = -1;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(s.get(u"Forked"), Variant(u"fork"));
    EXPECT_TRUE(s.save(u"After", u"fork"));
    // A started program inherits nothing of the store.
    int descriptors = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ignored;
        if (fs::read_symlink(entry.path(), ignored).string().rfind(file.string(), 0) != 0) continue;
        ++descriptors;
        EXPECT_NE(::fcntl(std::stoi(entry.path().filename()), F_GETFD) & FD_CLOEXEC, 0);
    }
    EXPECT_GE(descriptors, 2) << "the database and its WAL are open";
}

// Another program makes the store while holding the write lock, then holds
// the lock of the finished store: the library waits for it each time, and
// reads meanwhile.
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
        if (!making) {
            EXPECT_EQ(s.get(u"Held"), Variant(u"before")) << "readers go on";
        }
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
    const struct {
        std::string xdg, named, where;
    } rows[] = {
        {t + "/xdg", "", "xdg/tarnwick/registry.sqlite"},
        // A relative name is taken from the current folder (home here).
        {t + "/xdg", "other/s.db", "home/other/s.db"},
        {"relative", "", "home/.config/tarnwick/registry.sqlite"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(testing::runChild({"/usr/bin/env", "-C", home, "HOME=" + home,
                                     "XDG_CONFIG_HOME=" + row.xdg, "TARNWICK_REGISTRY=" + row.named,
                                     TARNWICK_CLI, "reg", "set", "HKEY_USERS", "K", "N", "v"})
                      .status,
                  0)
            << row.where;
        EXPECT_TRUE(fs::exists(temp / row.where)) << row.where;
    }
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

TEST(RegistryStore, ReadOnlyMediaAndAnotherUsersStoreAreNeverWritten) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting and acting as another user need root";
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
    // Another user makes nothing in a folder they may not write, and changes
    // nothing in a store they may only read.
    constexpr uid_t Nobody = 65534;
    fs::create_directories(temp / "locked");
    EXPECT_EQ(
        command(temp / "locked/tw/r.sqlite", {"set", "HKEY_USERS", "K", "N", "x"}, Nobody).status,
        1);
    EXPECT_TRUE(fs::is_empty(temp / "locked"));
    const fs::path theirs = temp / "theirs.sqlite";
    ASSERT_EQ(command(theirs, {"set", "HKEY_USERS", "K", "N", "theirs"}).status, 0);
    fs::permissions(theirs, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const std::string before = testing::contentOf(theirs);
    EXPECT_EQ(command(theirs, {"set", "HKEY_USERS", "K", "N", "mine"}, Nobody).status, 1);
    EXPECT_TRUE(testing::contentOf(theirs) == before) << "the file was changed";
}

TEST(RegistryStore, ADamagedFileOrAnotherProgramsDatabaseIsReportedAndNeverChanged) {
    testing::TempFolder temp;
    std::string noise(8192, '\0');
    for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>(i * 7919 % 251);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((temp / "foreign.sqlite").c_str(), &db), SQLITE_OK);
    query(db, "CREATE TABLE notes(text)");
    sqlite3_close(db);
    std::string foreign = testing::contentOf(temp / "foreign.sqlite");
    ASSERT_EQ(command(temp / "made.sqlite", {"set", "HKEY_USERS", "K", "V", "x"}).status, 0);
    // Every page after the first, which names the tables, made noise.
    std::string pages = testing::contentOf(temp / "made.sqlite");
    for (std::size_t i = 4096; i < pages.size(); ++i) pages[i] = noise[i % noise.size()];
    const fs::path file = temp / "store/registry.sqlite";
    fs::create_directories(file.parent_path());
    Store s(file);
    for (const std::string* bytes : {&noise, &foreign, &pages}) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << *bytes;
        EXPECT_FALSE(s.save(u"V", u"new"));
        EXPECT_EQ(s.get(u"V", Key, u"default"), Variant(u"(false)"));
        EXPECT_TRUE(testing::contentOf(file) == *bytes) << "the file was changed";
        const auto beside = std::distance(fs::directory_iterator(file.parent_path()), {});
        EXPECT_EQ(beside, bytes == &pages ? 3 : 1) << "no journal; a WAL store its WAL";
    }
}

// Eight processes start at once on a store none has made yet, each saving
// and reading back values of its own and numbers they all share: no call
// fails, no update is lost, each shared number is some process's last.
TEST(RegistryStore, EightProcessesAtOnceLoseNoUpdate) {
    testing::TempFolder temp;
    const fs::path file = temp / "registry.sqlite";
    constexpr int Workers = 8, Calls = 250;
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    pid_t workers[Workers];
    for (int w = 0; w < Workers; ++w) {
        if ((workers[w] = ::fork()) != 0) continue;
        ::close(go[1]);
        char c;
        (void)!::read(go[0], &c, 1);  // until the parent lets all go at once
        Store s(file);
        for (int i = 0; i < Calls; ++i) {
            const String mine = u"P" + text(w) + u"_" + text(i % 50), shared = u"S" + text(i % 10);
            if (!s.save(mine, text(i)) || s.get(mine) != Variant(text(i)) ||
                !s.save(shared, w * 1000000 + i) ||
                s.get(u"s" + text(i % 10)).kind() != Variant::Kind::Long)
                ::_exit(1);
        }
        ::_exit(0);
    }
    ::close(go[0]);
    ::close(go[1]);
    for (const pid_t w : workers) {
        int status = -1;
        ::waitpid(w, &status, 0);
        EXPECT_EQ(status, 0) << "a call failed";
    }
    Store s(file);
    for (int w = 0; w < Workers; ++w)
        for (int j = 0; j < 50; ++j)
            EXPECT_EQ(s.get(u"P" + text(w) + u"_" + text(j)), Variant(text(Calls - 50 + j)));
    for (int j = 0; j < 10; ++j) {
        const Variant v = s.get(u"S" + text(j));
        ASSERT_EQ(v.kind(), Variant::Kind::Long);
        EXPECT_EQ(v.asLong() % 1000000, Calls - 10 + j);
        EXPECT_LT(v.asLong() / 1000000, Workers);
    }
}

TEST(RegistryStore, AWriterKilledMidWriteLosesAtMostThatWrite) {
    testing::TempFolder temp;
    for (int round = 0; round < 5; ++round) {
        const fs::path file = temp / ("r" + std::to_string(round));
        int out[2];
        ASSERT_EQ(::pipe(out), 0);
        const pid_t writer = ::fork();
        if (writer == 0) {
            Store s(file);
            for (std::int32_t i = 0;; ++i) {
                const std::string line = std::to_string(i) + "\n";
                if (!s.save(u"V" + text(i), i) || !s.save(u"Last", i) ||
                    ::write(out[1], line.data(), line.size()) < 0)
                    ::_exit(1);
            }
        }
        ::close(out[1]);
        // Let it write a while, then kill it wherever it is.
        std::string reported;
        char c;
        for (int lines = 0; lines < 50 + 37 * round && ::read(out[0], &c, 1) == 1;)
            lines += (reported += c).back() == '\n';
        ::kill(writer, SIGKILL);
        while (::read(out[0], &c, 1) == 1) reported += c;
        ::close(out[0]);
        int status = 0;
        ::waitpid(writer, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status)) << "it was still writing";
        const int last = std::stoi(reported.substr(reported.rfind('\n', reported.size() - 2) + 1));
        Store s(file);
        for (int i = 0; i <= last; ++i) ASSERT_EQ(s.get(u"V" + text(i)), Variant(i)) << i;
        EXPECT_EQ(s.get(u"V" + text(last + 2)), NotFound);
        const Variant reached = s.get(u"Last");
        EXPECT_TRUE(reached == Variant(last) || reached == Variant(last + 1)) << round;
    }
}

}  // namespace
}  // namespace tarnwick
#endif
