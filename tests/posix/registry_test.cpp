// The settings store on Linux in real SQLite files, with other processes and crashes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>

#include "platform/posix/posix_platform.h"
#include "support/temp_folder.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
const String HKCU = u"HKEY_CURRENT_USER", Key = u"Software\\Tarnwick";
const Variant NotFound = u"--NOT-FOUND--";
namespace rs = registry_status;
constexpr std::uint32_t CU = registry_roots::CurrentUser;

const auto text = [](long n) { return fromUtf8(std::to_string(n)); };

struct Store {
    explicit Store(const fs::path& file) : host((options.registryFile = file.string(), options)) {}
    PosixOptions options;
    PosixPlatform host;
    twRegistry reg{host};
    bool save(const String& name, const Variant& value) {
        return reg.SaveSetting(HKCU, Key, name, value, value.kind() == Variant::Kind::String)
            .isExactlyTrue();
    }
    Variant get(const String& name) {
        Variant v = u"(unset)";
        return reg.GetSetting(HKCU, Key, name, v, true, u"--DONT-SET--") ? v : Variant(u"(false)");
    }
};

// A value as the store keeps it (kind byte, data; "" for none), put there first if given.
std::string stored(PosixPlatform& host, const String& key, const String& name,
                   std::uint32_t root = CU, const std::string& put = "") {
    RegistryKey k = 0;
    std::uint32_t kind = 0, size = 0;
    std::string value;
    if (host.createKey(root, key, key_access::Settings, k) != 0) return value;
    if (!put.empty()) host.setValue(k, name, std::uint8_t(put[0]), &put[1], put.size() - 1);
    if (host.queryValueInfo(k, name, kind, size) == rs::Ok) {
        value.assign(size + 1, char(kind));
        EXPECT_EQ(host.queryValueData(k, name, &value[1], size), 0);
    }
    EXPECT_EQ((std::tuple{host.closeKey(k), host.closeKey(k)}), std::tuple(0, rs::InvalidHandle));
    return value;
}

