// Real starts on Linux; the recorder stands in for every program and records what it got.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>

#include <tuple>

#include "posix/as_user.h"
#include "posix/hostile_input.h"
#include "support/launch_call.h"
#include "support/recorder_reader.h"
#include "support/scoped_variable.h"

namespace tarnwick {
namespace {

using namespace testing;
using Args = std::vector<std::string>;

class Launch : public BadInput {
  protected:
    // A copy of the recorder, or a script of that text.
    std::string emulator(const std::string& name, const std::string& script = "") {
        const fs::path p = temp.write(name, script);
        if (script.empty())
            fs::copy_file(TARNWICK_RECORDER, p, fs::copy_options::overwrite_existing);
        fs::permissions(p, fs::perms::owner_all);
        return p.string();
    }
    // The recorder writes within milliseconds: seconds without a record are a failed start.
    Recording recorded() {
        Recording r;
        EXPECT_TRUE(waitForRecording(record_, r, std::chrono::seconds(3))) << "nothing ran";
        return r;
    }
    const fs::path record_ = temp / "record.txt";
    const ScopedVariable out_{"TARNWICK_RECORDER_OUT", record_.string()};
    const uid_t other = secondUser() ? secondUser()->pw_uid : 0;  // made as root
    // Whether the path a program received opens the given file.
    bool opens(const fs::path& a, const fs::path& b) { return fs::equivalent(a, b, ec_); }
    std::error_code ec_;
};

// Windows line rules and start errors; every program (opener, dialog too) inherits nothing of ours.
TEST_F(Launch, StartsFollowTheWindowsRulesAndInheritNothing) {
    const std::string emu = emulator("Emu Dir/emu prog"), open = emulator("Open/p");
    fs::permissions(temp / "Open", fs::perms::all);  // others may write: whole lines still run
    fs::create_directories(temp / "Emu");            // a folder: the next prefix is the program
    fs::create_directories(temp / "bin/folder");
    for (const char* name : {"bin/gio", "bin/zenity", "here/local"}) emulator(name);
    emulator("here/zenity", "#!/bin/sh\n"), temp.write("plain/zenity", "");  // to be passed over
    // A prefix ("C64" of "C64 Emus/frodo") runs only if ours or root's, only its owner writing.
    using P = fs::perms;
    // clang-format off
    const std::tuple<std::string, P, uid_t> plants[] = {{"sticky", P::all | P::sticky_bit, 0},
        {"group", P::owner_all | P::group_all, 0}, {"other", P::owner_all, other}, {"root", P::owner_all, 0}};
    // clang-format on
    for (const auto& [folder, mode, owner] : plants) {
        if (!other) break;
        emulator("plants/" + folder + "/C64 Emus/frodo");
        EXPECT_EQ(::chown(emulator("plants/" + folder + "/C64").c_str(), owner, owner), 0);
        fs::permissions(temp / "plants" / folder, mode);
    }
    const std::string plant = (temp / "plants/").string();
    fs::current_path(temp / "here");
    const ScopedVariable path("PATH",
                              "/nowhere:" + (temp / "plain::").string() + (temp / "bin").string()),
        display("DISPLAY", ":9");
    // clang-format off
    const struct { std::string line; Args arguments; /* the program gets, if started */ std::int32_t error = 0; } rows[] = {
        {emu + " first \"second arg\" c\\\\d a\\\\\"b", {"first", "second arg", "c\\\\d", "a\\b"}},
        {"\"" + emu + "\"\tx \"\" \"a\"\"b\" c\\\"d x\"y z\"w \"open", {"x", "", "a\"b", "c\"d", "xy zw", "open"}},
        {emu + " one\\\0 two"s, {"one\\"}}, {"\"" + open, {}}, {"local one", {"one"}}, {"gio two", {"two"}},
        {(temp / "missing").string(), {}, errors::FileNotFound}, {"   ", {}, errors::FileNotFound},
        {"\"\" x", {}, errors::FileNotFound}, {"folder", {}, errors::PermissionDenied},
        // runnable, but the exec fails
        {emulator("lost", "#!/nowhere/sh\n"), {}, errors::FileNotFound}, {emulator("odd", "#!/\n"), {}, errors::PermissionDenied},
        {emulator("bad", "\x01\x02 not a program"), {}, errors::InvalidProcedureCall},
        {"\"" + emu + "\" " + std::string(200000, 'x'), {}, errors::OutOfMemory},
        {plant + "sticky/C64 Emus/frodo", {}}, {plant + "group/C64 Emus/frodo", {}},
        {plant + "other/C64 Emus/frodo", {}}, {plant + "root/C64 Emus/frodo", {"Emus/frodo"}}};
    // clang-format on
    const int leaked = ::open("/dev/null", O_RDONLY);  // no close-on-exec
    sigset_t block, saved;
    sigemptyset(&block), sigaddset(&block, SIGUSR1), ::sigprocmask(SIG_BLOCK, &block, &saved);
    const auto oldInt = ::signal(SIGINT, SIG_IGN);
    char ours[4096] = {};
    ASSERT_GT(::readlink("/proc/self/fd/1", ours, sizeof ours - 1), 0);
    const auto started = [&](const std::string& output) {
        const Recording r = recorded();
        EXPECT_EQ(r.inherited, output + " " + output + " 0000000000000000 0000000000000000 ");
        return r.arguments;
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line.substr(0, 100));
        if (!other && row.line.rfind(plant, 0) == 0) continue;  // no second user without root
        const std::int32_t error = raised([&] { host_->startProcess(fromUtf8(row.line), 1); });
        EXPECT_EQ(error, row.error);
        EXPECT_EQ(error ? row.arguments : started(ours), row.arguments);
    }
    twShell(*host_).ShellWithDefaultProgram(u"-doc", 0);
    EXPECT_EQ(started("/dev/null"), (Args{"open", "./-doc"}));
    setMessageBoxHandler(nullptr);
    host_->messageBox(u"Insert the disc", 1, u"Tarnwick");
    started(ours);  // a helper: along PATH, not the current folder, and only a program
    ::signal(SIGINT, oldInt), ::sigprocmask(SIG_SETMASK, &saved, nullptr), ::close(leaked);
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG) == -1 ? errno : 0, ECHILD) << "none of ours to reap";
}

