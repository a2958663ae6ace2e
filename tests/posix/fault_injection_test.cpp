// The writers of user data (the configuration editor, the PSID start song,
// the settings store) made to fail at each of their calls to the file
// system in turn, with the errors a disk gives (full, broken, permission
// lost). After each run the file holds its old content or, where the
// failure came after the new content was in place, the new one whole; no
// temporary file is left; a success is reported only for the new content.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <set>
#include <sstream>

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
using testing::entries;
using testing::faultPlan;
using testing::TempFolder;
using testing::u16;
namespace fs = std::filesystem;
const int Errors[] = {ENOSPC, EIO, EACCES};

// Runs act with call n failing with error; act's error number (0: none).
int failing(int n, int error, const std::function<void()>& act, bool refuseNewFiles = false) {
    testing::FaultySystemCalls faults;
    faultPlan().refuseNewFiles = refuseNewFiles;
    faultPlan().arm(n, error);
    int number = 0;
    try {
        act();
    } catch (const Error& e) {
        number = e.number();
    }
    faultPlan().disarm();
    faultPlan().refuseNewFiles = false;
    return number;
}

const std::string OldConfig = "[S]\r\n\r\n$J=3\r\n\r\n$L=C:\\OLD\r\nB=2\r\n\r\n";

TEST(SystemErrors, EachBecomesTheRuntimeErrorItMeans) {
    struct Row {
        int error, whenOpening, whenReading;
    } rows[] = {{ENOTDIR, 76, 76}, {ELOOP, 76, 76}, {EACCES, 75, 70}, {EROFS, 75, 75},
                {EISDIR, 75, 75},  {EBUSY, 75, 75}, {ENOSPC, 61, 61}, {EDQUOT, 61, 61},
                {EIO, 57, 57},     {ENXIO, 68, 68}, {ENOMEM, 7, 7},   {EMFILE, 67, 67},
                {EINVAL, 5, 5},    {ENOENT, 53, 53}};
    TempFolder temp;
    const fs::path cfg = temp.write("c64.cfg", OldConfig);
    twFunctions f;
    const auto edit = [&] { f.ChangeConfigFile(u16(cfg), {{u"$J", u"1"}}); };
    // The number of the first read, from a run where nothing fails.
    failing(1000, 0, edit);
    std::istringstream calls(faultPlan().trail());
    int read = 1;
    for (std::string call; calls >> call && call != "read";) ++read;
    temp.write("c64.cfg", OldConfig);
    for (const Row& row : rows) {
        EXPECT_EQ(failing(1, row.error, edit), row.whenOpening) << row.error;
        EXPECT_EQ(failing(read, row.error, edit), row.whenReading) << row.error;
        EXPECT_EQ(contentOf(cfg), OldConfig);
    }
}

// Walks write through a failure at each call; check sees each outcome.
void walk(const std::function<int(int n, int error)>& write, const std::function<void(int)>& check,
          std::size_t leastSites) {
    for (const int error : Errors) {
        std::set<std::string> sites;
        for (int n = 1;; ++n) {
            ASSERT_LT(n, 400) << "never finished";
            const int number = write(n, error);
            SCOPED_TRACE("call " + std::to_string(n) + ", " + faultPlan().site() + ", errno " +
                         std::to_string(error) + ": " + faultPlan().trail());
            check(number);
            if (faultPlan().site().empty()) break;
            sites.insert(faultPlan().site());
        }
        EXPECT_GE(sites.size(), leastSites) << error;
    }
}

