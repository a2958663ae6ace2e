// twRegistry on the real registry (Wine's, run by ctest): the same rules the
// Linux store is held to, and what the registry itself keeps, seen through
// advapi32 directly. Every test works below a key of its own, removed after.
#include <algorithm>
#include <string>

#include "windows/win32_fixture.h"

namespace tarnwick {
namespace {

using namespace testing;
using namespace std::string_literals;

const String HKCU = u"HKEY_CURRENT_USER";
const String Base = u"Software\\Tarnwick Tests";

class Win32Registry : public ::testing::Test {
  protected:
    void SetUp() override {
        static int count = 0;
        key = Base + u"\\" + fromUtf8(std::to_string(GetCurrentProcessId())) + u"-" +
              fromUtf8(std::to_string(++count));
    }
    void TearDown() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, toWide(key).c_str());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, toWide(key).c_str());
        RegDeleteTreeW(HKEY_CLASSES_ROOT, toWide(u"Tarnwick Tests").c_str());
    }

    bool save(const String& name, const Variant& value, bool text = true,
              const String& root = HKCU) {
        return static_cast<bool>(reg.SaveSetting(root, key, name, value, text));
    }
    Variant get(const String& name, bool text = true, const Variant& fallback = u"--DONT-SET--",
                const String& root = HKCU) {
        Variant v = u"(unset)";
        EXPECT_TRUE(static_cast<bool>(reg.GetSetting(root, key, name, v, text, fallback)))
            << toUtf8(name);
        return v;
    }
    // What the registry holds, as a program using the ANSI calls sees it.
    struct Stored {
        LSTATUS status;
        DWORD kind;
        std::string data;
    };
    Stored stored(const String& name, HKEY root = HKEY_CURRENT_USER) {
        Stored s{0, 0, std::string()};
        HKEY k;
        s.status = RegOpenKeyExW(root, toWide(key).c_str(), 0, KEY_READ, &k);
        if (s.status != ERROR_SUCCESS) return s;
        const std::string ansiName = host.toAnsi(name);
        DWORD size = 0;
        s.status = RegQueryValueExA(k, ansiName.c_str(), nullptr, &s.kind, nullptr, &size);
        if (s.status == ERROR_SUCCESS) {
            s.data.resize(size);
            s.status = RegQueryValueExA(k, ansiName.c_str(), nullptr, &s.kind,
                                        reinterpret_cast<BYTE*>(s.data.data()), &size);
            s.data.resize(size);
        }
        RegCloseKey(k);
        return s;
    }
    // Writes a value straight through advapi32, as another program would.
    void storeRaw(const String& name, DWORD kind, const std::string& data) {
        HKEY k;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, toWide(key).c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &k, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExA(k, host.toAnsi(name).c_str(), 0, kind,
                                 reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
        RegCloseKey(k);
    }
    // The names below a key, as the registry lists them.
    std::vector<std::string> subkeys(const String& path) {
        std::vector<std::string> names;
        HKEY k;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, toWide(path).c_str(), 0, KEY_READ, &k)) return names;
        wchar_t name[256];
        for (DWORD i = 0;; ++i) {
            DWORD n = 256;
            if (RegEnumKeyExW(k, i, name, &n, nullptr, nullptr, nullptr, nullptr)) break;
            names.push_back(toUtf8(fromWide(std::wstring(name, n))));
        }
        RegCloseKey(k);
        std::sort(names.begin(), names.end());
        return names;
    }
    std::vector<std::string> valueNames() {
        std::vector<std::string> names;
        HKEY k;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, toWide(key).c_str(), 0, KEY_READ, &k)) return names;
        wchar_t name[16384];
        for (DWORD i = 0;; ++i) {
            DWORD n = 16384;
            if (RegEnumValueW(k, i, name, &n, nullptr, nullptr, nullptr, nullptr)) break;
            names.push_back(toUtf8(fromWide(std::wstring(name, n))));
        }
        RegCloseKey(k);
        std::sort(names.begin(), names.end());
        return names;
    }

    Win32Platform host;
    twRegistry reg{host};
    String key;
};

