// Real starts on Linux: every launcher starts the recorder program, which
// writes down what it received and what it inherited. Hostile names (ones
// that would make a shell create PWNED) are fed everywhere: each must arrive
// whole, no shell may run, and nothing but the launcher's configuration file
// may change.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "posix/hostile_input.h"
#include "support/launch_call.h"
#include "support/scoped_variable.h"

namespace tarnwick {
namespace {

using namespace testing;
namespace fs = std::filesystem;
using Args = std::vector<std::string>;
using namespace std::string_literals;

// A launcher on the real start: its call (paths and names filled in for
// each hostile name), the program that starts, the emulator file named when
// it is another, a configuration file beside it, and what the program gets.
// In what it gets, {game} stands for an argument that opens the game, {tune}
// for one that opens the tune, {folder} and {file} for a folder and a file
// name in it, in two arguments, that open the game, {name} and {lower} for the hostile name
// as given and lower-cased.
struct Launcher {
    Call call;
    const char *program, *emulator, *config;
    Args arguments;
};

// clang-format off
const std::vector<Launcher> launchers = {
    {{Win64}, "win64", "", "", {"{exact}"}},
    {{PC64}, "pc64win", "", "", {"{game}"}},
    {{Frodo}, "frodo", "", "", {}},
    {{CB64, {}, {}, {}, SelectPort1}, "CB64.exe", "", "", {"/l{game}", "/j1"}},
    {{V109, {}, {}, {}, -7, 1, 0, 0, 0, true}, "ccsdpmi.exe", "CCS64.EXE", "c64.cfg",
     {"ccs64.exe", "{game},-7"}},
    {{V20, {}, {}, {}, 32767, eCCS20_MouseC1351, eCCS20_Joystick, eCCS20_PCMouse, 4, true},
     "ccs64", "", "c64.cfg", {"{game},32767"}},
    {{C64S, {}, {}, {}, 0, AnalogueJoystick, -1, 0, 0, true}, "c64s", "", "Config.ini",
     {"-diskdir", "{folder}", "-disk", "{file}", "-autotype", "LOAD$20$22{name}$22,8,1$0DRUN$0D"}},
    {{Vice, {}, {}, {}, 0, INT_MIN, eVICE_PCJoystick2}, "x64sc", "", "",
     {"-autostart", "{game}:{lower}", "-joydev1", std::to_string(INT_MIN), "-joydev2", "5"}},
    {{ViceNo}, "x64", "", "", {"-autostart", "{game}:{lower}"}},
    {{Play}, "player", "", "", {"{tune}"}},
    {{Song, {}, {}, {}, -32768}, "player", "", "", {"-o-32768", "{tune}"}},
};
// clang-format on

// Whether argument a is what the pattern p says (see Launcher).
bool matches(std::string p, const std::string& a, const fs::path& game, const Hostile& h,
             std::string& folder) {
    const auto put = [&p](const std::string& token, const std::string& value) {
        if (const auto at = p.find(token); at != std::string::npos)
            p.replace(at, token.size(), value);
    };
    put("{name}", h.name);
    put("{lower}", h.lower);
    if (p == "{exact}") return a == game.string();
    if (p == "{folder}") return !(folder = a).empty();
    if (p == "{file}") return opens(folder + "/" + a, game);
    if (p == "{tune}") return opens(a, game.parent_path() / "tune.sid");
    const std::size_t at = p.find("{game}");
    if (at == std::string::npos) return a == p;
    const std::string before = p.substr(0, at), after = p.substr(at + 6);
    return a.size() >= p.size() - 6 && a.rfind(before, 0) == 0 && endsWith(a, after) &&
           opens(a.substr(before.size(), a.size() - before.size() - after.size()), game);
}

class LaunchInput : public BadInput {};

// Every launcher with its emulator in a folder of a hostile name and a game
// of that name in a folder of that name. A launch that fails ends the test
// at once: there is then nothing to wait for.
TEST_F(LaunchInput, HostileNamesArriveWholeAndStartNoShell) {
    twShell shell(*host_);
    for (const Hostile& h : hostileNames) {
        const fs::path game = write("games/" + h.name + "/" + h.name + ".d64", "game");
        write("games/" + h.name + "/tune.sid", "PSID");
        for (const Launcher& l : launchers) {
            Call call = l.call;
            const bool player = call.method == Play || call.method == Song;
            const std::string context = std::to_string(call.method) + " on [" + h.name + "]";
            SCOPED_TRACE(context);
            const std::string folder = "emus/" + std::to_string(call.method) + "/" + h.name + "/";
            call.emulator = u16(program(folder + l.program));
            if (*l.emulator) call.emulator = u16(write(folder + l.emulator, "the emulator"));
            call.game = u16(player ? game.parent_path() : game);
            call.games = u16(game.parent_path());
            call.name = player ? String(u"tune.sid") : fromUtf8(h.name);
            std::vector<std::string> changed;
            if (*l.config) {
                write(folder + l.config, "$JOYSTICK1PC=0\n$CONTROLPORT1=0\nJoy1=No\n");
                changed.push_back(folder + l.config);
            }
            const Tree before = snapshot(sandbox);
            ASSERT_EQ(run(shell, call), u"");
            Recording r;
            ASSERT_TRUE(waitForRecording(record_, r, std::chrono::seconds(5))) << "nothing ran";
            ASSERT_EQ(r.arguments.size(), l.arguments.size());
            std::string gameFolder;
            for (std::size_t i = 0; i < r.arguments.size(); ++i)
                EXPECT_TRUE(matches(l.arguments[i], r.arguments[i], game, h, gameFolder))
                    << l.arguments[i] << " <- " << r.arguments[i];
            EXPECT_TRUE(opens(r.directory, (sandbox / folder).string())) << r.directory;
            expectNoShell(context);
            EXPECT_EQ(differences(before, snapshot(sandbox)), changed);
            if (HasFailure()) return;
        }
    }
}

// A game whose name ends in a backslash stands unquoted on its own, so VICE
// gets it as it is, inside its quoted argument: whole, the ports after it.
TEST_F(LaunchInput, AGameEndingInABackslashStaysOneArgument) {
    const fs::path game = write("games/end\\", "game"), emu = program("emus/x64");
    ASSERT_EQ(twShell(*host_).VICE(u16(emu), u16(game), u"", eVICE_None, eVICE_KeysetA, false),
              u"");
    const Args a = recorded().arguments;
    ASSERT_EQ(a.size(), 6u);
    EXPECT_TRUE(opens(a[1], game)) << a[1];
    EXPECT_EQ(Args(a.begin() + 2, a.end()), (Args{"-joydev1", "0", "-joydev2", "2"}));
}

// The Windows rules of a start, on the real system: a program found as
// Windows finds it, arguments split as its runtime splits them, and the
// errors of one that cannot start.
TEST_F(PosixLaunch, StartsFollowTheWindowsRules) {
    const std::string emu = emulator("Emu Dir/emu prog").string();
    fs::create_directories(temp / "Emu");  // a folder: the next prefix is the program
    const std::string data = temp.write("not-a-program", "data").string();
    const fs::path garbage = temp.write("garbage", "\x01\x02\x03 not a program");
    fs::permissions(garbage, fs::perms::owner_all);
    struct Row {
        const char* name;
        std::string line;
        Args arguments;  // what the program receives, when it starts
        std::int32_t error = 0;
    };
    const std::vector<Row> rows = {
        {"unquoted with blanks",
         emu + " first \"second arg\" a\\\\\"b",
         {"first", "second arg", "a\\b"}},
        {"quoted", "\"" + emu + "\"\tx \"\"", {"x", ""}},
        {"a NUL ends the line", emu + " one\0 two"s, {"one"}},
        {"missing", (temp / "missing").string(), {}, errors::FileNotFound},
        {"empty", "", {}, errors::FileNotFound},
        {"blank", "   ", {}, errors::FileNotFound},
        {"no program", data, {}, errors::PermissionDenied},
        {"a folder", temp.path().string(), {}, errors::PermissionDenied},
        // Runnable but no program: the exec fails, told through the pipe.
        {"garbage", garbage.string(), {}, errors::InvalidProcedureCall},
    };
    for (const Row& row : rows) {
        std::int32_t error = 0;
        try {
            host_->startProcess(fromUtf8(row.line), 1);
        } catch (const Error& e) {
            error = e.number();
        }
        ASSERT_EQ(error, row.error) << row.name;
        if (error == 0) {
            EXPECT_EQ(recorded().arguments, row.arguments) << row.name;
        }
    }
    // The program is not our child: there is nothing for us to reap.
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    twShell shell(*host_);
    EXPECT_EQ(shell.Win64Beta(fromUtf8(data), fromUtf8(data), false),
              u"There was an error starting Win64 Beta.  Error 70: Permission denied");
}

TEST_F(PosixLaunch, ABareNameIsLookedForInTheCurrentDirectoryThenPath) {
    emulator("bin/recorder-in-path");
    emulator("here/local-recorder");
    fs::current_path(temp / "here");
    host_->startProcess(u"local-recorder one", 1);
    EXPECT_EQ(recorded().arguments, Args{"one"});
    const ScopedVariable path("PATH", ("/nowhere:" + (temp / "bin").string()).c_str());
    host_->startProcess(u"recorder-in-path two", 1);
    EXPECT_EQ(recorded().arguments, Args{"two"});
}

// Windows would run "/srv/C64" for the unquoted "/srv/C64 Emus/frodo". Here
// such a prefix runs only when nobody but us or root can have put it there.
TEST_F(PosixLaunch, APrefixOthersCouldPlantNeverRuns) {
    const uid_t other = otherUser();
    if (other == 0) GTEST_SKIP() << "needs root, to make a second user";
    struct Row {
        const char* name;
        fs::perms folder;
        uid_t owner;  // of the planted prefix
        Args arguments;
    };
    const fs::perms open = fs::perms::all | fs::perms::sticky_bit;
    const fs::perms shared = fs::perms::owner_all | fs::perms::group_all;
    const fs::perms own = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec;
    const std::vector<Row> rows = {
        {"another user's file in a sticky folder", open, other, {}},
        {"root's file in a group-writable folder", shared, 0, {}},
        {"another user's file in a folder of ours", own, other, {}},
        {"root's file in a folder of ours", own, 0, {"Emus/frodo"}},
    };
    twShell shell(*host_);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const fs::path srv = temp / ("srv" + std::to_string(i));
        const fs::path frodo = emulator(srv.filename().string() + "/C64 Emus/frodo");
        const fs::path planted = emulator(srv.filename().string() + "/C64");
        ASSERT_EQ(::chown(planted.c_str(), rows[i].owner, rows[i].owner), 0);
        fs::permissions(planted, fs::perms::owner_all | fs::perms::others_exec);
        fs::permissions(srv, rows[i].folder);
        ASSERT_EQ(shell.Frodo(u16(frodo), false), u"") << rows[i].name;
        EXPECT_EQ(recorded().arguments, rows[i].arguments) << rows[i].name;
    }
}

// Where the private alias folder under /tmp was taken by another user first
// (no runtime folder: su, ssh, cron), the aliases go to a folder of our own
// instead; PC64Win never starts the game as the program.
TEST_F(PosixLaunch, AliasesFindAFolderOfOurOwnWhenOneIsTaken) {
    const uid_t other = otherUser();
    if (other == 0) GTEST_SKIP() << "needs root, to make a second user";
    // Our own folder of that name is set aside for the test and put back.
    struct Squat {
        const fs::path path = "/tmp/tarnwick-" + std::to_string(::geteuid()) + "-short";
        const fs::path aside = path.string() + ".aside-" + std::to_string(::getpid());
        explicit Squat(uid_t by) {
            std::error_code ignored;
            fs::rename(path, aside, ignored);
            fs::create_directory(path);
            taken = ::chown(path.c_str(), by, by) == 0;
        }
        ~Squat() {
            std::error_code ignored;
            fs::remove(path, ignored);
            fs::rename(aside, path, ignored);
        }
        bool taken;
    } squat(other);
    ASSERT_TRUE(squat.taken);
    const ScopedVariable runtime("XDG_RUNTIME_DIR", "");
    ::unsetenv("XDG_RUNTIME_DIR");
    struct Row {
        const char* name;
        std::string home;
        std::string aliases;  // where the aliases go
    };
    const std::vector<Row> rows = {
        {"home cache", (temp / "home").string(), (temp / "home/.cache/tarnwick/short").string()},
        {"fresh folder", "/No Home", "/tmp/tarnwick-" + std::to_string(::geteuid()) + "-"},
    };
    const fs::path emu = emulator("PC64 Emus/pc64win");
    // The game is a program too: were it started as one, it would record.
    const fs::path game = emulator("My Games/Summer Games.T64");
    fs::create_directories(temp / "home");
    for (const Row& row : rows) {
        const ScopedVariable home("HOME", row.home.c_str());
        PosixPlatform system;
        EXPECT_EQ(twShell(system).PC64Win(u16(emu), u16(game), false), u"") << row.name;
        const Args a = recorded().arguments;
        ASSERT_EQ(a.size(), 1u) << row.name;
        EXPECT_TRUE(opens(a[0], game)) << row.name;
        EXPECT_EQ(a[0].rfind(row.aliases, 0), 0u) << row.name << ": " << a[0];
        EXPECT_NE(a[0].rfind(squat.path.string(), 0), 0u) << row.name;
    }
}

// Emulators, the desktop's opener and dialog programs all begin as the
// system would start them: no descriptor of ours, no signal blocked or
// ignored; the opener's output goes nowhere.
TEST_F(PosixLaunch, ProgramsWeStartInheritNothing) {
    const fs::path bin = temp / "bin";
    emulator("bin/gio");
    emulator("bin/zenity");
    const ScopedVariable path("PATH", ("/nowhere:" + bin.string()).c_str());
    const ScopedVariable display("DISPLAY", ":99");
    char ours[4096] = {};
    ASSERT_GT(::readlink("/proc/self/fd/1", ours, sizeof ours - 1), 0);
    struct Row {
        const char* name;
        std::function<void()> start;
        std::string output;
    };
    const std::vector<Row> rows = {
        {"emulator", [&] { twShell(*host_).Frodo(u16(bin / "gio"), false); }, ours},
        {"opener", [&] { twShell(*host_).ShellWithDefaultProgram(u"doc", 0); }, "/dev/null"},
        {"dialog", [&] { host_->messageBox(u"Insert the disc", 1, u"Tarnwick"); }, ours},
    };
    const int leaked = ::open("/dev/null", O_RDONLY);  // no close-on-exec
    sigset_t block, saved;
    sigemptyset(&block);
    sigaddset(&block, SIGUSR1);
    ::sigprocmask(SIG_BLOCK, &block, &saved);
    const auto oldInt = ::signal(SIGINT, SIG_IGN);
    setMessageBoxHandler(nullptr);
    std::vector<Recording> got;
    for (const Row& row : rows) {
        row.start();
        got.push_back(recorded());
    }
    ::signal(SIGINT, oldInt);
    ::sigprocmask(SIG_SETMASK, &saved, nullptr);
    ::close(leaked);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].name);
        EXPECT_EQ(got[i].descriptors, Args{});
        EXPECT_EQ(got[i].blocked, "0000000000000000");
        EXPECT_EQ(got[i].ignored, "0000000000000000");
        EXPECT_EQ(got[i].output, rows[i].output);
    }
}

// The desktop's opener (here the recorder as gio, second on PATH) gets the
// target as one argument whatever it holds, one that begins with "-" as a
// path, never as an option.
TEST_F(LaunchInput, TheOpenerGetsOneWholeTarget) {
    program("bin/gio");
    const ScopedVariable path("PATH", ("/nowhere:" + (sandbox / "bin").string()).c_str());
    twShell shell(*host_);
    for (const Hostile& h : hostileNames) {
        const fs::path doc = write("docs/" + h.name, "doc");
        shell.ShellWithDefaultProgram(u16(doc), -1);
        EXPECT_EQ(recorded().arguments, (Args{"open", doc.string()})) << h.name;
        shell.ShellWithDefaultProgram(fromUtf8(h.name), INT_MIN);
        EXPECT_EQ(recorded().arguments, (Args{"open", (h.name[0] == '-' ? "./" : "") + h.name}));
        expectNoShell(h.name);
        if (HasFailure()) return;
    }
}

}  // namespace
}  // namespace tarnwick
