// The Windows backend on what only the real system answers (under Wine) and
// the component's clients cannot see (com_test.cpp shows the rest).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>

#include "platform/win32/win32_platform.h"
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
    return fromWide(std::wstring(
        name, GetShortPathNameW(p.make_preferred().wstring().c_str(), name, MAX_PATH)));
}

TEST(Win32Backend, TheSystemsAnswersAreTheRuntimes) {
    const TempFolder temp;
    const String file = u16(temp.write("Games/Long Name Here.prg")), games = u16(temp / "Games");
    // A file past the classic limit, made with a name the system takes at any length.
    std::wstring deep = L"\\\\?\\" + temp.path().wstring();
    for (const wchar_t c : {L'p', L'q', L'r'})
        CreateDirectoryW((deep += L"\\" + std::wstring(100, c)).c_str(), nullptr);
    CloseHandle(CreateFileW((deep + L"\\game.d64").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            0, nullptr));
    const String d = fromWide(deep.substr(4));
    const String unused{[] {
                            char16_t letter = u'Y';
                            while (GetLogicalDrives() & (1u << (letter - u'A'))) --letter;
                            return letter;
                        }(),
                        u':', u'\\'};
    Win32Platform host;
    const auto raised = [](const std::function<void()>& f) {
        try {
            f();
        } catch (const Error& e) {
            return e.number();
        }
        return 0;
    };
    const struct {
        const char* name;
        std::function<std::int32_t()> answer;
        std::int32_t expected;
    } rows[] = {
        // clang-format off
        {"a file", [&] { return host.existenceTest(file); }, 0},
        {"a missing file", [&] { return host.existenceTest(games + u"\\none.d64"); }, 2},
        {"a missing folder", [&] { return host.existenceTest(games + u"\\no\\game.d64"); }, 3},
        {"a folder: no file to open", [&] { return host.existenceTest(games); }, 5},
        {"a long file", [&] { return host.existenceTest(d + u"\\game.d64"); }, 0},
        {"a long missing file", [&] { return host.existenceTest(d + u"\\none.d64"); }, 2},
        {"a long missing folder", [&] { return host.existenceTest(d + u"\\none\\game.d64"); }, 3},
        {"a long folder", [&] { return host.existenceTest(d); }, 5},
        {"cd to a missing folder", [&] { return raised([&] { host.changeDirectory(games + u"\\no"); }); }, 76},
        {"cd to a file", [&] { return raised([&] { host.changeDirectory(file); }); }, 76},
        {"a missing drive", [&] { return raised([&] { host.changeDrive(unused); }); }, 68},
        {"no drive letter", [&] { return raised([&] { host.changeDrive(u"1:"); }); }, 68},
        // clang-format on
    };
    for (const auto& row : rows) EXPECT_EQ(row.answer(), row.expected) << row.name;
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

// A folder mapped as a CD-ROM drive: none of the ways to name its root deletes it.
TEST(Win32Backend, NoRootOfADriveIsDeleted) {
    const TempFolder temp;
    temp.write("disc/canary.txt", "alive");
    const MappedDrive disc(temp / "disc", DRIVE_CDROM);
    if (disc.drive().empty()) GTEST_SKIP() << "Wine's mount manager mapped no drive";
    const String drive = disc.drive();
    Win32Platform host;
    twFunctions f(host);
    EXPECT_EQ(host.driveType(drive + u"\\"), DRIVE_CDROM);
    for (const String& root : {drive, drive + u"\\", drive + u"\\.", drive + u"\\sub\\.."}) {
        f.DeletePathSilent(root);
        EXPECT_EQ(contentOf(temp / "disc/canary.txt"), "alive") << toUtf8(root);
    }
}

}  // namespace
}  // namespace tarnwick
