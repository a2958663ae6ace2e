// CCS64 v1.09, CCS64 v2.0, C64S v2.52 and VICE against a platform that plays
// Windows: exact command lines, messages, check order and the edits of the
// emulators' configuration files.
#include <gtest/gtest.h>

#include <limits>

#include "support/fake_platform.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using testing::FakePlatform;

class ConfigLaunchers : public ::testing::Test {
  protected:
    void SetUp() override {
        // Long names, and the short forms the system gives them.
        windows.addFile(u"C:\\CCS 64\\CCS64.EXE", u"C:\\CCS64~1\\CCS64.EXE");
        windows.shortNames[u"C:\\CCS 64"] = u"C:\\CCS64~1";
        windows.addFile(u"C:\\CCS64~1\\ccsdpmi.exe");
        windows.addFile(u"C:\\CCS64~1\\c64.cfg");
        windows.addFile(u"D:\\My Games\\Game One.D64", u"D:\\MYGAME~1\\GAMEON~1.D64");
        windows.shortNames[u"D:\\My Games"] = u"D:\\MYGAME~1";
        windows.shortNames[u"D:\\My Games\\"] = u"D:\\MYGAME~1\\";
        windows.directories = {u"C:\\CCS64~1\\", u"D:\\MYGAME~1", u"D:\\MYGAME~1\\",
                               u"C:\\C64S",      u"C:\\VICE",     u"C:\\Program Files\\VICE"};
        windows.files[u"C:\\CCS64~1\\c64.cfg"] = cfg;
    }
    const std::string cfg =
        "$JOYSTICK1PC=9\r\n$JOYSTICK2PC=9\r\n$JOYSTICK1KEY=9\r\n$JOYSTICK2KEY=9\r\n"
        "$CONTROLPORT1=9\r\n$CONTROLPORT2=9\r\n$CONTROLPORT1MODE=9\r\n$CONTROLPORT2MODE=9\r\n"
        "$LOADPATH=C:\\\r\n";
    std::string config() { return windows.files[u"C:\\CCS64~1\\c64.cfg"]; }
    std::string lineOf(const std::string& key) {
        const std::string c = config();
        const std::size_t at = c.find(key + "=");
        return at == std::string::npos ? "" : c.substr(at, c.find('\r', at) - at);
    }
    String v109(const String& emulator, const String& game, std::int16_t index, bool write,
                CCS64v109ControlsEnum p = eCCS109_PCJoystick2) {
        return shell.CCS64v109(emulator, u"D:\\My Games", game, index, p, eCCS109_PCJoystick1,
                               eCCS109_KeySet3, eCCS109_KeySet2, write, false);
    }
    FakePlatform windows;
    twShell shell{windows};
    const String emulator = u"C:\\CCS 64\\CCS64.EXE";
    const String game = u"D:\\My Games\\Game One.D64";
};

TEST_F(ConfigLaunchers, CCS64v109StartsTheCompanionProgramOnShortForms) {
    EXPECT_EQ(v109(emulator, game, 0, false), u"");
    ASSERT_EQ(windows.started.size(), 1u);
    EXPECT_EQ(windows.started[0],
              u"C:\\CCS64~1\\ccsdpmi.exe ccs64.exe D:\\MYGAME~1\\GAMEON~1.D64,0");
    EXPECT_EQ(windows.current, u"C:\\CCS64~1\\");
    EXPECT_TRUE(windows.called("changeDrive C:\\"));
    EXPECT_EQ(config(), cfg) << "not asked to write: the file is not touched";
    EXPECT_FALSE(windows.called("existenceTest C:\\CCS64~1\\c64.cfg"));

    EXPECT_EQ(v109(emulator, game, -1, false), u"");
    EXPECT_EQ(windows.started.back().substr(windows.started.back().size() - 3), u",-1");
}

