// The settings store on Linux against real SQLite files: the registry's
// rules as the file keeps them, other processes, where the file lives, and
// files that are read-only, not the user's, damaged or another program's.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "platform/posix/posix_platform.h"
#include "support/child_process.h"
#include "support/temp_folder.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using namespace std::string_literals;
const String HKCU = u"HKEY_CURRENT_USER", Key = u"Software\\Tarnwick";
const Variant NotFound = u"--NOT-FOUND--";

// The rows of a query on the database, as another program sees it.
Lines rows(const fs::path& file, const std::string& sql, int flags = SQLITE_OPEN_READONLY) {
    sqlite3* db = nullptr;
    Lines out;
    EXPECT_EQ(sqlite3_open_v2(file.c_str(), &db, flags, nullptr), SQLITE_OK);
    const auto row = [](void* lines, int n, char** columns, char**) {
        std::string row;
        for (int i = 0; i < n; ++i) row += (i ? "|" : "") + std::string(columns[i]);
        static_cast<Lines*>(lines)->push_back(row);
        return 0;
    };
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), row, &out, nullptr), SQLITE_OK) << sql;
    sqlite3_close(db);
    return out;
}

PosixOptions storeAt(const std::string& file) {
    PosixOptions o;
    o.registryFile = file;
    return o;
}

class RegistryStore : public ::testing::Test {
  protected:
    testing::TempFolder temp;
    fs::path file = temp / "config/tarnwick/registry.sqlite";
    PosixPlatform host{storeAt(file.string())};
    twRegistry reg{host};

    bool save(const String& name, const Variant& value, const String& key = Key) {
        return reg.SaveSetting(HKCU, key, name, value, true).isExactlyTrue();
    }
    // The value read, or "(false)" when GetSetting answers false.
    Variant get(const String& name, const String& key = Key,
                const Variant& fallback = u"--DONT-SET--") {
        Variant v = u"(unset)";
        return reg.GetSetting(HKCU, key, name, v, true, fallback) ? v : Variant(u"(false)");
    }
    // A program on the store (the worker unless named); its status and output lines.
    std::pair<int, Lines> worker(Lines args, uid_t as = 0, Lines env = {},
                                 const Lines& program = {TARNWICK_REGISTRY_WORKER}) {
        args.insert(args.begin(), program.begin(), program.end());
        env.push_back("TARNWICK_REGISTRY=" + file.string());
        const testing::Finished f = testing::runChild(args, env, as);
        std::istringstream in(f.output);
        Lines lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return {f.status, lines};
    }
};

TEST_F(RegistryStore, KeepsTheRegistrysRulesInAPrivateDurableFile) {
    const String key = u"Software\\Gr\u00f6\u00dfe";
    EXPECT_TRUE(save(u"Volume", u"1", key));
    EXPECT_TRUE(save(u"VOLUME", u"2", u"SOFTWARE\\GR\u00d6\u00dfE\\Sub"));
    EXPECT_TRUE(save(u"vOlUmE", u"3", u"software\\gr\u00f6\u00dfe"));
    EXPECT_EQ(get(u"volume", u"SoftWare\\\\GR\u00d6\u00dfe\\"), Variant(u"3"));
    EXPECT_TRUE(reg.SaveSetting(HKCU, key, u"N", -1001, false));
    EXPECT_TRUE(save(String(16383, u'n'), u""));
    EXPECT_FALSE(save(String(16384, u'n'), u"")) << "longer than a value name may be";
    EXPECT_FALSE(save(u"A", u"x", u"\\Software")) << "a key path may not begin with its separator";
    EXPECT_TRUE(save(u"AtRoot", u"top", u""));
    EXPECT_EQ(get(u"atroot", u""), Variant(u"top"));
    EXPECT_EQ(get(u"Missing", u"Fresh\\Path"), NotFound);
    const String hostile = u"'); DROP TABLE registry_keys; --\0\"; touch PWNED"s;
    EXPECT_TRUE(save(hostile, hostile, u"Fresh\\" + hostile.substr(0, 30)));
    EXPECT_EQ(get(hostile, u"Fresh\\" + hostile.substr(0, 30)), Variant(hostile));
    EXPECT_EQ(rows(file, "SELECT name, parent FROM registry_keys ORDER BY path"),
              (Lines{"Fresh|", "'); DROP TABLE registry_keys; |FRESH", "Path|FRESH", "Software|",
                     toUtf8(u"Gr\u00f6\u00dfe|SOFTWARE"), toUtf8(u"Sub|SOFTWARE\\GR\u00d6\u00dfE"),
                     "Tarnwick|SOFTWARE"}));
    EXPECT_EQ(rows(file,
                   "SELECT name, kind, hex(data) FROM registry_values WHERE length(name) < 9 ORDER "
                   "BY name"),
              (Lines{"AtRoot|1|746F7000", "N|4|17FCFFFF", "VOLUME|1|3200", "Volume|1|3300"}));
    EXPECT_EQ(rows(file, "PRAGMA journal_mode"), Lines{"wal"});
    for (const auto& [path, mode] : {std::pair{file, 0600},
                                     {file.parent_path(), 0700},
                                     {file.parent_path().parent_path(), 0700}}) {
        struct stat st;
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, static_cast<mode_t>(mode)) << path;
    }
    // What GetSetting needs of the store: "more data" for a value larger than the room offered.
    RegistryKey k = 0;
    ASSERT_EQ(host.createKey(registry_roots::CurrentUser, Key, key_access::Settings, k), 0);
    ASSERT_EQ(host.setValue(k, u"Long", 4, "123456", 6), 0);
    char room[4];
    std::uint32_t size = sizeof room;
    EXPECT_EQ(host.queryValueData(k, u"long", room, size), registry_status::MoreData);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(host.closeKey(k), 0);
    EXPECT_EQ(host.closeKey(k), registry_status::InvalidHandle);
}

