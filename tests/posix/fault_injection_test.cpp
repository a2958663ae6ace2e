// The three writers of user data (the configuration editor, the PSID start
// song, the settings store) made to fail at each of their calls to the file
// system in turn: call 1 fails, then call 2, and so on until a run makes
// fewer calls than the number that was to fail. After every such run the
// file or setting holds its old content or, where the failure came after
// the new content was in place, the new content whole; no temporary file is
// left; and the method reports the failure the way it reports any other.
//
// The failures are those a disk gives: full (ENOSPC), broken (EIO), and a
// permission lost between the checks and the writing (EACCES, EPERM).
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
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
using testing::FaultySystemCalls;
using testing::TempFolder;
using testing::u16;
namespace fs = std::filesystem;

// Bytes as a C string literal would show them, for messages.
std::string shown(const std::string& bytes) {
    std::string out;
    for (const unsigned char c : bytes) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c < 32 || c > 126) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else
            out += static_cast<char>(c);
    }
    return out;
}

std::string errnoName(int error) {
    switch (error) {
        case ENOSPC:
            return "ENOSPC";
        case EIO:
            return "EIO";
        case EACCES:
            return "EACCES";
        case EPERM:
            return "EPERM";
    }
    return std::to_string(error);
}

std::string nameOf(const ::testing::TestParamInfo<int>& info) {
    return errnoName(info.param);
}

// What one walk did, printed for the record and checked for substance: a
// walk that failed only one or two calls would prove nothing.
struct Tally {
    Tally(std::string what, int errorNumber) : writer(std::move(what)), error(errorNumber) {}

    std::string writer;
    int error = 0;
    int failedCalls = 0;
    std::set<std::string> sites;
    std::set<std::string> calls;
    int newContentAfterFailure = 0;

    void add(const std::string& site) {
        ++failedCalls;
        sites.insert(site);
        calls.insert(site.substr(0, site.find('#')));
    }
    void print() const {
        std::string kinds;
        for (const std::string& c : calls) kinds += (kinds.empty() ? "" : " ") + c;
        std::printf(
            "[ faults   ] %s, %s: %d calls failed in turn, %zu sites, %zu kinds of call (%s)",
            writer.c_str(), errnoName(error).c_str(), failedCalls, sites.size(), calls.size(),
            kinds.c_str());
        if (newContentAfterFailure)
            std::printf(", %d after the new content was in place", newContentAfterFailure);
        std::printf("\n");
    }
};

constexpr int MostCalls = 400;

// ---------------------------------------------------------------------------
// The configuration editor.

// The old file has empty lines the rewrite drops, so that the new content
// is shorter and a rewrite cut short, or one left with the old file's tail,
// is told from both.
const std::string OldConfig =
    "[Settings]\r\n\r\n$JOYSTICK1PC=3\r\n\r\n$LOADPATH=C:\\GAMES\\OLD\r\nB=2\r\n\r\n\r\n";
const std::string NewConfig = "[Settings]\r\n$JOYSTICK1PC=0\r\n$LOADPATH=D:\\\r\nB=2\r\n";
// And an edit that makes it longer, so that room reserved for the new
// content and not filled is told from the old content too.
const String LongPath = u"D:\\COMMODORE 64\\GAMES\\COLLECTION\\";
const std::string LongerConfig =
    "[Settings]\r\n$JOYSTICK1PC=0\r\n$LOADPATH=D:\\COMMODORE 64\\GAMES\\COLLECTION\\\r\nB=2\r\n";
constexpr fs::perms ConfigMode =
    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;

// The numbers an errno may be reported as: as a failed open reports it, or
// as any other failed call does.
std::set<int> numbersFor(int error, const fs::path& file) {
    return {errorFromErrno(error).number(), openError(error, file.string()).number()};
}