TEST_F(ConfigLaunchers, CCS64v109WritesPortsAndLoadPath) {
    EXPECT_EQ(v109(emulator, game, 12, true, static_cast<CCS64v109ControlsEnum>(-1)), u"");
    EXPECT_EQ(lineOf("$JOYSTICK1PC"), "$JOYSTICK1PC=-1");
    EXPECT_EQ(lineOf("$JOYSTICK2PC"), "$JOYSTICK2PC=0");
    EXPECT_EQ(lineOf("$JOYSTICK1KEY"), "$JOYSTICK1KEY=2");
    EXPECT_EQ(lineOf("$JOYSTICK2KEY"), "$JOYSTICK2KEY=1");
    EXPECT_EQ(lineOf("$LOADPATH"), "$LOADPATH=D:\\MYGAME~1\\");
    EXPECT_EQ(windows.started.back().substr(windows.started.back().size() - 3), u",12");
}

TEST_F(ConfigLaunchers, CCS64v109ChecksTheCompanionFirst) {
    windows.existenceCodes[u"C:\\CCS64~1\\ccsdpmi.exe"] = 2;
    EXPECT_EQ(v109(emulator, u"D:\\gone.d64", 0, true),
              u"Unable to run CCS64 v1.09.  File: C:\\CCS64~1\\ccsdpmi.exe not found");
    EXPECT_EQ(v109(u"C:\\Nowhere\\CCS64.EXE", game, 0, true),
              u"Unable to run CCS64 v1.09.  File: \\ccsdpmi.exe not found");
    windows.existenceCodes[u"C:\\CCS64~1\\ccsdpmi.exe"] = 0;
    EXPECT_EQ(v109(emulator, u"D:\\gone.d64", 0, true),
              u"Unable to run CCS64 v1.09.  File: D:\\gone.d64 not found");
    EXPECT_TRUE(windows.started.empty());
    EXPECT_EQ(config(), cfg);
}

TEST_F(ConfigLaunchers, ConfigurationStepIsSkippedSilently) {
    // On a CD-ROM drive, or a drive letter with nothing behind it.
    for (const std::int32_t type : {5, 1}) {
        windows.driveTypes[u"C:\\"] = type;
        EXPECT_EQ(v109(emulator, game, 0, true), u"");
        EXPECT_EQ(config(), cfg);
        EXPECT_TRUE(windows.called("driveType C:\\"));
    }
    windows.driveTypes.clear();
    // Not exactly true: only -1 asks for the edit.
    EXPECT_EQ(shell.CCS64v109(emulator, u"D:\\My Games", game, 0, eCCS109_PCJoystick1,
                              eCCS109_PCJoystick1, eCCS109_KeySet1, eCCS109_KeySet1,
                              Boolean::fromRaw(1), false),
              u"");
    EXPECT_EQ(config(), cfg);
    // No c64.cfg: nothing is created and the emulator still starts.
    windows.files.erase(u"C:\\CCS64~1\\c64.cfg");
    windows.existenceCodes.erase(u"C:\\CCS64~1\\c64.cfg");
    EXPECT_EQ(v109(emulator, game, 0, true), u"");
    EXPECT_FALSE(windows.files.count(u"C:\\CCS64~1\\c64.cfg"));
    EXPECT_EQ(windows.started.size(), 4u);
}

TEST_F(ConfigLaunchers, CCS64v109ChecksTheEmulatorBesideItsCompanion) {
    // The companion is there, the emulator named is not.
    EXPECT_EQ(v109(u"C:\\CCS 64\\GONE.EXE", game, 0, true),
              u"Unable to run CCS64 v1.09.  File: C:\\CCS 64\\GONE.EXE not found");
    EXPECT_TRUE(windows.started.empty());
    EXPECT_EQ(config(), cfg);
}

