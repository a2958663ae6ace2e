// The Windows backend on what only the real system answers (under Wine):
// existence codes, registry kinds other programs write, a CD-ROM drive and
// its label, and real starts of the recorder program. The component's
// clients see the rest of the backend through tests/windows/com_test.cpp.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/win32/win32_platform.h"
#include "support/recorder_reader.h"
#include "support/temp_folder.h"
#include "tarnwick/tarnwick.h"

// After windows.h, which it builds on.
#include <winioctl.h>

namespace tarnwick {
namespace {

using namespace testing;
using namespace std::string_literals;
namespace fs = std::filesystem;

String u16(fs::path p) {
    return fromWide(p.make_preferred().wstring());
}
String shortName(fs::path p) {
    wchar_t name[MAX_PATH];
    const DWORD n = GetShortPathNameW(p.make_preferred().wstring().c_str(), name, MAX_PATH);
    return fromWide(std::wstring(name, n));
}

TEST(Win32Backend, ExistenceCodesAreTheSystems) {
    const TempFolder temp;
    temp.write("Games/game.d64");
    // A file past the classic limit, made with a name the system takes at any length.
    std::wstring deep = L"\\\\?\\" + temp.path().wstring();
    for (const wchar_t c : {L'p', L'q', L'r'})
        CreateDirectoryW((deep += L"\\" + std::wstring(100, c)).c_str(), nullptr);
    CloseHandle(CreateFileW((deep + L"\\game.d64").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            0, nullptr));
    const String d = fromWide(deep.substr(4));
    const struct {
        String name;
        std::int32_t code;
    } rows[] = {// clang-format off
        {u16(temp / "Games/game.d64"), 0}, {u16(temp / "Games/none.d64"), 2},
        {u16(temp / "None/game.d64"), 3}, {u16(temp / "Games"), 5}, {d + u"\\game.d64", 0},
        {d + u"\\none.d64", 2}, {d + u"\\none\\game.d64", 3}, {d, 5}};  // a folder: no file to open
    // clang-format on
    Win32Platform host;
    for (const auto& row : rows)
        EXPECT_EQ(host.existenceTest(row.name), row.code) << row.name.size();
}

TEST(Win32Backend, RegistryKindsAsOtherProgramsSeeThem) {
    Win32Platform host;
    twRegistry reg(host);
    const String root = u"HKEY_CURRENT_USER", key = u"Software\\Tarnwick Tests\\Kinds";
    HKEY k;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, toWide(key).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &k, nullptr),
              ERROR_SUCCESS);
    // Written by another program.
    RegSetValueExA(k, "Blob", 0, REG_BINARY, reinterpret_cast<const BYTE*>("\1\2"), 2);
    RegSetValueExA(k, "Expand", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>("%PATH%"), 7);
    RegSetValueExA(k, "Zero", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 0);
    const String accented = u"Gr\u00f6\u00dfe", dontSet = u"--DONT-SET--";
    const struct {
        String name;
        bool text;
        Variant saved, fallback, read;
        DWORD kind;
        std::string stored;  // as the ANSI variants read it
    } rows[] = {
        {u"Name", true, u"abc", dontSet, u"abc", REG_SZ, "abc\0"s},
        {u"Count", false, std::int32_t{-2}, dontSet, std::int32_t{-2}, REG_DWORD,
         "\xfe\xff\xff\xff"},
        {u"Accented", true, accented, dontSet, accented, REG_SZ, host.toAnsi(accented) + '\0'},
        {u"Blob", true, {}, dontSet, u"--NOT-FOUND--", REG_BINARY, "\1\2"},
        {u"Expand", false, {}, std::int32_t{3}, std::int32_t{3}, REG_DWORD, "\3\0\0\0"s},
        {u"Zero", true, {}, u"d", u"", REG_SZ, ""},
        {u"Snow\u2603", true, u"wide", dontSet, u"wide", REG_SZ, ""},  // not "Snow?"
        {u"Snow?", true, u"narrow", dontSet, u"narrow", REG_SZ, "narrow\0"s},
        {u"Snow\u2603", true, {}, dontSet, u"wide", REG_SZ, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(toUtf8(row.name));
        if (!row.saved.isEmpty()) {
            EXPECT_TRUE(reg.SaveSetting(root, key, row.name, row.saved, row.text).isExactlyTrue());
        }
        Variant read;
        EXPECT_TRUE(
            reg.GetSetting(root, key, row.name, read, row.text, row.fallback).isExactlyTrue());
        EXPECT_EQ(read, row.read);
        DWORD kind = 0, size = 64;
        char data[64];
        if (row.name.find(u'\u2603') != String::npos) continue;
        ASSERT_EQ(RegQueryValueExA(k, toUtf8(row.name).c_str(), nullptr, &kind,
                                   reinterpret_cast<BYTE*>(data), &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(kind, row.kind);
        EXPECT_EQ(std::string(data, size), row.stored);
    }
    RegCloseKey(k);
    RegDeleteTreeW(HKEY_CURRENT_USER, toWide(key).c_str());
}

// A free drive letter given to a folder through Wine's mount manager, as its
// configuration tool does; the letter is taken away afterwards.
class MappedDrive {
  public:
    MappedDrive(const fs::path& folder, DWORD type) {
        while (GetLogicalDrives() & (1u << (letter_ - u'A'))) --letter_;
        using UnixName = char*(__cdecl*)(const wchar_t*);
        // Through void*: the exported address is not of the type GetProcAddress says.
        const auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
        if (char* name = unixName ? unixName(folder.wstring().c_str()) : nullptr)
            mapped_ = control(name, type), HeapFree(GetProcessHeap(), 0, name);
    }
    ~MappedDrive() {
        if (mapped_) control("", DRIVE_NO_ROOT_DIR);
    }
    String drive() const { return mapped_ ? String{letter_, u':'} : u""; }

  private:
    bool control(const std::string& mountPoint, DWORD type) {
        struct {
            ULONG size, type, fileSystem;
            DWORD serial;
            ULONGLONG device;
            WCHAR letter;
            USHORT mountPoint, deviceName, label;
            char name[MAX_PATH];
        } request{sizeof request, type, 0, 0, 0, WCHAR(letter_ - u'A' + u'a'), 0, 0, 0, {}};
        std::strncpy(request.name, mountPoint.c_str(), MAX_PATH - 1);
        if (!mountPoint.empty()) request.mountPoint = offsetof(decltype(request), name);
        const HANDLE manager =
            CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        const DWORD defineUnixDrive =
            CTL_CODE(0x6d, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
        const bool done = DeviceIoControl(manager, defineUnixDrive, &request, sizeof request,
                                          nullptr, 0, nullptr, nullptr);
        CloseHandle(manager);
        return done;
    }
    char16_t letter_ = u'X';
    bool mapped_ = false;
};

TEST(Win32Backend, ADiscIsACdRomWithItsLabelAndNoRootOfItIsDeleted) {
    const TempFolder temp;
    temp.write("disc/canary.txt", "alive");
    {
        // A disc cannot be labelled: the folder is labelled as a hard disk first.
        const MappedDrive disk(temp / "disc", DRIVE_FIXED);
        if (disk.drive().empty()) GTEST_SKIP() << "Wine's mount manager mapped no drive";
        ASSERT_TRUE(SetVolumeLabelW(toWide(disk.drive() + u"\\").c_str(), L"G\u00e4 mes"));
    }
    const MappedDrive disc(temp / "disc", DRIVE_CDROM);
    const String drive = disc.drive(), lower = Win32Platform().lowerCase(drive);
    Win32Platform host;
    twFunctions f(host);
    std::vector<String> prompts;
    setMessageBoxHandler([&](const String& prompt, std::int32_t, const String&) {
        prompts.push_back(prompt);
        return answers::Cancel;
    });
    EXPECT_EQ(host.driveType(drive + u"\\"), DRIVE_CDROM);
    EXPECT_TRUE(f.DriveTypeIsCDRom(lower).isExactlyTrue());
    EXPECT_EQ(f.GetVolumeName(drive + u"\\"), u"G\u00e4 mes");
    EXPECT_TRUE(f.WaitForCDRom(lower, u"G\u00e4 mes").isExactlyTrue());
    EXPECT_FALSE(f.WaitForCDRom(lower, u"G\u00c4 MES").isExactlyTrue());
    EXPECT_EQ(prompts, std::vector<String>{u"Insert CD: 'G\u00c4 MES' into Drive " + drive});
    setMessageBoxHandler(nullptr);
    for (const String& root : {drive, drive + u"\\", drive + u"\\.", drive + u"\\sub\\.."}) {
        f.DeletePathSilent(root);
        EXPECT_EQ(contentOf(temp / "disc/canary.txt"), "alive") << toUtf8(root);
    }
}

TEST(Win32Backend, ProgramsStartWithTheArgumentsTheSystemParses) {
    const TempFolder temp;
    const fs::path record = temp / "record.txt";
    SetEnvironmentVariableW(L"TARNWICK_RECORDER_OUT", record.wstring().c_str());
    std::string recorder = "Z:" TARNWICK_RECORDER;  // Wine shows the Unix root as Z:
    const auto emulator = [&](const std::string& name) {
        fs::create_directories((temp / name).parent_path());
        fs::copy_file(fs::u8path(recorder).make_preferred(), temp / name);
        return u16(temp / name);
    };
    const String game = u16(temp.write("Games/Summer Games.T64", "summer"));
    const String odd = u16(temp.write("Tom & Jerry (1990) ^%PATH%!.d64"));
    temp.write("Music/t.sid");
    Win32Platform host;
    twShell shell(host);
    const String lowShort = host.lowerCase(shortName(toWide(game)));
    // Each start: the arguments as the program got them, and the directory it started in.
    const auto started = [&](const String& message, const std::vector<String>& expected) {
        EXPECT_EQ(message, u"");
        Recording r;
        ASSERT_TRUE(waitForRecording(record, r)) << "the program did not start";
        std::vector<String> arguments;
        for (const std::string& a : r.arguments) arguments.push_back(fromUtf8(a));
        EXPECT_EQ(arguments, expected) << r.commandLine;
        EXPECT_EQ(host.upperCase(fromUtf8(r.directory)), host.upperCase(host.currentDirectory()));
    };
    started(shell.Frodo(emulator("My Emus/Frodo \xCE\xA9/frodo.exe"), false), {});
    started(shell.Win64Beta(emulator("w/win64.exe"), odd, false), {odd});
    started(shell.PC64Win(emulator("PC64 Win/pc64.exe"), game, false), {shortName(toWide(game))});
    started(shell.Comeback64(emulator("Come Back/CB64.exe"), game, SelectPort2, false),
            {u"/l" + lowShort, u"/j2"});
    started(
        shell.VICE(emulator("VICE Emu/x64.exe"), game, u"A\" -chdir C:\\ \"B", eVICE_PCJoystick1,
                   eVICE_KeysetA, false),
        {u"-autostart", lowShort + u":a\" -chdir c:\\ \"b", u"-joydev1", u"4", u"-joydev2", u"2"});
    shell.PlayMusicSong(emulator("SID Player/p.exe"), u16(temp / "Music"), u"t.sid", 4);
    started(u"", {u"-o4", shortName(temp / "Music/t.sid")});
    // A file that is no program is refused, and nothing starts.
    EXPECT_EQ(shell.Frodo(u16(temp.write("Frodo/frodo.exe", "not a program")), false),
              u"There was an error starting Frodo.  Error 5: Invalid procedure call or argument");
    Sleep(300);
    EXPECT_FALSE(fs::exists(record));
    SetEnvironmentVariableW(L"TARNWICK_RECORDER_OUT", nullptr);
}

TEST(Win32Backend, SystemErrorsAreTheRuntimesNumbers) {
    // clang-format off
    const std::pair<DWORD, std::int32_t> rows[] = {
        {ERROR_FILE_NOT_FOUND, 53}, {ERROR_PATH_NOT_FOUND, 76}, {ERROR_ACCESS_DENIED, 70},
        {ERROR_SHARING_VIOLATION, 70}, {ERROR_NOT_READY, 71}, {ERROR_DISK_FULL, 61},
        {ERROR_NOT_ENOUGH_MEMORY, 7}, {ERROR_INVALID_DRIVE, 68}, {ERROR_INVALID_NAME, 52},
        {ERROR_CRC, 57}, {ERROR_ALREADY_EXISTS, 75}, {ERROR_TOO_MANY_OPEN_FILES, 67}, {0xFFFF, 5}};
    // clang-format on
    for (const auto& [code, number] : rows)
        EXPECT_EQ(errorFromWin32(code).number(), number) << code;
}

}  // namespace
}  // namespace tarnwick
