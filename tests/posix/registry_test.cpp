// The settings store on Linux against real SQLite files in temporary
// folders: creation, the registry's rules, persistence across processes,
// where the file lives, files that cannot be written or are damaged, and
// other processes (forked, started, or holding the lock).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/posix/posix_platform.h"
#include "support/child_process.h"
#include "support/recorder_reader.h"
#include "support/temp_folder.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using testing::TempFolder;
namespace fs = std::filesystem;
using namespace std::string_literals;

const String HKCU = u"HKEY_CURRENT_USER";
const String Key = u"Software\\Tarnwick";
constexpr uid_t Nobody = 65534;

std::string fileContent(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// The database seen directly, as another program would see it.
class RawDatabase {
  public:
    explicit RawDatabase(const fs::path& path, int flags = SQLITE_OPEN_READWRITE) {
        EXPECT_EQ(sqlite3_open_v2(path.c_str(), &db_, flags, nullptr), SQLITE_OK);
    }
    ~RawDatabase() { sqlite3_close(db_); }
    // The rows of a query, each column as text, joined by '|'.
    std::vector<std::string> rows(const std::string& sql) {
        std::vector<std::string> out;
        sqlite3_stmt* s = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db_, sql.c_str(), -1, &s, nullptr), SQLITE_OK) << sql;
        while (sqlite3_step(s) == SQLITE_ROW) {
            std::string row;
            for (int i = 0; i < sqlite3_column_count(s); ++i) {
                const auto* text = sqlite3_column_text(s, i);
                row +=
                    (i ? "|" : "") + std::string(text ? reinterpret_cast<const char*>(text) : "");
            }
            out.push_back(row);
        }
        sqlite3_finalize(s);
        return out;
    }
    int exec(const std::string& sql) {
        return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
    }

  private:
    sqlite3* db_ = nullptr;
};

class RegistryStore : public ::testing::Test {
  protected:
    TempFolder temp;
    fs::path file = temp / "config/tarnwick/registry.sqlite";
    PosixOptions options() const {
        PosixOptions o;
        o.registryFile = file.string();
        return o;
    }
    PosixPlatform host{options()};
    twRegistry reg{host};

