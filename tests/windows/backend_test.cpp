// The Windows backend on what only the real system answers (under Wine) and
// the component's clients cannot see (com_test.cpp shows the rest).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>

#include "platform/win32/win32_platform.h"
#include "support/recorder_reader.h"
#include "support/temp_folder.h"
#include "tarnwick/tarnwick.h"

// After windows.h, which it builds on.
#include <winioctl.h>

namespace tarnwick {
namespace {

using namespace testing;
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
    // clang-format off
    const struct {
        String name;
        std::int32_t code;
    } rows[] = {
        {u16(temp / "Games/game.d64"), 0}, {u16(temp / "Games/none.d64"), 2},
        {u16(temp / "None/game.d64"), 3}, {u16(temp / "Games"), 5}, {d + u"\\game.d64", 0},
        {d + u"\\none.d64", 2}, {d + u"\\none\\game.d64", 3}, {d, 5}};  // a folder: no file to open
    // clang-format on
    Win32Platform host;
    for (const auto& row : rows)
        EXPECT_EQ(host.existenceTest(row.name), row.code) << row.name.size();
}

TEST(Win32Backend, TheSystemsAnswersAsTheRuntimeGivesThem) {
    const TempFolder temp;
    const String file = u16(temp.write("Long Name Here.prg")), none = u16(temp / "none");
    char16_t unused = u'Y';
    while (GetLogicalDrives() & (1u << (unused - u'A'))) --unused;
    Win32Platform host;
    const std::pair<std::function<void()>, std::int32_t> errors[] = {
        {[&] { host.changeDirectory(none); }, 76},
        {[&] { host.changeDirectory(file); }, 76},  // a file as folder
        {[&] {
             host.changeDrive(String{unused, u':', u'\\'});
         },
         68},  // missing drive
        {[&] { host.changeDrive(u"1:"); }, 68}};
    for (const auto& row : errors) {
        std::int32_t number = 0;
        try {
            row.first();
        } catch (const Error& e) {
            number = e.number();
        }
        EXPECT_EQ(number, row.second) << "row " << &row - errors;
    }
    // Too small an area: the room needed, terminator included, and nothing written.
    String area(2, u'#'), exact;
    exact.resize(host.shortPathName(file, area), u'#');
    EXPECT_EQ(area, u"##");
    EXPECT_EQ(host.shortPathName(file, exact), exact.size() - 1);
    EXPECT_EQ(exact, shortName(toWide(file)) + u'\0');
    // Letters beyond ASCII change case; a NUL has none and ends nothing.
    EXPECT_EQ(host.lowerCase(u"C:\\\u00C4NN \u03A9MEGA.D64"), u"c:\\\u00E4nn \u03C9mega.d64");
    EXPECT_EQ(host.upperCase(String(u"\u00e9\0b", 3)), String(u"\u00C9\0B", 3));
}

// The Unix name Wine gives a file ("" where it gives none).
std::string unixName(const fs::path& p) {
    using UnixName = char*(__cdecl*)(const wchar_t*);
    // Through void*: the exported address is not of the type GetProcAddress says.
    const auto convert = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = convert ? convert(p.wstring().c_str()) : nullptr;
    const std::string text = name ? name : "";
    if (name) HeapFree(GetProcessHeap(), 0, name);
    return text;
}

// A Unix program, which Wine starts natively but does not let us wait for by
// its handle: what it makes (or removes) is looked for instead.
bool runUnix(const std::string& line, const fs::path& made, bool present) {
    std::wstring wide(line.begin(), line.end()), program = L"Z:" + wide.substr(0, wide.find(L' '));
    std::replace(program.begin(), program.end(), L'/', L'\\');
    STARTUPINFOW start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(program.c_str(), wide.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &start, &process))
        CloseHandle(process.hProcess), CloseHandle(process.hThread);
    for (int i = 0; i < 100; ++i, Sleep(50))
        if ((GetFileAttributesW(made.wstring().c_str()) != INVALID_FILE_ATTRIBUTES) == present)
            return true;
    return false;
}

TEST(Win32Backend, ASearchThroughALinkToAFolderAboveEnds) {
    const TempFolder temp;
    temp.write("root/a.sid", "1"), temp.write("root/sub/b.sid", "22");
    const std::string root = unixName(temp / "root");
    const bool linked = !root.empty() && runUnix("/bin/ln -s " + root + " " + root + "/sub/up",
                                                 temp / "root/sub/up/a.sid", true);
    // The link goes first, whatever happens: the folder's removal would walk round the loop.
    const std::shared_ptr<void> unlink(nullptr, [&](void*) {
        if (linked) runUnix("/bin/rm -f " + root + "/sub/up", temp / "root/sub/up", false);
    });
    if (!linked) GTEST_SKIP() << "no Unix link could be made under this Wine";
    Win32Platform host;
    twFunctions f(host);
    std::vector<String> found;
    f.addFoundFileHandler([&](const String& p) { found.push_back(p); });
    String path = u16(temp / "root");
    EXPECT_EQ(f.FindFiles(path, u"*.sid"), Variant(std::int32_t{3}));
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<String>{path + u"a.sid", path + u"sub\\b.sid"}));
    EXPECT_EQ(f.FindFile(u"none.sid", u16(temp / "root")), u"");
}

// A free drive letter given to a folder through Wine's mount manager, as its
// configuration tool does; the letter is taken away afterwards.
class MappedDrive {
  public:
    MappedDrive(const fs::path& folder, DWORD type) {
        while (GetLogicalDrives() & (1u << (letter_ - u'A'))) --letter_;
        const std::string name = unixName(folder);
        mapped_ = !name.empty() && control(name, type);
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
    EXPECT_EQ(host.driveType(drive + u"\\"), DRIVE_CDROM);
    EXPECT_TRUE(f.DriveTypeIsCDRom(lower).isExactlyTrue());
    EXPECT_EQ(f.GetVolumeName(drive + u"\\"), u"G\u00e4 mes");
    // A wrong answer ends at once: the prompt it would show is cancelled.
    setMessageBoxHandler(
        [](const String&, std::int32_t, const String&) { return answers::Cancel; });
    EXPECT_TRUE(f.WaitForCDRom(lower, u"G\u00e4 mes").isExactlyTrue());
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
    fs::path folder;                                // of the program last copied
    const auto emulator = [&](const std::string& name) {
        fs::create_directories(folder = (temp / name).parent_path());
        fs::copy_file(fs::u8path(recorder).make_preferred(), temp / name);
        return u16(temp / name);
    };
    const String game = u16(temp.write("Games/Summer Games.T64", "summer"));
    const String odd = u16(temp.write("Tom & Jerry (1990) ^%PATH%!.d64"));
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
        EXPECT_EQ(host.upperCase(shortName(fs::u8path(r.directory))),
                  host.upperCase(shortName(folder)));
    };
    started(shell.Frodo(emulator("My Emus/Frodo \xCE\xA9/frodo.exe"), false), {});
    started(shell.Win64Beta(emulator("w/win64.exe"), odd, false), {odd});
    started(
        shell.VICE(emulator("VICE Emu/x64.exe"), game, u"A\" -chdir C:\\ \"B", eVICE_PCJoystick1,
                   eVICE_KeysetA, false),
        {u"-autostart", lowShort + u":a\" -chdir c:\\ \"b", u"-joydev1", u"4", u"-joydev2", u"2"});
    SetEnvironmentVariableW(L"TARNWICK_RECORDER_OUT", nullptr);
}

}  // namespace
}  // namespace tarnwick
