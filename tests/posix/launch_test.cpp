// Real starts on Linux: the recorder program stands in for every emulator,
// the player and the desktop's helpers, and writes down what it received
// and what it inherited.
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>

#include <regex>
#include <thread>

#include "posix/hostile_input.h"
#include "support/launch_call.h"
#include "support/recorder_reader.h"
#include "support/scoped_variable.h"

namespace tarnwick {
namespace {

using namespace testing;
using Args = std::vector<std::string>;

// A second local user, for files others could have made: made on first use
// (as root), or 0 when this process cannot.
uid_t otherUser() {
    if (::geteuid() != 0 || (!::getpwnam("tarnwick-other") &&
                             std::system("useradd --system tarnwick-other >/dev/null 2>&1") != 0))
        return 0;
    const passwd* user = ::getpwnam("tarnwick-other");
    return user ? user->pw_uid : 0;
}

class Launch : public BadInput {
  protected:
    void SetUp() override {
        BadInput::SetUp();
        ::setenv("TARNWICK_RECORDER_OUT", record_.c_str(), 1);
    }
    void TearDown() override {
        BadInput::TearDown();
        ::unsetenv("TARNWICK_RECORDER_OUT");
    }
    // A copy of the recorder at name inside the temporary folder, or a
    // script of that text.
    fs::path emulator(const std::string& name, const std::string& script = "") {
        const fs::path p = temp.write(name, script);
        if (script.empty())
            fs::copy_file(TARNWICK_RECORDER, p, fs::copy_options::overwrite_existing);
        if (!script.empty()) fs::permissions(p, fs::perms::owner_all);
        return p;
    }
    // What the program started last received: it writes within
    // milliseconds, so seconds without a record are a failed start.
    Recording recorded() {
        Recording r;
        EXPECT_TRUE(waitForRecording(record_, r, std::chrono::seconds(3))) << "nothing ran";
        return r;
    }
    const fs::path record_ = temp / "record.txt";
};

// Lines split and programs found by the Windows rules, the errors of what
// cannot start, and every program we start (the opener and a dialog too)
// beginning as the system would start it: no descriptor or signal state of
// ours; the opener's output goes nowhere.
TEST_F(Launch, StartsFollowTheWindowsRulesAndInheritNothing) {
    const std::string emu = emulator("Emu Dir/emu prog").string(), shared = emulator("Open/p");
    fs::permissions(temp / "Open", fs::perms::all);  // others may write: whole lines still run
    fs::create_directories(temp / "Emu");            // a folder: the next prefix is the program
    fs::create_directories(temp / "bin/folder");
    for (const char* name : {"bin/gio", "bin/zenity", "here/local"}) emulator(name);
    const std::string bad = emulator("bad", "\x01\x02 not a program"),
                      lost = emulator("lost", "#!/nowhere/sh\n"),
                      odd = emulator("odd", "#!" + temp.path().string() + "\n");
    fs::current_path(temp / "here");
    const ScopedVariable path("PATH", "/nowhere::" + (temp / "bin").string()),
        display("DISPLAY", ":9");
    const struct {
        std::string line;
        Args arguments;  // what the program receives, when it starts
        std::int32_t error = 0;
    } rows[] = {
        {emu + " first \"second arg\" c\\\\d a\\\\\"b", {"first", "second arg", "c\\\\d", "a\\b"}},
        {"\"" + emu + "\"\tx \"\" \"a\"\"b\" c\\\"d x\"y z\"w \"open",
         {"x", "", "a\"b", "c\"d", "xy zw", "open"}},
        {emu + " one\\\0 two"s, {"one\\"}},
        {"\"" + shared, {}},
        {"local one", {"one"}},
        {"gio two", {"two"}},
        {(temp / "missing").string(), {}, errors::FileNotFound},
        {"   ", {}, errors::FileNotFound},
        {"\"\" x", {}, errors::FileNotFound},
        {"folder", {}, errors::PermissionDenied},
        {lost, {}, errors::FileNotFound},  // runnable, but the exec fails
        {odd, {}, errors::PermissionDenied},
        {bad, {}, errors::InvalidProcedureCall},
        {emu + " " + std::string(200000, 'x'), {}, errors::OutOfMemory},
    };
    const int leaked = ::open("/dev/null", O_RDONLY);  // no close-on-exec
    sigset_t block, saved;
    sigemptyset(&block);
    sigaddset(&block, SIGUSR1);
    ::sigprocmask(SIG_BLOCK, &block, &saved);
    const auto oldInt = ::signal(SIGINT, SIG_IGN);
    char ours[4096] = {};
    ASSERT_GT(::readlink("/proc/self/fd/1", ours, sizeof ours - 1), 0);
    const auto started = [&](const std::string& output) {
        const Recording r = recorded();
        EXPECT_EQ(r.descriptors, Args{});
        EXPECT_EQ(r.blocked + r.ignored, "00000000000000000000000000000000");
        EXPECT_EQ(r.output + " " + r.errors, output + " " + output);
        return r.arguments;
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line.substr(0, 100));
        std::int32_t error = 0;
        try {
            host_->startProcess(fromUtf8(row.line), 1);
        } catch (const Error& e) {
            error = e.number();
        }
        EXPECT_EQ(error, row.error);
        EXPECT_EQ(error ? row.arguments : started(ours), row.arguments);
    }
    twShell(*host_).ShellWithDefaultProgram(u"-doc", 0);
    EXPECT_EQ(started("/dev/null"), (Args{"open", "./-doc"}));
    setMessageBoxHandler(nullptr);
    host_->messageBox(u"Insert the disc", 1, u"Tarnwick");
    started(ours);  // what a dialog is told is the dialog tests' matter
    ::signal(SIGINT, oldInt);
    ::sigprocmask(SIG_SETMASK, &saved, nullptr);
    ::close(leaked);
    errno = 0;  // the programs are not our children: nothing to reap
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    const String data = u16(temp.write("data", "x"));
    EXPECT_EQ(twShell(*host_).Win64Beta(data, data, false),
              u"There was an error starting Win64 Beta.  Error 70: Permission denied");
}

// Every launcher started for real, emulator and game in folders of hostile
// names: names arrive whole, paths as aliases that open the game, no shell
// runs. The default platform puts the aliases of such names in a folder of
// ours alone, also where another user took the shared one first. In what the
// program gets, {exact} is the game's path, {game} its short form, {folder}
// and {file} the two halves of that, {tune} the tune in the short form of its
// folder, {name} and {lower} the name as given and lower-cased.
TEST_F(Launch, LaunchersHandHostileNamesOverWhole) {
    const struct {
        Call call;
        const char *program, *config;  // the emulator's file name, its configuration file
        Args arguments;
    } launchers[] = {
        // clang-format off
        {{Win64}, "win64", "", {"{exact}"}}, {{PC64}, "pc64", "", {"{game}"}}, {{Frodo}, "frodo", "", {}},
        {{CB64, {}, {}, {}, SelectPort1}, "CB64.exe", "", {"/l{game}", "/j1"}},
        {{V109, {}, {}, {}, -7, 1, 0, 0, 0, true}, "ccsdpmi.exe", "c64.cfg", {"ccs64.exe", "{game},-7"}},
        {{V20, {}, {}, {}, 32767, 2, 1, -1, 4, true}, "ccs64", "c64.cfg", {"{game},32767"}},
        {{C64S, {}, {}, {}, 0, 2, -1, 0, 0, true}, "c64s", "Config.ini",
         {"-diskdir", "{folder}", "-disk", "{file}", "-autotype", "LOAD$20$22{name}$22,8,1$0DRUN$0D"}},
        {{Vice, {}, {}, {}, 0, INT_MIN, 5}, "x64sc", "", {"-autostart", "{game}:{lower}", "-joydev1", std::to_string(INT_MIN), "-joydev2", "5"}},
        {{ViceNo}, "x64", "", {"-autostart", "{game}:{lower}"}},
        {{Play}, "player", "", {"{tune}"}}, {{Song, {}, {}, {}, -32768}, "player", "", {"-o-32768", "{tune}"}}};
    // clang-format on
    // The shared folder of aliases, taken by another user for the test.
    struct Squat {
        const fs::path path = "/tmp/tarnwick-" + std::to_string(::geteuid()) + "-short";
        const fs::path aside = path.string() + ".aside";
        const uid_t other = otherUser();
        std::error_code ec;
        ~Squat() {
            if (other && fs::remove(path, ec)) fs::rename(aside, path, ec);
        }
    } squat;
    if (squat.other) {
        fs::rename(squat.path, squat.aside, squat.ec);
        fs::create_directory(squat.path);
        ASSERT_EQ(::chown(squat.path.c_str(), squat.other, squat.other), 0);
    }
    const fs::path home = temp / "home";
    fs::create_directory(home);
    const ScopedVariable runtime("XDG_RUNTIME_DIR", ""), homeVariable("HOME", home.string());
    ::unsetenv("XDG_RUNTIME_DIR");
    PosixPlatform system;
    twShell shell(system);
    for (const Hostile& h : hostileNames) {
        const fs::path game = write("games/" + h.name + "/" + h.name + ".d64", "game");
        write("games/" + h.name + "/tune.sid", "PSID");
        const std::string folder = toUtf8(twFunctions(system).Long2Short(u16(game.parent_path())));
        const std::string form = toUtf8(twFunctions(system).Long2Short(u16(game)));
        ASSERT_TRUE(opens(form, game) && opens(folder, game.parent_path())) << h.name;
        const std::size_t slash = form.rfind('/');
        const std::pair<std::string, std::string> tokens[] = {{"{exact}", game.string()},
                                                              {"{game}", form},
                                                              {"{folder}", form.substr(0, slash)},
                                                              {"{file}", form.substr(slash + 1)},
                                                              {"{tune}", folder + "/tune.sid"},
                                                              {"{name}", h.name},
                                                              {"{lower}", h.lower}};
        for (const auto& l : launchers) {
            Call call = l.call;
            const bool player = call.method == Play || call.method == Song;
            SCOPED_TRACE(std::to_string(call.method) + " on [" + h.name + "]");
            const std::string place = "emus/" + std::to_string(call.method) + "/" + h.name + "/";
            call.emulator = u16(emulator("sandbox/" + place + l.program));
            if (call.method == V109) call.emulator = u16(write(place + "CCS64.EXE", "emulator"));
            call.game = u16(player ? game.parent_path() : game);
            call.games = u16(game.parent_path());
            call.name = player ? String(u"tune.sid") : fromUtf8(h.name);
            const std::string config = "$JOYSTICK1PC=0\n$CONTROLPORT1=0\nJoy1=No\n";
            if (*l.config) write(place + l.config, config);
            ASSERT_EQ(run(shell, call), u"");
            Args expected = l.arguments;
            for (std::string& a : expected)
                for (const auto& [token, value] : tokens)
                    if (const auto at = a.find(token); at != std::string::npos)
                        a.replace(at, token.size(), value);
            const Recording r = recorded();
            EXPECT_EQ(r.arguments, expected);
            EXPECT_TRUE(opens(r.directory, sandbox / place)) << r.directory;
            EXPECT_TRUE(!*l.config || contentOf(sandbox / place / l.config) != config);
            expectNoShell(h.name);
            if (HasFailure()) return;
        }
    }
    if (squat.other) {
        EXPECT_TRUE(fs::is_empty(squat.path)) << "the folder another user took stays unused";
        EXPECT_FALSE(fs::is_empty(home / ".cache/tarnwick/short"));
        // With no home folder fit for them either, the aliases go to a fresh
        // folder of this process's own.
        const ScopedVariable unfit("HOME", (temp / "Not Fit").string());
        PosixPlatform fresh;
        const std::string alias =
            toUtf8(twFunctions(fresh).Long2Short(u16(write("fresh/a b.d64", "game"))));
        EXPECT_EQ(alias.rfind("/tmp/tarnwick-" + std::to_string(::geteuid()) + "-", 0), 0u);
        EXPECT_EQ(alias.find("-short/"), std::string::npos) << alias;
    }
}

// Windows would run "/srv/C64" for the unquoted "/srv/C64 Emus/frodo". Here
// such a prefix runs only when nobody but us or root can have put it there.
TEST_F(Launch, APrefixOthersCouldPlantNeverRuns) {
    const uid_t other = otherUser();
    if (other == 0) GTEST_SKIP() << "needs root, to make a second user";
    const fs::perms open = fs::perms::all | fs::perms::sticky_bit,
                    shared = fs::perms::owner_all | fs::perms::group_all,
                    own = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec;
    const struct {
        const char* name;
        fs::perms folder;
        uid_t owner;  // of the planted prefix
        Args arguments;
    } rows[] = {{"another user's file in a sticky folder", open, other, {}},
                {"root's file in a group-writable folder", shared, 0, {}},
                {"another user's file in a folder of ours", own, other, {}},
                {"root's file in a folder of ours", own, 0, {"Emus/frodo"}}};
    for (const auto& row : rows) {
        const fs::path frodo = emulator(row.name + "/C64 Emus/frodo"s);
        const fs::path planted = emulator(row.name + "/C64"s);
        ASSERT_EQ(::chown(planted.c_str(), row.owner, row.owner), 0);
        fs::permissions(planted, fs::perms::owner_all | fs::perms::others_exec);
        fs::permissions(temp / row.name, row.folder);
        ASSERT_EQ(twShell(*host_).Frodo(u16(frodo), false), u"") << row.name;
        EXPECT_EQ(recorded().arguments, row.arguments) << row.name;
    }
}

// The real sidplayfp plays the song the launch asks for, or the tune's own
// default (3 of the sampler's 5). A script in front of it keeps its status
// lines and ends it after a few seconds; sound goes to ALSA's null device.
TEST_F(Launch, RealSidplayfpPlaysTheSongAskedFor) {
    const std::string sidplayfp = programOnPath("sidplayfp");
    ASSERT_FALSE(sidplayfp.empty()) << "sidplayfp is not installed (scripts/install-deps.sh)";
    fs::create_directories(temp / "My Tunes");
    fs::copy_file(fs::path(TARNWICK_TUNES) / "sampler.sid", temp / "My Tunes/sampler.sid");
    const fs::path log = temp / "played";
    const String player = u16(emulator("player", "#!/bin/sh\nexec timeout 5 " + sidplayfp +
                                                     " \"$@\" >" + log.string() + " 2>&1\n"));
    temp.write("c/sidplayfp/sidplayfp.ini", "[SIDPlayfp]\nDefault Play Length=0:01\n");
    const ScopedVariable ini("XDG_CONFIG_HOME", (temp / "c").string()),
        alsa("ALSA_CONFIG_PATH",
             temp.write("asound.conf", "</usr/share/alsa/alsa.conf>\npcm.!default { type null }\n")
                 .string()),
        pulse("PULSE_SERVER", "unix:" + (temp / "no-pulse").string());
    for (const auto& [song, played] : {std::pair{4, "4"}, std::pair{0, "3"}}) {
        fs::remove(log);
        twShell shell(*host_);
        if (song) shell.PlayMusicSong(player, u16(temp / "My Tunes"), u"sampler.sid", song);
        if (!song) shell.PlayMusic(player, u16(temp / "My Tunes"), u"sampler.sid", u"", false);
        const std::regex box(R"(Playlist\s*:\s*1/\d+ \(tune (\d+)/5\[3\]\))");
        std::smatch m;
        std::string text;
        for (int i = 0; i < 200 && !std::regex_search(text = contentOf(log), m, box); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(m.size() > 1 ? m[1].str() : text, played) << "song " << song;
    }
}

}  // namespace
}  // namespace tarnwick