TEST_F(RegistryStore, IsSharedWithOtherProcessesAndForkedChildren) {
    EXPECT_EQ(worker({"set", "Software\\Tarnwick", "FromChild", "child"}).first, 0);
    EXPECT_EQ(get(u"fromchild"), Variant(u"child"));
    EXPECT_TRUE(save(u"FromParent", u"parent"));
    EXPECT_EQ(worker({"get", "SOFTWARE\\TARNWICK", "FROMPARENT"}).second, Lines{"parent"});
    // A forked child opens its own connection and leaves its parent's alone.
    const pid_t child = ::fork();
    if (child == 0) std::exit(save(u"Forked", u"fork") ? 0 : 1);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(get(u"Forked"), Variant(u"fork"));
    EXPECT_TRUE(save(u"After", u"fork"));
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

TEST_F(RegistryStore, AWriterWaitsForTheLockAnotherProgramHolds) {
    EXPECT_TRUE(save(u"Held", u"before"));
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    });
    EXPECT_EQ(get(u"Held"), Variant(u"before")) << "readers go on";
    EXPECT_TRUE(save(u"Held", u"after"));
    release.join();
    sqlite3_close(other);
    EXPECT_EQ(get(u"Held"), Variant(u"after"));
}

TEST_F(RegistryStore, AStoreDeletedUnderneathIsMadeAfresh) {
    EXPECT_TRUE(save(u"Old", u"1"));
    for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(file.string() + suffix);
    EXPECT_TRUE(save(u"New", u"2"));
    EXPECT_EQ(get(u"Old"), NotFound);
    EXPECT_EQ(get(u"New"), Variant(u"2"));
}

TEST_F(RegistryStore, LivesWhereTheProcessFirstLookedForIt) {
    fs::create_directories(temp / "home");
    const std::string t = temp.path().string(), home = "HOME=" + t + "/home";
    const struct {
        Lines env;
        const char* where;
    } rows[] = {
        {{"XDG_CONFIG_HOME=" + t + "/xdg", "TARNWICK_REGISTRY=", home},
         "xdg/tarnwick/registry.sqlite"},
        // A relative name is taken from the current folder (home here).
        {{"XDG_CONFIG_HOME=" + t + "/xdg", "TARNWICK_REGISTRY=other/s.db", home},
         "home/other/s.db"},
        {{"XDG_CONFIG_HOME=relative", "TARNWICK_REGISTRY=", home},
         "home/.config/tarnwick/registry.sqlite"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(worker({"set", "K", "N", "v"}, 0, row.env,
                         {"/usr/bin/env", "-C", t + "/home", TARNWICK_REGISTRY_WORKER})
                      .first,
                  0)
            << row.where;
        EXPECT_TRUE(fs::exists(temp / row.where)) << row.where;
    }
    // A launch or DirExists changes the current folder: a relative name
    // keeps naming the file it named when the store was first needed.
    const fs::path saved = fs::current_path();
    fs::create_directories(temp / "a");
    fs::current_path(temp / "a");
    PosixPlatform relative(storeAt("settings.sqlite"));
    twRegistry r(relative);
    EXPECT_TRUE(r.SaveSetting(HKCU, Key, u"Kept", u"yes", true));
    EXPECT_TRUE(twFunctions(relative).DirExists(fromUtf8(temp.path().string())));
    Variant v;
    EXPECT_TRUE(r.GetSetting(HKCU, Key, u"Kept", v, true));
    fs::current_path(saved);
    EXPECT_EQ(v, Variant(u"yes"));
    EXPECT_FALSE(fs::exists(temp / "settings.sqlite"));
}

TEST_F(RegistryStore, OnReadOnlyMediaReadsWorkAndWritesAnswerFalse) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a read-only copy needs root";
    const fs::path media = temp / "media";
    file = media / "registry.sqlite";
    ASSERT_EQ(worker({"set", "K", "Kept", "on the disc"}).first, 0);
    fs::create_directories(temp / "ro");
    ASSERT_EQ(::mount(media.c_str(), (temp / "ro").c_str(), nullptr, MS_BIND, nullptr), 0);
    const int remounted =
        ::mount(nullptr, (temp / "ro").c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr);
    file = temp / "ro/registry.sqlite";
    if (remounted == 0) {
        EXPECT_EQ(worker({"get", "K", "Kept"}), (std::pair{0, Lines{"on the disc"}}));
        EXPECT_EQ(worker({"get", "K", "Missing"}), (std::pair{0, Lines{"--NOT-FOUND--"}}));
        EXPECT_EQ(worker({"get", "No\\Such\\Key", "Kept"}), (std::pair{0, Lines{"--NOT-FOUND--"}}));
        EXPECT_EQ(worker({"set", "K", "Kept", "new"}).first, 1);
        PosixPlatform disc(storeAt(file.string()));
        Variant v;
        EXPECT_FALSE(twRegistry(disc).GetSetting(HKCU, u"K", u"Missing", v, true, u"default"));
    }
    ::umount2((temp / "ro").c_str(), MNT_DETACH);
    ASSERT_EQ(remounted, 0);
}

