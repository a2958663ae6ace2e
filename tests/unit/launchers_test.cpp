// Every launcher of twShell against a platform that plays Windows: one table
// of (method and arguments, the command line started, the result), and one
// of the configuration edits the CCS64 and C64S launchers make.
#include <gtest/gtest.h>

#include <functional>
#include <limits>

#include "support/fake_platform.h"
#include "support/launch_call.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using namespace testing;
using Setup = std::function<void(FakePlatform &)>;

const String emu = u"C:\\Emu\\emu.exe", game = u"C:\\Games\\My Game.t64";
const String cb64 = u"C:\\Program Files\\Come Back\\CB64.exe";
const String ccs = u"C:\\CCS 64\\CCS64.EXE",
             disk = u"D:\\My Games\\Game One.D64";
const String c64s = u"C:\\C64S\\C64S.EXE",
             vice = u"C:\\Program Files\\VICE\\x64.exe";
const String player = u"C:\\PLAYER\\PLAYER.EXE";
const String odd = u"C:\\Odd Emu\\x.exe"; // no short form, nor its folder
const String cfg = u"C:\\CCS64~1\\c64.cfg", ini = u"C:\\C64S\\Config.ini";
const std::string cfgText = "$JOYSTICK1PC=9\r\n$JOYSTICK2PC=9\r\n$JOYSTICK1KEY="
                            "9\r\n$JOYSTICK2KEY=9\r\n$CONTROLPORT1=9\r\n"
                            "$CONTROLPORT2=9\r\n$CONTROLPORT1MODE=9\r\n$"
                            "CONTROLPORT2MODE=9\r\n$LOADPATH=C:\\\r\n";

String missing(const char16_t *name, const String &path) {
  return u"Unable to run " + String(name) + u".  File: " + path + u" not found";
}
String trapped(const char16_t *name, const char16_t *error) {
  return u"There was an error starting " + String(name) + u".  Error " + error;
}
const String onlyD64AndT64 = u"Unable to run this game in C64S v2.52.  This "
                             u"emulator only supports D64 and T64 files";

// The machine every row starts from: long names and the short forms the
// system gives them.
void prepare(FakePlatform &w) {
  w.addFile(emu);
  w.addFile(u"C:\\emu.exe");
  w.addFile(game, u"C:\\Games\\MYGAME~1.T64");
  w.addFile(u"C:\\Games\\Dir\\");
  w.addFile(u"C:\\Games\\No Short.t64");
  w.shortNames.erase(u"C:\\Games\\No Short.t64");
  w.addFile(odd);
  w.shortNames.erase(odd);
  w.addFile(cb64, u"C:\\PROGRA~1\\COMEBA~1\\CB64.EXE");
  w.addFile(ccs, u"C:\\CCS64~1\\CCS64.EXE");
  w.shortNames[u"C:\\CCS 64"] = u"C:\\CCS64~1";
  w.addFile(u"C:\\CCS64~1\\ccsdpmi.exe");
  w.addFile(cfg);
  w.files[cfg] = cfgText;
  w.addFile(disk, u"D:\\MYGAME~1\\GAMEON~1.D64");
  w.shortNames[u"D:\\My Games"] = u"D:\\MYGAME~1";
  w.shortNames[u"D:\\My Games\\"] = u"D:\\MYGAME~1\\";
  w.addFile(c64s);
  w.shortNames[u"C:\\C64S"] = u"C:\\C64S";
  w.addFile(ini);
  w.files[ini] = "[Input]\r\nJoy1=No\r\nJoy2=No\r\n";
  w.addFile(u"D:\\GAMES\\GAME.T64");
  w.addFile(u"D:\\GAME.D64");
  w.addFile(u"D:\\GAMES\\GAME.D64\\", u"D:\\GAMES\\GAME.D64\\");
  w.addFile(vice, u"C:\\PROGRA~1\\VICE\\X64.EXE");
  w.addFile(player);
  w.addFile(u"D:\\MUSIC\\TUNE.SID");
  w.shortNames[u"C:\\PLAYER"] = u"C:\\PLAYER";
  w.shortNames[u"D:\\MUSIC"] = u"D:\\MUSIC";
  w.directories = {u"C:\\Emu",
                   u"C:",
                   u"C:\\Program Files\\Come Back",
                   u"C:\\CCS64~1\\",
                   u"C:\\C64S",
                   u"C:\\PLAYER",
                   u"C:\\Program Files\\VICE",
                   u"D:\\MYGAME~1",
                   u"D:\\MYGAME~1\\",
                   u"C:\\Odd Emu"};
}