TEST_F(ConfigLaunchers, MissingGamesFolderLeavesTheLoadPath) {
    EXPECT_EQ(shell.CCS64v109(emulator, u"E:\\None", game, 0, eCCS109_PCJoystick2,
                              eCCS109_PCJoystick2, eCCS109_KeySet2, eCCS109_KeySet2, true, false),
              u"");
    EXPECT_EQ(lineOf("$LOADPATH"), "$LOADPATH=C:\\");
    EXPECT_EQ(lineOf("$JOYSTICK1PC"), "$JOYSTICK1PC=1");
}

TEST_F(ConfigLaunchers, FailedRewriteIsTrappedAndNothingStarts) {
    windows.readOnly = {u"C:\\CCS64~1\\c64.cfg"};
    EXPECT_EQ(v109(emulator, game, 0, true),
              u"There was an error starting CCS64 v1.09.  Error 75: Path/File access error");
    EXPECT_TRUE(windows.started.empty());
    EXPECT_EQ(config(), cfg);
}

TEST_F(ConfigLaunchers, CCS64v20AppliesTheMouseModeRule) {
    EXPECT_EQ(
        shell.CCS64v20DosAndWin(emulator, u"D:\\My Games\\", game, 3, eCCS20_Joystick,
                                eCCS20_MouseC1351, eCCS20_PCJoystick1, eCCS20_PCMouse, true, false),
        u"");
    EXPECT_EQ(lineOf("$CONTROLPORT1"), "$CONTROLPORT1=1");
    EXPECT_EQ(lineOf("$CONTROLPORT2"), "$CONTROLPORT2=2");
    EXPECT_EQ(lineOf("$CONTROLPORT1MODE"), "$CONTROLPORT1MODE=0");
    EXPECT_EQ(lineOf("$CONTROLPORT2MODE"), "$CONTROLPORT2MODE=0");
    EXPECT_EQ(lineOf("$LOADPATH"), "$LOADPATH=D:\\MYGAME~1\\");
    ASSERT_EQ(windows.started.size(), 1u);
    EXPECT_EQ(windows.started[0], u"C:\\CCS64~1\\CCS64.EXE D:\\MYGAME~1\\GAMEON~1.D64,3");
    EXPECT_FALSE(windows.called("existenceTest C:\\CCS64~1\\ccsdpmi.exe"));

    EXPECT_EQ(shell.CCS64v20DosAndWin(emulator, u"", game, 0, eCCS20_MouseC1351, eCCS20_None,
                                      eCCS20_KeySet1, eCCS20_KeySet1, true, false),
              u"");
    EXPECT_EQ(lineOf("$CONTROLPORT1MODE"), "$CONTROLPORT1MODE=3");
    EXPECT_EQ(lineOf("$CONTROLPORT2MODE"), "$CONTROLPORT2MODE=2");
}

TEST_F(ConfigLaunchers, CCS64v20ModeOverflowIsTrappedBeforeAnyWrite) {
    const auto largest = static_cast<CCS64v20ControlModeEnum>(std::numeric_limits<int32_t>::max());
    EXPECT_EQ(shell.CCS64v20DosAndWin(emulator, u"D:\\My Games", game, 0, eCCS20_MouseC1351,
                                      eCCS20_None, largest, eCCS20_PCJoystick1, true, false),
              u"There was an error starting CCS64 v2.0.  Error 6: Overflow");
    EXPECT_EQ(config(), cfg);
    EXPECT_TRUE(windows.started.empty());
    // Without the mouse the same mode is written unchanged.
    EXPECT_EQ(shell.CCS64v20DosAndWin(emulator, u"D:\\My Games", game, 0, eCCS20_Joystick,
                                      eCCS20_None, largest, eCCS20_PCJoystick1, true, false),
              u"");
    EXPECT_EQ(lineOf("$CONTROLPORT1MODE"), "$CONTROLPORT1MODE=2147483647");
}

