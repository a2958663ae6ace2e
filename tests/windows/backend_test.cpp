// The Windows backend against the real system (run under Wine by ctest):
// existence codes, directory and drive changes, short names, drive types,
// letter case, and real starts of the recorder program through twShell.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>

#include "windows/win32_fixture.h"

namespace tarnwick {
namespace {

using namespace testing;

TEST_F(Win32Backend, ExistenceCodesTellMissingFileFromMissingFolder) {
    const fs::path file = temp.write("Games/game.d64", "x");
    EXPECT_EQ(host.existenceTest(u16(file)), 0);
    EXPECT_EQ(host.existenceTest(u16(temp / "Games/other.d64")), 2);
    EXPECT_EQ(host.existenceTest(u16(temp / "Nowhere/other.d64")), 3);
    EXPECT_EQ(host.existenceTest(u16(temp / "Games")), 5) << "a directory cannot be opened";
    EXPECT_EQ(host.existenceTest(u16(temp.path())), 5);

    // Relative names start at the current directory.
    host.changeDirectory(u16(temp / "Games"));
    EXPECT_EQ(host.existenceTest(u"game.d64"), 0);
    EXPECT_EQ(host.existenceTest(u"..\\Games\\game.d64"), 0);
    EXPECT_EQ(host.existenceTest(u"missing.d64"), 2);
    EXPECT_EQ(host.existenceTest(u"Missing\\game.d64"), 3);
}

TEST_F(Win32Backend, AFileThatIsOpenElsewhereStillCounts) {
    const fs::path file = temp.write("busy.d64", "x");
    const HANDLE held = CreateFileW(file.wstring().c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(host.existenceTest(u16(file)), 0);
    CloseHandle(held);
}

TEST_F(Win32Backend, LongNamesGetRealCodesAndNeverCountAsPresent) {
    fs::create_directories(temp / "Games");
    // Past the 128 characters that OpenFile takes: still the real code.
    EXPECT_EQ(host.existenceTest(u16(temp / "Games" / std::string(150, 'a'))), 2);
    EXPECT_EQ(host.existenceTest(u16(temp / std::string(150, 'b') / "game.d64")), 3);

    // Past every limit: one name longer than a file system allows, and a
    // path longer than the classic 260 characters through missing folders.
    const std::vector<fs::path> tooLong{
        temp / std::string(300, 'x'),
        temp / "Games" / (std::string(300, 'y') + ".d64"),
        temp / std::string(130, 'm') / std::string(130, 'n') / "game.d64",
        temp / std::string(5000, 'z'),
    };
    for (const fs::path& name : tooLong) {
        const std::int32_t code = host.existenceTest(u16(name));
        EXPECT_TRUE(code == 2 || code == 3)
            << "code " << code << " for a name of " << name.wstring().size() << " characters";
    }
}

TEST_F(Win32Backend, AFileBehindAPathPastTheClassicLimitIsFound) {
    // Made with "\\?\" names, which the system takes at any length.
    std::wstring folder = L"\\\\?\\" + temp.path().wstring();
    for (const char c : {'p', 'q', 'r'}) {
        folder += L"\\" + std::wstring(100, static_cast<wchar_t>(c));
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr)) << GetLastError();
    }
    const std::wstring file = folder + L"\\game.d64";
    const HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
    CloseHandle(h);