struct Row {
  const char *name;
  Call call;
  String line;   // the command line started; "" when nothing may start
  String result; // what the launcher returns
  Setup setup = {};
  String directory = {}; // the current directory afterwards, where it matters
};

const String noShort = u"C:\\Games\\No Short.t64",
             dirGame = u"D:\\GAMES\\GAME.D64\\";
const String v109Line =
    u"C:\\CCS64~1\\ccsdpmi.exe ccs64.exe D:\\MYGAME~1\\GAMEON~1.D64,";
const String c64sDisk =
    u"C:\\C64S\\C64S.EXE -diskdir D:\\MYGAME~1 -disk GAMEON~1.D64 -autotype";
const String c64sTape =
    u"C:\\C64S\\C64S.EXE -tapedir D:\\GAMES -tape GAME.T64 -autotype";
const String viceLine =
    u"c:\\progra~1\\vice\\x64.exe -autostart \"d:\\mygame~1\\gameon~1.d64";
const String playerLine = u"C:\\PLAYER\\PLAYER.EXE ";
const char16_t *const noShortOf =
    u"52: No short form of C:\\Games\\No Short.t64 can be made";
const char16_t *const noShortEmu =
    u"52: No short form of C:\\Odd Emu\\x.exe can be made";
const char16_t *const noShortDir =
    u"52: No short form of C:\\Odd Emu can be made";
const Setup oddCompanion = [](FakePlatform &w) { w.addFile(u"\\ccsdpmi.exe"); };
const Setup refuse53 = [](FakePlatform &w) { w.startFailure = Error(53); };