TEST_F(ConfigLaunchers, CCS64v20ChecksEmulatorThenGame) {
    EXPECT_EQ(
        shell.CCS64v20DosAndWin(u"C:\\gone.exe", u"", u"D:\\gone.d64", 0, eCCS20_None, eCCS20_None,
                                eCCS20_PCJoystick1, eCCS20_PCJoystick1, true, false),
        u"Unable to run CCS64 v2.0.  File: C:\\gone.exe not found");
    EXPECT_EQ(shell.CCS64v20DosAndWin(emulator, u"", u"D:\\gone.d64", 0, eCCS20_None, eCCS20_None,
                                      eCCS20_PCJoystick1, eCCS20_PCJoystick1, true, false),
              u"Unable to run CCS64 v2.0.  File: D:\\gone.d64 not found");
}

class C64SLauncher : public ConfigLaunchers {
  protected:
    void SetUp() override {
        ConfigLaunchers::SetUp();
        windows.addFile(u"C:\\C64S\\C64S.EXE");
        windows.shortNames[u"C:\\C64S"] = u"C:\\C64S";
        windows.addFile(u"C:\\C64S\\Config.ini");
        windows.files[u"C:\\C64S\\Config.ini"] = "[Input]\r\nJoy1=No\r\nJoy2=No\r\n";
        windows.addFile(u"D:\\GAMES\\GAME.T64");
        windows.addFile(u"D:\\GAME.D64");
    }
    String run(const String& game, const Variant& name, bool write = false,
               C64SControlsEnum p1 = Keyboard, C64SControlsEnum p2 = AnalogueJoystick) {
        return shell.C64Sv252(u"C:\\C64S\\C64S.EXE", game, name, p1, p2, write, false);
    }
};

TEST_F(C64SLauncher, DiskAndTapeCommandLines) {
    EXPECT_EQ(run(game, u"GAME"), u"");
    EXPECT_EQ(run(u"D:\\GAMES\\GAME.T64", u"GAME"), u"");
    EXPECT_EQ(run(game, u""), u"");
    EXPECT_EQ(run(u"D:\\GAMES\\GAME.T64", Variant()), u"");
    EXPECT_EQ(run(game, Variant::null()), u"");
    EXPECT_EQ(run(u"D:\\GAME.D64", u"MY GAME"), u"");
    ASSERT_EQ(windows.started.size(), 6u);
    EXPECT_EQ(windows.started[0],
              u"C:\\C64S\\C64S.EXE -diskdir D:\\MYGAME~1 -disk GAMEON~1.D64 -autotype "
              u"\"LOAD$20$22GAME$22,8,1$0DRUN$0D\"");
    EXPECT_EQ(windows.started[1],
              u"C:\\C64S\\C64S.EXE -tapedir D:\\GAMES -tape GAME.T64 -autotype "
              u"\"LOAD$20$22GAME$22$0DRUN$0D\"");
    EXPECT_EQ(windows.started[2],
              u"C:\\C64S\\C64S.EXE -diskdir D:\\MYGAME~1 -disk GAMEON~1.D64 "
              u"-autotype\" LOAD$0DRUN$0D\"");
    EXPECT_EQ(windows.started[3],
              u"C:\\C64S\\C64S.EXE -tapedir D:\\GAMES -tape GAME.T64 "
              u"-autotype\" LOAD$0DRUN$0D\"");
    EXPECT_EQ(windows.started[4],
              u"C:\\C64S\\C64S.EXE -diskdir D:\\MYGAME~1 -disk GAMEON~1.D64 -autotype "
              u"\"LOAD$20$22$22,8,1$0DRUN$0D\"");
    EXPECT_EQ(windows.started[5],
              u"C:\\C64S\\C64S.EXE -diskdir D: -disk GAME.D64 -autotype "
              u"\"LOAD$20$22MY GAME$22,8,1$0DRUN$0D\"");
    EXPECT_EQ(windows.current, u"C:\\C64S");
}