    bool save(const String& name, const Variant& value, bool text = true, const String& key = Key,
              const String& root = HKCU) {
        return static_cast<bool>(reg.SaveSetting(root, key, name, value, text));
    }
    Variant get(const String& name, bool text = true, const Variant& fallback = u"--DONT-SET--",
                const String& key = Key, const String& root = HKCU) {
        Variant v = u"(unset)";
        EXPECT_TRUE(static_cast<bool>(reg.GetSetting(root, key, name, v, text, fallback)))
            << toUtf8(name);
        return v;
    }
    // A value of any kind, written straight through the platform.
    void storeRaw(const String& name, std::uint32_t kind, const std::string& data) {
        RegistryKey k = 0;
        ASSERT_EQ(host.createKey(registry_roots::CurrentUser, Key, key_access::Settings, k), 0);
        EXPECT_EQ(
            host.setValue(k, name, kind, data.data(), static_cast<std::uint32_t>(data.size())), 0);
        host.closeKey(k);
    }
    std::vector<std::string> worker(const std::vector<std::string>& args, int expectStatus = 0,
                                    uid_t runAs = 0) {
        std::vector<std::string> argv{TARNWICK_REGISTRY_WORKER};
        argv.insert(argv.end(), args.begin(), args.end());
        const testing::Finished f =
            testing::runChild(argv, {"TARNWICK_REGISTRY=" + file.string()}, runAs);
        EXPECT_EQ(f.status, expectStatus) << args[0];
        std::vector<std::string> lines;
        std::istringstream in(f.output);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
};

// ---------------------------------------------------------------- the store

TEST_F(RegistryStore, IsCreatedOnFirstUseWithItsFolderPrivateAndInWalMode) {
    ASSERT_FALSE(fs::exists(file.parent_path()));
    EXPECT_TRUE(save(u"Name", u"value"));
    ASSERT_TRUE(fs::exists(file));
    struct stat st;
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(file.parent_path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat(file.parent_path().parent_path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    RawDatabase raw(file);
    EXPECT_EQ(raw.rows("PRAGMA journal_mode"), std::vector<std::string>{"wal"});
    EXPECT_EQ(raw.rows("PRAGMA integrity_check"), std::vector<std::string>{"ok"});
}

TEST_F(RegistryStore, TextAndNumbersRoundTripUnderEachOfTheFourRoots) {
    const String roots[] = {u"HKEY_CLASSES_ROOT", u"HKEY_CURRENT_USER", u"HKEY_LOCAL_MACHINE",
                            u"HKEY_USERS"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(save(u"Text", u"root " + fromUtf8(std::to_string(i)), true, Key, roots[i]));
        EXPECT_TRUE(save(u"Number", std::int32_t{-1000 * i - 1}, false, Key, roots[i]));
    }
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(get(u"Text", true, u"--DONT-SET--", Key, roots[i]),
                  Variant(u"root " + fromUtf8(std::to_string(i))));
        EXPECT_EQ(get(u"Number", false, u"--DONT-SET--", Key, roots[i]),
                  Variant(std::int32_t{-1000 * i - 1}));
    }
    // Stored as the registry stores them: kind numbers, text and one NUL
    // (the whole UTF-8 form), four little-endian bytes.
    const String wide = u"Gr\u00f6\u00dfe \u2603 \U0001F3AE";
    EXPECT_TRUE(save(u"Wide", wide));
    EXPECT_EQ(get(u"Wide"), Variant(wide));
    RawDatabase raw(file);
    EXPECT_EQ(raw.rows("SELECT kind, hex(data) FROM registry_values WHERE root=2147483649 AND "
                       "fold IN ('NUMBER','WIDE') ORDER BY fold"),
              (std::vector<std::string>{"4|" + hex("\x17\xfc\xff\xff"s),
                                        "1|" + hex(toUtf8(wide) + '\0')}));
}

TEST_F(RegistryStore, KeysAndNamesIgnoreCaseAndKeepTheCaseFirstWritten) {
    EXPECT_TRUE(save(u"Volume", u"1", true, u"Software\\Tarnwick\\Gr\u00f6\u00dfe"));
    EXPECT_TRUE(save(u"VOLUME", u"2", true, u"SOFTWARE\\TARNWICK\\GR\u00d6\u00dfE\\Sub"));
    EXPECT_TRUE(save(u"vOlUmE", u"3", true, u"software\\tarnwick\\gr\u00f6\u00dfe"));
    EXPECT_EQ(get(u"volume", true, u"--DONT-SET--", u"SoftWare\\TarnWick\\GR\u00d6\u00dfe"),
              Variant(u"3"));
    RawDatabase raw(file);
    EXPECT_EQ(
        raw.rows("SELECT name FROM registry_keys WHERE root=2147483649 ORDER BY path"),
        (std::vector<std::string>{"Software", "Tarnwick", toUtf8(u"Gr\u00f6\u00dfe"), "Sub"}));
    EXPECT_EQ(raw.rows("SELECT name FROM registry_values"),
              (std::vector<std::string>{"Volume", "VOLUME"}));
}

TEST_F(RegistryStore, KeyPathsAreCreatedWholeAndReadAsTheRegistryReadsThem) {
    EXPECT_TRUE(save(u"A", u"deep", true, u"One\\Two\\Three\\Four"));
    RawDatabase raw(file);
    EXPECT_EQ(raw.rows("SELECT path, parent FROM registry_keys ORDER BY path"),
              (std::vector<std::string>{"ONE|", "ONE\\TWO|ONE", "ONE\\TWO\\THREE|ONE\\TWO",
                                        "ONE\\TWO\\THREE\\FOUR|ONE\\TWO\\THREE"}));
    // Doubled and trailing separators name no parts of their own.
    EXPECT_EQ(get(u"A", true, u"--DONT-SET--", u"One\\\\Two\\Three\\\\Four\\"), Variant(u"deep"));
    // A leading one is refused, as the registry refuses it.
    Variant v = u"old";
    EXPECT_FALSE(static_cast<bool>(reg.GetSetting(HKCU, u"\\One", u"A", v, true)));
    EXPECT_FALSE(save(u"A", u"x", true, u"\\One"));
    // The empty path is the root itself.
    EXPECT_TRUE(save(u"AtRoot", u"top", true, u""));
    EXPECT_EQ(get(u"AtRoot", true, u"--DONT-SET--", u""), Variant(u"top"));
    EXPECT_EQ(raw.rows("SELECT count(*) FROM registry_keys"), std::vector<std::string>{"4"});
    // GetSetting alone creates the key path too.
    EXPECT_EQ(get(u"Missing", true, u"--DONT-SET--", u"Fresh\\Path"), Variant(u"--NOT-FOUND--"));
    EXPECT_EQ(raw.rows("SELECT name FROM registry_keys WHERE path LIKE 'FRESH%' ORDER BY path"),
              (std::vector<std::string>{"Fresh", "Path"}));
}

TEST_F(RegistryStore, DefaultsAndKindsFollowTheRegistryRules) {
    EXPECT_EQ(get(u"Gone"), Variant(u"--NOT-FOUND--"));
    EXPECT_EQ(get(u"Three", true, u"abc"), Variant(u"abc"));
    EXPECT_EQ(get(u"Seven", false, std::int32_t{7}), Variant(std::int32_t{7}));
    EXPECT_TRUE(save(u"Empty", u""));
    EXPECT_EQ(get(u"Empty", true, u"d"), Variant(u""));
    EXPECT_TRUE(save(u"FortyTwo", std::int32_t{42}, true));
    EXPECT_EQ(get(u"FortyTwo", false), Variant(u"42"));
    // A string of no bytes at all is the empty string.
    storeRaw(u"Zero", value_kinds::String, "");
    EXPECT_EQ(get(u"Zero", true, u"d"), Variant(u""));
    // Other kinds: left alone without a default, replaced with one.
    storeRaw(u"Blob", value_kinds::Binary, "\x01\x02"s);
    storeRaw(u"Odd", 0x12345, "x");
    EXPECT_EQ(get(u"Blob"), Variant(u"--NOT-FOUND--"));
    EXPECT_EQ(get(u"Odd", true, u"new"), Variant(u"new"));
    RawDatabase raw(file);
    EXPECT_EQ(raw.rows("SELECT fold, kind, hex(data) FROM registry_values ORDER BY fold"),
              (std::vector<std::string>{"BLOB|3|0102", "EMPTY|1|00", "FORTYTWO|1|343200",
                                        "ODD|1|6E657700", "SEVEN|4|07000000", "THREE|1|61626300",
                                        "ZERO|1|"}));
    // A number that is none raises, and nothing is written.
    try {
        save(u"Bad", u"seven", false);
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 13);
    }
    EXPECT_EQ(get(u"Bad"), Variant(u"--NOT-FOUND--"));
}

TEST_F(RegistryStore, TheStatusesAreTheRegistrys) {
    RegistryKey k = 0, readOnly = 0;
    ASSERT_EQ(host.createKey(registry_roots::CurrentUser, Key, key_access::Settings, k), 0);
    std::uint32_t kind = 0, size = 0;
    EXPECT_EQ(host.queryValueInfo(k, u"None", kind, size), 2);
    ASSERT_EQ(host.setValue(k, u"S", 1, "hello\0", 6), 0);
    char room[3];
    size = sizeof room;
    EXPECT_EQ(host.queryValueData(k, u"s", room, size), 234);
    EXPECT_EQ(size, 6u);
    const String longest(16383, u'n');
    EXPECT_EQ(host.setValue(k, longest, 1, "", 0), 0);
    EXPECT_EQ(host.setValue(k, longest + u"n", 1, "", 0), 87);
    EXPECT_EQ(host.closeKey(k), 0);
    EXPECT_EQ(host.closeKey(k), 6);
    EXPECT_EQ(host.queryValueInfo(k, u"S", kind, size), 6);
    EXPECT_EQ(host.createKey(0x80000005u, Key, key_access::Settings, k), 6);
    EXPECT_EQ(host.createKey(registry_roots::CurrentUser, u"\\x", key_access::Settings, k), 161);
    // A key opened for reading only may not be written.
    ASSERT_EQ(host.createKey(registry_roots::CurrentUser, Key, key_access::QueryValue, readOnly),
              0);
    EXPECT_EQ(host.setValue(readOnly, u"S", 1, "x\0", 2), 5);
    EXPECT_EQ(host.queryValueInfo(readOnly, u"S", kind, size), 0);
    EXPECT_EQ(size, 6u);
    host.closeKey(readOnly);
}

// ---------------------------------------------------------------- processes

TEST_F(RegistryStore, PersistsAcrossProcesses) {
    worker({"set", "Software\\Tarnwick", "FromChild", "written by a child"});
    EXPECT_EQ(get(u"fromchild"), Variant(u"written by a child"));
    EXPECT_TRUE(save(u"FromParent", u"written by the parent"));
    EXPECT_EQ(worker({"get", "SOFTWARE\\TARNWICK", "FROMPARENT"}),
              std::vector<std::string>{"written by the parent"});
}

TEST_F(RegistryStore, AForkedChildNeverUsesItsParentsConnection) {
    EXPECT_TRUE(save(u"Before", u"1"));
    const pid_t child = ::fork();
    if (child == 0) {
        // The child opens its own connection, writes, and exits the normal
        // way, running the destructors that would close a connection.
        const bool saved = save(u"Child", u"from the fork");
        std::exit(saved ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(get(u"Child"), Variant(u"from the fork"));
    EXPECT_TRUE(save(u"After", u"2"));
    EXPECT_EQ(get(u"Before"), Variant(u"1"));
    RawDatabase raw(file);
    EXPECT_EQ(raw.rows("PRAGMA integrity_check"), std::vector<std::string>{"ok"});
}

TEST_F(RegistryStore, StartedProgramsInheritNothingOfTheStore) {
    EXPECT_TRUE(save(u"Open", u"connection"));
    // Every descriptor of the store is closed on exec.
    int descriptors = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ignored;
        const fs::path target = fs::read_symlink(entry.path(), ignored);
        if (target.string().rfind(file.string(), 0) != 0) continue;
        ++descriptors;
        const int fd = std::stoi(entry.path().filename().string());
        EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0) << target;
    }
    EXPECT_GE(descriptors, 2) << "the database and its WAL are open";
    // A program started through the fork-based start leaves it working.
    const fs::path record = temp / "record.txt";
    ::setenv("TARNWICK_RECORDER_OUT", record.c_str(), 1);
    host.startProcess(fromUtf8(TARNWICK_RECORDER) + u" after-registry", 1);
    testing::Recording recording;
    EXPECT_TRUE(testing::waitForRecording(record, recording));
    ::unsetenv("TARNWICK_RECORDER_OUT");
    EXPECT_EQ(recording.arguments, std::vector<std::string>{"after-registry"});
    EXPECT_TRUE(save(u"Still", u"works"));
    EXPECT_EQ(get(u"Open"), Variant(u"connection"));
}

TEST_F(RegistryStore, AWriterWaitsForTheLockAnotherProgramHolds) {
    EXPECT_TRUE(save(u"Held", u"before"));
    RawDatabase other(file);
    ASSERT_EQ(other.exec("BEGIN IMMEDIATE"), SQLITE_OK);
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        other.exec("COMMIT");
    });
    // Readers go on while the lock is held; the writer waits and succeeds.
    EXPECT_EQ(get(u"Held"), Variant(u"before"));
    EXPECT_TRUE(save(u"Held", u"after"));
    release.join();
    EXPECT_EQ(get(u"Held"), Variant(u"after"));
}