// SaveSetting, or GetSetting (value: its default), on the value named as the row.
TEST(RegistryStore, KeepsTheRegistrysRulesInAPrivateFile) {
    testing::TempFolder temp;
    const fs::path saved = fs::current_path(), file = temp / "config/tarnwick/registry.sqlite";
    fs::current_path(temp.path());
    Store s(fs::relative(file));
    const Variant NoDefault = u"--DONT-SET--", Old = u"old";
    const std::string abc = "\1abc\0"s, seven = "\4\7\0\0\0"s, none;
    const String wide = u"Gr\u00f6\u00dfe \u2603";  // 7 characters, 11 bytes
    // name, get, value, asText, before, after, result, GetSetting's output, error
    // clang-format off
    const std::tuple<const char*, bool, Variant, Boolean, std::string, std::string, bool, Variant, std::int32_t> rows[] = {
        {"replaced", 0, u"abc", true, seven, abc, 1, Old, 0},
        {"wide text, sized in bytes", 0, wide, true, none, '\1' + toUtf8(wide) + '\0', 1, Old, 0},
        {"only exactly true chooses text", 0, u"12", Boolean::fromRaw(1), none, "\4\x0c\0\0\0"s, 1, Old, 0},
        {"0x12345678", 0, 0x12345678, false, none, "\4\x78\x56\x34\x12"s, 1, Old, 0},
        {"no number", 0, u"abc", false, none, none, 0, Old, errors::TypeMismatch},
        {"read text", 1, NoDefault, false, abc, abc, 1, u"abc", 0},
        {"a number, whatever kind is asked", 1, NoDefault, true, "\4\xff\xff\xff\xff"s, "\4\xff\xff\xff\xff"s, 1, -1, 0},
        {"missing", 1, NoDefault, true, none, none, 1, NotFound, 0},
        {"number default", 1, 7, false, none, seven, 1, 7, 0},
        {"marker in another case", 1, u"--dont-set--", true, none, "\1--dont-set--\0"s, 1, u"--dont-set--", 0},
        {"present: default ignored", 1, u"xyz", true, abc, abc, 1, u"abc", 0},
        {"empty text", 1, u"d", true, "\1\0"s, "\1\0"s, 1, u"", 0},
        {"text of no bytes", 1, u"d", true, "\1", "\1", 1, u"", 0},
        {"text without its NUL", 1, NoDefault, true, "\1abc", "\1abc", 1, u"abc", 0},
        {"inner NUL", 1, NoDefault, true, "\1a\0b\0"s, "\1a\0b\0"s, 1, String(u"a\0b", 3), 0},
        {"short number", 1, NoDefault, false, "\4\x34\x12"s, "\4\x34\x12"s, 1, 0x1234, 0},
        {"long number, default", 1, 7, false, "\004123456", seven, 1, 7, 0},
        {"other kind, default", 1, 7, false, "\2%P%\0"s, seven, 1, 7, 0},
        {"default Null", 1, Variant::null(), true, none, none, 0, Old, errors::InvalidUseOfNull}};  // clang-format on
    for (const auto& [row, get, value, asText, before, after, result, read, error] : rows) {
        const String name = fromUtf8(row);
        EXPECT_TRUE(before.empty() || stored(s.host, Key, name, CU, before) == before) << row;
        Variant v = Old;
        Boolean answer = false;
        std::int32_t raised = 0;
        try {
            answer = get ? s.reg.GetSetting(HKCU, Key, name, v, asText, value)
                         : s.reg.SaveSetting(u"hkey_Current_user", Key, name, value, asText);
        } catch (const Error& e) {
            raised = e.number();
        }
        EXPECT_EQ(std::tuple(raised, answer == result, v, v.kind(), stored(s.host, Key, name)),
                  std::tuple(error, true, read, read.kind(), after))
            << row;
    }
    // A relative name keeps naming its file when DirExists changes the current folder.
    EXPECT_TRUE(twFunctions(s.host).DirExists(fromUtf8(file.parent_path().string())));
    const String sql = String(u"'); DROP TABLE registry_keys; --\0\"; x", 36);
    const std::uint32_t CR = registry_roots::ClassesRoot, LM = CR + 2, US = CR + 3;
    // root, key, name, saved; found at root, key, name: case, longest name, SQL, roots
    const std::tuple<String, String, String, bool, bool, std::uint32_t, String, String> paths[] = {
        // clang-format off
        {HKCU, u"software\\\\gr\u00f6\u00dfe\\", u"vOlUmE", 1, 1, CU, u"SOFTWARE\\GR\u00d6\u00dfE", u"volume"},
        {HKCU, Key, String(16383, u'n'), 1, 1, CU, Key, String(16383, u'N')},
        {HKCU, Key, String(16384, u'n'), 0, 0, CU, Key, String(16384, u'n')},
        {HKCU, u"Fresh\\" + sql, sql, 1, 1, CU, u"FRESH\\" + sql, sql},
        {HKCU, u"Other", u"A", 1, 0, CU, u"Other", u"B"},
        {u"HKEY_CLASSES_ROOT", Key, u"R", 1, 1, CR, Key, u"R"},
        {u"Hkey_Local_Machine", Key, u"M", 1, 1, LM, Key, u"M"},
        {u"HKEY_U\u017fERS", Key, u"U", 1, 1, US, Key, u"U"},
        {u"HKEY_USERS", Key, u"U2", 1, 0, LM, Key, u"U2"}};  // clang-format on
    for (const auto& [root, key, name, saved, found, atRoot, atKey, atName] : paths)
        EXPECT_EQ((std::pair{s.reg.SaveSetting(root, key, name, u"1", true) == saved,
                             stored(s.host, atKey, atName, atRoot)}),
                  std::pair(true, found ? "\0011\0"s : none))
            << toUtf8(key + name).substr(0, 40);
    const auto mode = [](const fs::path& p) { return int(fs::status(p).permissions()); };
    EXPECT_EQ(
        std::tuple(mode(file), mode(file.parent_path()), mode(file.parent_path().parent_path())),
        std::tuple(0600, 0700, 0700));

    // Calls no caller above can make; a key opened and closed is made.
    PosixPlatform& h = s.host;
    RegistryKey readOnly = 0, writeOnly = 0, other = 0;
    std::uint32_t kind = 0, size = 0;
    std::vector<String> keys, values;
    const std::uint32_t Q = key_access::QueryValue, W = key_access::SetValue, A = Q | W;
    const std::tuple<const char*, std::int32_t, std::int32_t> calls[] = {
        // clang-format off
        {"open to read", h.createKey(CU, u"Made\\On\\Close", Q, readOnly), rs::Ok},
        {"open to write", h.createKey(CU, Key, W, writeOnly), rs::Ok},
        {"root below the four", h.createKey(0x7FFFFFFF, Key, A, other), rs::InvalidHandle},
        {"root above the four", h.createKey(0x80000004, Key, A, other), rs::InvalidHandle},
        {"write with a key to read", h.setValue(readOnly, u"V", 1, "x", 1), rs::AccessDenied},
        {"read with a key to write", h.queryValueInfo(writeOnly, u"V", kind, size), rs::AccessDenied},
        {"write with no key", h.setValue(0, u"V", 1, "x", 1), rs::InvalidHandle},
        {"read with no key", h.queryValueData(0, u"V", nullptr, size), rs::InvalidHandle},
        {"close the key to read", h.closeKey(readOnly), rs::Ok},
        {"close the key to write", h.closeKey(writeOnly), rs::Ok},
        {"the key made at its close", h.listKey(CU, u"made\\on", keys, values), rs::Ok},
        {"list a bad root", h.listKey(7, u"", keys, values), rs::InvalidHandle},
        {"list from a separator", h.listKey(CU, u"\\Made", keys, values), rs::BadPathname},
        {"delete a root", h.deleteKey(CU, u""), rs::AccessDenied}};  // clang-format on
    for (const auto& [name, got, want] : calls) EXPECT_EQ(got, want) << name;

    // A forked child opens its own connection and leaves its parent's alone.
    const pid_t child = ::fork();
    if (child == 0) ::_exit(s.save(u"Forked", u"fork") ? 0 : 1);
    int status = -1;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(std::pair(status, s.get(u"Forked")), std::pair(0, Variant(u"fork")));
    EXPECT_TRUE(s.save(u"After", u"fork"));
    // A store deleted underneath is made afresh; a key of the old one is not.
    EXPECT_EQ(h.createKey(CU, u"Orphan", key_access::Settings, other), 0);
    for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(file.string() + suffix);
    EXPECT_EQ((std::tuple{s.save(u"New", u"2"), h.closeKey(other), s.get(u"Forked"),
                          fs::exists(file), h.listKey(CU, u"Orphan", keys, values)}),
              std::tuple(true, 0, NotFound, true, rs::FileNotFound));
    fs::current_path(saved);
}