TEST_F(C64SLauncher, FileTypeIsCheckedBeforeAnythingElse) {
    EXPECT_EQ(run(u"D:\\gone.PRG", u"X", true),
              u"Unable to run this game in C64S v2.52.  This emulator only supports D64 and T64 "
              u"files");
    EXPECT_EQ(run(u"64", u"X", true),
              u"Unable to run this game in C64S v2.52.  This emulator only supports D64 and T64 "
              u"files");
    EXPECT_TRUE(windows.calls.empty()) << "nothing tested or touched";
    windows.addFile(u"D:\\low.d64");
    EXPECT_EQ(run(u"D:\\low.d64", u"X"), u"");
    EXPECT_NE(windows.started.back().find(u" -disk low.d64"), String::npos);
    EXPECT_EQ(shell.C64Sv252(u"C:\\none.exe", u"D:\\none.t64", u"", Disable, Disable, true, false),
              u"Unable to run C64S v2.52.  File: C:\\none.exe not found");
}

TEST_F(C64SLauncher, AMissingGameIsNamedAndNothingIsWritten) {
    const std::string before = windows.files[u"C:\\C64S\\Config.ini"];
    EXPECT_EQ(run(u"D:\\gone.d64", u"X", true),
              u"Unable to run C64S v2.52.  File: D:\\gone.d64 not found");
    EXPECT_TRUE(windows.started.empty());
    EXPECT_EQ(windows.files[u"C:\\C64S\\Config.ini"], before);
}

TEST_F(C64SLauncher, ConfigIniOnACdRomOrMissingIsLeftAlone) {
    const std::string before = windows.files[u"C:\\C64S\\Config.ini"];
    windows.driveTypes[u"C:"] = 5;
    windows.driveTypes[u"C:\\"] = 5;
    EXPECT_EQ(run(game, u"GAME", true), u"");
    EXPECT_EQ(windows.files[u"C:\\C64S\\Config.ini"], before);
    windows.driveTypes.clear();
    windows.files.erase(u"C:\\C64S\\Config.ini");
    windows.existenceCodes.erase(u"C:\\C64S\\Config.ini");
    EXPECT_EQ(run(game, u"GAME", true), u"");
    EXPECT_FALSE(windows.files.count(u"C:\\C64S\\Config.ini")) << "no file is created";
    EXPECT_EQ(windows.started.size(), 2u) << "the emulator starts either way";
}

TEST_F(C64SLauncher, PortsAreWrittenAsNames) {
    const auto ini = [&] { return windows.files[u"C:\\C64S\\Config.ini"]; };
    EXPECT_EQ(run(game, u"", true, Disable, AnalogueJoystick), u"");
    EXPECT_EQ(ini(), "[Input]\r\nJoy1=No\r\nJoy2=Analogue\r\n");
    EXPECT_EQ(
        run(game, u"", true, static_cast<C64SControlsEnum>(3), static_cast<C64SControlsEnum>(-1)),
        u"");
    EXPECT_EQ(ini(), "[Input]\r\nJoy1=Keyboard\r\nJoy2=Keyboard\r\n");

    windows.readOnly = {u"C:\\C64S\\Config.ini"};
    windows.calls.clear();
    EXPECT_EQ(run(game, u"", true),
              u"There was an error starting C64S v2.52.  Error 75: Path/File access error");
    EXPECT_FALSE(windows.called("changeDirectory")) << "the directory is not changed";
    EXPECT_EQ(windows.started.size(), 2u);
}

TEST_F(C64SLauncher, AQuoteInTheNameStaysInsideTheAutotypeArgument) {
    EXPECT_EQ(run(game, u"A\" -chdir C:\\ \"B"), u"");
    EXPECT_EQ(windows.started.back(),
              u"C:\\C64S\\C64S.EXE -diskdir D:\\MYGAME~1 -disk GAMEON~1.D64 -autotype "
              u"\"LOAD$20$22A\\\" -chdir C:\\ \\\"B$22,8,1$0DRUN$0D\"");
}

