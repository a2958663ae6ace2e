// The writers of user data (the configuration editor, the PSID start song,
// the settings store) made to fail at each of their calls to the file
// system in turn, with the errors a disk gives (full, broken, permission
// lost, interrupted, unsupported). After each run the file holds its old
// content or, where the failure came after the new content was in place,
// the new one whole; nothing is left beside it; a success is reported only
// for the new content; and the run that meets no failure succeeds.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/xattr.h>

#include <functional>

#include "platform/posix/posix_platform.h"
#include "platform/posix/system_calls.h"
#include "posix/path_text.h"
#include "support/child_process.h"
#include "support/psid_bytes.h"
#include "support/temp_folder.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using namespace testing;
namespace fs = std::filesystem;

// Every call the writers make to the file system (an entry of the
// backend's system-call table, or a system call of SQLite's own "unix" layer,
// set through its own hook so that SQLite meets each failure as it would a
// real one) is counted, and the one numbered failAt fails with error.
struct FaultPlan {
    int failAt = 0, error = 0, calls = 0;  // failAt 0: nothing fails or is counted
    std::string site, trail;               // the call that failed ("": none); every call counted
} plan;

// Asked by every stand-in first: true (errno set) when this call fails.
bool strike(const char* call) {
    if (plan.failAt == 0) return false;
    plan.trail += (plan.trail.empty() ? "" : " ") + std::string(call);
    if (++plan.calls != plan.failAt) return false;
    plan.site = call;
    errno = plan.error;
    return true;
}

template <std::size_t N>
struct Name {
    constexpr Name(const char (&s)[N]) { std::copy_n(s, N, text); }
    char text[N];
};

// The call named N: fails as the real one would (-1 and errno) when the
// plan says so, else is the real one.
template <Name N, typename F>
struct StandIn;
template <Name N, typename R, typename... A>
struct StandIn<N, R(A...)> {
    static inline R (*real)(A...) = nullptr;
    static R call(A... a) { return strike(N.text) ? R(-1) : real(a...); }
};
template <Name N, typename R, typename... A>
auto standIn(R (*real)(A...)) {
    StandIn<N, R(A...)>::real = real;
    return &StandIn<N, R(A...)>::call;
}

SystemCalls faulty() {
    SystemCalls s = realSystemCalls();
#define TW_STAND(call) s.call = standIn<#call>(s.call)
    TW_STAND(open), TW_STAND(openat), TW_STAND(read), TW_STAND(pwrite), TW_STAND(fsync),
        TW_STAND(ftruncate), TW_STAND(fchmod), TW_STAND(fchown), TW_STAND(stat), TW_STAND(fstat),
        TW_STAND(mkdir), TW_STAND(fstatat), TW_STAND(renameat), TW_STAND(unlinkat), TW_STAND(flock),
        TW_STAND(fsetxattr);
    // As posix_fallocate, the error number is the answer.
    s.fallocate = [](int fd, off_t at, off_t n) {
        return strike("fallocate") ? plan.error : realSystemCalls().fallocate(fd, at, n);
    };
    // Linux closes the descriptor even when close reports an error.
    s.close = [](int fd) {
        const int result = realSystemCalls().close(fd);
        return strike("close") ? -1 : result;
    };
    return s;
}

// SQLite's calls, named "db." and the name of its hook.
template <Name N, typename F>
void hook(sqlite3_vfs* vfs) {
    const char* name = N.text + 3;
    auto* real = reinterpret_cast<F*>(vfs->xGetSystemCall(vfs, name));
    vfs->xSetSystemCall(vfs, name, reinterpret_cast<sqlite3_syscall_ptr>(standIn<N>(real)));
}
// While it lives, call failAt (from 1) of the backend and of SQLite fails
// with error; afterwards plan still tells what happened.
struct Faults {
    Faults(int failAt, int error) {
        plan = {failAt, error, 0, "", ""};
        systemCalls() = faulty();
        sqlite3_vfs* vfs = sqlite3_vfs_find("unix");
        hook<"db.open", int(const char*, int, int)>(vfs);
        hook<"db.pread64", ssize_t(int, void*, size_t, off_t)>(vfs);
        hook<"db.pwrite64", ssize_t(int, const void*, size_t, off_t)>(vfs);
        hook<"db.ftruncate", int(int, off_t)>(vfs);
        hook<"db.fstat", int(int, struct stat*)>(vfs);
    }
    ~Faults() {
        plan.failAt = 0;
        systemCalls() = realSystemCalls();
        sqlite3_vfs* vfs = sqlite3_vfs_find("unix");
        vfs->xSetSystemCall(vfs, nullptr, nullptr);
    }
};