// Every error the system may give, as the editor reports it: a failed open
// names the file's state (53, 76, 75), any other failed call the device's
// (57, 61, 68, ...).
TEST(SystemErrors, EachBecomesTheRuntimeErrorItMeans) {
    struct Case {
        int error;
        std::int32_t whenOpening, whenReading;
    };
    const Case cases[] = {
        {ENOTDIR, 76, 76}, {ENAMETOOLONG, 76, 76}, {ELOOP, 76, 76},  {EACCES, 75, 70},
        {EPERM, 75, 70},   {EROFS, 75, 75},        {EISDIR, 75, 75}, {ETXTBSY, 75, 75},
        {EBUSY, 75, 75},   {EEXIST, 75, 75},       {ENOSPC, 61, 61}, {EDQUOT, 61, 61},
        {EFBIG, 61, 61},   {EIO, 57, 57},          {ENXIO, 68, 68},  {ENODEV, 68, 68},
        {ENOMEM, 7, 7},    {EMFILE, 67, 67},       {ENFILE, 67, 67}, {EINVAL, 5, 5}};
    TempFolder temp;
    const fs::path cfg = temp.write("c64.cfg", OldConfig);
    PosixPlatform host;
    twFunctions f{host};
    for (const Case& c : cases) {
        for (const int call : {1, 2}) {
            std::int32_t number = 0;
            {
                FaultySystemCalls faults;
                faultPlan().arm(call, c.error);
                try {
                    f.ChangeConfigFile(u16(cfg), {{u"$A", u"1"}});
                } catch (const Error& e) {
                    number = e.number();
                }
                faultPlan().disarm();
            }
            ASSERT_EQ(faultPlan().call(), call == 1 ? "open" : "read");
            EXPECT_EQ(number, call == 1 ? c.whenOpening : c.whenReading)
                << errnoName(c.error) << " in " << faultPlan().call();
            EXPECT_EQ(contentOf(cfg), OldConfig);
        }
    }
}

class ConfigFileFaults : public ::testing::TestWithParam<int> {
  protected:
    // Walks ChangeConfigFile through a failure at each call. Without
    // folderWritable, no new file may be made in the folder, so the editor
    // rewrites the file in place.
    Tally walk(bool folderWritable, bool longer) {
        const std::string& newConfig = longer ? LongerConfig : NewConfig;
        Tally tally{
            std::string(folderWritable ? "ChangeConfigFile" : "ChangeConfigFile (in place)") +
                (longer ? ", file grows" : ", file shrinks"),
            GetParam()};
        for (int n = 1; n <= MostCalls; ++n) {
            TempFolder temp;
            const fs::path cfg = temp.write("c64.cfg", OldConfig);
            fs::permissions(cfg, ConfigMode);
            PosixPlatform host;
            twFunctions f{host};
            int number = 0;
            {
                FaultySystemCalls faults;
                faultPlan().refuseNewFiles(!folderWritable);
                faultPlan().arm(n, GetParam());
                try {
                    f.ChangeConfigFile(u16(cfg), {{u"$JOYSTICK1PC", u"0"},
                                                  {u"$LOADPATH", longer ? LongPath : u"D:\\"}});
                } catch (const Error& e) {
                    number = e.number();
                }
                faultPlan().disarm();
                faultPlan().refuseNewFiles(false);
            }
            const std::string content = contentOf(cfg);
            if (!faultPlan().struck()) {
                // The run made fewer than n calls: it is the whole of them.
                EXPECT_EQ(number, 0);
                EXPECT_EQ(shown(content), shown(newConfig));
                return tally;
            }
            const std::string site = faultPlan().site();
            tally.add(site);
            SCOPED_TRACE("call " + std::to_string(n) + " (" + site + ") failed with " +
                         errnoName(GetParam()));
            EXPECT_TRUE(content == OldConfig || content == newConfig) << shown(content);
            EXPECT_EQ(fs::status(cfg).permissions(), ConfigMode);
            EXPECT_EQ(entries(temp.path()), std::vector<std::string>{"c64.cfg"});
            if (number == 0) {
                EXPECT_EQ(shown(content), shown(newConfig)) << "success reported";
            } else {
                EXPECT_EQ(numbersFor(GetParam(), cfg).count(number), 1u) << "error " << number;
                if (content == newConfig) ++tally.newContentAfterFailure;
            }
        }
        ADD_FAILURE() << "the editor never finished within " << MostCalls << " calls";
        return tally;
    }
};

TEST_P(ConfigFileFaults, ThroughATemporaryFile) {
    ASSERT_LT(NewConfig.size(), OldConfig.size());
    ASSERT_GT(LongerConfig.size(), OldConfig.size());
    for (const bool longer : {false, true}) {
        const Tally tally = walk(true, longer);
        tally.print();
        // Reading, checking, the temporary file's making, writing, flushing and
        // closing, the rename, the folder's flush.
        EXPECT_GE(tally.sites.size(), 12u);
        for (const char* call : {"open", "read", "stat", "pwrite", "fsync", "close", "rename"})
            EXPECT_EQ(tally.calls.count(call), 1u) << call;
    }
}