// One row, one launch: kept as written.
// clang-format off
const std::vector<Row> rows = {
    {"Win64Beta", {Win64, emu, game}, emu + u" \"C:\\Games\\My Game.t64\"", u"", {}, u"C:\\Emu"},
    {"Win64Beta, a game ending in a backslash", {Win64, emu, u"C:\\Games\\Dir\\"},
     emu + u" \"C:\\Games\\Dir\\\\\"", u""},
    {"Win64Beta, both missing", {Win64, u"C:\\Emu\\gone.exe", u"C:\\gone.t64"}, u"",
     missing(u"Win64 Beta", u"C:\\Emu\\gone.exe")},
    {"Win64Beta, game missing", {Win64, emu, u"C:\\gone.t64"}, u"",
     missing(u"Win64 Beta", u"C:\\gone.t64")},
    {"Win64Beta, start refused", {Win64, emu, game}, u"",
     trapped(u"Win64 Beta", u"-2147024891: Access is denied."),
     [](FakePlatform& w) { w.startFailure = Error(-2147024891, u"Access is denied."); }},
    {"PC64Win", {PC64, cb64, game}, u"C:\\PROGRA~1\\COMEBA~1\\CB64.EXE C:\\Games\\MYGAME~1.T64",
     u"", {}, u"C:\\Program Files\\Come Back"},
    {"PC64Win, game missing", {PC64, emu, u"C:\\gone.t64"}, u"",
     missing(u"PC64Win", u"C:\\gone.t64")},
    {"PC64Win, no short form of the game", {PC64, emu, noShort}, u"",
     trapped(u"PC64Win", noShortOf)},
    {"PC64Win, directory refused", {PC64, emu, game}, u"",
     trapped(u"PC64Win", u"76: Path not found"), [](FakePlatform& w) { w.directories.clear(); }},
    {"Frodo", {Frodo, emu}, emu, u"", {}, u"C:\\Emu"},
    {"Frodo in the root of a drive", {Frodo, u"C:\\emu.exe"}, u"C:\\emu.exe", u"", {}, u"C:"},
    {"Frodo, missing", {Frodo, u"C:\\gone.exe"}, u"", missing(u"Frodo", u"C:\\gone.exe")},
    {"Frodo, overlong path", {Frodo, u"C:\\" + String(32766, u'e')}, u"",
     trapped(u"Frodo", u"6: Overflow")},
    {"Frodo, start refused", {Frodo, emu}, u"", trapped(u"Frodo", u"53: File not found"),
     refuse53, u"C:\\Emu"},
    {"Comeback64, port 1", {CB64, cb64, game, {}, SelectPort1},
     u"c:\\progra~1\\comeba~1\\cb64.exe /lc:\\games\\mygame~1.t64 /j1", u"", {},
     u"C:\\Program Files\\Come Back"},
    {"Comeback64, any other port", {CB64, cb64, game, {}, 7},
     u"c:\\progra~1\\comeba~1\\cb64.exe /lc:\\games\\mygame~1.t64 /j2", u""},
    {"Comeback64, game missing", {CB64, emu, u"C:\\gone.t64"}, u"",
     missing(u"the Come Back 64 Emulator", u"C:\\gone.t64")},
    {"Comeback64, no short form of the game", {CB64, emu, noShort}, u"",
     trapped(u"the Come Back 64 Emulator", noShortOf)},
    {"Comeback64, drive refused", {CB64, emu, game}, u"",
     trapped(u"the Come Back 64 Emulator", u"68: Device unavailable"),
     [](FakePlatform& w) { w.driveFailure = Error(68); }},
    {"CCS64v109", {V109, ccs, disk, {}, -1}, v109Line + u"-1", u"", {}, u"C:\\CCS64~1\\"},
    {"CCS64v109, companion missing", {V109, ccs, u"D:\\gone.d64"}, u"",
     missing(u"CCS64 v1.09", u"C:\\CCS64~1\\ccsdpmi.exe"),
     [](FakePlatform& w) { w.existenceCodes[u"C:\\CCS64~1\\ccsdpmi.exe"] = 2; }},
    {"CCS64v109, folder without a short form", {V109, u"C:\\None\\CCS64.EXE", disk}, u"",
     missing(u"CCS64 v1.09", u"\\ccsdpmi.exe")},
    {"CCS64v109, emulator missing beside its companion", {V109, u"C:\\CCS 64\\GONE.EXE", disk},
     u"", missing(u"CCS64 v1.09", u"C:\\CCS 64\\GONE.EXE")},
    {"CCS64v109, game missing", {V109, ccs, u"D:\\gone.d64"}, u"",
     missing(u"CCS64 v1.09", u"D:\\gone.d64")},
    {"CCS64v20", {V20, ccs, disk, {}, 3}, u"C:\\CCS64~1\\CCS64.EXE D:\\MYGAME~1\\GAMEON~1.D64,3",
     u""},
    {"CCS64v20, emulator missing", {V20, u"C:\\gone.exe", u"D:\\g.d64"}, u"",
     missing(u"CCS64 v2.0", u"C:\\gone.exe")},
    {"CCS64v20, game missing", {V20, ccs, u"D:\\gone.d64"}, u"",
     missing(u"CCS64 v2.0", u"D:\\gone.d64")},
    {"C64S disk", {C64S, c64s, disk, u"GAME"}, c64sDisk + u" \"LOAD$20$22GAME$22,8,1$0DRUN$0D\"",
     u"", {}, u"C:\\C64S"},
    {"C64S tape", {C64S, c64s, u"D:\\GAMES\\GAME.T64", u"GAME"},
     c64sTape + u" \"LOAD$20$22GAME$22$0DRUN$0D\"", u""},
    {"C64S, no name", {C64S, c64s, disk, u""}, c64sDisk + u"\" LOAD$0DRUN$0D\"", u""},
    {"C64S, Empty name", {C64S, c64s, u"D:\\GAMES\\GAME.T64"}, c64sTape + u"\" LOAD$0DRUN$0D\"",
     u""},
    {"C64S, Null name", {C64S, c64s, disk, Variant::null()},
     c64sDisk + u" \"LOAD$20$22$22,8,1$0DRUN$0D\"", u""},
    {"C64S, disk in a root", {C64S, c64s, u"D:\\GAME.D64", u"MY GAME"},
     u"C:\\C64S\\C64S.EXE -diskdir D: -disk GAME.D64 -autotype "
     u"\"LOAD$20$22MY GAME$22,8,1$0DRUN$0D\"",
     u""},
    {"C64S, a quote in the name", {C64S, c64s, disk, u"A\" -x C:\\ \"B"},
     c64sDisk + u" \"LOAD$20$22A\\\" -x C:\\ \\\"B$22,8,1$0DRUN$0D\"", u""},
    {"C64S, another type", {C64S, c64s, u"D:\\gone.PRG", u"X"}, u"", onlyD64AndT64},
    {"C64S, a name shorter than a type", {C64S, c64s, u"64", u"X"}, u"", onlyD64AndT64},
    {"C64S, emulator missing", {C64S, u"C:\\none.exe", u"D:\\n.t64"}, u"",
     missing(u"C64S v2.52", u"C:\\none.exe")},
    {"C64S, game missing", {C64S, c64s, u"D:\\gone.d64"}, u"",
     missing(u"C64S v2.52", u"D:\\gone.d64")},
    {"VICE", {Vice, vice, disk, u"GAME", 0, 4, 0}, viceLine + u":game\" -joydev1 4 -joydev2 0",
     u"", {}, u"C:\\Program Files\\VICE"},
    {"VICENoSettings", {ViceNo, vice, disk, u"GAME"}, viceLine + u":game\"", u""},
    {"VICE, no name", {Vice, vice, disk, u"", 0, 0, 0}, viceLine + u"\" -joydev1 0 -joydev2 0",
     u""},
    {"VICE, blank name, ports outside the enumeration", {Vice, vice, disk, u"  ", 0, 9, -1},
     viceLine + u":  \" -joydev1 9 -joydev2 -1", u""},
    {"VICE, a quote in the name", {ViceNo, vice, disk, u"A\" -chdir /tmp \"B"},
     viceLine + u":a\\\" -chdir /tmp \\\"b\"", u""},
    {"VICE, a name ending in a backslash", {Vice, vice, disk, u"TRAIL\\"},
     viceLine + u":trail\\\\\" -joydev1 1 -joydev2 2", u""},
    {"VICE, a game ending in a backslash", {Vice, vice, dirGame},
     u"c:\\progra~1\\vice\\x64.exe -autostart \"d:\\games\\game.d64\\\\\" -joydev1 1 -joydev2 2",
     u""},
    {"VICE, both missing", {Vice, u"C:\\Gone\\X64.EXE", u"D:\\gone.d64"}, u"",
     missing(u"the VICE Emulator", u"C:\\Gone\\X64.EXE")},
    {"VICE, game missing", {ViceNo, vice, u"D:\\Gone.D64"}, u"",
     missing(u"the VICE Emulator", u"D:\\Gone.D64")},
    {"VICE, no short form of the game", {ViceNo, vice, noShort}, u"",
     trapped(u"the VICE Emulator", noShortOf)},
    {"VICE, start refused", {ViceNo, vice, disk}, u"",
     trapped(u"the VICE Emulator", u"53: File not found"), refuse53},
    {"PC64Win, no short form of the emulator", {PC64, odd, game}, u"", trapped(u"PC64Win", noShortEmu)},
    {"Comeback64, no short form of the emulator", {CB64, odd, game}, u"", trapped(u"the Come Back 64 Emulator", noShortEmu)},
    {"CCS64v109, no short form of its folder", {V109, odd, disk}, u"", trapped(u"CCS64 v1.09", noShortDir), oddCompanion},
    {"CCS64v109, no short form of the game", {V109, ccs, noShort}, u"", trapped(u"CCS64 v1.09", noShortOf)},
    {"CCS64v20, no short form of its folder", {V20, odd, disk}, u"", trapped(u"CCS64 v2.0", noShortDir),
     [](FakePlatform& w) { w.shortNames[odd] = u"C:\\ODDEMU~1\\X.EXE"; }},
    {"CCS64v20, no short form of the emulator", {V20, odd, disk}, u"", trapped(u"CCS64 v2.0", noShortEmu),
     [](FakePlatform& w) { w.shortNames[u"C:\\Odd Emu"] = u"C:\\ODDEMU~1"; }},
    {"CCS64v20, no short form of the game", {V20, ccs, noShort}, u"", trapped(u"CCS64 v2.0", noShortOf)},
    {"C64S, no short form of the emulator", {C64S, odd, disk}, u"", trapped(u"C64S v2.52", noShortEmu)},
    {"C64S, no short form of its folder", {C64S, odd, disk}, u"", trapped(u"C64S v2.52", noShortDir),
     [](FakePlatform& w) { w.shortNames[odd] = u"C:\\ODDEMU~1\\X.EXE"; }},
    {"C64S, no short form of the game", {C64S, c64s, noShort + u".d64"}, u"",
     trapped(u"C64S v2.52", u"52: No short form of C:\\Games\\No Short.t64.d64 can be made"),
     [](FakePlatform& w) { w.addFile(noShort + u".d64"); w.shortNames.erase(noShort + u".d64"); }},
    {"VICE, no short form of the emulator", {ViceNo, odd, disk}, u"", trapped(u"the VICE Emulator", noShortEmu)},
    // The music player: silent, whatever goes wrong.
    {"PlayMusic", {Play, player, u"D:\\MUSIC", u"TUNE.SID"}, playerLine + u"D:\\MUSIC\\TUNE.SID",
     u"", {}, u"C:\\PLAYER"},
    {"PlayMusicSong 3", {Song, player, u"D:\\MUSIC", u"TUNE.SID", 3},
     playerLine + u"-o3 D:\\MUSIC\\TUNE.SID", u""},
    {"PlayMusicSong -32768", {Song, player, u"D:\\MUSIC", u"TUNE.SID", -32768},
     playerLine + u"-o-32768 D:\\MUSIC\\TUNE.SID", u""},
    {"PlayMusicSong checks nothing", {Song, player, u"D:\\MUSIC", u"GONE.SID"},
     playerLine + u"-o0 D:\\MUSIC\\GONE.SID", u"",
     [](FakePlatform& w) { w.existenceCodes.clear(); }},
    {"PlayMusic, long names: only the folders are shortened",
     {Play, u"C:\\Sid Player\\Sid Play.exe", u"D:\\My Music", u"Long Tune.sid"},
     u"C:\\SIDPLA~1\\Sid Play.exe D:\\MYMUSI~1\\Long Tune.sid", u"",
     [](FakePlatform& w) {
         w.addFile(u"C:\\Sid Player\\Sid Play.exe");
         w.addFile(u"D:\\My Music\\Long Tune.sid");
         w.shortNames[u"C:\\Sid Player"] = u"C:\\SIDPLA~1";
         w.shortNames[u"D:\\My Music"] = u"D:\\MYMUSI~1";
         w.directories.push_back(u"C:\\SIDPLA~1");
     },
     u"C:\\SIDPLA~1"},
    {"PlayMusicSong, a music path ending in a backslash",
     {Song, player, u"D:\\MUSIC\\", u"TUNE.SID", 1}, playerLine + u"-o1 D:\\MUSIC\\\\TUNE.SID",
     u"", [](FakePlatform& w) { w.shortNames[u"D:\\MUSIC\\"] = u"D:\\MUSIC\\"; }},
    {"PlayMusic, tune missing", {Play, player, u"D:\\MUSIC", u"GONE.SID"}, u"", u""},
    {"PlayMusic, start refused", {Play, player, u"D:\\MUSIC", u"TUNE.SID"}, u"", u"", refuse53,
     u"C:\\PLAYER"},
    {"PlayMusicSong, player without a folder", {Song, u"PLAYER.EXE", u"D:\\MUSIC", u"TUNE.SID"},
     u"", u""},
    {"PlayMusicSong, music folder without a short form", {Song, player, u"D:\\Gone", u"T.SID"},
     u"", u""},
    {"PlayMusic, music folder without a short form", {Play, player, u"D:\\Gone", u"T.SID"}, u"", u"",
     [](FakePlatform& w) { w.existenceCodes[u"D:\\Gone\\T.SID"] = 0; }},
    {"PlayMusicSong, overlong player path",
     {Song, u"C:\\" + String(32766, u'p'), u"D:\\MUSIC", u"T.SID"}, u"", u""},
};
// clang-format on