// act's error number (0: none) with call n failing with error.
int failing(int n, int error, const std::function<void()>& act) {
    Faults faults(n, error);
    try {
        act();
    } catch (const Error& e) {
        return e.number();
    }
    return 0;
}

// Runs write(n, error) (non-zero: it reported a failure) with each of its
// calls failing in turn with each error, and check on each outcome.
void walk(std::initializer_list<int> errors, const std::function<int(int n, int error)>& write,
          const std::function<void(int)>& check) {
    for (const int error : errors) {
        for (int n = 1;; ++n) {
            ASSERT_LT(n, 1000) << "never finished";
            const int failed = write(n, error);
            SCOPED_TRACE("call " + std::to_string(n) + " (" + plan.site + "), errno " +
                         std::to_string(error) + ": " + plan.trail);
            check(failed);
            if (!plan.site.empty()) continue;
            EXPECT_EQ(failed, 0) << "nothing failed";
            break;
        }
    }
}

const std::string OldConfig = "[S]\r\n\r\n$J=3\r\n\r\n$L=C:\\OLD\r\nB=2\r\n\r\n";

TEST(SystemErrors, EachBecomesTheRuntimeErrorItMeans) {
    const struct {
        int error, whenOpening, whenReading;
    } rows[] = {{ENOTDIR, 76, 76}, {ELOOP, 76, 76},  {EACCES, 75, 70}, {EPERM, 75, 70},
                {EROFS, 75, 75},   {EISDIR, 75, 75}, {EBUSY, 75, 75},  {ETXTBSY, 75, 75},
                {ENOSPC, 61, 61},  {EDQUOT, 61, 61}, {EIO, 57, 57},    {ENXIO, 68, 68},
                {ENOMEM, 7, 7},    {EMFILE, 67, 67}, {EINVAL, 5, 5},   {ENOENT, 53, 53}};
    TempFolder temp;
    const fs::path cfg = temp.write("c64.cfg", OldConfig);
    const auto edit = [&] { twFunctions().ChangeConfigFile(u16(cfg), {{u"$J", u"1"}}); };
    failing(1000, 0, edit);  // counts the calls up to the first read
    const std::string trail = plan.trail;
    const int read = 1 + int(std::count(trail.begin(), trail.begin() + trail.find("read"), ' '));
    temp.write("c64.cfg", OldConfig);
    for (const auto& row : rows) {
        EXPECT_EQ(failing(1, row.error, edit), row.whenOpening) << row.error;
        EXPECT_EQ(failing(read, row.error, edit), row.whenReading) << row.error;
        EXPECT_EQ(contentOf(cfg), OldConfig);
    }
}