TEST_P(ConfigFileFaults, InPlaceWhenTheFolderMayNotBeWritten) {
    for (const bool longer : {false, true}) {
        const Tally tally = walk(false, longer);
        tally.print();
        EXPECT_GE(tally.sites.size(), 10u);
        for (const char* call :
             {"open", "read", "fallocate", "pwrite", "ftruncate", "fsync", "close"})
            EXPECT_EQ(tally.calls.count(call), 1u) << call;
    }
}

INSTANTIATE_TEST_SUITE_P(Errors, ConfigFileFaults, ::testing::Values(ENOSPC, EIO, EACCES, EPERM),
                         nameOf);

// ---------------------------------------------------------------------------
// The PSID start song.

class SidSongFaults : public ::testing::TestWithParam<int> {};

TEST_P(SidSongFaults, SaveDefaultSidSong) {
    const std::string oldTune = testing::psidHeader(5, 3, "Tarnwick Sampler", "Tarnwick", "2024") +
                                std::string(300, '\x60');
    std::string newTune = oldTune;
    newTune[17] = 5;
    constexpr fs::perms mode = fs::perms::owner_read | fs::perms::owner_write;

    Tally tally{"SaveDefaultSidSong", GetParam()};
    for (int n = 1; n <= MostCalls; ++n) {
        TempFolder temp;
        const fs::path tune = temp.write("sampler.sid", oldTune);
        fs::permissions(tune, mode);
        PosixPlatform host;
        twFunctions f{host};
        bool saved = false;
        {
            FaultySystemCalls faults;
            faultPlan().arm(n, GetParam());
            saved = static_cast<bool>(f.SaveDefaultSidSong(u16(tune), 5));
            faultPlan().disarm();
        }
        const std::string content = contentOf(tune);
        if (!faultPlan().struck()) {
            EXPECT_TRUE(saved);
            EXPECT_EQ(shown(content), shown(newTune));
            break;
        }
        tally.add(faultPlan().site());
        SCOPED_TRACE("call " + std::to_string(n) + " (" + faultPlan().site() + ") failed");
        EXPECT_TRUE(content == oldTune || content == newTune) << shown(content.substr(0, 20));
        EXPECT_EQ(fs::status(tune).permissions(), mode);
        EXPECT_EQ(entries(temp.path()), std::vector<std::string>{"sampler.sid"});
        if (saved) {
            EXPECT_EQ(shown(content), shown(newTune)) << "success reported";
        }
        if (!saved && content == newTune) ++tally.newContentAfterFailure;
        // The tune reads as whole whatever happened.
        std::int16_t songs = 0, song = 0;
        EXPECT_TRUE(f.GetSidSongInfo(u16(tune), songs, song));
        EXPECT_EQ(songs, 5);
        EXPECT_TRUE(song == 3 || song == 5) << song;
    }
    tally.print();
    EXPECT_GE(tally.sites.size(), 7u);
    for (const char* call : {"open", "read", "pwrite", "fsync", "close"})
        EXPECT_EQ(tally.calls.count(call), 1u) << call;
}

INSTANTIATE_TEST_SUITE_P(Errors, SidSongFaults, ::testing::Values(ENOSPC, EIO, EACCES, EPERM),
                         nameOf);

// ---------------------------------------------------------------------------
// The settings store.

const String HKCU = u"HKEY_CURRENT_USER";
const String Key = u"Software\\Tarnwick\\Faults";
const std::string KeyUtf8 = "Software\\Tarnwick\\Faults";

// The value as another process reads it, "--NOT-FOUND--" when it is not
// there ("" and a message when the other process fails).
std::string valueSeenElsewhere(const fs::path& database, const std::string& name) {
    const testing::Finished got =
        testing::runChild({TARNWICK_REGISTRY_WORKER, "get", KeyUtf8, name},
                          {"TARNWICK_REGISTRY=" + database.string()});
    EXPECT_EQ(got.status, 0) << "the worker could not read " << name;
    std::string value = got.output;
    if (!value.empty() && value.back() == '\n') value.pop_back();
    return value;
}

std::string integrityOf(const fs::path& database) {
    sqlite3* db = nullptr;
    std::string answer;
    if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, "unix") == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &s, nullptr) == SQLITE_OK) {
            while (sqlite3_step(s) == SQLITE_ROW)
                answer += reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
        }
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return answer;
}