class ViceLaunchers : public ConfigLaunchers {
  protected:
    void SetUp() override {
        ConfigLaunchers::SetUp();
        windows.addFile(u"C:\\Program Files\\VICE\\x64.exe", u"C:\\PROGRA~1\\VICE\\X64.EXE");
    }
    const String vice = u"C:\\Program Files\\VICE\\x64.exe";
};

TEST_F(ViceLaunchers, CommandLinesAreLowerCased) {
    EXPECT_EQ(shell.VICE(vice, game, u"GAME", eVICE_PCJoystick1, eVICE_None, false), u"");
    EXPECT_EQ(shell.VICENoSettings(vice, game, u"GAME", false), u"");
    EXPECT_EQ(shell.VICE(vice, game, u"", eVICE_None, eVICE_None, false), u"");
    EXPECT_EQ(shell.VICE(vice, game, u"  ", static_cast<VICEControlsEnum>(9),
                         static_cast<VICEControlsEnum>(-1), false),
              u"");
    ASSERT_EQ(windows.started.size(), 4u);
    EXPECT_EQ(windows.started[0],
              u"c:\\progra~1\\vice\\x64.exe -autostart "
              u"\"d:\\mygame~1\\gameon~1.d64:game\" -joydev1 4 -joydev2 0");
    EXPECT_EQ(windows.started[1],
              u"c:\\progra~1\\vice\\x64.exe -autostart \"d:\\mygame~1\\gameon~1.d64:game\"");
    EXPECT_EQ(windows.started[2],
              u"c:\\progra~1\\vice\\x64.exe -autostart "
              u"\"d:\\mygame~1\\gameon~1.d64\" -joydev1 0 -joydev2 0");
    EXPECT_EQ(windows.started[3],
              u"c:\\progra~1\\vice\\x64.exe -autostart "
              u"\"d:\\mygame~1\\gameon~1.d64:  \" -joydev1 9 -joydev2 -1");
    // The drive from the short emulator path, the directory in its long form.
    EXPECT_TRUE(windows.called("changeDrive C:\\"));
    EXPECT_EQ(windows.current, u"C:\\Program Files\\VICE");
}

TEST_F(ViceLaunchers, NamesCannotAddArguments) {
    EXPECT_EQ(shell.VICENoSettings(vice, game, u"A\" -chdir /tmp \"B", false), u"");
    EXPECT_EQ(shell.VICE(vice, game, u"TRAIL\\", eVICE_None, eVICE_None, false), u"");
    EXPECT_EQ(windows.started[0],
              u"c:\\progra~1\\vice\\x64.exe -autostart "
              u"\"d:\\mygame~1\\gameon~1.d64:a\\\" -chdir /tmp \\\"b\"");
    EXPECT_EQ(windows.started[1],
              u"c:\\progra~1\\vice\\x64.exe -autostart "
              u"\"d:\\mygame~1\\gameon~1.d64:trail\\\\\" -joydev1 0 -joydev2 0");
}

TEST_F(ViceLaunchers, ChecksAndMessages) {
    EXPECT_EQ(shell.VICE(u"C:\\Gone\\X64.EXE", u"D:\\gone.d64", u"", eVICE_None, eVICE_None, true),
              u"Unable to run the VICE Emulator.  File: C:\\Gone\\X64.EXE not found");
    EXPECT_EQ(shell.VICENoSettings(vice, u"D:\\Gone.D64", u"", true),
              u"Unable to run the VICE Emulator.  File: D:\\Gone.D64 not found");
    // Short forms come before the checks.
    EXPECT_EQ(windows.calls[0].rfind("shortPathName D:\\gone.d64", 0), 0u);
    windows.startFailure = Error(53);
    EXPECT_EQ(shell.VICENoSettings(vice, game, u"", true),
              u"There was an error starting the VICE Emulator.  Error 53: File not found");
}

}  // namespace
}  // namespace tarnwick
