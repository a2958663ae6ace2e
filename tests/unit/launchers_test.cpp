// Every twShell launcher on a scripted Windows machine: as asked, with each fault, its own cases.
#include <gtest/gtest.h>

#include "support/fake_platform.h"
#include "support/launch_call.h"

namespace tarnwick {
namespace {

using namespace testing;
using Change = std::function<void(FakePlatform&)>;

const String emu = u"C:\\Emu\\emu.exe", game = u"C:\\Games\\My Game.t64";
const String cb64 = u"C:\\Program Files\\Come Back\\CB64.exe", player = u"C:\\PLAYER\\PLAYER.EXE";
const String ccs = u"C:\\CCS 64\\CCS64.EXE", disk = u"D:\\My Games\\Game One.D64";
const String c64s = u"C:\\C64S\\C64S.EXE", vice = u"C:\\Program Files\\VICE\\x64.exe";
const String cfg = u"C:\\CCS64~1\\c64.cfg", ini = u"C:\\C64S\\Config.ini", tape = u"D:\\G\\G.T64";
const std::string cfgText =
    "$JOYSTICK1PC=9\r\n$JOYSTICK2PC=9\r\n$JOYSTICK1KEY=9\r\n$JOYSTICK2KEY=9\r\n$CONTROLPORT1=9\r\n"
    "$CONTROLPORT2=9\r\n$CONTROLPORT1MODE=9\r\n$CONTROLPORT2MODE=9\r\n$LOADPATH=C:\\\r\n";

// clang-format off
String missing(const char16_t* name, const String& path) { return u"Unable to run " + String(name) + u".  File: " + path + u" not found"; }
String trapped(const char16_t* name, const String& error) { return !name || error.empty() ? u"" : u"There was an error starting " + String(name) + u".  Error " + error; }
// clang-format on

// Line started ("" none), result, setup, directory left, config lines after, boxes shown.
struct Row {
    std::string name;
    Call call;
    String line, result;
    Change setup = {};
    String directory = {};
    std::vector<std::string> lines = {};
    std::vector<String> boxes = {};
};

void check(const Row& row) {
    SCOPED_TRACE(row.name);
    FakePlatform w;
    // clang-format off
    const std::vector<std::pair<String, String>> files = {
        {emu, {}}, {u"C:\\Emu", {}}, {u"C:\\emu.exe", {}}, {game, u"C:\\Games\\MYGAME~1.T64"},
        {cb64, u"C:\\PROGRA~1\\COMEBA~1\\CB64.EXE"}, {ccs, u"C:\\CCS64~1\\CCS64.EXE"}, {u"C:\\CCS 64", u"C:\\CCS64~1"},
        {u"C:\\CCS64~1\\ccsdpmi.exe", {}}, {u"\\ccsdpmi.exe", {}}, {cfg, {}}, {ini, {}}, {disk, u"D:\\MYGAME~1\\GAMEON~1.D64"},
        {u"D:\\My Games", u"D:\\MYGAME~1"}, {u"D:\\My Games\\", u"D:\\MYGAME~1\\"}, {c64s, {}}, {u"C:\\C64S", {}},
        {tape, {}}, {u"D:\\GAME.D64", {}}, {vice, u"C:\\PROGRA~1\\VICE\\X64.EXE"}, {player, {}}, {u"C:\\PLAYER", {}},
        {u"D:\\MUSIC", {}}, {u"D:\\MUSIC\\TUNE.SID", {}}, {u"C:\\Games\\Dir\\", {}}, {u"D:\\G\\G.D64\\", {}}};
    for (const auto& [path, form] : files) w.addFile(path, form);
    w.files = {{cfg, cfgText}, {ini, "[Input]\r\nJoy1=No\r\nJoy2=No\r\n"}};
    w.directories = {u"C:\\Emu", u"C:", u"C:\\Program Files\\Come Back", u"C:\\CCS64~1\\", u"C:\\C64S", u"C:\\PLAYER",
                     u"C:\\Program Files\\VICE", u"D:\\MYGAME~1", u"D:\\MYGAME~1\\"};
    // clang-format on
    if (row.setup) row.setup(w);
    const std::map<String, std::string> before = w.files;
    twShell shell(w);
    EXPECT_EQ(run(shell, row.call), row.result);
    EXPECT_EQ(w.started, row.line.empty() ? std::vector<String>{} : std::vector{row.line});
    EXPECT_TRUE(row.line.empty() ||
                w.calls.back() == "startProcess " + toUtf8(row.line) + " style 1");
    EXPECT_TRUE(row.directory.empty() || w.current == row.directory) << toUtf8(w.current);
    EXPECT_TRUE(!row.lines.empty() || w.files == before) << "the files stay as they were";
    const std::string& written = w.files[row.call.method == C64S ? ini : cfg];
    for (const std::string& line : row.lines)
        EXPECT_NE(written.find(line + "\r\n"), std::string::npos) << line;
    std::vector<String> boxes;
    for (const auto& b : w.boxes)
        boxes.push_back(b.caption + u" " + fromUtf8(std::to_string(b.style)) + u" " + b.prompt);
    EXPECT_EQ(boxes, row.boxes);
}

// Name in messages, line, directory, short forms needed: emulator (e), its folder (f), game (g).
const String viceLine = u"c:\\progra~1\\vice\\x64.exe -autostart \"d:\\mygame~1\\gameon~1.d64";
const String cbLine = u"c:\\progra~1\\comeba~1\\cb64.exe /lc:\\games\\mygame~1.t64 /j";
const String v109Line = u"C:\\CCS64~1\\ccsdpmi.exe ccs64.exe D:\\MYGAME~1\\GAMEON~1.D64,";
const String c64sDisk = u"C:\\C64S\\C64S.EXE -diskdir D:\\MYGAME~1 -disk GAMEON~1.D64 -autotype";
const String c64sTape = u"C:\\C64S\\C64S.EXE -tapedir D:\\G -tape G.T64 -autotype";
const String playerLine = u"C:\\PLAYER\\PLAYER.EXE ", cbDir = u"C:\\Program Files\\Come Back";
// clang-format off
struct Launcher { Call call; const char16_t* name; String line, directory; std::string needs; };
const std::vector<Launcher> launchers = {
    {{Win64, emu, game}, u"Win64 Beta", emu + u" \"C:\\Games\\My Game.t64\"", u"C:\\Emu", ""},
    {{PC64, cb64, game}, u"PC64Win", u"C:\\PROGRA~1\\COMEBA~1\\CB64.EXE C:\\Games\\MYGAME~1.T64", cbDir, "eg"},
    {{Frodo, emu}, u"Frodo", emu, u"C:\\Emu", ""},
    {{CB64, cb64, game, {}, SelectPort1}, u"the Come Back 64 Emulator", cbLine + u"1", cbDir, "eg"},
    {{V109, ccs, disk, {}, -1}, u"CCS64 v1.09", v109Line + u"-1", u"C:\\CCS64~1\\", "fg"},
    {{V20, ccs, disk, {}, 3}, u"CCS64 v2.0", u"C:\\CCS64~1\\CCS64.EXE D:\\MYGAME~1\\GAMEON~1.D64,3", u"C:\\CCS64~1\\", "efg"},
    {{C64S, c64s, disk, u"GAME"}, u"C64S v2.52", c64sDisk + u" \"LOAD$20$22GAME$22,8,1$0DRUN$0D\"", u"C:\\C64S", "efg"},
    {{Vice, vice, disk, u"GAME", 0, 4, 0}, u"the VICE Emulator", viceLine + u":game\" -joydev1 4 -joydev2 0", u"C:\\Program Files\\VICE", "eg"},
    {{ViceNo, vice, disk, u"GAME"}, u"the VICE Emulator", viceLine + u":game\"", u"C:\\Program Files\\VICE", "eg"},
    {{Play, player, u"D:\\MUSIC", u"TUNE.SID"}, nullptr, playerLine + u"D:\\MUSIC\\TUNE.SID", u"C:\\PLAYER", "fg"},
    {{Song, player, u"D:\\MUSIC", u"TUNE.SID", 3}, nullptr, playerLine + u"-o3 D:\\MUSIC\\TUNE.SID", u"C:\\PLAYER", "fg"},
};
// clang-format on

TEST(Launchers, StartAsAskedOrSayWhatWentWrong) {
    // clang-format off
    const struct { const char* what; String error; Change setup; bool entered; /* its directory stays current */ } faults[] = {
                  {"as asked", u"", {}, true}, {"start refused", u"-2147024891: Access is denied.", [](FakePlatform& w) { w.startFailure = Error(-2147024891, u"Access is denied."); }, true},
                  {"drive refused", u"68: Device unavailable", [](FakePlatform& w) { w.driveFailure = Error(68); }, false},
                  {"directory refused", u"76: Path not found", [](FakePlatform& w) { w.directories.clear(); }, false}};
    // clang-format on
    for (const Launcher& l : launchers) {
        const std::string name =
            l.name ? toUtf8(l.name) : "player " + std::to_string(l.call.method);
        for (const auto& f : faults)
            check({name + ", " + f.what, l.call, f.error.empty() ? l.line : u"",
                   trapped(l.name, f.error), f.setup, f.entered ? l.directory : u""});
        for (const bool both : {true, false}) {
            Row r{name + (both ? ", both" : ", game") + " missing", l.call, u"", u"", {}, u"C:\\"};
            if (both) r.call.emulator = u"C:\\Gone\\x.exe";
            if (!l.call.game.empty()) r.call.game = u"C:\\gone.d64";
            r.result = l.name ? missing(l.name, both ? r.call.emulator : r.call.game) : u"";
            if (both ? l.call.method != Song : !l.call.game.empty()) check(r);
        }
        const String& e = l.call.emulator;  // the emulator (e), its folder (f), the game (g)
        const String paths[] = {e, e.substr(0, e.rfind(u'\\')), l.call.game};
        for (std::size_t i = 0; i < (l.call.game.empty() ? 2u : 3u); ++i) {
            const String error = l.needs.find("efg"[i]) == std::string::npos
                                     ? u""
                                     : u"52: No short form of " + paths[i] + u" can be made";
            check({name + ", no short form of " + toUtf8(paths[i]), l.call,
                   error.empty() ? l.line : u"", trapped(l.name, error),
                   [path = paths[i]](FakePlatform& w) { w.shortNames.erase(path); }});
        }
    }
}

// clang-format off
const Change cdRom = [](FakePlatform& w) { w.driveTypes = {{u"C:", 5}, {u"C:\\", 5}}; };
const Change noCfg = [](FakePlatform& w) { w.files.erase(cfg), w.existenceCodes.erase(cfg); };
const Change blank = [](FakePlatform& w) { for (const String s : {u" ", u"\t"}) w.addFile(s + u"C:\\emu.exe"), w.directories.push_back(s + u"C:"); };
const Call v109Write{V109, ccs, disk, {}, 0, 1, 0, 2, 1, true};
const auto v20 = [](std::int32_t p1, std::int32_t p2, std::int32_t m1, std::int32_t m2) { return Call{V20, ccs, disk, {}, 0, p1, p2, m1, m2, true, u"D:\\My Games\\"}; };
const String v20Line = u"C:\\CCS64~1\\CCS64.EXE D:\\MYGAME~1\\GAMEON~1.D64,0", noName = u"\" LOAD$0DRUN$0D\"";
const String onlyD64AndT64 = u"Unable to run this game in C64S v2.52.  This emulator only supports D64 and T64 files";
const String notFound = u"Tunes 48 FILE NOT FOUND: ";

const std::vector<Row> rows = {
    {"Win64Beta, a game ending in a backslash", {Win64, emu, u"C:\\Games\\Dir\\"}, emu + u" \"C:\\Games\\Dir\\\\\"", u""},
    {"Frodo in the root of a drive", {Frodo, u"C:\\emu.exe"}, u"C:\\emu.exe", u"", {}, u"C:"},
    {"Frodo, a blank before the program", {Frodo, u" C:\\emu.exe"}, u"", trapped(u"Frodo", u"53: File not found"), blank},
    {"Frodo, a tab before the program", {Frodo, u"\tC:\\emu.exe"}, u"", trapped(u"Frodo", u"53: File not found"), blank},
    {"Comeback64, any other port", {CB64, cb64, game, {}, 7}, cbLine + u"2", u""},
    {"CCS64v109, companion missing", {V109, ccs, u"D:\\gone.d64"}, u"", missing(u"CCS64 v1.09", u"C:\\CCS64~1\\ccsdpmi.exe"), [](FakePlatform& w) { w.existenceCodes.erase(u"C:\\CCS64~1\\ccsdpmi.exe"); }},
    {"C64S tape", {C64S, c64s, tape, u"GAME"}, c64sTape + u" \"LOAD$20$22GAME$22$0DRUN$0D\"", u""},
    {"C64S, Empty name", {C64S, c64s, tape}, c64sTape + noName, u""},
    {"C64S, Null name", {C64S, c64s, disk, Variant::null()}, c64sDisk + u" \"LOAD$20$22$22,8,1$0DRUN$0D\"", u""},
    {"C64S, disk in a root", {C64S, c64s, u"D:\\GAME.D64", u"MY GAME"}, u"C:\\C64S\\C64S.EXE -diskdir D: -disk GAME.D64 -autotype \"LOAD$20$22MY GAME$22,8,1$0DRUN$0D\"", u""},
    {"C64S, another type, checked first", {C64S, u"C:\\none.exe", u"D:\\gone.PRG", u"X"}, u"", onlyD64AndT64},
    {"C64S, a name shorter than a type", {C64S, c64s, u"64", u"X"}, u"", onlyD64AndT64},
    {"VICE, no name", {Vice, vice, disk, u"", 0, 0, 0}, viceLine + u"\" -joydev1 0 -joydev2 0", u""},
    {"VICE, a game ending in a backslash", {ViceNo, vice, u"D:\\G\\G.D64\\"}, u"c:\\progra~1\\vice\\x64.exe -autostart \"d:\\g\\g.d64\\\\\"", u""},
    {"PlayMusicSong checks nothing", {Song, player, u"D:\\MUSIC", u"GONE.SID"}, playerLine + u"-o0 D:\\MUSIC\\GONE.SID", u"", [](FakePlatform& w) { w.existenceCodes.clear(); }},
    {"PlayMusic, long names: only the folders are shortened", {Play, u"C:\\Sid Player\\Sid Play.exe", u"D:\\My Music", u"Long Tune.sid"}, u"C:\\SIDPLA~1\\Sid Play.exe D:\\MYMUSI~1\\Long Tune.sid", u"",
     [](FakePlatform& w) { for (const String f : {u"C:\\Sid Player\\Sid Play.exe", u"D:\\My Music\\Long Tune.sid"}) w.addFile(f); w.addFile(u"C:\\Sid Player", u"C:\\SIDPLA~1"), w.addFile(u"D:\\My Music", u"D:\\MYMUSI~1"), w.directories.push_back(u"C:\\SIDPLA~1"); }, u"C:\\SIDPLA~1"},
    {"PlayMusicSong, a music path ending in a backslash", {Song, player, u"D:\\MUSIC\\", u"TUNE.SID", 1}, playerLine + u"-o1 D:\\MUSIC\\\\TUNE.SID", u"", [](FakePlatform& w) { w.addFile(u"D:\\MUSIC\\"); }},
    // At most one box, the player first, only when DisplayError is exactly true.
    {"PlayMusic, player missing", {Play, u"C:\\gone.exe", u"D:\\MUSIC", u"GONE.SID", -1}, u"", u"", {}, u"C:\\", {}, {notFound + u"C:\\gone.exe"}},
    {"PlayMusic, tune missing", {Play, player, u"D:\\MUSIC", u"GONE.SID", -1}, u"", u"", {}, u"C:\\", {}, {notFound + u"D:\\MUSIC\\GONE.SID"}},
    {"PlayMusic, no player name", {Play, u"", u"D:\\MUSIC", u"TUNE.SID", -1}, u"", u"", {}, {}, {}, {notFound + u"NO FILENAME PASSED!"}},
    {"PlayMusic, DisplayError not exactly true", {Play, player, u"D:\\MUSIC", u"GONE.SID", 1}, u"", u""},
    {"CCS64v109 ports and load path", v109Write, v109Line + u"0", u"", {}, {}, {"$JOYSTICK1PC=1", "$JOYSTICK2PC=0", "$JOYSTICK1KEY=2", "$JOYSTICK2KEY=1", "$LOADPATH=D:\\MYGAME~1\\"}},
    {"CCS64v109, games folder missing", {V109, ccs, disk, {}, 0, -1, 0, 2, 1, true, u"E:\\N"}, v109Line + u"0", u"", {}, {}, {"$JOYSTICK1PC=-1", "$LOADPATH=C:\\"}},
    {"CCS64v109, asked with 1, not -1", {V109, ccs, disk, {}, 0, 1, 0, 2, 1, Boolean::fromRaw(1)}, v109Line + u"0", u""},
    {"CCS64v109 on a CD-ROM", v109Write, v109Line + u"0", u"", cdRom},
    {"CCS64v109, no c64.cfg: none is made", v109Write, v109Line + u"0", u"", noCfg},
    {"CCS64v109, read-only c64.cfg", v109Write, u"", trapped(u"CCS64 v1.09", u"75: Path/File access error"), [](FakePlatform& w) { w.readOnly = {cfg}; }},
    {"CCS64v20, the mouse counts its modes from one higher", v20(eCCS20_Joystick, eCCS20_MouseC1351, 0, eCCS20_PCMouse), v20Line, u"", {}, {}, {"$CONTROLPORT1=1", "$CONTROLPORT2=2", "$CONTROLPORT1MODE=0", "$CONTROLPORT2MODE=0", "$LOADPATH=D:\\MYGAME~1\\"}},
    {"CCS64v20, the mouse in port 1", v20(eCCS20_MouseC1351, eCCS20_None, 2, 2), v20Line, u"", {}, {}, {"$CONTROLPORT1MODE=3", "$CONTROLPORT2MODE=2"}},
    {"CCS64v20, the INT32_MAX mode", v20(eCCS20_Joystick, 0, INT32_MAX, 2), v20Line, u"", {}, {}, {"$CONTROLPORT1MODE=2147483647"}},
    {"CCS64v20, the INT32_MAX mode plus one", v20(eCCS20_MouseC1351, 0, INT32_MAX, 2), u"", trapped(u"CCS64 v2.0", u"6: Overflow")},
    {"CCS64v20 on a CD-ROM", v20(1, 2, 0, 0), v20Line, u"", cdRom},
    {"CCS64v20, no c64.cfg: none is made", v20(1, 2, 0, 0), v20Line, u"", noCfg},
    {"C64S ports by name", {C64S, c64s, disk, u"", 0, Disable, AnalogueJoystick, 0, 0, true}, c64sDisk + noName, u"", {}, {}, {"Joy1=No", "Joy2=Analogue"}},
    {"C64S, any other port", {C64S, c64s, disk, u"", 0, 3, -1, 0, 0, true}, c64sDisk + noName, u"", {}, {}, {"Joy1=Keyboard", "Joy2=Keyboard"}},
    {"C64S on a CD-ROM", {C64S, c64s, disk, u"", 0, 2, 2, 0, 0, true}, c64sDisk + noName, u"", cdRom},
    {"C64S, no Config.ini: none is made", {C64S, c64s, disk, u"", 0, 2, 2, 0, 0, true}, c64sDisk + noName, u"", [](FakePlatform& w) { w.files.erase(ini); w.existenceCodes.erase(ini); }},
    {"C64S, game missing: nothing written", {C64S, c64s, u"D:\\gone.d64", u"", 0, 2, 2, 0, 0, true}, u"", missing(u"C64S v2.52", u"D:\\gone.d64")},
};
// clang-format on

TEST(Launchers, HandleTheirOwnCases) {
    for (const Row& row : rows) check(row);
}

}  // namespace
}  // namespace tarnwick