TEST_F(RegistryStore, AStoreDeletedUnderneathIsMadeAfresh) {
    EXPECT_TRUE(save(u"Old", u"1"));
    for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(file.string() + suffix);
    EXPECT_TRUE(save(u"New", u"2"));
    EXPECT_TRUE(fs::exists(file));
    EXPECT_EQ(get(u"Old"), Variant(u"--NOT-FOUND--"));
    EXPECT_EQ(get(u"New"), Variant(u"2"));
}

// ---------------------------------------------------------------- location

class EnvironmentGuard {
  public:
    explicit EnvironmentGuard(std::vector<std::string> names) : names_(std::move(names)) {
        for (const std::string& n : names_) {
            const char* v = std::getenv(n.c_str());
            saved_.push_back(v ? std::optional<std::string>(v) : std::nullopt);
        }
    }
    ~EnvironmentGuard() {
        for (std::size_t i = 0; i < names_.size(); ++i) {
            if (saved_[i])
                ::setenv(names_[i].c_str(), saved_[i]->c_str(), 1);
            else
                ::unsetenv(names_[i].c_str());
        }
    }

  private:
    std::vector<std::string> names_;
    std::vector<std::optional<std::string>> saved_;
};

TEST(RegistryLocation, ConfigFolderThenTheOverrideThenHome) {
    TempFolder temp;
    EnvironmentGuard guard({"XDG_CONFIG_HOME", "TARNWICK_REGISTRY", "HOME"});
    PosixPlatform host;  // the default location
    twRegistry reg(host);
    Variant v;

    ::unsetenv("TARNWICK_REGISTRY");
    ::setenv("XDG_CONFIG_HOME", (temp / "xdg").c_str(), 1);
    EXPECT_TRUE(static_cast<bool>(reg.SaveSetting(u"HKEY_CURRENT_USER", u"K", u"N", u"xdg", true)));
    EXPECT_TRUE(fs::exists(temp / "xdg/tarnwick/registry.sqlite"));

    ::setenv("TARNWICK_REGISTRY", (temp / "elsewhere/settings.db").c_str(), 1);
    EXPECT_TRUE(static_cast<bool>(reg.GetSetting(u"HKEY_CURRENT_USER", u"K", u"N", v, true)));
    EXPECT_EQ(v, Variant(u"--NOT-FOUND--")) << "another store";
    EXPECT_TRUE(fs::exists(temp / "elsewhere/settings.db"));

    ::unsetenv("TARNWICK_REGISTRY");
    ::setenv("XDG_CONFIG_HOME", "relative/is/ignored", 1);
    ::setenv("HOME", (temp / "home").c_str(), 1);
    EXPECT_TRUE(
        static_cast<bool>(reg.SaveSetting(u"HKEY_CURRENT_USER", u"K", u"N", u"home", true)));
    EXPECT_TRUE(fs::exists(temp / "home/.config/tarnwick/registry.sqlite"));

    ::setenv("XDG_CONFIG_HOME", (temp / "xdg").c_str(), 1);
    EXPECT_TRUE(static_cast<bool>(reg.GetSetting(u"HKEY_CURRENT_USER", u"K", u"N", v, true)));
    EXPECT_EQ(v, Variant(u"xdg"));

    // A relative override is taken from the current directory of the call.
    const fs::path saved = fs::current_path();
    fs::create_directories(temp / "here");
    fs::current_path(temp / "here");
    ::setenv("TARNWICK_REGISTRY", "settings.db", 1);
    EXPECT_TRUE(
        static_cast<bool>(reg.SaveSetting(u"HKEY_CURRENT_USER", u"K", u"N", u"here", true)));
    fs::current_path(saved);
    EXPECT_TRUE(fs::exists(temp / "here/settings.db"));
}

