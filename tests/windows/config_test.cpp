// The configuration editor and the configuring launchers on the Windows
// backend, under Wine: real files, real starts of the recorder.
#include <algorithm>

#include "windows/win32_fixture.h"

namespace tarnwick {
namespace {

using namespace testing;

std::vector<std::string> entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(Win32Backend, ConfigFileIsReplacedWholeAndKeepsItsAttributes) {
    const fs::path cfg = win(temp.write("emu/c64.cfg", "A=1\r\n\r\n$JOYSTICK1PC=3\nB=2"));
    SetFileAttributesW(cfg.wstring().c_str(), FILE_ATTRIBUTE_HIDDEN);
    twFunctions f(host);
    f.ChangeConfigFile(u16(cfg), {{u"$joystick1pc", u"0"}});
    EXPECT_EQ(contentOf(cfg), "A=1\r\n$joystick1pc=0\r\nB=2\r\n");
    EXPECT_TRUE(GetFileAttributesW(cfg.wstring().c_str()) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(entries(cfg.parent_path()), std::vector<std::string>{"c64.cfg"});
}

TEST_F(Win32Backend, ConfigFileFailuresLeaveItAsItWas) {
    twFunctions f(host);
    const fs::path cfg = win(temp.write("emu/c64.cfg", "A=1\r\n"));
    SetFileAttributesW(cfg.wstring().c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(errorOf([&] { f.ChangeConfigFile(u16(cfg), {{u"A", u"2"}}); }).number(), 75);
    SetFileAttributesW(cfg.wstring().c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(contentOf(cfg), "A=1\r\n");
    EXPECT_EQ(entries(cfg.parent_path()), std::vector<std::string>{"c64.cfg"});

    EXPECT_EQ(errorOf([&] { f.ChangeConfigFile(u16(temp / "emu/none.cfg"), {}); }).number(), 53);
    EXPECT_EQ(errorOf([&] { f.ChangeConfigFile(u16(temp / "none/c.cfg"), {}); }).number(), 76);
    EXPECT_EQ(errorOf([&] { f.ChangeConfigFile(u16(cfg), ConfigFileArray()); }).number(), 9);
    EXPECT_FALSE(fs::exists(temp / "emu/none.cfg"));
}

TEST_F(Win32Backend, ConfigFileTextGoesThroughTheAnsiCodePage) {
    twFunctions f(host);
    const fs::path cfg = win(temp.write("Config.ini", "Joy1=No\r\n"));
    // A value the code page can write is written in it, byte for byte.
    const String value = u"Analogue \u00e9";
    f.ChangeConfigFile(u16(cfg), {{u"Joy1", value}});
    EXPECT_EQ(contentOf(cfg), "Joy1=" + host.toAnsi(value) + "\r\n");
    EXPECT_EQ(host.fromAnsi(host.toAnsi(value)), value);
}

TEST_F(Win32Launch, CCS64v109StartsTheCompanionAndWritesItsConfiguration) {
    emulator("CCS 64/ccsdpmi.exe");
    const fs::path emu = win(temp.write("CCS 64/CCS64.EXE", "emulator"));
    const fs::path cfg = win(temp.write("CCS 64/c64.cfg", "$JOYSTICK1PC=0\r\n$LOADPATH=C:\\\r\n"));
    const fs::path game = win(temp.write("My Games/Great Escape.d64", "escape"));
    twShell shell(host);
    EXPECT_EQ(shell.CCS64v109(u16(emu), u16(temp / "My Games"), u16(game), 7, eCCS109_PCJoystick2,
                              eCCS109_PCJoystick1, eCCS109_KeySet3, eCCS109_KeySet1, true, false),
              u"");
    const Recording r = recorded();
    ASSERT_EQ(r.arguments.size(), 2u) << r.commandLine;
    EXPECT_EQ(r.arguments[0], "ccs64.exe");
    const String gameArgument = fromUtf8(r.arguments[1]);
    ASSERT_EQ(gameArgument.substr(gameArgument.size() - 2), u",7");
    EXPECT_TRUE(sameFile(gameArgument.substr(0, gameArgument.size() - 2), u16(game)));
    const std::string written = contentOf(cfg);
    EXPECT_EQ(written.substr(0, 16), "$JOYSTICK1PC=1\r\n");
    const std::size_t load = written.find("$LOADPATH=");
    ASSERT_NE(load, std::string::npos);
    const String loadPath =
        fromUtf8(written.substr(load + 10, written.find('\r', load) - load - 10));
    EXPECT_EQ(loadPath.back(), u'\\');
    EXPECT_TRUE(sameFile(loadPath.substr(0, loadPath.size() - 1), u16(temp / "My Games")));
}

TEST_F(Win32Launch, C64SAndViceHandOverWhatTheyShould) {
    const fs::path c64s = emulator("C64S Emu/c64s.exe");
    const fs::path ini = win(temp.write("C64S Emu/Config.ini", "Joy1=No\r\nJoy2=No\r\n"));
    const fs::path game = win(temp.write("Disks/Summer Games.D64", "summer"));
    twShell shell(host);
    EXPECT_EQ(
        shell.C64Sv252(u16(c64s), u16(game), u"MY GAME", AnalogueJoystick, Disable, true, false),
        u"");
    Recording r = recorded();
    EXPECT_EQ(contentOf(ini), "Joy1=Analogue\r\nJoy2=No\r\n");
    ASSERT_EQ(r.arguments.size(), 6u) << r.commandLine;
    EXPECT_EQ(r.arguments[0], "-diskdir");
    EXPECT_EQ(contentOf(pathOf(fromUtf8(r.arguments[1] + "\\" + r.arguments[3]))), "summer");
    EXPECT_EQ(r.arguments[5], "LOAD$20$22MY GAME$22,8,1$0DRUN$0D");

    const fs::path vice = emulator("VICE Emu/x64sc.exe");
    EXPECT_EQ(shell.VICE(u16(vice), u16(game), u"A\" -chdir C:\\ \"B", eVICE_PCJoystick1,
                         eVICE_KeysetA, false),
              u"");
    r = recorded();
    ASSERT_EQ(r.arguments.size(), 6u) << r.commandLine;
    EXPECT_EQ(r.arguments[0], "-autostart");
    const std::size_t colon = r.arguments[1].find(':', 2);  // after the drive's
    EXPECT_EQ(r.arguments[1].substr(colon + 1), "a\" -chdir c:\\ \"b");
    EXPECT_EQ(contentOf(pathOf(fromUtf8(r.arguments[1].substr(0, colon)))), "summer");
    EXPECT_EQ(std::vector<std::string>(r.arguments.begin() + 2, r.arguments.end()),
              (std::vector<std::string>{"-joydev1", "4", "-joydev2", "2"}));
    for (const char c : r.commandLine) EXPECT_FALSE(c >= 'A' && c <= 'Z') << r.commandLine;
}

}  // namespace
}  // namespace tarnwick
