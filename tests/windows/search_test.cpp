// The folder searches, the volume label of a drive the test maps, the
// CD-ROM wait on it, deletion through the shell, the message pump and
// opening a document through its association, all against the Windows
// backend run under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "windows/win32_fixture.h"

// After windows.h, which it builds on.
#include <winioctl.h>

namespace tarnwick {
namespace {

using namespace testing;

// The entries of a folder in the order the system lists them.
std::vector<std::wstring> listed(const fs::path& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    const HANDLE h = FindFirstFileW((win(folder) / L"*").wstring().c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(h, &found));
    FindClose(h);
    return names;
}

// Runs a program of the Unix side under Wine (which starts such programs
// natively), given by its Unix path, and waits for it.
bool runUnix(const std::wstring& program, const std::wstring& arguments) {
    std::wstring windowsPath = L"Z:" + program;
    std::replace(windowsPath.begin(), windowsPath.end(), L'/', L'\\');
    std::wstring line = program + L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(windowsPath.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process))
        return false;
    WaitForSingleObject(process.hProcess, 20000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return true;
}

// The Unix path Wine shows as a Windows path.
std::wstring unixPathOf(const fs::path& p) {
    using WineGetUnixFileName = char*(__cdecl*)(const wchar_t*);
    // Through void*: the exported address is not of the type GetProcAddress says.
    const auto convert = reinterpret_cast<WineGetUnixFileName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!convert) return std::wstring();
    char* unix = convert(win(p).wstring().c_str());
    if (!unix) return std::wstring();
    const std::string text = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return std::wstring(text.begin(), text.end());
}

class Win32Search : public Win32Backend {
  protected:
    std::vector<String> search(String& path, const String& pattern, Variant& total) {
        std::vector<String> events;
        twFunctions f(host);
        f.addFoundFileHandler([&](const String& p) { events.push_back(p); });
        total = f.FindFiles(path, pattern);
        return events;
    }
};

TEST_F(Win32Search, FindFileAsksTheFolderFirstThenTheFirstListedSubfolderDepthFirst) {
    twFunctions f(host);
    temp.write("Games/Elite.d64", "x");
    EXPECT_TRUE(
        sameFile(f.FindFile(u"ELITE.D64", u16(temp / "Games")), u16(temp / "Games/Elite.d64")));

    for (const char* name : {"alpha", "beta", "gamma"})
        fs::create_directories(temp / "tree" / name);
    const std::vector<std::wstring> order = listed(temp / "tree");
    temp.write("tree/" + fs::path(order.front()).string() + "/one/two/tune.sid");
    temp.write("tree/" + fs::path(order.back()).string() + "/tune.sid");
    const String found = f.FindFile(u"tune.sid", u16(temp / "tree"));
    EXPECT_TRUE(sameFile(found, u16(temp / "tree" / order.front() / "one/two/tune.sid")))
        << toUtf8(found);
    EXPECT_EQ(f.FindFile(u"nowhere.sid", u16(temp / "tree")), u"");
    EXPECT_EQ(f.FindFile(u"tune.sid", u16(temp / "missing")), u"");
}

TEST_F(Win32Search, FindFileSkipsHiddenAndSystemFolders) {
    twFunctions f(host);
    temp.write("h/Hidden/in.prg");
    temp.write("h/System/in.prg");
    SetFileAttributesW(win(temp / "h/Hidden").wstring().c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesW(win(temp / "h/System").wstring().c_str(), FILE_ATTRIBUTE_SYSTEM);
    const DWORD hidden = GetFileAttributesW(win(temp / "h/Hidden").wstring().c_str());
    const DWORD system = GetFileAttributesW(win(temp / "h/System").wstring().c_str());
    if (!(hidden & FILE_ATTRIBUTE_HIDDEN) || !(system & FILE_ATTRIBUTE_SYSTEM))
        GTEST_SKIP() << "this file system keeps no hidden or system marks";
    EXPECT_EQ(f.FindFile(u"in.prg", u16(temp / "h")), u"");
    String path = u16(temp / "h");
    Variant total;
    EXPECT_EQ(search(path, u"in.prg", total).size(), 2u) << "FindFiles searches them all";
}

TEST_F(Win32Search, FindFilesReportsMatchesBeforeSubfoldersAndTotalsTheSizes) {
    temp.write("Music/top.sid", std::string(10, 'a'));
    temp.write("Music/notes.txt", "no");
    temp.write("Music/Hubbard/Commando.SID", std::string(20, 'b'));
    temp.write("Music/Galway/Wizball.sid", std::string(40, 'd'));
    String path = u16(temp / "Music");
    Variant total;
    const std::vector<String> events = search(path, u"*.sid", total);
    EXPECT_EQ(path, u16(temp / "Music") + u"\\");
    std::vector<String> expected{path + u"top.sid"};
    for (const std::wstring& sub : listed(temp / "Music")) {
        if (sub == L"Hubbard") expected.push_back(path + u"Hubbard\\Commando.SID");
        if (sub == L"Galway") expected.push_back(path + u"Galway\\Wizball.sid");
    }
    EXPECT_EQ(events, expected);
    EXPECT_EQ(total, Variant(std::int32_t{70}));

    temp.write("one/file.bin", std::string(100, 'x'));
    fs::create_directories(temp / "one/empty");
    String one = u16(temp / "one") + u"\\";
    std::vector<String> both = search(one, u"*.*", total);
    std::sort(both.begin(), both.end());
    EXPECT_EQ(both, (std::vector<String>{one + u"empty", one + u"file.bin"}));
    EXPECT_EQ(total, Variant(std::int32_t{100}));

    fs::create_directories(temp / "bare/a");
    String bare = u16(temp / "bare");
    EXPECT_TRUE(search(bare, u"*.sid", total).empty());
    EXPECT_EQ(total, Variant(std::int16_t{0}));
}

TEST_F(Win32Search, AFileOfFiveThousandMillionBytesAddsExactlyThat) {
    const fs::path big = win(temp.write("big/disk.img"));
    const HANDLE file = CreateFileW(big.wstring().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD ignored = 0;
    DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = 5000000000LL;
    ASSERT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(file));
    CloseHandle(file);
    String path = u16(temp / "big");
    Variant total;
    EXPECT_EQ(search(path, u"*.img", total).size(), 1u);
    EXPECT_EQ(total.kind(), Variant::Kind::Double);
    EXPECT_EQ(total.asDouble(), 5000000000.0);
}

TEST_F(Win32Search, ATreeThatHoldsItselfThroughALinkIsSearchedOnce) {
    temp.write("root/a.sid", "1");
    temp.write("root/sub/b.sid", "22");
    const std::wstring root = unixPathOf(temp / "root");
    ASSERT_FALSE(root.empty());
    // The link is removed whatever happens: the temporary folder's own
    // removal does not know links under Wine and would walk round the loop.
    struct RemoveLink {
        std::wstring link;
        ~RemoveLink() {
            runUnix(L"/bin/rm", L"-f " + link);
            for (int i = 0;
                 i < 100 && GetFileAttributesW(windowsName.c_str()) != INVALID_FILE_ATTRIBUTES; ++i)
                Sleep(50);
        }
        std::wstring windowsName;
    } removeLink{root + L"/sub/up", win(temp / "root/sub/up").wstring()};
    const bool ran = runUnix(L"/bin/ln", L"-s " + root + L" " + root + L"/sub/up");
    // A program of the Unix side is not waited for by its handle: look for
    // its work.
    DWORD seen = INVALID_FILE_ATTRIBUTES;
    for (int i = 0; i < 100 && seen == INVALID_FILE_ATTRIBUTES; ++i, Sleep(50))
        seen = GetFileAttributesW(win(temp / "root/sub/up/a.sid").wstring().c_str());
    if (seen == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no link could be made under this Wine (ln "
                     << (ran ? "ran" : "did not run") << ", error " << GetLastError() << ", "
                     << toUtf8(fromWide(root)) << ")";

    String path = u16(temp / "root");
    Variant total;
    std::vector<String> events = search(path, u"*.sid", total);
    std::sort(events.begin(), events.end());
    EXPECT_EQ(events, (std::vector<String>{path + u"a.sid", path + u"sub\\b.sid"}));
    EXPECT_EQ(total, Variant(std::int32_t{3}));
    EXPECT_EQ(twFunctions(host).FindFile(u"missing.sid", u16(temp / "root")), u"");
}

// ------------------------------------------------------------ a mapped drive

// Maps a free drive letter to a folder through Wine's mount manager, as its
// configuration tool does, and removes the mapping afterwards.
class MappedDrive {
  public:
    MappedDrive(const fs::path& folder, DWORD type) : letter_(unusedDriveLetter()) {
        const std::wstring unix = unixPathOf(folder);
        if (letter_ == 0 || unix.empty()) return;
        mapped_ = control(std::string(unix.begin(), unix.end()), type);
    }
    ~MappedDrive() {
        if (mapped_) control(std::string(), DRIVE_NO_ROOT_DIR);
    }
    bool mapped() const { return mapped_; }
    String drive() const { return String{letter_, u':'}; }

  private:
    // Wine's own request to its mount manager: a drive letter for a Unix
    // folder (no folder: the letter is taken away).
    struct UnixDrive {
        ULONG size;
        ULONG type;
        ULONG fileSystemType;
        DWORD serial;
        ULONGLONG unixDevice;
        WCHAR letter;
        USHORT mountPointOffset;
        USHORT deviceOffset;
        USHORT labelOffset;
    };
    bool control(const std::string& mountPoint, DWORD type) {
        const HANDLE manager =
            CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (manager == INVALID_HANDLE_VALUE) return false;
        std::vector<char> request(sizeof(UnixDrive) + mountPoint.size() + 1, '\0');
        UnixDrive* drive = reinterpret_cast<UnixDrive*>(request.data());
        drive->size = static_cast<ULONG>(request.size());
        drive->type = type;
        drive->letter = static_cast<WCHAR>(letter_ - u'A' + u'a');
        if (!mountPoint.empty()) {
            std::memcpy(request.data() + sizeof(UnixDrive), mountPoint.c_str(), mountPoint.size());
            drive->mountPointOffset = sizeof(UnixDrive);
        }
        const DWORD defineUnixDrive =
            CTL_CODE(0x6d, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
        const bool done =
            DeviceIoControl(manager, defineUnixDrive, request.data(),
                            static_cast<DWORD>(request.size()), nullptr, 0, nullptr, nullptr);
        CloseHandle(manager);
        return done;
    }
    char16_t letter_;
    bool mapped_ = false;
};

TEST_F(Win32Backend, TheLabelOfAMappedDiscIsReadAndAwaited) {
    fs::create_directories(temp / "disc");
    {
        // A disc cannot be labelled: the folder gets its label as a hard
        // disk first, then comes back as a CD-ROM drive.
        MappedDrive disk(temp / "disc", DRIVE_FIXED);
        if (!disk.mapped()) GTEST_SKIP() << "Wine's mount manager did not map a drive";
        ASSERT_TRUE(SetVolumeLabelW(toWide(disk.drive() + u"\\").c_str(), L"G\u00e4 mes"));
    }
    MappedDrive disc(temp / "disc", DRIVE_CDROM);
    ASSERT_TRUE(disc.mapped());
    const String drive = disc.drive();
    twFunctions f(host);
    EXPECT_EQ(f.GetVolumeName(drive), u"Gä mes");
    EXPECT_TRUE(static_cast<bool>(f.DriveTypeIsCDRom(drive)));

    std::vector<String> prompts;
    setMessageBoxHandler([&](const String& prompt, std::int32_t, const String&) {
        prompts.push_back(prompt);
        return answers::Cancel;
    });
    const String lower = String{static_cast<char16_t>(drive[0] - u'A' + u'a'), u':'};
    EXPECT_TRUE(static_cast<bool>(f.WaitForCDRom(lower, u"Gä mes")));
    EXPECT_FALSE(static_cast<bool>(f.WaitForCDRom(lower, u"GÄ MES")));
    EXPECT_EQ(prompts, std::vector<String>{u"Insert CD: 'GÄ MES' into Drive " + drive});
}

TEST_F(Win32Backend, ADriveWithNothingBehindItHasNoLabel) {
    const char16_t unused = unusedDriveLetter();
    ASSERT_NE(unused, 0);
    twFunctions f(host);
    EXPECT_EQ(f.GetVolumeName(String{unused, u':'}), u"");
}

// ------------------------------------------------------------ deletion

TEST_F(Win32Backend, DeletionThroughTheShellTakesTreesAndMatches) {
    twFunctions f(host);
    temp.write("tree/a.txt", "a");
    temp.write("tree/sub/deeper/c.txt", "c");
    SetFileAttributesW(win(temp / "tree/a.txt").wstring().c_str(), FILE_ATTRIBUTE_READONLY);
    f.DeletePathSilent(u16(temp / "tree"));
    EXPECT_FALSE(fs::exists(temp / "tree"));

    temp.write("w/A.TMP", "1");
    temp.write("w/b.tmp", "2");
    temp.write("w/sub.tmp/in.txt", "3");
    temp.write("w/keep.txt", "4");
    f.DeletePathSilent(u16(temp / "w/*.tmp"));
    EXPECT_FALSE(fs::exists(temp / "w/A.TMP"));
    EXPECT_FALSE(fs::exists(temp / "w/b.tmp"));
    EXPECT_FALSE(fs::exists(temp / "w/sub.tmp"));
    EXPECT_EQ(contentOf(temp / "w/keep.txt"), "4");

    f.DeletePathSilent(u16(temp / "missing"));  // nothing to delete, nothing shown
    EXPECT_TRUE(fs::exists(temp / "w/keep.txt"));
}

TEST_F(Win32Backend, DeletionTakesNothingForEmptyDotDotDotOrARoot) {
    twFunctions f(host);
    temp.write("a/x.txt", "x");
    temp.write("a/b/y.txt", "y");
    fs::create_directories(temp / "volume");
    temp.write("volume/canary.txt", "alive");
    MappedDrive volume(temp / "volume", DRIVE_FIXED);
    std::vector<String> paths{u"", u".", u"..", u".\\", u"..\\b\\.."};
    if (volume.mapped()) {
        ASSERT_EQ(contentOf(pathOf(volume.drive() + u"\\canary.txt")), "alive");
        for (const String& root : {volume.drive(), volume.drive() + u"\\", volume.drive() + u"\\.",
                                   volume.drive() + u"\\sub\\.."})
            paths.push_back(root);
    }
    host.changeDirectory(u16(temp / "a/b"));
    for (const String& path : paths) {
        f.DeletePathSilent(path);
        EXPECT_EQ(contentOf(temp / "a/x.txt"), "x") << toUtf8(path);
        EXPECT_EQ(contentOf(temp / "a/b/y.txt"), "y") << toUtf8(path);
        EXPECT_EQ(contentOf(temp / "volume/canary.txt"), "alive") << toUtf8(path);
    }
    if (!volume.mapped()) GTEST_SKIP() << "roots untested: Wine's mount manager mapped no drive";
}

// ------------------------------------------------------------ the pump

LRESULT CALLBACK countingProcedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_APP) ++*reinterpret_cast<int*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    return DefWindowProcW(window, message, w, l);
}

TEST_F(Win32Backend, TheCallersMessagesAreHandledWhileTheLibraryWaits) {
    WNDCLASSW type{};
    type.lpfnWndProc = countingProcedure;
    type.hInstance = GetModuleHandleW(nullptr);
    type.lpszClassName = L"TarnwickPumpTest";
    RegisterClassW(&type);
    const HWND window = CreateWindowExW(0, L"TarnwickPumpTest", L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                        nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    int handled = 0;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&handled));
    twFunctions f(host);

    PostMessageW(window, WM_APP, 0, 0);
    PostMessageW(window, WM_APP, 0, 0);
    f.DeletePathSilent(u16(temp / "missing"));
    EXPECT_EQ(handled, 2) << "the waiting messages were dispatched";

    // A request to quit is left for the caller's own loop.
    PostQuitMessage(7);
    f.DeletePathSilent(u16(temp / "missing"));
    MSG message;
    ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 7u);

    // A host that pumps its own messages is asked instead.
    int hostYields = 0;
    setYieldHandler([&] { ++hostYields; });
    PostMessageW(window, WM_APP, 0, 0);
    f.DeletePathSilent(u16(temp / "missing"));
    setYieldHandler(nullptr);
    EXPECT_EQ(hostYields, 1);
    EXPECT_EQ(handled, 2);
    while (PeekMessageW(&message, window, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    EXPECT_EQ(handled, 3);
    DestroyWindow(window);
}

// ------------------------------------------------------------ on top

TEST_F(Win32Backend, AlwaysOnTopMovesTheWindowIntoTheTopmostBandAndOut) {
    const HWND window = CreateWindowExW(0, L"STATIC", L"tarnwick", WS_OVERLAPPEDWINDOW, 40, 50, 300,
                                        200, nullptr, nullptr, nullptr, nullptr);
    if (!window) GTEST_SKIP() << "this Wine has no display to make a window on";
    RECT before, after;
    GetWindowRect(window, &before);
    twFunctions f(host);
    const std::int32_t id = static_cast<std::int32_t>(reinterpret_cast<LONG_PTR>(window));
    f.SetAlwaysOnTop(Boolean::fromRaw(1), id);
    EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    f.SetAlwaysOnTop(false, id);
    EXPECT_FALSE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    GetWindowRect(window, &after);
    EXPECT_TRUE(EqualRect(&before, &after));
    DestroyWindow(window);
}

// ------------------------------------------------------------ opening

TEST_F(Win32Launch, ADocumentOpensInTheProgramItsTypeIsAssociatedWith) {
    const fs::path program = emulator("viewer/viewer.exe");
    const std::wstring command = L"\"" + win(program).wstring() + L"\" \"%1\"";
    // Registered for the machine: Wine's shell does not see the classes of
    // the user's own hive. The prefix is the build's own.
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, L".twtest", 0, nullptr, 0, KEY_WRITE, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(L"Tarnwick.Test"),
                   sizeof(L"Tarnwick.Test"));
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, L"Tarnwick.Test\\shell\\open\\command", 0, nullptr,
                              0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                   static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);

    const fs::path document = win(temp.write("Game Manual.twtest", "manual"));
    twShell(host).ShellWithDefaultProgram(u16(document), 0);
    const Recording r = recorded();
    ASSERT_EQ(r.arguments.size(), 1u);
    EXPECT_TRUE(sameFile(fromUtf8(r.arguments[0]), u16(document)));
    twShell(host).ShellWithDefaultProgram(u16(temp / "missing.twtest"), 0);  // no error

    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Tarnwick.Test");
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L".twtest");
}

}  // namespace
}  // namespace tarnwick
