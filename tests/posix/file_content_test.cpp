// Real files among other users and processes; every writer failed at each file-system call.
#include <fcntl.h>
#include <sidplayfp/SidTune.h>
#include <sidplayfp/SidTuneInfo.h>
#include <sqlite3.h>
#include <sys/xattr.h>

#include <thread>

#include "platform/posix/system_calls.h"
#include "posix/as_user.h"
#include "posix/hostile_input.h"
#include "support/psid_bytes.h"

namespace tarnwick {
namespace {

using namespace testing;
const fs::path Tunes = TARNWICK_TUNES;

// Each file-system call (the backend's table, SQLite's "unix" layer) counted; number failAt fails.
struct FaultPlan {
    int failAt = 0, error = 0, calls = 0;
    std::string site, trail;          // the call that failed ("": none); every call counted
    std::function<void()> meanwhile;  // what another program does after the first read
} plan;

bool strike(const char* call) {
    if (plan.meanwhile && plan.trail.ends_with("read")) std::exchange(plan.meanwhile, nullptr)();
    plan.trail += (plan.trail.empty() ? "" : " ") + std::string(call);
    if (++plan.calls != plan.failAt) return false;
    plan.site = call;
    return errno = plan.error, true;
}

// A stand-in for real: -1 and errno when the plan says so, else the real call.
#define TW_STAND(name, real) \
    [](auto... a) { return strike(name) ? decltype(real(a...))(-1) : real(a...); }
#define TW_SYSTEM(call) s.call = TW_STAND(#call, realSystemCalls().call)
#define TW_SQLITE(call, ...)                                                                    \
    {                                                                                           \
        using F = std::add_pointer_t<__VA_ARGS__>;                                              \
        static F real = reinterpret_cast<F>(vfs->xGetSystemCall(vfs, #call));                   \
        vfs->xSetSystemCall(                                                                    \
            vfs, #call, reinterpret_cast<sqlite3_syscall_ptr>(F(TW_STAND("db." #call, real)))); \
    }

// While it lives, call failAt (from 1) of the backend and of SQLite fails with error.
struct Faults {
    Faults(int failAt, int error) {
        plan = {failAt, error, 0, "", "", nullptr};
        SystemCalls& s = systemCalls() = realSystemCalls();
        TW_SYSTEM(open), TW_SYSTEM(openat), TW_SYSTEM(read), TW_SYSTEM(pwrite), TW_SYSTEM(fsync),
            TW_SYSTEM(ftruncate), TW_SYSTEM(fchmod), TW_SYSTEM(fchown), TW_SYSTEM(stat),
            TW_SYSTEM(fstat), TW_SYSTEM(mkdir), TW_SYSTEM(fstatat), TW_SYSTEM(renameat),
            TW_SYSTEM(unlinkat), TW_SYSTEM(flock), TW_SYSTEM(fsetxattr);
        // fallocate answers its error number; Linux closes even when close reports an error.
        s.fallocate = [](int fd, off_t at, off_t n) {
            return strike("fallocate") ? plan.error : realSystemCalls().fallocate(fd, at, n);
        };
        s.close = [](int fd) {
            return std::min(realSystemCalls().close(fd), -int(strike("close")));
        };
        TW_SQLITE(open, int(const char*, int, int))
        TW_SQLITE(pread64, ssize_t(int, void*, size_t, off_t))
        TW_SQLITE(pwrite64, ssize_t(int, const void*, size_t, off_t))
        TW_SQLITE(ftruncate, int(int, off_t))
        TW_SQLITE(fstat, int(int, struct stat*))
    }
    ~Faults() {
        systemCalls() = realSystemCalls();
        vfs->xSetSystemCall(vfs, nullptr, nullptr);
    }
    sqlite3_vfs* const vfs = sqlite3_vfs_find("unix");
};

int failing(int n, int error, const std::function<void()>& act) {
    return Faults(n, error), raised(act);
}

// write(n, error) (non-zero: it failed) with each call failing in turn.
void walk(std::initializer_list<int> errors, const std::function<int(int n, int error)>& write,
          const std::function<void(int)>& check) {
    for (const int error : errors)
        for (int n = 1;; ++n) {
            ASSERT_LT(n, 1000) << "never finished";
            const int failed = write(n, error);
            SCOPED_TRACE("call " + std::to_string(n) + " (" + plan.site + "), errno " +
                         std::to_string(error) + ": " + plan.trail);
            check(failed);
            // Interrupted calls are made again; missing locks and reservations done without.
            const std::string& at = plan.site;
            EXPECT_TRUE(failed == 0 ||
                        !(at.empty() ||
                          (error == EINTR && (at == "read" || at == "pwrite" || at == "flock")) ||
                          (error == EOPNOTSUPP && (at == "flock" || at == "fallocate"))));
            if (at.empty()) break;
        }
}

int change(const String& file, const ConfigFileArray& changes = {{u"A", u"2"}}) {
    return raised([&] { twFunctions().ChangeConfigFile(file, changes); });
}

// Only regular files, through one open; owner, mode, attributes, links kept; others' links refused.
TEST(RealConfigFile, EachNameReachesItsOwnRegularFileOrFailsAtOnce) {
    const std::optional<passwd> bob = secondUser();
    const passwd* byBob = bob ? &*bob : nullptr;
    TempFolder temp;
    fs::permissions(temp.path(), fs::perms::all);  // not sticky: the kernel protects no link
    const fs::path fifo = temp / "fifo.cfg", own = temp.write("own.cfg", "A=1\n");
    fs::create_directory(temp / "folder.cfg");
    fs::resize_file(temp.write("big.cfg"), (16u << 20) + 1);
    fs::resize_file(temp.write("limit.cfg"), 16u << 20);
    fs::create_symlink("/dev/zero", temp / "zero.cfg");
    fs::create_symlink(own, temp / "link.cfg");
    const fs::path writeOnly = temp.write("write-only.cfg", "A=1\r\n"),
                   readOnly = temp.write("read-only.cfg", "A=1\r\n"),
                   mine = temp.write("private/mine.cfg", "A=1\r\n"),
                   group = temp.write("private/group.cfg", "A=1\r\n"),
                   linked = temp.write("linked.cfg");
    fs::create_hard_link(linked, temp / "second-link");
    ASSERT_EQ(::chown(writeOnly.c_str(), 0, 60) | ::chmod(writeOnly.c_str(), 0620) |
                  ::chmod(readOnly.c_str(), 0444) | ::chown(group.c_str(), 0, 60) |
                  ::chmod(group.c_str(), 0660) | ::mkfifo(fifo.c_str(), 0644) |
                  ::setxattr(group.c_str(), "user.origin", "front end", 9, 0),
              0);
    if (bob) inChild(byBob, [&] { return ::symlink(mine.c_str(), (temp / "x.cfg").c_str()); });
    const auto at = [&](const char* name) { return u16(temp / name); };
    // The 16 MiB edit may take a while under the sanitizers.
    // clang-format off
    const struct { const char* name; String path; int error; const passwd* user = nullptr;
        ConfigFileArray changes = {{u"A", u"2"}}; int seconds = 2; } rows[] = {
        {"fifo", at("fifo.cfg"), 75}, {"device via link", at("zero.cfg"), 75}, {"folder", at("folder.cfg"), 75},
        {"over 16 MiB", at("big.cfg"), 6}, {"16 MiB", at("limit.cfg"), 0, nullptr, {{u"A", u"2"}}, 60},
        {"missing folder", at("none/c64.cfg"), 76}, {"NUL in the name", at("own.cfg") + String(1, u'\0') + u"x", 52},
        {"own link", at("link.cfg"), 0}, {"another's link", at("x.cfg"), bob ? 75 : 53},
        {"write-only to the writer", u16(writeOnly), 75, byBob}, {"read before refused", u16(readOnly), 9, byBob, {}},
        {"read-only to the writer", u16(readOnly), 75, byBob}, {"read-only, even to root", u16(readOnly), 75},
        {"group member", u16(group), bob ? 0 : 75, byBob}, {"owner, another group", u16(group), 0, nullptr, {{u"A", u"3"}}},
        {"second hard link, emptied", u16(linked), 0}};
    // clang-format on
    for (const auto& row : rows)
        EXPECT_EQ(inChild(
                      row.user, [&] { return change(row.path, row.changes); }, row.seconds),
                  row.error)
            << row.name;
    for (const fs::path& file : {writeOnly, readOnly, mine}) EXPECT_EQ(contentOf(file), "A=1\r\n");
    EXPECT_EQ(contentOf(own), "A=2\r\n");
    struct stat st;
    ::stat(group.c_str(), &st);
    EXPECT_EQ(std::tuple(st.st_uid, st.st_gid, st.st_mode, contentOf(group),
                         ::getxattr(group.c_str(), "user.origin", nullptr, 0)),
              std::tuple(0u, 60u, 0100660u, "A=3\r\n", 9));
    EXPECT_TRUE(fs::equivalent(linked, temp / "second-link") && fs::is_symlink(temp / "link.cfg") &&
                fs::is_fifo(fifo));
    for (const std::string& name : entries(temp.path())) EXPECT_NE(name[0], '.') << name;
}

// Two processes rewrite a key each, 50 times, for 5 rounds: no change is lost.
TEST(RealConfigFile, ConcurrentRewritesLoseNoChange) {
    TempFolder temp;
    for (int round = 0; round < 5; ++round) {
        const fs::path cfg = temp.write("c64.cfg", "A=0\r\nB=0\r\n");
        const auto rewrite = [&](const char16_t* key) {
            for (int n = 1; n <= 50; ++n)
                if (change(u16(cfg), {{key, fromUtf8(std::to_string(n))}})) return 1;
            return 0;
        };
        const pid_t child = ::fork();
        if (child == 0) ::_exit(rewrite(u"B"));
        int failed = rewrite(u"A"), status = -1;
        ::waitpid(child, &status, 0);
        EXPECT_EQ(std::to_string(failed + status) + contentOf(cfg), "0A=50\r\nB=50\r\n") << round;
    }
}

// Another user swaps c64.cfg between links to root's file and his: neither takes the other's.
TEST(RealConfigFile, ASwappedLinkNeverMixesTwoUsersFiles) {
    const std::optional<passwd> bob = secondUser();
    if (!bob) GTEST_SKIP() << "needs root, to act as a second local user";
    TempFolder temp;
    const fs::path shared = temp / "shared", cfg = shared / "c64.cfg", next = shared / "next";
    for (const fs::path& p : {temp.path(), shared})
        fs::create_directories(p), fs::permissions(p, fs::perms::all);
    const fs::path secret = temp.write("root/secret.cfg", "SECRET=1\r\n"),
                   his = temp.write("bob.cfg", "BOB=1\r\n"), stop = temp / "stop";
    ASSERT_EQ(::chmod(secret.c_str(), 0600) | ::chmod(his.c_str(), 0666) |
                  ::chown(his.c_str(), bob->pw_uid, bob->pw_gid),
              0);
    fs::create_symlink(secret, cfg);
    const auto swap = [&] {
        for (int n = 0; ::access(stop.c_str(), F_OK) != 0; ++n)
            if (::unlink(next.c_str()),
                ::symlink((n % 2 ? secret : his).c_str(), next.c_str()) == 0)
                ::rename(next.c_str(), cfg.c_str());
        return 0;
    };
    std::thread swapper([&] { inChild(&*bob, swap, 10); });
    struct stat link {};  // the rewrites begin once his links are coming
    for (int n = 0; n < 200 && (::lstat(cfg.c_str(), &link) || link.st_uid != bob->pw_uid); ++n)
        ::usleep(10000);
    EXPECT_EQ(link.st_uid, bob->pw_uid) << "the swapper never started";
    for (int n = 0; n < 400; ++n) change(u16(cfg), {{u"X", u"1"}});
    std::ofstream(stop).close();
    swapper.join();
    EXPECT_EQ(contentOf(secret) + contentOf(his), "SECRET=1\r\nBOB=1\r\n");
}

// Shipped tunes as their headers say, each field alone too; no tune in a pipe or a missing name.
TEST(RealSidHeader, ReadsEachTuneAsItsHeaderSays) {
    TempFolder temp;
    const fs::path fifo = temp / "fifo.sid",
                   readOnly = temp.write("read-only.sid", contentOf(Tunes / "sampler.sid"));
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644) | ::chmod(readOnly.c_str(), 0400), 0);
    // A header waits in the pipe: a reader that took it for a file would read it.
    const int writer = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    const std::string three = psidHeader(1, 1, "", "", "") + std::string(236, 'x');
    ASSERT_EQ(::write(writer, three.data(), three.size()), ssize_t(three.size()));
    // Songs and start -7: left as the caller had them; the texts handed out even when those fail.
    // clang-format off
    const struct { fs::path file; bool read; int songs, start; bool texts; } rows[] = {
        {Tunes / "sampler.sid", true, 5, 3, true}, {readOnly, true, 5, 3, true}, {fifo, false, -7, -7, false},
        {Tunes / "edge/songs-overflow.sid", false, -7, -7, true}, {Tunes / "edge/start-overflow.sid", false, 5, -7, true},
        {Tunes / "edge/short-header.sid", true, 2, 2, true},  // zeros past its end
        {Tunes / "edge/rsid-magic.sid", false, -7, -7, false}, {temp / "none.sid", false, -7, -7, false}};
    // clang-format on
    PosixPlatform host;
    twFunctions f{host};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        const String path = u16(row.file);
        String texts[3] = {u"-", u"-", u"-"};
        std::int16_t songs = -7, start = -7, songs2 = -7, start2 = -7;
        const Boolean read = f.GetSidInfo(path, texts[0], texts[1], texts[2], songs, start),
                      read2 = f.GetSidSongInfo(path, songs2, start2), want(row.read);
        EXPECT_EQ(std::tuple(read, read2, songs, start, songs2, start2),
                  std::tuple(want, want, row.songs, row.start, row.songs, row.start));
        // Any regular file's author: its bytes 54 to 85, the magic unread.
        const bool regular = fs::is_regular_file(row.file);
        const std::string header = (regular ? contentOf(row.file) : "") + std::string(118, '\0');
        const auto field = [&](int at) { return host.fromFieldText(header.substr(at, 32)); };
        EXPECT_EQ(f.GetSidAuthor(path), regular ? field(54) : u"");
        for (int i = 0; i < 3; ++i) EXPECT_EQ(texts[i], row.texts ? field(22 + 32 * i) : u"-");
    }
    EXPECT_FALSE(fs::exists(temp / "none.sid")) << "a read creates nothing";
    ::close(writer);
}

// The start song goes into the tune checked (renamed, cut short) or nowhere; libsidplayfp agrees.
TEST(RealSidHeader, SavesTheStartSongOfTheTuneItCheckedOrNothing) {
    TempFolder temp;
    const fs::path tune = temp / "tune.sid", moved = temp / "moved.sid";
    const std::string h = psidHeader(5, 3, "N", "A", "C") + "music";
    // The tune afterwards, and the one moved away meanwhile.
    // clang-format off
    const struct { bool saved; std::string after, atMoved; std::function<void()> meanwhile; } rows[] = {
        {true, "other", h.substr(0, 17) + '\7' + h.substr(18), [&] { fs::rename(tune, moved), temp.write("tune.sid", "other"); }},
        {false, "", "", [&] { fs::resize_file(tune, 0); }}};
    // clang-format on
    for (const auto& row : rows) {
        fs::remove(moved), temp.write("tune.sid", h);
        Faults faults(1000, 0);
        plan.meanwhile = row.meanwhile;
        EXPECT_EQ(twFunctions().SaveDefaultSidSong(u16(tune), 7), Boolean(row.saved));
        EXPECT_EQ(std::pair(contentOf(tune), contentOf(moved)), std::pair(row.after, row.atMoved));
    }
    fs::remove(tune), fs::permissions(temp.write("read-only.sid", h), fs::perms::owner_read);
    Faults faults(1000, 0);  // the tune marked read-only is not even opened; none is made
    EXPECT_EQ(twFunctions().SaveDefaultSidSong(u16(temp / "read-only.sid"), 1), Boolean(false));
    EXPECT_EQ(plan.trail.find("open"), std::string::npos) << plan.trail;
    EXPECT_EQ(twFunctions().SaveDefaultSidSong(u16(tune), 1), Boolean(false));
    EXPECT_FALSE(fs::exists(tune)) << "a save creates nothing";
    const fs::path sampler = temp.write("sampler.sid", contentOf(Tunes / "sampler.sid"));
    EXPECT_EQ(twFunctions().SaveDefaultSidSong(u16(sampler), 4), Boolean(true));
    EXPECT_EQ(SidTune(sampler.c_str()).getInfo()->startSong(), 4u);
}

const std::string OldConfig = "[S]\r\n\r\n$J=3\r\n\r\n$L=C:\\OLD\r\nB=2\r\n\r\n";

// A file the editor cannot open, as the runtime's file statements report it.
TEST(SystemErrors, EachBecomesTheRuntimeErrorItMeans) {
    TempFolder temp;
    const fs::path cfg = temp.write("c64.cfg", OldConfig);
    for (const auto& [error, n] : {std::pair{ENOENT, 53}, {EACCES, 75}, {ENOSPC, 61}, {EIO, 57}})
        EXPECT_EQ((Faults(1, error), change(u16(cfg), {{u"$J", u"1"}})), n) << error;
    EXPECT_EQ(contentOf(cfg), OldConfig);
}

// Editor (file replaced, or rewritten beside a hard link), start song, reader: old or new, kept.
TEST(Faults, FileWriters) {
    const std::string tune = psidHeader(5, 3, "N", "A", "C") + std::string(300, '\x60');
    const auto song = [](auto& f) { return bool(twFunctions().SaveDefaultSidSong(u16(f), 5)); };
    const auto info = [](const fs::path& file) {
        String texts[3];
        std::int16_t songs = 0, start = 0;
        return twFunctions().GetSidInfo(u16(file), texts[0], texts[1], texts[2], songs, start) &&
               texts[1] == String(u"A") + String(31, u'\0') && start == 3;
    };
    // How: 0 replaced, 1 rewritten in place beside a hard link, 2 patched or read.
    // clang-format off
    struct Row { int how; std::string before, after; std::function<bool(const fs::path&)> write; };
    std::vector<Row> rows = {{2, tune, tune.substr(0, 17) + '\5' + tune.substr(18), song}, {2, tune, tune, info}};
    for (const String path : {u"D:\\", u"D:\\A LONGER PATH THAN BEFORE\\"})
        for (const int how : {0, 1})
            rows.push_back({how, OldConfig, "[S]\r\n$J=0\r\n$L=" + toUtf8(path) + "\r\nB=2\r\n", [path](const fs::path& file) {
                return twFunctions().ChangeConfigFile(u16(file), {{u"$J", u"0"}, {u"$L", path}}), true; }});
    // clang-format on
    const fs::perms mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    for (const auto& row : rows) {
        TempFolder temp;
        const fs::path file = temp / "file";
        struct stat was, is;
        const auto write = [&](int n, int error) {
            temp.write("file", row.before);
            if (row.how == 1) ::link(file.c_str(), (temp / "link").c_str());  // once
            fs::permissions(file, mode);
            ::stat(file.c_str(), &was);
            ::setxattr(file.c_str(), "user.origin", "x", 1, 0);
            bool done = false;
            return failing(n, error, [&] { done = row.write(file); }) || !done;
        };
        walk({ENOSPC, EIO, EACCES, EINTR, EOPNOTSUPP}, write, [&](int failed) {
            const std::string content = contentOf(file);
            EXPECT_TRUE(content == row.after || (failed && content == row.before));
            EXPECT_EQ(std::tuple(fs::status(file).permissions(), entries(temp.path()).size(),
                                 ::getxattr(file.c_str(), "user.origin", nullptr, 0)),
                      std::tuple(mode, 1u + (row.how == 1), 1));
            // Unfailed, a new file whole unless a link shares it; old content put back is flushed.
            ::stat(file.c_str(), &is);
            EXPECT_TRUE(!plan.site.empty() || (is.st_ino != was.st_ino) == (row.how == 0));
            const std::string& trail = plan.trail;
            EXPECT_TRUE(row.how != 1 || plan.site != "pwrite" ||
                        trail.find("ftruncate fsync", trail.rfind("pwrite")) != std::string::npos);
        });
    }
}

#ifdef TARNWICK_CLI
// A save, a default for a missing value, a value kept over one, cold and warm: old or new seen.
TEST(Faults, SettingsStoreWrites) {
    const String HKCU = u"HKEY_CURRENT_USER", Key = u"K";
    TempFolder temp;
    const auto cli = [](const fs::path& store, const std::string& args) {  // what it prints
        const std::string line = "TARNWICK_REGISTRY=" + store.string() + " " TARNWICK_CLI " reg ";
        FILE* out = ::popen((line + args + " 2>/dev/null").c_str(), "r");
        std::string printed(4096, '\0');
        printed.resize(std::fread(printed.data(), 1, printed.size(), out));
        return ::pclose(out), printed;
    };
    const fs::path original = temp / "original.sqlite";
    ASSERT_EQ(cli(original, "set HKEY_CURRENT_USER K Name old && echo set"), "set\n");
    // Each call's name, and what another program reads before and after it.
    // clang-format off
    const struct { String name; std::string before, after; } calls[] = {
        {u"Name", "old\n", "new\n"}, {u"Fresh", "", "default\n"}, {u"Name", "old\n", "old\n"}};
    // clang-format on
    int round = 0;  // a fresh path each time: the store stays open for its path
    for (const bool warm : {false, true})
        for (const auto& c : calls) {  // c, not bindings: clang 14 lambdas cannot take those
            fs::path database;
            const auto write = [&](int n, int error) {
                database = temp.write(std::to_string(++round) + "/r.sqlite", contentOf(original));
                PosixOptions options;
                options.registryFile = database.string();
                PosixPlatform host(options);
                twRegistry reg(host);
                Variant value;
                if (warm) reg.GetSetting(HKCU, Key, u"Other", value, true);
                Boolean done = false;
                failing(n, error, [&] {
                    done = c.after == "new\n"
                               ? reg.SaveSetting(HKCU, Key, c.name, u"new", true)
                               : reg.GetSetting(HKCU, Key, c.name, value, true, u"default");
                });
                return !done || (c.after != "new\n" && toUtf8(value.toString()) + "\n" != c.after);
            };
            walk({ENOSPC, EIO, EACCES}, write, [&](int failed) {
                const auto seen = cli(database, "get HKEY_CURRENT_USER K " + toUtf8(c.name));
                EXPECT_TRUE(seen == c.after || (failed && seen == c.before));
            });
        }
}
#endif

}  // namespace
}  // namespace tarnwick