// One round on the store: a copy of a store that holds Name = "old value",
// a process connection to it that is either new (cold: the failure may
// strike while the store is opened) or already open (warm: it strikes in
// the write or the read itself).
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

class RegistryFaults : public ::testing::TestWithParam<int> {
  protected:
    static void SetUpTestSuite() { testing::installFaultyVfs(); }

    void SetUp() override {
        original = temp / "original.sqlite";
        const testing::Finished made =
            testing::runChild({TARNWICK_REGISTRY_WORKER, "set", KeyUtf8, "Name", "old value"},
                              {"TARNWICK_REGISTRY=" + original.string()});
        ASSERT_EQ(made.status, 0);
        // The worker's connection closed with it: one file holds it all.
        ASSERT_EQ(entries(temp.path()), std::vector<std::string>{"original.sqlite"});
        letGo();
    }

    fs::path freshCopy(const std::string& round) {
        const fs::path folder = temp / round;
        fs::create_directories(folder);
        fs::copy_file(original, folder / "registry.sqlite");
        return folder / "registry.sqlite";
    }

    // Ends this process's connection to the round's store, so that the store
    // is closed as a program leaving would close it. The process keeps one
    // connection, to the file last used; asking for a store that cannot be
    // opened (its folder is a file) drops it and opens none in its place, so
    // the next round starts with no connection at all.
    void letGo() {
        if (!fs::exists(temp / "blocker")) temp.write("blocker");
        StoreAt store(temp / "blocker" / "registry.sqlite");
        Variant ignored;
        ASSERT_FALSE(store.reg.GetSetting(HKCU, Key, u"Name", ignored, true));
    }

    // The store after the round: whole, holding the value expected, nothing
    // beside it in its folder once closed.
    void expectWhole(const fs::path& database, const std::string& name,
                     const std::set<std::string>& allowed) {
        letGo();
        EXPECT_EQ(entries(database.parent_path()), std::vector<std::string>{"registry.sqlite"});
        EXPECT_EQ(integrityOf(database), "ok");
        const std::string seen = valueSeenElsewhere(database, name);
        EXPECT_EQ(allowed.count(seen), 1u) << name << " = " << seen;
        EXPECT_EQ(valueSeenElsewhere(database, "Name"), name == "Name" ? seen : "old value");
    }

    TempFolder temp;
    fs::path original;
};

TEST_P(RegistryFaults, SaveSetting) {
    for (const bool warm : {false, true}) {
        Tally tally{warm ? "SaveSetting (store open)" : "SaveSetting (store closed)", GetParam()};
        for (int n = 1; n <= MostCalls; ++n) {
            const fs::path database =
                freshCopy(std::string(warm ? "warm" : "cold") + std::to_string(n));
            StoreAt store(database);
            twRegistry& reg = store.reg;
            Variant before;
            if (warm) {
                ASSERT_TRUE(reg.GetSetting(HKCU, Key, u"Name", before, true));
            }
            bool saved = false;
            {
                FaultySystemCalls faults;
                testing::installFaultyVfs();
                faultPlan().arm(n, GetParam());
                saved = static_cast<bool>(reg.SaveSetting(HKCU, Key, u"Name", u"new value", true));
                faultPlan().disarm();
            }
            if (!faultPlan().struck()) {
                EXPECT_TRUE(saved);
                expectWhole(database, "Name", {"new value"});
                break;
            }
            tally.add(faultPlan().site());
            SCOPED_TRACE("call " + std::to_string(n) + " (" + faultPlan().site() + ") failed");
            // What this process reads now is what is stored, and the store
            // takes the next write.
            Variant now;
            EXPECT_TRUE(reg.GetSetting(HKCU, Key, u"Name", now, true));
            const std::string value = toUtf8(now.toString());
            if (saved) {
                EXPECT_EQ(value, "new value") << "success reported";
            } else {
                EXPECT_TRUE(value == "old value" || value == "new value") << value;
            }
            if (!saved && value == "new value") ++tally.newContentAfterFailure;
            EXPECT_TRUE(reg.SaveSetting(HKCU, Key, u"Next", u"next value", true));
            expectWhole(database, "Name", {value});
            EXPECT_EQ(valueSeenElsewhere(database, "Next"), "next value");
        }
        tally.print();
        EXPECT_GE(tally.sites.size(), warm ? 8u : 30u);
        for (const char* call : {"xWrite", "xSync", "xShmLock"})
            EXPECT_EQ(tally.calls.count(call), 1u) << call;
        if (!warm) {
            for (const char* call : {"xOpen", "xRead", "xLock", "xShmMap", "open", "stat"})
                EXPECT_EQ(tally.calls.count(call), 1u) << call;
        }
    }
}