TEST(Launchers, StartTheirCommandLinesOrSayWhyNot) {
  for (const Row &row : rows) {
    SCOPED_TRACE(row.name);
    FakePlatform windows;
    prepare(windows);
    if (row.setup)
      row.setup(windows);
    twShell shell(windows);
    EXPECT_EQ(run(shell, row.call), row.result);
    EXPECT_EQ(windows.started,
              row.line.empty() ? std::vector<String>{} : std::vector{row.line});
    if (!row.line.empty()) {
      EXPECT_EQ(windows.calls.back(),
                "startProcess " + toUtf8(row.line) + " style 1");
    }
    if (!row.directory.empty()) {
      EXPECT_EQ(windows.current, row.directory);
    }
    // Nothing but a start goes wrong after the directory change.
    if (row.result.rfind(u"Unable", 0) == 0) {
      EXPECT_EQ(windows.current, u"C:\\");
    }
    EXPECT_TRUE(windows.boxes.empty());
  }
}

// PlayMusic asks FileExists with its own caption and choice: at most one box,
// the player first, and only when DisplayError is exactly true.
TEST(Launchers, PlayMusicExplainsAMissingFileInOneBox) {
  struct Case {
    const char *name;
    String player, tune;
    std::int16_t display;
    std::vector<String> prompts;
  };
  const std::vector<Case> cases = {
      {"player missing",
       u"C:\\gone.exe",
       u"GONE.SID",
       -1,
       {u"FILE NOT FOUND: C:\\gone.exe"}},
      {"tune missing",
       player,
       u"GONE.SID",
       -1,
       {u"FILE NOT FOUND: D:\\MUSIC\\GONE.SID"}},
      {"no player name",
       u"",
       u"TUNE.SID",
       -1,
       {u"FILE NOT FOUND: NO FILENAME PASSED!"}},
      {"not asked", player, u"GONE.SID", 0, {}},
      {"not exactly true", player, u"GONE.SID", 1, {}},
  };
  for (const Case &c : cases) {
    FakePlatform windows;
    prepare(windows);
    twShell shell(windows);
    run(shell, {Play, c.player, u"D:\\MUSIC", c.tune, c.display});
    std::vector<String> prompts;
    for (const auto &box : windows.boxes) {
      EXPECT_EQ(box.style, 48) << c.name;
      EXPECT_EQ(box.caption, u"Tunes") << c.name;
      prompts.push_back(box.prompt);
    }
    EXPECT_EQ(prompts, c.prompts) << c.name;
    EXPECT_TRUE(windows.started.empty()) << c.name;
    EXPECT_EQ(windows.current, u"C:\\") << c.name;
  }
}

