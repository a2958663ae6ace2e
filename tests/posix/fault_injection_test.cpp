// The writers of user data (the configuration editor, the PSID start song,
// the settings store) made to fail at each of their calls to the file
// system in turn, with the errors a disk gives (full, broken, permission
// lost, interrupted, unsupported). After each run the file holds its old
// content or, where the failure came after the new content was in place,
// the new one whole; nothing is left beside it; a success is reported only
// for the new content; and the run that meets no failure succeeds.
#include <gtest/gtest.h>
#include <sys/xattr.h>

#include <functional>

#include "platform/posix/posix_platform.h"
#include "posix/path_text.h"
#include "support/child_process.h"
#include "support/fault_injection.h"
#include "support/psid_bytes.h"
#include "support/temp_folder.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using testing::contentOf;
using testing::faultPlan;
using testing::TempFolder;
using testing::u16;
namespace fs = std::filesystem;

// act's error number (0: none) with call n failing with error.
int failing(int n, int error, const std::function<void()>& act, bool refuseNewFiles = false) {
    testing::Faults faults(n, error, refuseNewFiles);
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
            SCOPED_TRACE("call " + std::to_string(n) + " (" + faultPlan().site + "), errno " +
                         std::to_string(error) + ": " + faultPlan().trail);
            check(failed);
            if (!faultPlan().site.empty()) continue;
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
    const std::string trail = faultPlan().trail;
    const int read = 1 + int(std::count(trail.begin(), trail.begin() + trail.find("read"), ' '));
    temp.write("c64.cfg", OldConfig);
    for (const auto& row : rows) {
        EXPECT_EQ(failing(1, row.error, edit), row.whenOpening) << row.error;
        EXPECT_EQ(failing(read, row.error, edit), row.whenReading) << row.error;
        EXPECT_EQ(contentOf(cfg), OldConfig);
    }
}

// The configuration editor (through a temporary file, or in place when no
// new file may be made, to a shorter and to a longer content), the PSID
// start song and the PSID reader: the file keeps its mode and attributes,
// and nothing is left beside it.
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
                fs::permissions(file, mode);
                ::setxattr(file.c_str(), "user.origin", "x", 1, 0);
                bool done = false;
                return failing(n, error, [&] { done = row.write(file); }, row.inPlace) || !done;
            },
            [&](int failed) {
                const std::string content = contentOf(file);
                EXPECT_TRUE(content == (failed ? row.before : row.after) ||
                            (failed && content == row.after));
                EXPECT_EQ(fs::status(file).permissions(), mode);
                EXPECT_EQ(::getxattr(file.c_str(), "user.origin", nullptr, 0), 1);
                EXPECT_EQ(testing::entries(temp.path()), std::vector<std::string>{"file"});
                // The old content put back in place is flushed like the new one.
                const std::string& trail = faultPlan().trail;
                if (row.inPlace && faultPlan().site == "pwrite") {
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
    EXPECT_EQ(faultPlan().trail.find("open"), std::string::npos) << faultPlan().trail;
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