// ---------------------------------------------------------------- failures

// Root may write anything: the refusals are checked as another user.
uid_t unprivileged() {
    return ::geteuid() == 0 ? Nobody : 0;
}

TEST_F(RegistryStore, AFolderThatCannotBeWrittenGivesFalseAndCreatesNothing) {
    const fs::path locked = temp / "locked";
    fs::create_directories(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read |
                                fs::perms::others_exec);
    file = locked / "tarnwick/registry.sqlite";
    EXPECT_EQ(worker({"probe", "Software\\Tarnwick"}, 0, unprivileged()),
              std::vector<std::string>{"save=0 get=0"});
    EXPECT_TRUE(fs::is_empty(locked));
    // The same in this process, when it is not root.
    if (::geteuid() != 0) {
        PosixOptions o;
        o.registryFile = file.string();
        PosixPlatform lockedOut(o);
        RegistryKey k;
        EXPECT_EQ(lockedOut.createKey(registry_roots::CurrentUser, Key, key_access::Settings, k),
                  5);
    }
}

TEST_F(RegistryStore, AStoreThatMayNotBeWrittenGivesFalseAndStaysAsItIs) {
    worker({"fill", "Software\\Tarnwick", "20"});
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const std::string before = fileContent(file);
    EXPECT_EQ(worker({"probe", "Software\\Tarnwick"}, 0, unprivileged()),
              std::vector<std::string>{"save=0 get=0"});
    EXPECT_TRUE(fileContent(file) == before) << "the file was changed";
}