TEST_F(Win32Registry, TextAndNumbersAreStoredAsTheRegistrysKinds) {
    EXPECT_TRUE(save(u"Name", u"abc"));
    EXPECT_TRUE(save(u"Count", std::int32_t{-2}, false));
    const Stored name = stored(u"Name"), count = stored(u"Count");
    EXPECT_EQ(name.kind, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(name.data, "abc\0"s);
    EXPECT_EQ(count.kind, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(count.data, "\xfe\xff\xff\xff"s);
    EXPECT_EQ(get(u"Name"), Variant(u"abc"));
    EXPECT_EQ(get(u"Count", false), Variant(std::int32_t{-2}));
    EXPECT_EQ(get(u"Count", true), Variant(std::int32_t{-2})) << "the stored kind decides";
}

TEST_F(Win32Registry, RootNamesInAnyCaseAndOnlyTheFour) {
    EXPECT_TRUE(save(u"R", u"user", true, u"hkey_current_user"));
    EXPECT_TRUE(save(u"R", u"machine", true, u"Hkey_Local_Machine"));
    EXPECT_EQ(stored(u"R").data, "user\0"s);
    EXPECT_EQ(stored(u"R", HKEY_LOCAL_MACHINE).data, "machine\0"s);
    Variant v = u"old";
    EXPECT_FALSE(save(u"R", u"x", true, u"HKCU"));
    EXPECT_FALSE(static_cast<bool>(reg.GetSetting(u"HKLM", key, u"R", v, true, u"d")));
    EXPECT_FALSE(static_cast<bool>(reg.GetSetting(u"", key, u"R", v, true)));
    EXPECT_EQ(v, Variant(u"old"));
    // The classes root takes settings too.
    EXPECT_TRUE(static_cast<bool>(
        reg.SaveSetting(u"HKEY_CLASSES_ROOT", u"Tarnwick Tests", u"R", u"classes", true)));
    EXPECT_TRUE(
        static_cast<bool>(reg.GetSetting(u"HKEY_CLASSES_ROOT", u"Tarnwick Tests", u"R", v, true)));
    EXPECT_EQ(v, Variant(u"classes"));
}

TEST_F(Win32Registry, KeysAndNamesIgnoreCaseAndKeepTheCaseFirstWritten) {
    const String original = key;
    key = original + u"\\Sub";
    EXPECT_TRUE(save(u"Volume", u"1"));
    key = original + u"\\SUB\\Deeper";
    EXPECT_TRUE(save(u"x", u"y"));
    key = original + u"\\sub";
    EXPECT_TRUE(save(u"VOLUME", u"2"));
    EXPECT_EQ(get(u"volume"), Variant(u"2"));
    EXPECT_EQ(valueNames(), std::vector<std::string>{"Volume"});
    EXPECT_EQ(subkeys(original), std::vector<std::string>{"Sub"});
    EXPECT_EQ(subkeys(original + u"\\sub"), std::vector<std::string>{"Deeper"});
}

TEST_F(Win32Registry, KeyPathsAsTheRegistryReadsThem) {
    const String original = key;
    key = original + u"\\One\\Two";
    EXPECT_TRUE(save(u"A", u"deep"));
    key = original + u"\\\\One\\\\Two\\";
    EXPECT_EQ(get(u"A"), Variant(u"deep")) << "doubled and trailing separators";
    key = u"\\" + original;
    EXPECT_FALSE(save(u"A", u"x")) << "a leading separator";
    key = original + u"\\Fresh\\Path";
    EXPECT_EQ(get(u"Missing"), Variant(u"--NOT-FOUND--"));
    EXPECT_EQ(subkeys(original + u"\\Fresh"), std::vector<std::string>{"Path"});
}

TEST_F(Win32Registry, DefaultsFollowTheRules) {
    EXPECT_EQ(get(u"Gone"), Variant(u"--NOT-FOUND--"));
    EXPECT_EQ(stored(u"Gone").status, ERROR_FILE_NOT_FOUND) << "nothing was written";
    EXPECT_EQ(get(u"Three", true, u"abc"), Variant(u"abc"));
    EXPECT_EQ(stored(u"Three").data, "abc\0"s);
    EXPECT_EQ(get(u"Seven", false, std::int32_t{7}), Variant(std::int32_t{7}));
    EXPECT_EQ(stored(u"Seven").data, "\x07\0\0\0"s);
    EXPECT_EQ(get(u"Seven", false, std::int32_t{8}), Variant(std::int32_t{7}));
    EXPECT_TRUE(save(u"Empty", u""));
    EXPECT_EQ(stored(u"Empty").data, "\0"s);
    EXPECT_EQ(get(u"Empty", true, u"d"), Variant(u""));
    EXPECT_TRUE(save(u"FortyTwo", std::int32_t{42}, true));
    EXPECT_EQ(get(u"FortyTwo", false), Variant(u"42"));
    // Numbers that are none raise, and nothing is written.
    try {
        get(u"Bad", false, u"seven");
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 13);
    }
    EXPECT_EQ(stored(u"Bad").status, ERROR_FILE_NOT_FOUND);
}

TEST_F(Win32Registry, OtherKindsAndTheStringOfNoBytes) {
    storeRaw(u"Blob", REG_BINARY, "\x01\x02"s);
    storeRaw(u"Expand", REG_EXPAND_SZ, "%PATH%\0"s);
    storeRaw(u"Zero", REG_SZ, "");
    EXPECT_EQ(get(u"Blob"), Variant(u"--NOT-FOUND--"));
    EXPECT_EQ(stored(u"Blob").kind, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(get(u"Expand", false, std::int32_t{3}), Variant(std::int32_t{3}));
    EXPECT_EQ(stored(u"Expand").kind, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(get(u"Zero", true, u"d"), Variant(u""));
    EXPECT_EQ(stored(u"Zero").data, "") << "not replaced by the default";
}

TEST_F(Win32Registry, TextGoesThroughTheAnsiCodePageAndNamesDoNot) {
    // Text the code page holds comes back whole, its size counted in bytes.
    const String accented = u"Gr\u00f6\u00dfe";
    EXPECT_TRUE(save(u"Accented", accented));
    EXPECT_EQ(stored(u"Accented").data, host.toAnsi(accented) + '\0');
    EXPECT_EQ(get(u"Accented"), Variant(accented));
    // A name outside the code page is a name of its own, not its '?' form.
    EXPECT_TRUE(save(u"Snow\u2603", u"wide"));
    EXPECT_TRUE(save(u"Snow?", u"narrow"));
    EXPECT_EQ(get(u"Snow\u2603"), Variant(u"wide"));
    EXPECT_EQ(get(u"Snow?"), Variant(u"narrow"));
}

TEST_F(Win32Registry, TheStatusesAreTheRegistrys) {
    RegistryKey k = 0, readOnly = 0;
    ASSERT_EQ(host.createKey(registry_roots::CurrentUser, key, key_access::Settings, k), 0);
    std::uint32_t kind = 0, size = 0;
    EXPECT_EQ(host.queryValueInfo(k, u"None", kind, size), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(host.setValue(k, u"S", REG_SZ, "hello\0", 6), 0);
    EXPECT_EQ(host.queryValueInfo(k, u"s", kind, size), 0);
    EXPECT_EQ(kind, static_cast<std::uint32_t>(REG_SZ));
    EXPECT_EQ(size, 6u);
    char room[3];
    size = sizeof room;
    EXPECT_EQ(host.queryValueData(k, u"S", room, size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(host.setValue(k, String(16384, u'n'), REG_SZ, "", 0), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(host.closeKey(k), 0);
    EXPECT_EQ(host.createKey(registry_roots::CurrentUser, u"\\x", key_access::Settings, k),
              ERROR_BAD_PATHNAME);
    ASSERT_EQ(host.createKey(registry_roots::CurrentUser, key, key_access::QueryValue, readOnly),
              0);
    EXPECT_EQ(host.setValue(readOnly, u"S", REG_SZ, "x\0", 2), ERROR_ACCESS_DENIED);
    host.closeKey(readOnly);
}

#ifdef TARNWICK_CLI
// The tarnwick command in a process of its own: its exit status.
DWORD runCommand(const std::wstring& arguments) {
    std::string program = TARNWICK_CLI;
    if (!program.empty() && program[0] == '/') program = "Z:" + program;
    std::replace(program.begin(), program.end(), '/', '\\');
    std::wstring line = L"\"" + fs::u8path(program).wstring() + L"\" " + arguments;
    STARTUPINFOW start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &start,
                        &process))
        return 999;
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = 998;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

TEST_F(Win32Registry, SettingsPersistAcrossProcesses) {
    const std::wstring where = L"HKEY_CURRENT_USER \"" + toWide(key) + L"\" ";
    EXPECT_EQ(runCommand(L"reg set " + where + L"FromChild \"written by a child\""), 0u);
    EXPECT_EQ(get(u"fromchild"), Variant(u"written by a child"));
    EXPECT_EQ(runCommand(L"reg get " + where + L"FromParent"), 1u) << "not there yet";
    EXPECT_TRUE(save(u"FromParent", u"here"));
    EXPECT_EQ(runCommand(L"reg get " + where + L"FROMPARENT"), 0u);
    EXPECT_EQ(runCommand(L"reg set HKCU \"" + toWide(key) + L"\" X 1"), 1u);
}
#endif

}  // namespace
}  // namespace tarnwick