// Eight processes making (all after waiting for another program's lock),
// writing and reading one store, killed at once: no call failed, and each
// value is the last write reported or the one under way.
TEST(RegistryStore, EightProcessesAtOnceThenKilledLoseNoWrite) {
    testing::TempFolder temp;
    constexpr int Workers = 8;
    int go[2], out[2];
    ASSERT_TRUE(::pipe(go) == 0 && ::pipe(out) == 0);
    pid_t workers[Workers];
    for (int w = 0; w < Workers; ++w) {
        if ((workers[w] = ::fork()) != 0) continue;
        ::close(go[1]);
        char c;
        (void)!::read(go[0], &c, 1);  // until the parent lets all go at once
        Store s(temp / "registry.sqlite");
        for (int i = 0;; ++i) {
            const String mine = u"P" + text(w) + u"_" + text(i % 50);
            const std::string line = std::to_string(w) + " " + std::to_string(i) + "\n";
            if (!s.save(mine, i) || s.get(mine) != Variant(i) || !s.save(u"S" + text(i % 10), w) ||
                s.get(u"s" + text(i % 10)).kind() != Variant::Kind::Long ||
                ::write(out[1], line.data(), line.size()) < 0)
                ::_exit(1);
        }
    }
    sqlite3* other = nullptr;  // the lock the workers start waiting for, the store unmade
    ASSERT_EQ(sqlite3_open((temp / "registry.sqlite").c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    for (const int fd : {go[0], go[1], out[1]}) ::close(fd);
    ::usleep(300000);
    sqlite3_close(other);
    FILE* reports = ::fdopen(out[0], "r");
    int last[Workers] = {-1, -1, -1, -1, -1, -1, -1, -1}, lines = 0;
    for (int w, i; std::fscanf(reports, "%d %d", &w, &i) == 2; last[w] = i)
        if (++lines == 2000)
            for (const pid_t p : workers) ::kill(p, SIGKILL);
    std::fclose(reports);
    int status = 0;
    for (const pid_t w : workers)
        EXPECT_TRUE(::waitpid(w, &status, 0) == w && WIFSIGNALED(status)) << "a call failed";
    Store s(temp / "registry.sqlite");
    for (int w = 0; w < Workers; ++w)
        for (int j = 0; j < 50; ++j) {
            const int reported = last[w] - ((last[w] - j) % 50 + 50) % 50;
            const Variant v = s.get(u"P" + text(w) + u"_" + text(j));
            EXPECT_TRUE(v == (reported < 0 ? NotFound : Variant(reported)) ||
                        ((last[w] + 1) % 50 == j && v == Variant(last[w] + 1)))
                << w << " " << j;
        }
    for (int j = 0; j < 10; ++j) EXPECT_LT(s.get(u"S" + text(j)).toLong(), Workers);
}

}  // namespace
}  // namespace tarnwick
