// The writers of user data (the configuration editor, the PSID start song,
// the settings store) made to fail at each of their calls to the file
// system in turn, with the errors a disk gives (full, broken, permission
// lost). After each run the file holds its old content or, where the
// failure came after the new content was in place, the new one whole;
// nothing is left beside it; a success is reported only for the new
// content; and the run that meets no failure succeeds.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <algorithm>
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
// calls failing in turn, and check on each outcome.
void walk(const std::function<int(int n, int error)>& write,
          const std::function<void(int)>& check) {
    for (const int error : {ENOSPC, EIO, EACCES}) {
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
    } rows[] = {{ENOTDIR, 76, 76}, {ELOOP, 76, 76}, {EACCES, 75, 70}, {EROFS, 75, 75},
                {EISDIR, 75, 75},  {EBUSY, 75, 75}, {ENOSPC, 61, 61}, {EDQUOT, 61, 61},
                {EIO, 57, 57},     {ENXIO, 68, 68}, {ENOMEM, 7, 7},   {EMFILE, 67, 67},
                {EINVAL, 5, 5},    {ENOENT, 53, 53}};
    TempFolder temp;
    const fs::path cfg = temp.write("c64.cfg", OldConfig);
    const auto edit = [&] { twFunctions().ChangeConfigFile(u16(cfg), {{u"$J", u"1"}}); };
    // The number of the first read, from a run where nothing fails.
    failing(1000, 0, edit);
    const std::string trail = faultPlan().trail;
    const int read = 1 + int(std::count(trail.begin(), trail.begin() + trail.find("read"), ' '));
    temp.write("c64.cfg", OldConfig);
    for (const auto& row : rows) {
        EXPECT_EQ(failing(1, row.error, edit), row.whenOpening) << row.error;
        EXPECT_EQ(failing(read, row.error, edit), row.whenReading) << row.error;
        EXPECT_EQ(contentOf(cfg), OldConfig);
    }
}

TEST(Faults, ChangeConfigFileThroughATemporaryFileOrInPlace) {
    const fs::perms mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    for (const bool inPlace : {false, true}) {
        for (const String& path : {String(u"D:\\"), String(u"D:\\A LONGER PATH THAN BEFORE\\")}) {
            const std::string newConfig = "[S]\r\n$J=0\r\n$L=" + toUtf8(path) + "\r\nB=2\r\n";
            TempFolder temp;
            const fs::path cfg = temp / "c64.cfg";
            const auto edit = [&] {
                twFunctions().ChangeConfigFile(u16(cfg), {{u"$J", u"0"}, {u"$L", path}});
            };
            walk(
                [&](int n, int error) {
                    temp.write("c64.cfg", OldConfig);
                    fs::permissions(cfg, mode);
                    ::setxattr(cfg.c_str(), "user.origin", "x", 1, 0);
                    return failing(n, error, edit, inPlace);
                },
                [&](int failed) {
                    const std::string content = contentOf(cfg);
                    EXPECT_TRUE(content == (failed ? OldConfig : newConfig) ||
                                (failed && content == newConfig));
                    EXPECT_EQ(fs::status(cfg).permissions(), mode);
                    EXPECT_EQ(testing::entries(temp.path()), std::vector<std::string>{"c64.cfg"});
                    EXPECT_EQ(::getxattr(cfg.c_str(), "user.origin", nullptr, 0), 1);
                    // The old content put back in place is flushed like the new one.
                    const std::string& trail = faultPlan().trail;
                    if (inPlace && faultPlan().site == "pwrite") {
                        EXPECT_NE(trail.find("ftruncate fsync", trail.rfind("pwrite")),
                                  std::string::npos);
                    }
                });
        }
    }
}

TEST(Faults, SaveDefaultSidSong) {
    const std::string tune = testing::psidHeader(5, 3, "N", "A", "C") + std::string(300, '\x60');
    std::string saved = tune;
    saved[17] = 5;
    TempFolder temp;
    const fs::path file = temp / "tune.sid";
    walk(
        [&](int n, int error) {
            temp.write("tune.sid", tune);
            bool done = false;
            failing(n, error, [&] { done = bool(twFunctions().SaveDefaultSidSong(u16(file), 5)); });
            return done ? 0 : 1;
        },
        [&](int failed) {
            EXPECT_TRUE(contentOf(file) == (failed ? tune : saved) ||
                        (failed && contentOf(file) == saved));
            EXPECT_EQ(testing::entries(temp.path()), std::vector<std::string>{"tune.sid"});
        });
    // A tune marked read-only is not even opened.
    temp.write("tune.sid", tune);
    fs::permissions(file, fs::perms::owner_read);
    failing(1000, EIO, [&] { EXPECT_FALSE(twFunctions().SaveDefaultSidSong(u16(file), 5)); });
    EXPECT_EQ(faultPlan().trail.find("open"), std::string::npos) << faultPlan().trail;
}

#ifdef TARNWICK_CLI
// SaveSetting, and GetSetting writing its default, with the store opened
// in the call (cold) or already open (warm); what another program then
// reads ("" for nothing) is the value before or after.
TEST(Faults, SettingsStoreWrites) {
    const String HKCU = u"HKEY_CURRENT_USER", Key = u"Software\\Tarnwick";
    TempFolder temp;
    const auto command = [](const fs::path& store, std::vector<std::string> args) {
        args.insert(args.begin(),
                    {"/usr/bin/env", "TARNWICK_REGISTRY=" + store.string(), TARNWICK_CLI, "reg"});
        return testing::runChild(args);
    };
    const fs::path original = temp / "original.sqlite";
    ASSERT_EQ(
        command(original, {"set", "HKEY_CURRENT_USER", "Software\\Tarnwick", "Name", "old"}).status,
        0);
    int round = 0;
    for (const bool warm : {false, true}) {
        for (const bool save : {true, false}) {
            const std::string name = save ? "Name" : "Fresh", before = save ? "old\n" : "",
                              after = save ? "new\n" : "default\n";
            fs::path database;
            walk(
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
                        done = save ? reg.SaveSetting(HKCU, Key, u"Name", u"new", true)
                                    : reg.GetSetting(HKCU, Key, u"Fresh", value, true,
                                                     Variant(u"default"));
                    });
                    return done ? 0 : 1;
                },
                [&](int failed) {
                    const std::string seen =
                        command(database, {"get", "HKEY_CURRENT_USER", "Software\\Tarnwick", name})
                            .output;
                    EXPECT_TRUE(seen == after || (failed && seen == before)) << seen;
                });
        }
    }
}
#endif

}  // namespace
}  // namespace tarnwick