TEST_F(RegistryStore, WhatAnotherUserMayNotWriteIsRefusedAndLeftAsItIs) {
    if (::geteuid() != 0) GTEST_SKIP() << "running as another user needs root";
    constexpr uid_t Nobody = 65534;
    fs::create_directories(temp / "locked");
    fs::permissions(temp / "locked",
                    fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    file = temp / "locked/tarnwick/registry.sqlite";
    EXPECT_EQ(worker({"set", "K", "N", "x"}, Nobody).first, 1);
    EXPECT_TRUE(fs::is_empty(temp / "locked")) << "nothing was made";
    file = temp / "theirs.sqlite";
    ASSERT_EQ(worker({"set", "K", "N", "theirs"}).first, 0);
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const std::string before = testing::contentOf(file);
    EXPECT_EQ(worker({"set", "K", "N", "mine"}, Nobody).first, 1);
    EXPECT_TRUE(testing::contentOf(file) == before) << "the file was changed";
}

TEST_F(RegistryStore, ADamagedFileOrAnotherProgramsDatabaseIsReportedAndNeverChanged) {
    fs::path made = temp / "made.sqlite";
    std::string noise(8192, '\0');
    for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>(i * 7919 % 251);
    rows(made, "CREATE TABLE notes(text)", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    std::string foreign = testing::contentOf(made);
    made = temp / "store.sqlite";
    file.swap(made);
    ASSERT_EQ(worker({"set", "Software\\Tarnwick", "V", "x"}).first, 0);
    file.swap(made);
    // Every page after the first, which names the tables, made noise.
    std::string pages = testing::contentOf(made);
    for (std::size_t i = 4096; i < pages.size(); ++i) pages[i] = noise[i % noise.size()];
    fs::create_directories(file.parent_path());
    for (const std::string* bytes : {&noise, &foreign, &pages}) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << *bytes;
        EXPECT_FALSE(save(u"V", u"new"));
        EXPECT_EQ(get(u"V", Key, u"default"), Variant(u"(false)"));
        EXPECT_TRUE(testing::contentOf(file) == *bytes) << "the file was changed";
        const auto beside = std::distance(fs::directory_iterator(file.parent_path()), {});
        EXPECT_EQ(beside, bytes == &pages ? 3 : 1) << "no journal; a WAL store its WAL";
    }
}

#ifdef TARNWICK_CLI
TEST_F(RegistryStore, TheCommandReadsAndWritesSettings) {
    const struct {
        Lines args;
        int status;
        Lines output;
    } rows[] = {
        {{"set", "hkey_current_user", "Software\\Tarnwick", "Count", "-12", "--number"}, 0, {}},
        {{"get", "HKEY_CURRENT_USER", "Software\\Tarnwick", "count"}, 0, {"-12"}},
        {{"get", "HKEY_CURRENT_USER", "Software\\Tarnwick", "No"}, 1, {}},
        {{"get", "HKEY_CURRENT_USER", "Software\\Tarnwick", "No", "--default", "seven", "--number"},
         3,
         {}},
        {{"get", "HKEY_CURRENT_USER", "Software\\Tarnwick", "No", "--default", "7", "--number"},
         0,
         {"7"}},
        {{"set", "HKCU", "Software\\Tarnwick", "X", "1"}, 1, {}},
        {{"set", "HKEY_USERS", "K", "X"}, 2, {}},
        {{"set", "HKEY_USERS", "K", "X", "1", "--default", "2"}, 2, {}},
        {{"list"}, 2, {}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(worker(row.args, 0, {}, {TARNWICK_CLI, "reg"}),
                  (std::pair{row.status, row.output}))
            << row.args[0] << " " << row.args.back();
    }
}
#endif

}  // namespace
}  // namespace tarnwick