// The configuration editor (through a temporary file, or in place when the
// file has a second hard link, to a shorter and to a longer content), the
// PSID start song and the PSID reader: the file keeps its mode and
// attributes, and nothing is left beside it.
TEST(Faults, FileWriters) {
    const auto edit = [](const String& path) {
        return [path](const fs::path& file) {
            twFunctions().ChangeConfigFile(u16(file), {{u"$J", u"0"}, {u"$L", path}});
            return true;
        };
    };
    const String shorter = u"D:\\", longer = u"D:\\A LONGER PATH THAN BEFORE\\";
    const std::string tune = testing::psidHeader(5, 3, "N", "A", "C") + std::string(300, '\x60');
    const std::string saved = tune.substr(0, 17) + '\5' + tune.substr(18);
    const auto song = [](const fs::path& file) {
        return bool(twFunctions().SaveDefaultSidSong(u16(file), 5));
    };
    const auto info = [](const fs::path& file) {
        String texts[3];
        std::int16_t songs = 0, start = 0;
        return twFunctions().GetSidInfo(u16(file), texts[0], texts[1], texts[2], songs, start) &&
               texts[1] == String(u"A") + String(31, u'\0') && start == 3;
    };
    const struct {
        bool inPlace;
        std::string before, after;
        std::function<bool(const fs::path&)> write;
    } rows[] = {
        {false, OldConfig, "[S]\r\n$J=0\r\n$L=D:\\\r\nB=2\r\n", edit(shorter)},
        {true, OldConfig, "[S]\r\n$J=0\r\n$L=D:\\\r\nB=2\r\n", edit(shorter)},
        {false, OldConfig, "[S]\r\n$J=0\r\n$L=" + toUtf8(longer) + "\r\nB=2\r\n", edit(longer)},
        {true, OldConfig, "[S]\r\n$J=0\r\n$L=" + toUtf8(longer) + "\r\nB=2\r\n", edit(longer)},
        {false, tune, saved, song},
        {false, tune, tune, info}};
    const fs::perms mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    for (const auto& row : rows) {
        TempFolder temp;
        const fs::path file = temp / "file";
        walk(
            {ENOSPC, EIO, EACCES, EINTR, EOPNOTSUPP},
            [&](int n, int error) {
                temp.write("file", row.before);
                if (row.inPlace && !fs::exists(temp / "link"))
                    fs::create_hard_link(file, temp / "link");
                fs::permissions(file, mode);
                ::setxattr(file.c_str(), "user.origin", "x", 1, 0);
                bool done = false;
                return failing(n, error, [&] { done = row.write(file); }) || !done;
            },
            [&](int failed) {
                const std::string content = contentOf(file);
                EXPECT_TRUE(content == (failed ? row.before : row.after) ||
                            (failed && content == row.after));
                EXPECT_EQ(fs::status(file).permissions(), mode);
                EXPECT_EQ(::getxattr(file.c_str(), "user.origin", nullptr, 0), 1);
                EXPECT_EQ(testing::entries(temp.path()).size(), 1u + row.inPlace);
                // The old content put back in place is flushed like the new one.
                const std::string& trail = plan.trail;
                if (row.inPlace && plan.site == "pwrite") {
                    EXPECT_NE(trail.find("ftruncate fsync", trail.rfind("pwrite")),
                              std::string::npos);
                }
            });
    }
    // A tune marked read-only is not even opened.
    TempFolder temp;
    const fs::path file = temp.write("tune.sid", tune);
    fs::permissions(file, fs::perms::owner_read);
    failing(1000, EIO, [&] { EXPECT_FALSE(song(file)); });
    EXPECT_EQ(plan.trail.find("open"), std::string::npos) << plan.trail;
}

#ifdef TARNWICK_CLI
// SaveSetting; GetSetting writing its default for a missing value; and
// GetSetting with a default on a value that is there, which no failure may
// replace; each with the store opened in the call or already open. What
// another program then reads ("" for nothing) is the value before or after.
TEST(Faults, SettingsStoreWrites) {
    const String HKCU = u"HKEY_CURRENT_USER", Key = u"K";
    TempFolder temp;
    const auto command = [](const fs::path& store, const std::string& args) {
        return testing::runChild({"/bin/sh", "-c",
                                  "TARNWICK_REGISTRY=" + store.string() + " " + TARNWICK_CLI +
                                      " reg " + args + " 2>/dev/null"});
    };
    const fs::path original = temp / "original.sqlite";
    ASSERT_EQ(command(original, "set HKEY_CURRENT_USER K Name old").status, 0);
    const struct {
        String name;
        std::string before, after;
    } calls[] = {
        {u"Name", "old\n", "new\n"}, {u"Fresh", "", "default\n"}, {u"Name", "old\n", "old\n"}};
    int round = 0;
    for (const bool warm : {false, true}) {
        for (const auto& call : calls) {
            fs::path database;
            walk(
                {ENOSPC, EIO, EACCES},
                [&](int n, int error) {
                    fs::remove_all(database.parent_path());
                    database = temp / std::to_string(++round) / "registry.sqlite";
                    fs::create_directories(database.parent_path());
                    fs::copy_file(original, database);
                    PosixOptions options;
                    options.registryFile = database.string();
                    PosixPlatform host(options);
                    twRegistry reg(host);
                    Variant value;
                    if (warm) reg.GetSetting(HKCU, Key, u"Other", value, true);
                    Boolean done = false;
                    failing(n, error, [&] {
                        done = &call == calls
                                   ? reg.SaveSetting(HKCU, Key, call.name, u"new", true)
                                   : reg.GetSetting(HKCU, Key, call.name, value, true, u"default");
                    });
                    return done && (&call == calls || toUtf8(value.toString()) + "\n" == call.after)
                               ? 0
                               : 1;
                },
                [&](int failed) {
                    const std::string seen =
                        command(database, "get HKEY_CURRENT_USER K " + toUtf8(call.name)).output;
                    EXPECT_TRUE(seen == call.after || (failed && seen == call.before)) << seen;
                });
        }
    }
}
#endif

}  // namespace
}  // namespace tarnwick