TEST_F(RegistryStore, ADamagedFileGivesFalseAndIsNeverReplaced) {
    fs::create_directories(file.parent_path());
    std::string garbage(8192, '\0');
    for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>(i * 7919 % 251);
    std::ofstream(file, std::ios::binary) << garbage;
    for (int attempt = 0; attempt < 2; ++attempt) {
        Variant v = u"old";
        EXPECT_FALSE(save(u"Name", u"x"));
        EXPECT_FALSE(static_cast<bool>(reg.GetSetting(HKCU, Key, u"Name", v, true, u"d")));
        EXPECT_EQ(v, Variant(u"old"));
    }
    RegistryKey k;
    EXPECT_EQ(host.createKey(registry_roots::CurrentUser, Key, key_access::Settings, k), 1009);
    EXPECT_TRUE(fileContent(file) == garbage) << "the file was changed";
    EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()),
              1)
        << "no journal or other file beside it";
}

TEST_F(RegistryStore, AnotherProgramsDatabaseIsLeftAlone) {
    fs::create_directories(file.parent_path());
    {
        RawDatabase foreign(file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        ASSERT_EQ(foreign.exec("CREATE TABLE notes(text); INSERT INTO notes VALUES('mine')"),
                  SQLITE_OK);
    }
    const std::string before = fileContent(file);
    EXPECT_FALSE(save(u"Name", u"x"));
    EXPECT_TRUE(fileContent(file) == before) << "the file was changed";
    RawDatabase foreign(file);
    EXPECT_EQ(foreign.rows("SELECT name FROM sqlite_master"), std::vector<std::string>{"notes"});
}

TEST_F(RegistryStore, DamagedPagesGiveFalse) {
    worker({"fill", "Software\\Tarnwick", "300"});
    EXPECT_FALSE(fs::exists(file.string() + "-wal")) << "the worker's close folded the WAL in";
    std::string content = fileContent(file);
    ASSERT_GT(content.size(), 4096u * 4);
    // Everything after the first page (which names the tables) is noise.
    for (std::size_t i = 4096; i < content.size(); ++i)
        content[i] = static_cast<char>(i * 2654435761u >> 13);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << content;
    Variant v = u"old";
    EXPECT_FALSE(static_cast<bool>(reg.GetSetting(HKCU, Key, u"V1", v, true)));
    EXPECT_FALSE(save(u"V1", u"x"));
    EXPECT_EQ(v, Variant(u"old"));
    EXPECT_TRUE(fileContent(file) == content) << "the file was changed";
}

// ---------------------------------------------------------------- the command

#ifdef TARNWICK_CLI
TEST_F(RegistryStore, TheCommandReadsAndWritesSettings) {
    const std::vector<std::string> env{"TARNWICK_REGISTRY=" + file.string()};
    const auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), TARNWICK_CLI);
        return testing::runChild(args, env);
    };
    EXPECT_EQ(
        run({"reg", "set", "hkey_current_user", "Software\\Tarnwick", "Count", "-12", "--number"})
            .status,
        0);
    EXPECT_EQ(get(u"COUNT", false), Variant(std::int32_t{-12}));
    EXPECT_EQ(run({"reg", "get", "HKEY_CURRENT_USER", "Software\\Tarnwick", "count"}).output,
              "-12\n");
    testing::Finished missing =
        run({"reg", "get", "HKEY_CURRENT_USER", "Software\\Tarnwick", "No"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.output, "");
    EXPECT_EQ(run({"reg", "get", "HKEY_CURRENT_USER", "Software\\Tarnwick", "No", "--default",
                   "seven", "--number"})
                  .status,
              3);
    EXPECT_EQ(run({"reg", "get", "HKEY_CURRENT_USER", "Software\\Tarnwick", "No", "--default", "7",
                   "--number"})
                  .output,
              "7\n");
    EXPECT_EQ(run({"reg", "set", "HKCU", "Software\\Tarnwick", "X", "1"}).status, 1);
    EXPECT_EQ(run({"reg", "set", "HKEY_USERS", "K", "X"}).status, 2);
    EXPECT_EQ(run({"reg", "set", "HKEY_USERS", "K", "X", "1", "--default", "2"}).status, 2);
    EXPECT_EQ(run({"reg", "list"}).status, 2);
}
#endif

}  // namespace
}  // namespace tarnwick