// The edits of c64.cfg and Config.ini: lines the file holds afterwards, or
// the file unchanged when none are listed.
struct Edit {
  const char *name;
  Call call;
  String file;
  std::vector<std::string> lines;
  String result = {};
  Setup setup = {};
};

const Setup cdRom = [](FakePlatform &w) {
  w.driveTypes[u"C:"] = 5;
  w.driveTypes[u"C:\\"] = 5;
};
constexpr std::int32_t largest = std::numeric_limits<std::int32_t>::max();
const Call v109Write{V109, ccs, disk, {}, 0, 1, 0, 0, 0, true};
Call with(Call k, std::int32_t b, Boolean write,
          const String &games = u"D:\\My Games") {
  k.b = b;
  k.write = write;
  k.games = games;
  return k;
}
Call v20Write(std::int32_t p1, std::int32_t p2, std::int32_t m1,
              std::int32_t m2) {
  return {V20, ccs, disk, {}, 0, p1, p2, m1, m2, true, u"D:\\My Games\\"};
}
Call c64sWrite(std::int32_t p1, std::int32_t p2, const String &g = disk) {
  return {C64S, c64s, g, u"", 0, p1, p2, 0, 0, true};
}

// clang-format off
const std::vector<Edit> edits = {
    {"CCS64v109 ports and load path", v109Write, cfg,
     {"$JOYSTICK1PC=1", "$JOYSTICK2PC=0", "$JOYSTICK1KEY=2", "$JOYSTICK2KEY=1",
      "$LOADPATH=D:\\MYGAME~1\\"}},
    {"CCS64v109, games folder missing", with(v109Write, -1, true, u"E:\\N"), cfg,
     {"$JOYSTICK1PC=-1", "$LOADPATH=C:\\"}},
    {"CCS64v109, not asked", with(v109Write, 1, false), cfg, {}},
    {"CCS64v109, asked with 1, not -1", with(v109Write, 1, Boolean::fromRaw(1)), cfg, {}},
    {"CCS64v109 on a CD-ROM", v109Write, cfg, {}, u"", cdRom},
    {"CCS64v109, no drive behind the letter", v109Write, cfg, {}, u"",
     [](FakePlatform& w) { w.driveTypes[u"C:\\"] = 1; }},
    {"CCS64v109, no c64.cfg: none is made", v109Write, cfg, {}, u"",
     [](FakePlatform& w) {
         w.files.erase(cfg);
         w.existenceCodes.erase(cfg);
     }},
    {"CCS64v109, read-only c64.cfg", v109Write, cfg, {},
     trapped(u"CCS64 v1.09", u"75: Path/File access error"),
     [](FakePlatform& w) { w.readOnly = {cfg}; }},
    {"CCS64v20, the mouse counts its modes from one higher",
     v20Write(eCCS20_Joystick, eCCS20_MouseC1351, 0, eCCS20_PCMouse), cfg,
     {"$CONTROLPORT1=1", "$CONTROLPORT2=2", "$CONTROLPORT1MODE=0", "$CONTROLPORT2MODE=0",
      "$LOADPATH=D:\\MYGAME~1\\"}},
    {"CCS64v20, the mouse in port 1", v20Write(eCCS20_MouseC1351, eCCS20_None, 2, 2), cfg,
     {"$CONTROLPORT1MODE=3", "$CONTROLPORT2MODE=2"}},
    {"CCS64v20, the largest mode", v20Write(eCCS20_Joystick, 0, largest, 2), cfg,
     {"$CONTROLPORT1MODE=2147483647"}},
    {"CCS64v20, the largest mode plus one", v20Write(eCCS20_MouseC1351, 0, largest, 2), cfg, {},
     trapped(u"CCS64 v2.0", u"6: Overflow")},
    {"C64S ports by name", c64sWrite(Disable, AnalogueJoystick), ini,
     {"Joy1=No", "Joy2=Analogue"}},
    {"C64S, any other port", c64sWrite(3, -1), ini, {"Joy1=Keyboard", "Joy2=Keyboard"}},
    {"C64S on a CD-ROM", c64sWrite(2, 2), ini, {}, u"", cdRom},
    {"C64S, game missing", c64sWrite(2, 2, u"D:\\gone.d64"), ini, {},
     missing(u"C64S v2.52", u"D:\\gone.d64")},
    {"C64S, read-only Config.ini", c64sWrite(2, 2), ini, {},
     trapped(u"C64S v2.52", u"75: Path/File access error"),
     [](FakePlatform& w) { w.readOnly = {ini}; }},
};
// clang-format on

TEST(Launchers, WriteTheirChoicesIntoTheEmulatorsFile) {
  for (const Edit &edit : edits) {
    SCOPED_TRACE(edit.name);
    FakePlatform windows;
    prepare(windows);
    if (edit.setup)
      edit.setup(windows);
    const auto content = [&] {
      const auto it = windows.files.find(edit.file);
      return it == windows.files.end() ? std::string("(none)") : it->second;
    };
    const std::string before = content();
    twShell shell(windows);
    EXPECT_EQ(run(shell, edit.call), edit.result);
    EXPECT_EQ(windows.started.size(), edit.result.empty() ? 1u : 0u);
    if (edit.lines.empty()) {
      EXPECT_EQ(content(), before);
    }
    for (const std::string &line : edit.lines)
      EXPECT_NE(content().find(line + "\r\n"), std::string::npos) << line;
  }
}

} // namespace
} // namespace tarnwick