    const String plain = fromWide(file.substr(4));  // the name as a user writes it
    ASSERT_GT(plain.size(), static_cast<std::size_t>(MAX_PATH));
    EXPECT_EQ(host.existenceTest(plain), 0);
    EXPECT_EQ(host.existenceTest(fromWide(folder.substr(4)) + u"\\other.d64"), 2);
    EXPECT_EQ(host.existenceTest(fromWide(folder.substr(4)) + u"\\none\\game.d64"), 3);
    EXPECT_EQ(host.existenceTest(fromWide(folder.substr(4))), 5);
}

TEST_F(Win32Backend, FileExistsAndDirExistsOnRealFiles) {
    twFunctions f(host);
    const fs::path file = temp.write("a b/\xCE\xA9mega Race.prg", "x");  // U+03A9
    EXPECT_TRUE(static_cast<bool>(f.FileExists(u16(file), false, u"")));
    EXPECT_FALSE(static_cast<bool>(f.FileExists(u16(temp / "a b/none.prg"), false, u"")));
    EXPECT_FALSE(static_cast<bool>(f.FileExists(u16(temp / "a b"), false, u"")));

    EXPECT_TRUE(static_cast<bool>(f.DirExists(u16(temp / "a b"))));
    EXPECT_TRUE(sameFile(host.currentDirectory(), u16(temp / "a b")));
    EXPECT_FALSE(static_cast<bool>(f.DirExists(u16(file))));
    EXPECT_FALSE(static_cast<bool>(f.DirExists(u16(temp / "missing"))));
    EXPECT_FALSE(static_cast<bool>(f.DirExists(u"")));
    EXPECT_TRUE(sameFile(host.currentDirectory(), u16(temp / "a b")))
        << "a failed change leaves the directory alone";
}

TEST_F(Win32Backend, FileExistsTellsTheUserWhatTheSystemFound) {
    twFunctions f(host);
    std::vector<String> prompts;
    setMessageBoxHandler([&](const String& prompt, std::int32_t style, const String& caption) {
        prompts.push_back(caption + u"|" + prompt + u"|" + fromUtf8(std::to_string(style)));
        return answers::Ok;
    });
    fs::create_directories(temp / "Games");
    const String missingFile = u16(temp / "Games/none.d64");
    const String missingFolder = u16(temp / "Nowhere/none.d64");
    const String folder = u16(temp / "Games");
    EXPECT_FALSE(static_cast<bool>(f.FileExists(missingFile, true, u"Games")));
    EXPECT_FALSE(static_cast<bool>(f.FileExists(missingFolder, true, u"Games")));
    EXPECT_FALSE(static_cast<bool>(f.FileExists(folder, true, u"Games")));
    ASSERT_EQ(prompts.size(), 3u);
    EXPECT_EQ(prompts[0], u"Games|FILE NOT FOUND: " + missingFile + u"|48");
    EXPECT_EQ(prompts[1], u"Games|PATH NOT FOUND: " + missingFolder + u"|48");
    EXPECT_EQ(prompts[2], u"Games|Device Not Ready for " + folder + u"|48");
}

TEST_F(Win32Backend, ChangeDirectoryReportsPathNotFound) {
    const fs::path file = temp.write("game.d64");
    EXPECT_EQ(errorOf([&] { host.changeDirectory(u16(temp / "missing")); }).number(), 76);
    EXPECT_EQ(errorOf([&] { host.changeDirectory(u16(temp / "missing/deeper")); }).number(), 76);
    EXPECT_EQ(errorOf([&] { host.changeDirectory(u16(file)); }).number(), 76);
    EXPECT_EQ(errorOf([&] { host.changeDirectory(u16(temp.path()) + u"\\a|b"); }).number(), 76);
    EXPECT_EQ(errorOf([&] { host.changeDirectory(u16(temp / std::string(300, 'x'))); }).number(),
              76);

    host.changeDirectory(u16(temp.path()));
    EXPECT_TRUE(sameFile(host.currentDirectory(), u16(temp.path())));
    const Error e = errorOf([&] { host.changeDirectory(u16(temp / "missing")); });
    EXPECT_EQ(e.description(), u"Path not found");
}

TEST_F(Win32Backend, ChangeDriveTakesTheFirstCharacterOnly) {
    host.changeDirectory(u16(temp.path()));
    const String here = host.currentDirectory();
    ASSERT_EQ(here.substr(1, 1), u":");

    host.changeDrive(u"");  // nothing named: nothing changes
    EXPECT_EQ(host.currentDirectory(), here);
    // The current drive again: it stays at its current directory.
    host.changeDrive(here.substr(0, 1) + u":\\somewhere\\else");
    EXPECT_EQ(host.currentDirectory(), here);

    const char16_t other = otherDriveLetter();
    ASSERT_NE(other, 0) << "the system reports no drive besides C:";
    host.changeDrive(String(1, other) + u":\\ignored");
    EXPECT_EQ(host.upperCase(host.currentDirectory().substr(0, 2)), String(1, other) + u":");
    host.changeDrive(host.lowerCase(here.substr(0, 1)));
    EXPECT_EQ(host.upperCase(host.currentDirectory().substr(0, 2)),
              host.upperCase(here.substr(0, 2)));

    const char16_t unused = unusedDriveLetter();
    ASSERT_NE(unused, 0) << "every drive letter is in use";
    for (const String& bad : {String(1, unused), String(1, unused) + u":\\", String(u"1"),
                              String(u"\\\\server\\share"), String(u":")}) {
        const Error e = errorOf([&] { host.changeDrive(bad); });
        EXPECT_EQ(e.number(), 68) << toUtf8(bad);
        EXPECT_EQ(e.description(), u"Device unavailable");
    }
}

TEST_F(Win32Backend, DriveTypesComeFromTheSystem) {
    twFunctions f(host);
    EXPECT_EQ(host.driveType(u"C:\\"), 3);
    EXPECT_FALSE(static_cast<bool>(f.DriveTypeIsCDRom(u"C:")));
    EXPECT_FALSE(static_cast<bool>(f.DriveTypeIsCDRom(u"c:")));

    const char16_t unused = unusedDriveLetter();
    ASSERT_NE(unused, 0);
    EXPECT_EQ(host.driveType(String(1, unused) + u":\\"), 1);
    EXPECT_TRUE(static_cast<bool>(f.DriveTypeIsCDRom(String(1, unused) + u":")));
}

TEST_F(Win32Backend, ShortNamesNameTheSameFileWithoutBlanks) {
    twFunctions f(host);
    const fs::path file = temp.write("My Long Folder/Great Escape Game.d64", "escape");
    const String shortName = f.Long2Short(u16(file));
    ASSERT_FALSE(shortName.empty());
    EXPECT_EQ(shortName.find(u' '), String::npos) << toUtf8(shortName);
    EXPECT_NE(shortName, u16(file));
    EXPECT_TRUE(sameFile(shortName, u16(file))) << toUtf8(shortName);
    EXPECT_EQ(contentOf(pathOf(shortName)), "escape");
    // A folder has a short form too, and the file is reached through it.
    const String shortFolder = f.Long2Short(u16(temp / "My Long Folder"));
    ASSERT_FALSE(shortFolder.empty());
    EXPECT_EQ(shortFolder.find(u' '), String::npos);
    EXPECT_EQ(contentOf(pathOf(shortFolder + u"\\Great Escape Game.d64")), "escape");

    EXPECT_EQ(f.Long2Short(u16(temp / "My Long Folder/missing.d64")), u"");
    EXPECT_EQ(f.Long2Short(u16(temp / "Missing Folder/game.d64")), u"");
    EXPECT_EQ(f.Long2Short(u""), u"");
}

TEST_F(Win32Backend, ShortPathNameWritesNothingWhenTheAreaIsTooSmall) {
    const fs::path file = temp.write("Another Long Name.prg");
    String area(2, u'#');
    const std::uint32_t needed = host.shortPathName(u16(file), area);
    ASSERT_GT(needed, 2u);
    EXPECT_EQ(area, u"##");

    String exact(needed, u'#');
    const std::uint32_t written = host.shortPathName(u16(file), exact);
    EXPECT_EQ(written, needed - 1) << "the room needed counts the terminator";
    EXPECT_EQ(exact[written], u'\0');
    EXPECT_TRUE(sameFile(exact.substr(0, written), u16(file)));

    String roomy(written + 10, u'#');
    EXPECT_EQ(host.shortPathName(u16(file), roomy), written);
    EXPECT_EQ(roomy.substr(0, written), exact.substr(0, written));
    EXPECT_EQ(roomy.substr(written + 1), String(9, u'#')) << "nothing past the terminator";

    String none(10, u'#');
    EXPECT_EQ(host.shortPathName(u16(temp / "missing.prg"), none), 0u);
}

TEST_F(Win32Backend, LetterCaseCoversMoreThanAscii) {
    EXPECT_EQ(host.lowerCase(u"C:\\SPIELE\\\u00C4NN \u03A9MEGA.D64"),
              u"c:\\spiele\\\u00E4nn \u03C9mega.d64");
    EXPECT_EQ(host.upperCase(u"$loadpath=\u00E9"), u"$LOADPATH=\u00C9");
    // A NUL has no case and ends nothing.
    EXPECT_EQ(host.upperCase(String(u"a\u0000b", 3)), String(u"A\u0000B", 3));
    EXPECT_EQ(host.lowerCase(u""), u"");
}

TEST_F(Win32Backend, ErrorsMapToTheRuntimesNumbers) {
    EXPECT_EQ(errorFromWin32(ERROR_FILE_NOT_FOUND).number(), 53);
    EXPECT_EQ(errorFromWin32(ERROR_PATH_NOT_FOUND).number(), 76);
    EXPECT_EQ(errorFromWin32(ERROR_ACCESS_DENIED).number(), 70);
    EXPECT_EQ(errorFromWin32(ERROR_SHARING_VIOLATION).number(), 70);
    EXPECT_EQ(errorFromWin32(ERROR_NOT_READY).number(), 71);
    EXPECT_EQ(errorFromWin32(ERROR_DISK_FULL).number(), 61);
    EXPECT_EQ(errorFromWin32(ERROR_NOT_ENOUGH_MEMORY).number(), 7);
    EXPECT_EQ(errorFromWin32(ERROR_INVALID_DRIVE).number(), 68);
    EXPECT_EQ(errorFromWin32(0xFFFF).number(), 5);
    EXPECT_EQ(errorFromWin32(ERROR_FILE_NOT_FOUND).description(), u"File not found");
}

// ---- real starts of the recorder program

TEST_F(Win32Launch, FrodoStartsTheProgramInItsFolder) {
    const fs::path emu = emulator("My Emus/Frodo \xCE\xA9mulator/frodo.exe");
    twShell shell(host);
    EXPECT_EQ(shell.Frodo(u16(emu), false), u"");
    const Recording r = recorded();
    // The path goes unquoted: the system finds the program behind the blanks.
    // Windows hands the line over as it was given; Wine puts the program it
    // found between quotes. Either way it is that program and nothing else.
    EXPECT_TRUE(r.commandLine == utf8(emu) || r.commandLine == "\"" + utf8(emu) + "\"")
        << r.commandLine;
    EXPECT_TRUE(sameFile(fromUtf8(r.directory), u16(emu.parent_path()))) << r.directory;
}

TEST_F(Win32Launch, Win64BetaHandsTheGameOverAsOneArgument) {
    const fs::path emu = emulator("emus/win64.exe");
    twShell shell(host);
    for (const std::string name : {"My Games/Great Escape.d64", "Tom & Jerry (1990) ^%PATH%!.d64",
                                   "\xCE\xA9mega Race.t64", "plain.prg"}) {
        const fs::path game = win(temp.write(name, "g"));
        EXPECT_EQ(shell.Win64Beta(u16(emu), u16(game), false), u"") << name;
        const Recording r = recorded();
        ASSERT_EQ(r.arguments.size(), 1u) << name;
        EXPECT_EQ(r.arguments[0], utf8(game));
        EXPECT_TRUE(sameFile(fromUtf8(r.directory), u16(emu.parent_path())));
    }
}

TEST_F(Win32Launch, PC64WinStartsShortFormsThatNameTheFiles) {
    const fs::path emu = emulator("Emulators/PC64 Win/pc64win.exe");
    const fs::path game = win(temp.write("Games/Summer Games.T64", "summer"));
    twShell shell(host);
    EXPECT_EQ(shell.PC64Win(u16(emu), u16(game), false), u"");
    const Recording r = recorded();
    ASSERT_EQ(r.arguments.size(), 1u) << r.commandLine;
    const String argument = fromUtf8(r.arguments[0]);
    EXPECT_EQ(argument.find(u' '), String::npos);
    EXPECT_TRUE(sameFile(argument, u16(game))) << r.arguments[0];
    EXPECT_EQ(contentOf(pathOf(argument)), "summer");
    // Program and game, both short: exactly one blank between them.
    const String line = fromUtf8(r.commandLine);
    ASSERT_EQ(std::count(line.begin(), line.end(), u' '), 1) << r.commandLine;
    EXPECT_TRUE(sameFile(line.substr(0, line.find(u' ')), u16(emu)));
    EXPECT_TRUE(sameFile(fromUtf8(r.directory), u16(emu.parent_path())));
}

TEST_F(Win32Launch, Comeback64LowerCasesTheLineAndPicksThePort) {
    const fs::path emu = emulator("Come Back/CB64.exe");
    const fs::path game = win(temp.write("My Games/Great Escape.D64", "escape"));
    twShell shell(host);
    for (const CB64ControlsEnum port : {SelectPort1, SelectPort2}) {
        EXPECT_EQ(shell.Comeback64(u16(emu), u16(game), port, false), u"");
        const Recording r = recorded();
        const String line = fromUtf8(r.commandLine);
        EXPECT_EQ(line, host.lowerCase(line)) << "the whole line is lower-cased";
        ASSERT_EQ(r.arguments.size(), 2u) << r.commandLine;
        ASSERT_EQ(r.arguments[0].rfind("/l", 0), 0u) << r.arguments[0];
        const String shortGame = fromUtf8(r.arguments[0].substr(2));
        EXPECT_TRUE(sameFile(shortGame, u16(game))) << r.arguments[0];
        EXPECT_EQ(contentOf(pathOf(shortGame)), "escape");
        EXPECT_EQ(r.arguments[1], port == SelectPort1 ? "/j1" : "/j2");
        EXPECT_TRUE(sameFile(line.substr(0, line.find(u' ')), u16(emu)));
        EXPECT_TRUE(sameFile(fromUtf8(r.directory), u16(emu.parent_path())));
    }
}

TEST_F(Win32Launch, StartProcessReturnsTheIdAndPassesTheArguments) {
    const fs::path emu = emulator("Emu Dir/emu prog.exe");
    // Unquoted, with blanks: the system tries "...\Emu" first, which is a
    // folder here, then the longer prefixes until the program.
    fs::create_directories(temp / "Emu");
    const std::int32_t id = host.startProcess(u16(emu) + u" first \"second arg\"", 1);
    EXPECT_GT(id, 0);
    const Recording r = recorded();
    ASSERT_GE(r.arguments.size(), 2u);
    EXPECT_EQ(r.arguments[r.arguments.size() - 2], "first");
    EXPECT_EQ(r.arguments.back(), "second arg");

    host.startProcess(u"\"" + u16(emu) + u"\" one", 1);
    EXPECT_EQ(recorded().arguments, std::vector<std::string>{"one"});
}

TEST_F(Win32Launch, ProgramsThatCannotStartRaiseErrors) {
    const auto startError = [&](const String& line) {
        return errorOf([&] { host.startProcess(line, 1); }).number();
    };
    EXPECT_EQ(startError(u16(temp / "missing.exe")), 53);
    EXPECT_EQ(startError(u16(temp / "Missing Folder/emu.exe")), 53);
    const fs::path garbage = temp.write("garbage.exe", "\x01\x02\x03 not a program");
    EXPECT_EQ(startError(u16(garbage)), 5);

    // A program another one holds without sharing cannot be read to start.
    const fs::path held = emulator("held.exe");
    const HANDLE lock = CreateFileW(held.wstring().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    // Windows reports the sharing violation, which the runtime calls
    // "Permission denied"; Wine reports the program as not found.
    const std::int32_t heldError = startError(u16(held));
    EXPECT_TRUE(heldError == 70 || heldError == 53) << heldError;
    CloseHandle(lock);

    // A folder: Windows refuses it as access denied; Wine does not take a
    // folder for a program at all and answers "file not found".
    fs::create_directories(temp / "folder.exe");
    const std::int32_t folder = startError(u16(temp / "folder.exe"));
    EXPECT_TRUE(folder == 70 || folder == 53) << folder;
    EXPECT_TRUE(nothingRecorded());
}

TEST_F(Win32Launch, RefusedStartsBecomeMessages) {
    twShell shell(host);
    const fs::path broken = win(temp.write("Frodo/broken.exe", "not a program"));
    EXPECT_EQ(shell.Frodo(u16(broken), false),
              u"There was an error starting Frodo.  Error 5: Invalid procedure call or argument");

    const fs::path held = emulator("Frodo/frodo.exe");
    const HANDLE lock = CreateFileW(held.wstring().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    // Present for the existence test, which shares everything, but not to be
    // started: Windows reports the sharing violation (70), Wine a program
    // not found (53).
    const String refused = shell.Frodo(u16(held), false);
    EXPECT_TRUE(refused == u"There was an error starting Frodo.  Error 70: Permission denied" ||
                refused == u"There was an error starting Frodo.  Error 53: File not found")
        << toUtf8(refused);
    const fs::path game = temp.write("game.d64");
    const String frodo = u"There was an error starting Frodo.";
    EXPECT_EQ(shell.Win64Beta(u16(held), u16(game), false),
              u"There was an error starting Win64 Beta." + refused.substr(frodo.size()));
    CloseHandle(lock);

    const fs::path emu = emulator("emus/win64.exe");
    const String missingGame = u16(temp / "Games/none.d64");
    EXPECT_EQ(shell.Win64Beta(u16(emu), missingGame, false),
              u"Unable to run Win64 Beta.  File: " + missingGame + u" not found");
    EXPECT_EQ(shell.Frodo(u16(temp / "emus/none.exe"), false),
              u"Unable to run Frodo.  File: " + u16(temp / "emus/none.exe") + u" not found");
    EXPECT_TRUE(nothingRecorded());
}

}  // namespace
}  // namespace tarnwick
