// Real starts of CCS64, C64S and VICE on Linux: what each emulator receives,
// argument by argument, and the configuration files they find.
#include <fstream>

#include "posix/launch_fixture.h"
#include "posix/path_text.h"

namespace tarnwick {
namespace {

using testing::PosixLaunch;
using testing::Recording;
using testing::u16;
namespace fs = std::filesystem;

using Args = std::vector<std::string>;

TEST_F(PosixLaunch, CCS64v109RunsTheCompanionWithEmulatorAndGame) {
    // The companion program is what starts; the emulator only has to exist.
    emulator("My Emus/CCS 64/ccsdpmi.exe");
    const fs::path emu = temp.write("My Emus/CCS 64/CCS64.EXE", "emulator");
    temp.write("My Emus/CCS 64/c64.cfg", "$JOYSTICK1PC=0\r\n$LOADPATH=/old\r\n");
    const fs::path game = temp.write("My Games/Great Escape.d64", "escape");
    twShell shell(*host_);
    EXPECT_EQ(shell.CCS64v109(u16(emu), u16(temp / "My Games"), u16(game), -1, eCCS109_PCJoystick2,
                              eCCS109_PCJoystick1, eCCS109_KeySet3, eCCS109_KeySet1, true, false),
              u"");
    const Recording r = recorded();
    ASSERT_EQ(r.arguments.size(), 2u);
    EXPECT_EQ(r.arguments[0], "ccs64.exe");
    const std::string gameArgument = r.arguments[1];
    ASSERT_EQ(gameArgument.substr(gameArgument.size() - 3), ",-1");
    EXPECT_EQ(firstLine(gameArgument.substr(0, gameArgument.size() - 3)), "escape");

    std::ifstream in(temp / "My Emus/CCS 64/c64.cfg", std::ios::binary);
    std::string line1, line2;
    std::getline(in, line1);
    std::getline(in, line2);
    EXPECT_EQ(line1, "$JOYSTICK1PC=1\r");
    // The load path is the short form of the games folder, with a separator.
    ASSERT_EQ(line2.rfind("$LOADPATH=", 0), 0u);
    const std::string loadPath = line2.substr(10, line2.size() - 11);
    EXPECT_EQ(loadPath.back(), '/');
    EXPECT_EQ(firstLine(loadPath + "Great Escape.d64"), "escape");
}

TEST_F(PosixLaunch, CCS64v20HandsOverTheGameWithItsIndex) {
    const fs::path emu = emulator("CCS64 V2/ccs64");
    const fs::path game = temp.write("games/game.d64", "g");
    twShell shell(*host_);
    EXPECT_EQ(shell.CCS64v20DosAndWin(u16(emu), u"", u16(game), 3, eCCS20_None, eCCS20_None,
                                      eCCS20_PCJoystick1, eCCS20_PCJoystick1, false, false),
              u"");
    EXPECT_EQ(recorded().arguments, Args{game.string() + ",3"});
}

TEST_F(PosixLaunch, C64SReceivesFoldersFileAndTheAutotypeText) {
    const fs::path emu = emulator("C64S/c64s");
    const fs::path game = temp.write("Disks/Summer Games.D64", "summer");
    twShell shell(*host_);
    EXPECT_EQ(shell.C64Sv252(u16(emu), u16(game), u"MY GAME", Keyboard, Keyboard, false, false),
              u"");
    Recording r = recorded();
    ASSERT_EQ(r.arguments.size(), 6u);
    EXPECT_EQ(r.arguments[0], "-diskdir");
    EXPECT_EQ(r.arguments[2], "-disk");
    EXPECT_EQ(firstLine(r.arguments[1] + "/" + r.arguments[3]), "summer");
    EXPECT_EQ(r.arguments[4], "-autotype");
    EXPECT_EQ(r.arguments[5], "LOAD$20$22MY GAME$22,8,1$0DRUN$0D");

    // Without a name the quote comes right after -autotype: one argument.
    EXPECT_EQ(shell.C64Sv252(u16(emu), u16(game), Variant(), Keyboard, Keyboard, false, false),
              u"");
    r = recorded();
    ASSERT_EQ(r.arguments.size(), 5u);
    EXPECT_EQ(r.arguments[4], "-autotype LOAD$0DRUN$0D");

    // A quote in the name cannot make arguments of its own.
    EXPECT_EQ(shell.C64Sv252(u16(emu), u16(game), u"A\" -chdir /tmp \"B", Keyboard, Keyboard, false,
                             false),
              u"");
    r = recorded();
    ASSERT_EQ(r.arguments.size(), 6u);
    EXPECT_EQ(r.arguments[5], "LOAD$20$22A\" -chdir /tmp \"B$22,8,1$0DRUN$0D");
}

TEST_F(PosixLaunch, ViceGetsTheGameAndNameAsOneArgument) {
    const fs::path emu = emulator("VICE Emulator/x64sc");
    const fs::path game = temp.write("Tapes/Great Escape.T64", "tape");
    twShell shell(*host_);
    for (const std::string name : {"MY GAME", "A\" -chdir /tmp \"B", "TRAIL\\", ""}) {
        EXPECT_EQ(shell.VICE(u16(emu), u16(game), fromUtf8(name), eVICE_PCJoystick1, eVICE_KeysetA,
                             false),
                  u"");
        const Recording r = recorded();
        ASSERT_EQ(r.arguments.size(), 6u) << name;
        EXPECT_EQ(r.arguments[0], "-autostart");
        const std::string autostart = r.arguments[1];
        const std::size_t colon = autostart.find(':');
        EXPECT_EQ(firstLine(autostart.substr(0, colon)), "tape");
        std::string lower = name;
        for (char& c : lower) c = static_cast<char>(std::tolower(c));
        EXPECT_EQ(colon == std::string::npos ? "" : autostart.substr(colon + 1), lower);
        EXPECT_EQ(Args(r.arguments.begin() + 2, r.arguments.end()),
                  (Args{"-joydev1", "4", "-joydev2", "2"}));
        EXPECT_EQ(r.directory, (temp / "VICE Emulator").string());
    }
    EXPECT_EQ(shell.VICENoSettings(u16(emu), u16(game), u"", false), u"");
    EXPECT_EQ(recorded().arguments.size(), 2u);
}

}  // namespace
}  // namespace tarnwick