TEST(Faults, ChangeConfigFileThroughATemporaryFileOrInPlace) {
    for (const bool inPlace : {false, true}) {
        for (const String& path : {String(u"D:\\"), String(u"D:\\A LONGER PATH THAN BEFORE\\")}) {
            const std::string newConfig = "[S]\r\n$J=0\r\n$L=" + toUtf8(path) + "\r\nB=2\r\n";
            TempFolder temp;
            const fs::path cfg = temp / "c64.cfg";
            walk(
                [&](int n, int error) {
                    temp.write("c64.cfg", OldConfig);
                    fs::permissions(cfg, fs::perms::owner_read | fs::perms::owner_write |
                                             fs::perms::group_read);
                    ::setxattr(cfg.c_str(), "user.origin", "x", 1, 0);
                    twFunctions f;
                    return failing(
                        n, error,
                        [&] {
                            f.ChangeConfigFile(u16(cfg), {{u"$J", u"0"}, {u"$L", path}});
                        },
                        inPlace);
                },
                [&](int number) {
                    const std::string content = contentOf(cfg);
                    EXPECT_TRUE(content == (number ? OldConfig : newConfig) ||
                                (number && content == newConfig));
                    EXPECT_EQ(fs::status(cfg).permissions(), fs::perms::owner_read |
                                                                 fs::perms::owner_write |
                                                                 fs::perms::group_read);
                    EXPECT_EQ(entries(temp.path()), std::vector<std::string>{"c64.cfg"});
                    EXPECT_EQ(::getxattr(cfg.c_str(), "user.origin", nullptr, 0), 1);
                    // A rollback in place is flushed like the content it restores.
                    const std::string& trail = faultPlan().trail();
                    if (inPlace && faultPlan().site() == "pwrite") {
                        EXPECT_NE(trail.find("ftruncate fsync", trail.rfind("pwrite")),
                                  std::string::npos);
                    }
                },
                inPlace ? 9 : 12);
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
            twFunctions f;
            bool done = false;
            failing(n, error, [&] { done = bool(f.SaveDefaultSidSong(u16(file), 5)); });
            return done ? 0 : 1;
        },
        [&](int failed) {
            EXPECT_TRUE(contentOf(file) == (failed ? tune : saved) ||
                        (failed && contentOf(file) == saved));
            EXPECT_EQ(entries(temp.path()), std::vector<std::string>{"tune.sid"});
        },
        6);
    // A tune marked read-only is not even opened.
    temp.write("tune.sid", tune);
    fs::permissions(file, fs::perms::owner_read);
    twFunctions f;
    failing(1000, EIO, [&] { EXPECT_FALSE(f.SaveDefaultSidSong(u16(file), 5)); });
    EXPECT_EQ(faultPlan().trail().find("open"), std::string::npos) << faultPlan().trail();
}

const String HKCU = u"HKEY_CURRENT_USER", Key = u"Software\\Tarnwick\\Faults";

// The value as another process reads it: "--NOT-FOUND--" when not there.
std::string seenElsewhere(const fs::path& database, const std::string& name) {
    const testing::Finished got =
        testing::runChild({TARNWICK_REGISTRY_WORKER, "get", toUtf8(Key), name},
                          {"TARNWICK_REGISTRY=" + database.string()});
    EXPECT_EQ(got.status, 0) << "the worker could not read " << name;
    return got.output.substr(0, got.output.find('\n'));
}

// The settings store in the one file given, as a program using it sees it.
struct StoreAt {
    explicit StoreAt(const fs::path& file)
        : host([&] {
              PosixOptions options;
              options.registryFile = file.string();
              return options;
          }()) {}
    PosixPlatform host;
    twRegistry reg{host};
};

// SaveSetting, and GetSetting writing its default, with the store opened
// in the call (cold) or already open (warm).
TEST(Faults, SettingsStoreWrites) {
    testing::installFaultyVfs();
    TempFolder temp;
    const fs::path original = temp / "original.sqlite";
    ASSERT_EQ(testing::runChild({TARNWICK_REGISTRY_WORKER, "set", toUtf8(Key), "Name", "old"},
                                {"TARNWICK_REGISTRY=" + original.string()})
                  .status,
              0);
    int round = 0;
    for (const bool warm : {false, true}) {
        for (const char* name : {"Name", "Fresh"}) {
            fs::path database;
            bool answer = false;
            walk(
                [&](int n, int error) {
                    database = temp / std::to_string(++round) / "registry.sqlite";
                    fs::create_directories(database.parent_path());
                    fs::copy_file(original, database);
                    // A store that cannot be opened (its folder is a file) drops
                    // the process's connection to the last one.
                    StoreAt(temp.write("blocker") / "r.sqlite")
                        .reg.SaveSetting(HKCU, Key, u"X", u"", true);
                    StoreAt store(database);
                    Variant value;
                    if (warm) store.reg.GetSetting(HKCU, Key, u"Other", value, true);
                    failing(n, error, [&] {
                        answer = bool(name == std::string("Name")
                                          ? store.reg.SaveSetting(HKCU, Key, u"Name", u"new", true)
                                          : store.reg.GetSetting(HKCU, Key, u"Fresh", value, true,
                                                                 Variant(u"default")));
                    });
                    return answer ? 0 : 1;
                },
                [&](int failed) {
                    const std::string seen = seenElsewhere(database, name);
                    const std::string after = name == std::string("Name") ? "new" : "default";
                    const std::string before =
                        name == std::string("Name") ? "old" : "--NOT-FOUND--";
                    EXPECT_TRUE(seen == after || (failed && seen == before)) << seen;
                },
                warm ? 2 : 8);
        }
    }
}

}  // namespace
}  // namespace tarnwick