// Every launcher for real on hostile names: names arrive whole, paths as aliases, no shell runs.
TEST_F(Launch, LaunchersHandHostileNamesOverWhole) {
    // clang-format off
    const struct { Call call; const char *program, *config; /* the emulator's file names */ Args arguments; } launchers[] = {
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
    twShell shell(*host_);
    for (const std::string& name : hostileNames) {
        const fs::path game = write("games/" + name + "/" + name + ".d64", "game");
        write("games/" + name + "/tune.sid", "PSID");
        const std::string folder = toUtf8(f->Long2Short(u16(game.parent_path())));
        const std::string form = toUtf8(f->Long2Short(u16(game)));
        ASSERT_TRUE(opens(form, game) && opens(folder, game.parent_path())) << name;
        const std::size_t slash = form.rfind('/');
        // clang-format off
        const std::pair<std::string, std::string> tokens[] = {{"{exact}", game.string()}, {"{game}", form},
            {"{folder}", form.substr(0, slash)}, {"{file}", form.substr(slash + 1)}, {"{tune}", folder + "/tune.sid"},
            {"{name}", name}, {"{lower}", toUtf8(host_->lowerCase(fromUtf8(name)))}};
        // clang-format on
        for (const auto& l : launchers) {
            Call call = l.call;
            const bool player = call.method == Play || call.method == Song;
            SCOPED_TRACE(std::to_string(call.method) + " on [" + name + "]");
            const std::string place = "emus/" + std::to_string(call.method) + "/" + name + "/";
            call.emulator = u16(emulator("sandbox/" + place + l.program));
            if (call.method == V109) call.emulator = u16(write(place + "CCS64.EXE", "emulator"));
            call.game = u16(player ? game.parent_path() : game);
            call.games = u16(game.parent_path());
            call.name = player ? String(u"tune.sid") : fromUtf8(name);
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
            expectNoShell(name);
            if (HasFailure()) return;
        }
    }
    // Default aliases: never in a /tmp folder another user took (the home cache, else a new one).
    const std::string ours = "/tmp/tarnwick-" + std::to_string(::geteuid()) + "-";
    const fs::path squat = ours + "short", aside = ours + "short.aside";
    if (other) fs::rename(squat, aside, ec_), fs::create_directory(squat, ec_);
    if (other && ::chown(squat.c_str(), other, other) != 0) ADD_FAILURE() << "no squat";
    for (const char* folder : {"home", "Run"}) fs::create_directory(temp / folder);
    const ScopedVariable runtime("XDG_RUNTIME_DIR", (temp / "Run").string()),
        home("HOME", (temp / "home").string());
    const auto alias = [&] {
        PosixPlatform system;
        return toUtf8(twFunctions(system).Long2Short(u16(write("a b.d64", "x"))));
    };
    const std::string cache = (temp / "home/.cache/tarnwick/short/").string();
    EXPECT_EQ(alias().rfind(other ? cache : ours + "short/", 0), 0u);
    const ScopedVariable unfit("HOME", (temp / "Not Fit").string());
    const std::string fresh = alias();
    EXPECT_TRUE(!other || (fresh.rfind(ours, 0) == 0 && fresh.find("-short/") == std::string::npos))
        << fresh;
    if (other && fs::remove(squat, ec_)) fs::rename(aside, squat, ec_);
}

}  // namespace
}  // namespace tarnwick