// One GetSetting with the nth file operation failing: its answer, and the
// value it handed back ("untouched" when it left the caller's alone).
template <typename Read>
std::pair<bool, std::string> readWithFaultAt(int n, int error, Read read) {
    Variant value(u"untouched");
    bool answer = false;
    {
        FaultySystemCalls faults;
        testing::installFaultyVfs();
        faultPlan().arm(n, error);
        answer = static_cast<bool>(read(value));
        faultPlan().disarm();
    }
    return {answer, toUtf8(value.toString())};
}

TEST_P(RegistryFaults, GetSetting) {
    for (const bool warm : {false, true}) {
        Tally tally{warm ? "GetSetting (store open)" : "GetSetting (store closed)", GetParam()};
        for (int n = 1; n <= MostCalls; ++n) {
            const fs::path database =
                freshCopy(std::string(warm ? "warm" : "cold") + std::to_string(n));
            StoreAt store(database);
            twRegistry& reg = store.reg;
            Variant before;
            if (warm) {
                ASSERT_TRUE(reg.GetSetting(HKCU, Key, u"Other", before, true));
            }
            // Every other round with a default, which must never be written
            // over a value that is there but could not be read.
            const auto [read, got] = readWithFaultAt(n, GetParam(), [&](Variant& value) {
                return n % 2 == 0
                           ? reg.GetSetting(HKCU, Key, u"Name", value, true)
                           : reg.GetSetting(HKCU, Key, u"Name", value, true, Variant(u"default"));
            });
            if (!faultPlan().struck()) {
                EXPECT_TRUE(read);
                EXPECT_EQ(got, "old value");
                expectWhole(database, "Name", {"old value"});
                break;
            }
            tally.add(faultPlan().site());
            SCOPED_TRACE("call " + std::to_string(n) + " (" + faultPlan().site() + ") failed");
            // A value it could not read makes the call fail: it is never
            // answered as missing (a default would then be written over it).
            if (read) {
                EXPECT_EQ(got, "old value");
            } else {
                EXPECT_EQ(got, "untouched");
            }
            expectWhole(database, "Name", {"old value"});
        }
        tally.print();
        // A read on an open store that nothing changed since needs no page
        // from the file: it only looks at the shared index.
        EXPECT_GE(tally.sites.size(), warm ? 2u : 20u);
        EXPECT_EQ(tally.calls.count(warm ? "xShmLock" : "xRead"), 1u);
    }
}

// A default written for a value that is missing: there afterwards exactly
// when the call says so.
TEST_P(RegistryFaults, GetSettingWritingItsDefault) {
    Tally tally{"GetSetting with a default", GetParam()};
    for (int n = 1; n <= MostCalls; ++n) {
        const fs::path database = freshCopy("round" + std::to_string(n));
        StoreAt store(database);
        twRegistry& reg = store.reg;
        const auto [read, got] = readWithFaultAt(n, GetParam(), [&](Variant& value) {
            return reg.GetSetting(HKCU, Key, u"Fresh", value, true, Variant(u"default value"));
        });
        if (!faultPlan().struck()) {
            EXPECT_TRUE(read);
            EXPECT_EQ(got, "default value");
            expectWhole(database, "Fresh", {"default value"});
            break;
        }
        tally.add(faultPlan().site());
        SCOPED_TRACE("call " + std::to_string(n) + " (" + faultPlan().site() + ") failed");
        if (read) {
            EXPECT_EQ(got, "default value");
            expectWhole(database, "Fresh", {"default value"});
        } else {
            expectWhole(database, "Fresh", {"--NOT-FOUND--", "default value"});
        }
    }
    tally.print();
    EXPECT_GE(tally.sites.size(), 15u);
    for (const char* call : {"xOpen", "xRead", "xWrite", "xSync"})
        EXPECT_EQ(tally.calls.count(call), 1u) << call;
}

INSTANTIATE_TEST_SUITE_P(Errors, RegistryFaults, ::testing::Values(ENOSPC, EIO, EACCES, EPERM),
                         nameOf);

}  // namespace
}  // namespace tarnwick
