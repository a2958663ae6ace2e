// What a careless front end or a hostile games database can hand every
// public method, against the real Linux backend: real files in a sandbox
// folder, real processes (the recorder stands in for each emulator and
// player), a real settings database. Each case must end in the documented
// result or a clear Error; no shell may run (names that would make one
// create PWNED are fed everywhere); a started program gets exactly the
// arguments its command line gives it, a game name whole where the launcher
// quotes it or shortens it; and nothing in the sandbox changes but the file
// the call names (a snapshot of every path, its type, mode and content is
// compared before and after).
#include "posix/hostile_input.h"

namespace tarnwick {
namespace {

using namespace testing;
namespace fs = std::filesystem;
using Args = std::vector<std::string>;
using namespace std::string_literals;

// ---------------------------------------------------------------- launchers

// What a launch needs in the sandbox, and where it put it.
struct Placed {
    fs::path emulator;  // the path handed over as strEmulatorExePath
    fs::path config;    // a configuration file the launch may rewrite, or empty
    fs::path gamesDir;
};

struct Launcher {
    const char* name;
    // Makes the emulator (and its companions) in folder.
    std::function<Placed(BadInput&, const std::string& folder)> prepare;
    std::function<String(twShell&, const Placed&, const fs::path& game, const Hostile&)> run;
    // Checks what the program received.
    std::function<void(const Recording&, const fs::path& game, const Hostile&)> check;
};

class LauncherInput : public BadInput {
  protected:
    Placed emulatorAt(const std::string& folder, const std::string& file) {
        return {program(folder + "/" + file), {}, {}};
    }
    Placed withConfig(const std::string& folder, const std::string& file, const std::string& cfg,
                      const std::string& companion = "") {
        Placed s;
        if (companion.empty()) {
            s.emulator = program(folder + "/" + file);
        } else {
            program(folder + "/" + companion);
            s.emulator = write(folder + "/" + file, "the emulator itself");
        }
        // Line ends a rewrite turns into CR LF: the file must change.
        s.config = write(folder + "/" + cfg, "$JOYSTICK1PC=0\n$CONTROLPORT1=0\nJoy1=No\n");
        s.gamesDir = sandbox / "games";
        return s;
    }
    std::vector<Launcher> launchers();
};

std::vector<Launcher> LauncherInput::launchers() {
    return {
        {"Win64Beta",
         [](BadInput& t, const std::string& folder) {
             return static_cast<LauncherInput&>(t).emulatorAt(folder, "win64");
         },
         [](twShell& s, const Placed& e, const fs::path& game, const Hostile&) {
             return s.Win64Beta(u16(e.emulator), u16(game), false);
         },
         // Quoted: the game path arrives exactly as passed.
         [](const Recording& r, const fs::path& game, const Hostile&) {
             EXPECT_EQ(r.arguments, Args{game.string()});
         }},
        {"PC64Win",
         [](BadInput& t, const std::string& folder) {
             return static_cast<LauncherInput&>(t).emulatorAt(folder, "pc64win");
         },
         [](twShell& s, const Placed& e, const fs::path& game, const Hostile&) {
             return s.PC64Win(u16(e.emulator), u16(game), true);
         },
         [](const Recording& r, const fs::path& game, const Hostile&) {
             ASSERT_EQ(r.arguments.size(), 1u);
             EXPECT_TRUE(opens(r.arguments[0], game)) << r.arguments[0];
         }},
        {"Comeback64",
         [](BadInput& t, const std::string& folder) {
             return static_cast<LauncherInput&>(t).emulatorAt(folder, "CB64.exe");
         },
         [](twShell& s, const Placed& e, const fs::path& game, const Hostile&) {
             return s.Comeback64(u16(e.emulator), u16(game), SelectPort1, false);
         },
         [](const Recording& r, const fs::path& game, const Hostile&) {
             ASSERT_EQ(r.arguments.size(), 2u);
             ASSERT_EQ(r.arguments[0].substr(0, 2), "/l");
             EXPECT_TRUE(opens(r.arguments[0].substr(2), game)) << r.arguments[0];
             EXPECT_EQ(r.arguments[1], "/j1");
         }},
        {"CCS64v109",
         [](BadInput& t, const std::string& folder) {
             return static_cast<LauncherInput&>(t).withConfig(folder, "CCS64.EXE", "c64.cfg",
                                                              "ccsdpmi.exe");
         },
         [](twShell& s, const Placed& e, const fs::path& game, const Hostile&) {
             return s.CCS64v109(u16(e.emulator), u16(e.gamesDir), u16(game), -7,
                                eCCS109_PCJoystick2, eCCS109_PCJoystick1, eCCS109_KeySet3,
                                eCCS109_KeySet1, true, false);
         },
         [](const Recording& r, const fs::path& game, const Hostile&) {
             ASSERT_EQ(r.arguments.size(), 2u);
             EXPECT_EQ(r.arguments[0], "ccs64.exe");
             ASSERT_TRUE(endsWith(r.arguments[1], ",-7")) << r.arguments[1];
             EXPECT_TRUE(opens(r.arguments[1].substr(0, r.arguments[1].size() - 3), game));
         }},
        {"CCS64v20DosAndWin",
         [](BadInput& t, const std::string& folder) {
             return static_cast<LauncherInput&>(t).withConfig(folder, "ccs64", "c64.cfg");
         },
         [](twShell& s, const Placed& e, const fs::path& game, const Hostile&) {
             return s.CCS64v20DosAndWin(u16(e.emulator), u16(e.gamesDir), u16(game), 32767,
                                        eCCS20_MouseC1351, eCCS20_Joystick, eCCS20_PCMouse,
                                        eCCS20_KeySet3, true, false);
         },
         [](const Recording& r, const fs::path& game, const Hostile&) {
             ASSERT_EQ(r.arguments.size(), 1u);
             ASSERT_TRUE(endsWith(r.arguments[0], ",32767")) << r.arguments[0];
             EXPECT_TRUE(opens(r.arguments[0].substr(0, r.arguments[0].size() - 6), game));
         }},
        {"C64Sv252",
         [](BadInput& t, const std::string& folder) {
             return static_cast<LauncherInput&>(t).withConfig(folder, "c64s", "Config.ini");
         },
         // The hostile name is also the program to load.
         [](twShell& s, const Placed& e, const fs::path& game, const Hostile& h) {
             return s.C64Sv252(u16(e.emulator), u16(game), Variant(fromUtf8(h.name)),
                               AnalogueJoystick, static_cast<C64SControlsEnum>(-1), true, false);
         },
         [](const Recording& r, const fs::path& game, const Hostile& h) {
             ASSERT_EQ(r.arguments.size(), 6u);
             EXPECT_EQ(r.arguments[0], "-diskdir");
             EXPECT_EQ(r.arguments[2], "-disk");
             EXPECT_TRUE(opens(r.arguments[1] + "/" + r.arguments[3], game));
             EXPECT_EQ(r.arguments[4], "-autotype");
             EXPECT_EQ(r.arguments[5], "LOAD$20$22" + h.name + "$22,8,1$0DRUN$0D");
         }},
        {"VICE",
         [](BadInput& t, const std::string& folder) {
             return static_cast<LauncherInput&>(t).emulatorAt(folder, "x64sc");
         },
         [](twShell& s, const Placed& e, const fs::path& game, const Hostile& h) {
             return s.VICE(u16(e.emulator), u16(game), fromUtf8(h.name),
                           static_cast<VICEControlsEnum>(INT_MIN), eVICE_PCJoystick2, false);
         },
         // The game and the program name inside one quoted argument, the
         // name lower-cased with the rest of the line.
         [](const Recording& r, const fs::path& game, const Hostile& h) {
             ASSERT_EQ(r.arguments.size(), 6u);
             EXPECT_EQ(r.arguments[0], "-autostart");
             const std::size_t colon = r.arguments[1].find(':');
             ASSERT_NE(colon, std::string::npos) << r.arguments[1];
             EXPECT_TRUE(opens(r.arguments[1].substr(0, colon), game)) << r.arguments[1];
             EXPECT_EQ(r.arguments[1].substr(colon + 1), h.lower);
             EXPECT_EQ(Args(r.arguments.begin() + 2, r.arguments.end()),
                       (Args{"-joydev1", std::to_string(INT_MIN), "-joydev2", "5"}));
         }},
        {"VICENoSettings",
         [](BadInput& t, const std::string& folder) {
             return static_cast<LauncherInput&>(t).emulatorAt(folder, "x64");
         },
         [](twShell& s, const Placed& e, const fs::path& game, const Hostile& h) {
             return s.VICENoSettings(u16(e.emulator), u16(game), fromUtf8(h.name), false);
         },
         [](const Recording& r, const fs::path& game, const Hostile& h) {
             ASSERT_EQ(r.arguments.size(), 2u);
             EXPECT_EQ(r.arguments[0], "-autostart");
             const std::size_t colon = r.arguments[1].find(':');
             ASSERT_NE(colon, std::string::npos) << r.arguments[1];
             EXPECT_TRUE(opens(r.arguments[1].substr(0, colon), game));
             EXPECT_EQ(r.arguments[1].substr(colon + 1), h.lower);
         }},
    };
}

// Every launcher, with its emulator in a folder of a hostile name and a game
// file of the same hostile name: the game arrives whole, as one argument,
// and nothing but the launcher's configuration file changes.
TEST_F(LauncherInput, HostileGameAndFolderNamesArriveWholeAndStartNoShell) {
    twShell shell(*host_);
    for (const Hostile& h : hostileNames) {
        const fs::path game = write("games/" + h.name + ".d64", "game " + h.name);
        for (const Launcher& l : launchers()) {
            const std::string context = std::string(l.name) + " on [" + h.name + "]";
            const Placed setup = l.prepare(*this, "emus/" + std::string(l.name) + "/" + h.name);
            const Tree before = snapshot(sandbox);
            EXPECT_EQ(l.run(shell, setup, game, h), u"") << context;
            const Recording r = recorded();
            {
                SCOPED_TRACE(context);
                l.check(r, game, h);
            }
            expectNoShell(context);
            std::vector<std::string> allowed;
            if (!setup.config.empty())
                allowed.push_back(setup.config.string().substr(sandbox.string().size() + 1));
            EXPECT_EQ(differences(before, snapshot(sandbox)), allowed) << context;
        }
    }
}

// Frodo gets no game: a hostile folder and emulator name still start it,
// with no argument at all.
TEST_F(BadInput, FrodoUnderAHostileNameStartsWithNoArgument) {
    twShell shell(*host_);
    for (const Hostile& h : hostileNames) {
        const fs::path emu = program("frodo/" + h.name + "/" + h.name + "x");
        EXPECT_EQ(shell.Frodo(u16(emu), true), u"") << h.name;
        EXPECT_EQ(recorded().arguments, Args{}) << h.name;
        expectNoShell(h.name);
    }
}

// Lengths at the 16-bit limit of the path counters, empty and blank paths:
// the documented messages, and nothing started.
TEST_F(BadInput, LaunchersOnEmptyBlankAndOverlongPathsGiveTheirMessages) {
    twShell shell(*host_);
    const fs::path emu = program("emus/long/emu");
    const fs::path game = write("games/game.d64", "g");
    const auto overflow = [](const std::u16string& name) {
        return u"There was an error starting " + name + u".  Error 6: Overflow";
    };
    const auto missing = [](const std::u16string& name, const String& path) {
        return u"Unable to run " + name + u".  File: " + path + u" not found";
    };
    for (const std::size_t n : {32766u, 32767u, 32768u}) {
        const String longPath = ofLength(n);
        // The emulator path is split first: past 32,767 characters the
        // 16-bit counter overflows, below it the file is simply not there.
        const auto emulatorResult = [&](const std::u16string& name) {
            return n > 32767 ? overflow(name) : missing(name, longPath);
        };
        EXPECT_EQ(shell.Win64Beta(longPath, u16(game), false), emulatorResult(u"Win64 Beta")) << n;
        EXPECT_EQ(shell.Frodo(longPath, false), emulatorResult(u"Frodo")) << n;
        EXPECT_EQ(shell.PC64Win(longPath, u16(game), false), emulatorResult(u"PC64Win")) << n;
        EXPECT_EQ(shell.Comeback64(longPath, u16(game), SelectPort2, false),
                  emulatorResult(u"the Come Back 64 Emulator"))
            << n;
        EXPECT_EQ(shell.VICE(longPath, u16(game), u"", eVICE_None, eVICE_None, false),
                  emulatorResult(u"the VICE Emulator"))
            << n;
        EXPECT_EQ(shell.CCS64v20DosAndWin(longPath, u"", u16(game), 0, eCCS20_None, eCCS20_None,
                                          eCCS20_PCJoystick1, eCCS20_PCJoystick1, false, false),
                  emulatorResult(u"CCS64 v2.0"))
            << n;
        // CCS64 v1.09 looks for its companion first, in the short form of
        // the emulator's folder, which such a folder does not have.
        EXPECT_EQ(shell.CCS64v109(longPath, u"", u16(game), 0, eCCS109_KeySet1, eCCS109_KeySet1,
                                  eCCS109_KeySet1, eCCS109_KeySet1, false, false),
                  n > 32767 ? overflow(u"CCS64 v1.09") : missing(u"CCS64 v1.09", u"/ccsdpmi.exe"))
            << n;
        // C64S splits only after its checks; the game is looked at first.
        EXPECT_EQ(shell.C64Sv252(longPath + u".d64", u16(game), Variant(), Disable, Disable, false,
                                 false),
                  missing(u"C64S v2.52", longPath + u".d64"))
            << n;
        // A game path of any length is only tested for existence.
        EXPECT_EQ(shell.Win64Beta(u16(emu), longPath, false), missing(u"Win64 Beta", longPath));
        EXPECT_EQ(shell.VICENoSettings(u16(emu), longPath, u"", false),
                  missing(u"the VICE Emulator", longPath));
    }
    for (const String& blank : {String(), String(u" "), String(u"\t"), String(u"\"")}) {
        EXPECT_EQ(shell.Win64Beta(blank, u16(game), false), missing(u"Win64 Beta", blank));
        EXPECT_EQ(shell.Frodo(blank, false), missing(u"Frodo", blank));
        EXPECT_EQ(shell.PC64Win(u16(emu), blank, false), missing(u"PC64Win", blank));
        EXPECT_EQ(shell.C64Sv252(u16(emu), blank, u"x", Disable, Disable, true, false),
                  u"Unable to run this game in C64S v2.52.  This emulator only supports D64 and "
                  u"T64 files");
    }
    EXPECT_FALSE(fs::exists(record_)) << "nothing was started";
}

// A NUL ends the command line for the system, as it ends the C string that
// Windows starts a program from: what stands behind it in the emulator's
// name or a program name reaches the program as nothing, never as further
// arguments of its own.
TEST_F(BadInput, ANulInANameNeverAddsArguments) {
    twShell shell(*host_);
    const fs::path emu = program("emus/nul/emu");
    const fs::path game = write("games/game.d64", "g");
    expectNoShell("before");

    // The emulator's name is unquoted: behind the NUL come two more words.
    EXPECT_EQ(shell.Win64Beta(u16(emu) + u"\0 -x ; touch PWNED"s, u16(game), false), u"");
    EXPECT_EQ(recorded().arguments, Args{}) << "the line ends at the NUL";
    EXPECT_EQ(shell.Frodo(u16(emu) + u"\0 --extra"s, false), u"");
    EXPECT_EQ(recorded().arguments, Args{});

    // In a quoted game path: the one argument ends at the NUL.
    EXPECT_EQ(shell.Win64Beta(u16(emu), u16(game) + u"\0\" \"; touch PWNED"s, false), u"");
    EXPECT_EQ(recorded().arguments, Args{game.string()});

    // In VICE's program name: the line, and with it the argument, ends
    // there; no port switch follows, and none is made up.
    EXPECT_EQ(
        shell.VICE(u16(emu), u16(game), u"NAME\0\" -extra \""s, eVICE_None, eVICE_None, false),
        u"");
    const Recording r = recorded();
    ASSERT_EQ(r.arguments.size(), 2u);
    EXPECT_EQ(r.arguments[0], "-autostart");
    EXPECT_TRUE(endsWith(r.arguments[1], ":name"));

    // The same through the platform itself.
    host_->startProcess(u16(emu) + u" one\0 two three"s, 1);
    EXPECT_EQ(recorded().arguments, Args{"one"});
    expectNoShell("after");
}

// The player's folder and the tune's folder go over in short forms, so any
// name stays one argument; the player's file and the tune's file go over as
// given and unquoted, as documented, so blanks in them split them.
TEST_F(BadInput, MusicPlayerFoldersOfAnyNameAndTheUnquotedFileNames) {
    twShell shell(*host_);
    for (const Hostile& h : hostileNames) {
        const fs::path player = program("players/" + h.name + "/player");
        const fs::path tune = write("tunes/" + h.name + "/tune.sid", "PSID tune " + h.name);
        const Tree before = snapshot(sandbox);
        shell.PlayMusic(u16(player), u16(tune.parent_path()), u"tune.sid", u"Tunes", true);
        Recording r = recorded();
        ASSERT_EQ(r.arguments.size(), 1u) << h.name;
        EXPECT_TRUE(opens(r.arguments[0], tune)) << h.name;
        shell.PlayMusicSong(u16(player), u16(tune.parent_path()), u"tune.sid", -32768);
        r = recorded();
        ASSERT_EQ(r.arguments.size(), 2u) << h.name;
        EXPECT_EQ(r.arguments[0], "-o-32768");
        EXPECT_TRUE(opens(r.arguments[1], tune)) << h.name;
        expectNoShell(h.name);
        EXPECT_EQ(differences(before, snapshot(sandbox)), std::vector<std::string>{}) << h.name;
    }

    // The tune's file name, unquoted: shell characters stay text, blanks
    // separate arguments by the command-line rules.
    const fs::path player = program("players/plain/player");
    const fs::path folder = sandbox / "tunes/plain";
    for (const std::string name : {"; touch PWNED.sid", "$(touch PWNED).sid", "`x`|y.sid"}) {
        write("tunes/plain/" + name, "PSID");
        shell.PlayMusic(u16(player), u16(folder), fromUtf8(name), u"", false);
        const Recording r = recorded();
        const std::vector<std::string> words = [&] {
            std::vector<std::string> w;
            std::istringstream in(name);
            for (std::string word; in >> word;) w.push_back(word);
            return w;
        }();
        ASSERT_EQ(r.arguments.size(), words.size()) << name;
        EXPECT_TRUE(endsWith(r.arguments[0], "/" + words[0])) << name;
        EXPECT_EQ(Args(r.arguments.begin() + 1, r.arguments.end()),
                  Args(words.begin() + 1, words.end()));
        expectNoShell(name);
    }
    // A missing tune of a hostile name: one box naming it whole, no start.
    HostHandlers host;
    shell.PlayMusic(u16(player), u16(folder), u"gone\n; touch PWNED.sid", u"Tunes", true);
    EXPECT_EQ(host.prompts,
              std::vector<String>{u"FILE NOT FOUND: " + u16(folder) + u"/gone\n; touch PWNED.sid"});
    EXPECT_FALSE(fs::exists(record_));
}

// The desktop's opener, here a recorder named gio early on PATH: the target
// arrives as one argument whatever it holds, one that begins with "-" as a
// path, never as an option.
TEST_F(BadInput, OpenWithDefaultHandsTheOpenerOneWholeTarget) {
    program("bin/gio");
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", ((sandbox / "bin").string() + ":" + oldPath).c_str(), 1);
    twShell shell(*host_);
    for (const Hostile& h : hostileNames) {
        const fs::path doc = write("docs/" + h.name, "doc");
        shell.ShellWithDefaultProgram(u16(doc), -1);
        EXPECT_EQ(recorded().arguments, (Args{"open", doc.string()})) << h.name;
        shell.ShellWithDefaultProgram(fromUtf8(h.name), INT_MIN);
        const std::string asGiven = h.name[0] == '-' ? "./" + h.name : h.name;
        EXPECT_EQ(recorded().arguments, (Args{"open", asGiven})) << h.name;
        expectNoShell(h.name);
    }
    shell.ShellWithDefaultProgram(u"", 0);
    EXPECT_EQ(recorded().arguments, (Args{"open", ""}));
    ::setenv("PATH", oldPath.c_str(), 1);
}

// ---------------------------------------------------------------- paths

TEST_F(BadInput, PathSplittingAtTheSixteenBitLimit) {
    for (const std::size_t n : {32766u, 32767u, 32768u}) {
        const String withSeparator = ofLength(n);
        const String withoutSeparator(n, u'x');
        String path = u"old", file = u"old";
        if (n > 32767) {
            try {
                f->GetFileAndPath(withSeparator, path, file);
                ADD_FAILURE() << "no overflow at " << n;
            } catch (const Error& e) {
                EXPECT_EQ(e.number(), errors::Overflow);
            }
            EXPECT_EQ(path, u"") << "both out strings are overwritten first";
            EXPECT_EQ(file, u"");
            EXPECT_THROW(f->JustFileName(withoutSeparator), Error);
            EXPECT_THROW(f->JustFileName(withSeparator), Error);
        } else {
            f->GetFileAndPath(withSeparator, path, file);
            EXPECT_EQ(path, u"");
            EXPECT_EQ(file, withSeparator.substr(1));
            EXPECT_EQ(f->JustFileName(withSeparator), withSeparator.substr(1));
            EXPECT_EQ(f->JustFileName(withoutSeparator), withoutSeparator);
        }
        // Without a separator no counter is used: any length splits.
        f->GetFileAndPath(withoutSeparator, path, file);
        EXPECT_EQ(path, u"");
        EXPECT_EQ(file, withoutSeparator);
    }
    // NULs, lone surrogates and CR LF are characters like any other.
    const String odd = u"a\0b/\xD800\r\n/c\0\xDFFF"s;
    String path, file;
    f->GetFileAndPath(odd, path, file);
    EXPECT_EQ(path, u"a\0b/\xD800\r\n"s);
    EXPECT_EQ(file, u"c\0\xDFFF"s);
    EXPECT_EQ(f->JustFileName(odd), u"c\0\xDFFF"s);
}

// Long2Short gives, for a file of any name, a form that names the same file,
// holds no blank, control character or quote, and is its own lower case;
// "" for whatever does not resolve.
TEST_F(BadInput, ShortFormsOfHostileNamesStandUnquotedAndNameTheFile) {
    const auto standsUnquoted = [](const String& form) {
        for (const char16_t c : form)
            if (c <= 0x20 || c == u'"' || c == 0x7F || (c >= u'A' && c <= u'Z')) return false;
        return true;
    };
    for (const Hostile& h : hostileNames) {
        const fs::path file = write("short/" + h.name + "/" + h.name + ".T64", "tape");
        for (const fs::path& p : {file, file.parent_path()}) {
            const String form = f->Long2Short(u16(p));
            ASSERT_FALSE(form.empty()) << p;
            EXPECT_TRUE(standsUnquoted(form)) << toUtf8(form);
            EXPECT_TRUE(opens(toUtf8(form), p)) << toUtf8(form);
        }
        // Only in another letter case: Linux names are exact.
        const fs::path upper = sandbox / "short" / fs::path(h.lower) / "NONE.T64";
        EXPECT_EQ(f->Long2Short(u16(upper)), u"") << h.name;
    }
    fs::create_symlink("nowhere", sandbox / "dangling");
    fs::create_symlink("loop-b", sandbox / "loop-a");
    fs::create_symlink("loop-a", sandbox / "loop-b");
    const Tree before = snapshot(sandbox);
    for (const String& unresolved :
         {u16(sandbox / "dangling"), u16(sandbox / "loop-a"), u16(sandbox / "missing/x"),
          ofLength(32766), ofLength(32767), ofLength(32768), String(u" "), String(u"\"")})
        EXPECT_EQ(f->Long2Short(unresolved), u"") << toUtf8(unresolved).substr(0, 80);
    EXPECT_EQ(f->Long2Short(u""), u"");
    EXPECT_EQ(differences(before, snapshot(sandbox)), std::vector<std::string>{});
}

// FileExists and DirExists on names of every kind: the documented codes and
// boxes, DirExists leaving the folder current only when it says true.
TEST_F(BadInput, ExistenceTestsOnHostileOddAndOverlongNames) {
    HostHandlers host([](const String&) { return answers::Ok; });
    for (const Hostile& h : hostileNames) {
        const fs::path dir = sandbox / "exist" / fs::path(h.name);
        const fs::path file = write("exist/" + h.name + "/" + h.name, "x");
        EXPECT_TRUE(static_cast<bool>(f->FileExists(u16(file), true, u"c"))) << h.name;
        EXPECT_TRUE(static_cast<bool>(f->DirExists(u16(dir)))) << h.name;
        EXPECT_TRUE(fs::equivalent(fs::current_path(), dir)) << h.name;
        EXPECT_FALSE(static_cast<bool>(f->DirExists(u16(file)))) << "a file is no folder";
        EXPECT_TRUE(fs::equivalent(fs::current_path(), dir)) << "left as it was";
    }
    EXPECT_TRUE(host.prompts.empty());

    fs::create_directories(sandbox / "exist/folder");
    fs::create_symlink("loop-b", sandbox / "exist/loop-a");
    fs::create_symlink("loop-a", sandbox / "exist/loop-b");
    const fs::path readOnly = write("exist/read-only", "r");
    fs::permissions(readOnly, fs::perms::owner_read);
    const fs::path here = sandbox / "exist";
    struct Case {
        String name;
        bool exists;
        String prompt;  // the box FileExists shows, "" for none
    };
    const String longName = u16(here) + u"/" + String(40000, u'n');
    const std::vector<Case> cases = {
        {u"", false, u"FILE NOT FOUND: NO FILENAME PASSED!"},
        {u16(here / "FOLDER"), false, u"FILE NOT FOUND: " + u16(here / "FOLDER")},
        {u16(here / "folder"), false, u"Device Not Ready for " + u16(here / "folder")},
        {u16(here / "loop-a"), false, u"PATH NOT FOUND: " + u16(here / "loop-a")},
        {u16(here / "read-only"), true, u""},
        {u16(here / "missing/x"), false, u"PATH NOT FOUND: " + u16(here / "missing/x")},
        {u16(here / "read-only/x"), false, u"PATH NOT FOUND: " + u16(here / "read-only/x")},
        {longName, false, u"PATH NOT FOUND: " + longName},
        {u" ", false, u"FILE NOT FOUND:  "},
    };
    for (const Case& c : cases) {
        host.prompts.clear();
        EXPECT_EQ(static_cast<bool>(f->FileExists(c.name, true, u"c")), c.exists)
            << toUtf8(c.name).substr(0, 80);
        EXPECT_EQ(host.prompts, c.prompt.empty() ? std::vector<String>{} : std::vector{c.prompt});
        host.prompts.clear();
        EXPECT_EQ(static_cast<bool>(f->FileExists(c.name, Boolean::fromRaw(1), u"c")), c.exists);
        EXPECT_TRUE(host.prompts.empty()) << "only the exact automation true shows a box";
    }
    const fs::path current = fs::current_path();
    for (const String& notAFolder : {String(), u16(here / "Folder"), u16(here / "loop-a"),
                                     u16(here / "read-only"), longName, ofLength(32768)}) {
        EXPECT_FALSE(static_cast<bool>(f->DirExists(notAFolder)));
        EXPECT_EQ(fs::current_path(), current);
    }
    // A folder reached through a link is entered.
    fs::create_directory_symlink("folder", here / "link");
    EXPECT_TRUE(static_cast<bool>(f->DirExists(u16(here / "link"))));
    EXPECT_TRUE(fs::equivalent(fs::current_path(), here / "folder"));
}

TEST_F(BadInput, DriveTypeOfAnythingThatDoesNotResolveIsNoRoot) {
    for (const String& name :
         {u16(sandbox / "missing"), ofLength(32768), u16(sandbox) + u"/\xD800"s, String(u"\n")})
        EXPECT_TRUE(static_cast<bool>(f->DriveTypeIsCDRom(name))) << toUtf8(name).substr(0, 40);
    for (const Hostile& h : hostileNames) {
        const fs::path dir = sandbox / "drives" / fs::path(h.name);
        fs::create_directories(dir);
        EXPECT_FALSE(static_cast<bool>(f->DriveTypeIsCDRom(u16(dir)))) << h.name;
    }
}

// ---------------------------------------------------------------- search

TEST_F(BadInput, SearchesReportHostileNamesWholeAndEndOnLoops) {
    for (const Hostile& h : hostileNames) write("tree/" + h.name + "/" + h.name + ".prg", "12345");
    fs::create_directory_symlink("..", sandbox / "tree/up-loop");
    fs::create_directory_symlink(sandbox / "tree", sandbox / "tree/; touch PWNED/self");
    const Tree before = snapshot(sandbox);

    std::vector<std::string> reported;
    f->addFoundFileHandler([&](const String& p) { reported.push_back(toUtf8(p)); });
    String folder = u16(sandbox / "tree");
    const Variant total = f->FindFiles(folder, u"*.PRG");
    EXPECT_EQ(folder, u16(sandbox / "tree") + u"/");
    std::vector<std::string> expected;
    for (const Hostile& h : hostileNames)
        expected.push_back(
            (sandbox / "tree" / fs::path(h.name) / fs::path(h.name + ".prg")).string());
    std::sort(reported.begin(), reported.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(reported, expected) << "each once, whole, the loops entered never";
    EXPECT_EQ(total, Variant(static_cast<std::int32_t>(5 * hostileNames.size())));

    for (const Hostile& h : hostileNames) {
        // Names match without regard to case.
        const String upper = fromUtf8(h.lower) + u".PRG";
        const String found = f->FindFile(upper, u16(sandbox / "tree"));
        EXPECT_TRUE(
            opens(toUtf8(found), sandbox / "tree" / fs::path(h.name) / fs::path(h.name + ".prg")))
            << h.name << " -> " << toUtf8(found);
        // A hostile name as the folder of the search.
        String sub = u16(sandbox / "tree" / fs::path(h.name));
        reported.clear();
        f->FindFiles(sub, u"*.prg");
        EXPECT_EQ(reported.size(), 1u) << h.name;
    }
    expectNoShell("search");
    EXPECT_EQ(differences(before, snapshot(sandbox)), std::vector<std::string>{});
}

TEST_F(BadInput, SearchesOnOddPatternsAndFoldersFindNothingAndRaiseNothing) {
    write("odd/a.prg", "a");
    std::vector<String> reported;
    f->addFoundFileHandler([&](const String& p) { reported.push_back(p); });
    const String folder = u16(sandbox / "odd");
    for (const String& pattern :
         {String(), u"\0*"s, u"*\0"s, u"\xD800*"s, String(32768, u'*') + u".zzz",
          String(40000, u'a'), u"[a].prg"s, u"\n"s, u"a.prg\0junk"s}) {
        String path = folder;
        EXPECT_NO_THROW(f->FindFiles(path, pattern)) << toUtf8(pattern).substr(0, 20);
        EXPECT_NO_THROW(f->FindFile(pattern, folder));
    }
    EXPECT_EQ(reported, std::vector<String>{}) << "no pattern above matches a.prg";
    // A NUL would end the name early and a lone surrogate stands for no
    // file: neither finds a.prg, nor the folder itself.
    for (const String& name : {u"a.prg\0junk"s, u"\0"s, u"\0*"s, u"a.prg\0"s, u"\xD800"s})
        EXPECT_EQ(f->FindFile(name, folder), u"") << toUtf8(name);
    for (const String& badFolder : {u16(sandbox / "missing"), u16(sandbox / "odd/a.prg"),
                                    ofLength(32768), u16(sandbox) + u"/\xD800"s}) {
        String path = badFolder;
        EXPECT_EQ(f->FindFiles(path, u"*"), Variant()) << toUtf8(badFolder).substr(0, 40);
        EXPECT_EQ(f->FindFile(u"a.prg", badFolder), u"");
    }
}

// Entries that vanish while the search runs (a handler deletes them) are
// left out, and the search goes on.
TEST_F(BadInput, FilesAndFoldersThatVanishDuringTheSearch) {
    for (const char* name : {"v/a.prg", "v/b.prg", "v/c.prg", "v/sub1/x.prg", "v/sub2/y.prg"})
        write(name, "123");
    std::vector<std::string> reported;
    f->addFoundFileHandler([&](const String& p) {
        reported.push_back(fs::path(toUtf8(p)).filename().string());
        std::error_code ec;
        // The first report takes the rest of the folder and its subfolders.
        for (const char* gone : {"v/a.prg", "v/b.prg", "v/c.prg", "v/sub1", "v/sub2"})
            fs::remove_all(sandbox / gone, ec);
    });
    String path = u16(sandbox / "v");
    EXPECT_NO_THROW(f->FindFiles(path, u"*.prg"));
    EXPECT_EQ(reported.size(), 1u);
}

// ---------------------------------------------------------------- waits

TEST_F(BadInput, WaitsOnHostileAndOddNamesPromptWithTheNameWhole) {
    twFunctions w(*host_);
    for (const Hostile& h : hostileNames) {
        const fs::path dir = sandbox / "waits" / fs::path(h.name);
        const fs::path file = write("waits/" + h.name + "/" + h.name, "x");
        HostHandlers host;
        EXPECT_TRUE(static_cast<bool>(w.WaitForCDRomPath(Variant(u16(dir))))) << h.name;
        EXPECT_TRUE(static_cast<bool>(w.WaitForCDRomFile(Variant(u16(file))))) << h.name;
        EXPECT_TRUE(host.prompts.empty());
        // Missing: one prompt with the name whole, Cancel ends the wait.
        EXPECT_FALSE(static_cast<bool>(w.WaitForCDRomFile(Variant(u16(file) + u"-gone"))));
        EXPECT_FALSE(static_cast<bool>(w.WaitForCDRomPath(Variant(u16(dir) + u"-gone"))));
        EXPECT_FALSE(static_cast<bool>(w.WaitForCDRom(u16(dir), fromUtf8(h.name))));
        EXPECT_EQ(
            host.prompts,
            (std::vector<String>{u"Insert the CD for File: '" + u16(file) + u"-gone'",
                                 u"Insert the CD for Path: '" + u16(dir) + u"-gone'",
                                 u"Insert CD: '" + fromUtf8(h.name) + u"' into Drive " + u16(dir)}))
            << h.name;
        EXPECT_EQ(host.yields, 5);
    }
    HostHandlers host;
    for (const String& odd : {ofLength(32768), u"\0"s, u"\xD800"s, String(u"\r\n")}) {
        EXPECT_EQ(w.GetVolumeName(odd), u"");
        // An empty label is what an unreadable volume gives: true at once.
        EXPECT_TRUE(static_cast<bool>(w.WaitForCDRom(odd, u"")));
        EXPECT_FALSE(static_cast<bool>(w.WaitForCDRom(odd, u"GAMES")));
        EXPECT_FALSE(static_cast<bool>(w.WaitForCDRomFile(Variant(odd))));
    }
    // Null cannot become a path: the error, before any prompt.
    host.prompts.clear();
    for (const auto& wait : {&twFunctions::WaitForCDRomPath, &twFunctions::WaitForCDRomFile}) {
        try {
            (w.*wait)(Variant::null());
            ADD_FAILURE() << "Null was taken for a path";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), errors::InvalidUseOfNull);
        }
    }
    EXPECT_TRUE(host.prompts.empty());
}

// A file that appears while the prompt is up is found on OK; one that
// vanishes is asked for again.
TEST_F(BadInput, WaitsForFilesThatComeAndGo) {
    const fs::path file = sandbox / "cd/; touch PWNED.d64";
    HostHandlers host([&](const String&) {
        write("cd/; touch PWNED.d64", "x");
        return answers::Ok;
    });
    EXPECT_TRUE(static_cast<bool>(f->WaitForCDRomFile(Variant(u16(file)))));
    EXPECT_EQ(host.prompts.size(), 1u);
    EXPECT_EQ(host.yields, 2);
    fs::remove(file);
    int passes = 0;
    HostHandlers again([&](const String&) { return ++passes < 3 ? answers::Ok : answers::Cancel; });
    EXPECT_FALSE(static_cast<bool>(f->WaitForCDRomPath(Variant(u16(file)))));
    EXPECT_EQ(again.prompts.size(), 3u);
    expectNoShell("waits");
}

// ---------------------------------------------------------------- window and deletion

TEST_F(BadInput, AlwaysOnTopWithAnyWindowNumberReturns) {
    for (const std::int32_t window : {0, -1, 1, INT_MIN, INT_MAX, 0x1FFFFFFF})
        for (const std::int16_t on : {0, -1, 1, -32768})
            f->SetAlwaysOnTop(Boolean::fromRaw(on), window);
}

class DeletionInput : public BadInput {
  protected:
    void SetUp() override {
        BadInput::SetUp();
        write("outside/keep.txt", "kept");
        write("outside/dir/inner.txt", "inner");
    }
    // Deletes name and checks that exactly the paths expected (relative to
    // the sandbox) are gone and nothing else changed.
    void deleteExpecting(const String& name, std::vector<std::string> gone) {
        const Tree before = snapshot(sandbox);
        f->DeletePathSilent(name);
        std::sort(gone.begin(), gone.end());
        EXPECT_EQ(differences(before, snapshot(sandbox)), gone) << toUtf8(name).substr(0, 80);
        for (const std::string& g : gone) EXPECT_TRUE(before.count(g)) << g;
    }
    // Every path below (and including) relative.
    std::vector<std::string> below(const std::string& relative) {
        std::vector<std::string> paths{relative};
        for (const auto& [path, node] : snapshot(sandbox))
            if (path.compare(0, relative.size() + 1, relative + "/") == 0) paths.push_back(path);
        return paths;
    }
};

TEST_F(DeletionInput, HostileNamesDeleteExactlyTheirOwnEntry) {
    for (const Hostile& h : hostileNames) {
        const std::string folder = "del/" + h.name;
        write(folder + "/" + h.name, "file");
        write(folder + "/keep", "keep");
        write(folder + "/" + h.name + ".sub/inner", "inner");
        // Wildcards in the hostile name ("*", "?x[a]") match as documented:
        // what the name matches goes, and only that.
        if (h.name.find_first_of("*?") != std::string::npos) continue;
        deleteExpecting(u16(sandbox / folder / fs::path(h.name)), {folder + "/" + h.name});
        deleteExpecting(u16(sandbox / folder / fs::path(h.name + ".sub")),
                        below(folder + "/" + h.name + ".sub"));
        deleteExpecting(u16(sandbox / folder), below(folder));
    }
    // "*" names everything in its folder, "?x[a]" the one four-character
    // name x and the brackets spell.
    write("del/star/a", "a");
    write("del/star/b/c", "c");
    deleteExpecting(u16(sandbox / "del/star/*"), {"del/star/a", "del/star/b", "del/star/b/c"});
    write("del/q/?x[a]", "q");
    write("del/q/zx[a]", "z");
    write("del/q/zx[b]", "b");
    deleteExpecting(u16(sandbox / "del/q/?x[a]"), {"del/q/?x[a]", "del/q/zx[a]"});
    expectNoShell("deletion");
}

TEST_F(DeletionInput, LinksAreRemovedNeverFollowed) {
    fs::create_directories(sandbox / "links");
    fs::create_directory_symlink(sandbox / "outside", sandbox / "links/to-folder");
    fs::create_symlink(sandbox / "outside/keep.txt", sandbox / "links/to-file");
    write("links/tree/own.txt", "own");
    fs::create_directory_symlink(sandbox / "outside", sandbox / "links/tree/inner-link");
    fs::create_directory_symlink("..", sandbox / "links/tree/up");
    deleteExpecting(u16(sandbox / "links/to-folder"), {"links/to-folder"});
    deleteExpecting(u16(sandbox / "links/to-file/"), {"links/to-file"});
    deleteExpecting(u16(sandbox / "links/tree"), below("links/tree"));
    // A path that goes through a link names what lies behind it.
    fs::create_directory_symlink(sandbox / "outside", sandbox / "links/via");
    deleteExpecting(u16(sandbox / "links/via/dir/inner.txt"), {"outside/dir/inner.txt"});
}

TEST_F(DeletionInput, NamesThatNameNothingSafelyDeleteNothing) {
    write("safe/file", "f");
    write("safe/FILE-ONLY-UPPER", "u");
    fs::current_path(sandbox / "safe");
    for (const String& name :
         {String(), String(u"."), String(u".."), String(u"/"), String(u"//"),
          u16(sandbox / "safe/.."), u16(sandbox / "safe/."), u16(sandbox) + u"/safe/../",
          u16(sandbox / "safe/file-only-upper"), u16(sandbox / "safe/missing"), ofLength(32766),
          ofLength(32767), ofLength(32768), String(u" "), String(u"\n")})
        deleteExpecting(name, {});
    EXPECT_TRUE(fs::exists(sandbox / "safe/file"));
}

// A NUL would end the name early for the system, which could then name a
// folder that holds the target (everything in it deleted) or, in the list
// of names the Windows deletion takes, begin a second name: such a name is
// no name to delete. Nor is one with a lone surrogate, which has no form on
// Linux and must not stand for a file whose name holds U+FFFD.
TEST_F(DeletionInput, NamesWithANulOrALoneSurrogateDeleteNothing) {
    write("victim/inside.txt", "in");
    write("victim.txt", "v");
    write("\xEF\xBF\xBD", "replacement character");
    write("\xEF\xBF\xBD.d64", "replacement character");
    const String root = u16(sandbox);
    for (const String& name :
         {root + u"/victim\0/inside.txt"s, root + u"/victim\0.bak"s, root + u"/victim.txt\0"s,
          root + u"/victim.txt\0/../outside"s, root + u"/\xD800"s, root + u"/\xDFFF.d64"s,
          root + u"/\xDBFF\xDBFF"s, root + u"/*\0"s})
        deleteExpecting(name, {});
    EXPECT_EQ(contentOf(sandbox / "victim/inside.txt"), "in");
}

// A read-only file goes like any other (the deletion is final); a folder
// that cannot be written keeps what cannot be removed and nothing outside
// is touched.
TEST_F(DeletionInput, ReadOnlyFilesAndFolders) {
    const fs::path file = write("ro/file", "r");
    fs::permissions(file, fs::perms::owner_read);
    deleteExpecting(u16(file), {"ro/file"});
    write("ro/tree/a", "a");
    fs::permissions(sandbox / "ro/tree", fs::perms::owner_read | fs::perms::owner_exec);
    // Root may empty a folder whose mode forbids writing; anyone else
    // leaves it whole.
    deleteExpecting(u16(sandbox / "ro/tree"),
                    ::geteuid() == 0 ? below("ro/tree") : std::vector<std::string>{});
}

// ---------------------------------------------------------------- settings

class SettingsInput : public BadInput {
  protected:
    void SetUp() override {
        BadInput::SetUp();
        if (const char* old = std::getenv("TARNWICK_REGISTRY")) saved_ = old;
        ::setenv("TARNWICK_REGISTRY", (temp / "settings/registry.sqlite").c_str(), 1);
        store_ = std::make_unique<PosixPlatform>();
    }
    void TearDown() override {
        if (saved_)
            ::setenv("TARNWICK_REGISTRY", saved_->c_str(), 1);
        else
            ::unsetenv("TARNWICK_REGISTRY");
        BadInput::TearDown();
    }
    std::unique_ptr<PosixPlatform> store_;

  private:
    std::optional<std::string> saved_;
};

TEST_F(SettingsInput, HostileKeysNamesAndValuesRoundTrip) {
    twRegistry r(*store_);
    std::vector<String> texts = {u"",
                                 u" ",
                                 u"'); DROP TABLE keys; --",
                                 u"\"; touch PWNED; `x` $(y) | z",
                                 u"line\r\nbreak",
                                 u"nul\0inside"s,
                                 u"%s%n%x",
                                 String(32766, u'k'),
                                 String(32767, u'k'),
                                 String(32768, u'k')};
    for (const Hostile& h : hostileNames) texts.push_back(fromUtf8(h.name));
    for (const String& text : texts) {
        const std::string context = toUtf8(text).substr(0, 40);
        // As a value, a value name and the last part of a key path.
        EXPECT_TRUE(static_cast<bool>(
            r.SaveSetting(u"HKEY_CURRENT_USER", u"Software\\Bad", u"v", Variant(text), true)))
            << context;
        Variant read;
        EXPECT_TRUE(static_cast<bool>(
            r.GetSetting(u"hkey_current_user", u"SOFTWARE\\bad", u"V", read, true)));
        EXPECT_EQ(read, Variant(text)) << context;

        const bool savedAsName = static_cast<bool>(
            r.SaveSetting(u"HKEY_CURRENT_USER", u"Software\\Names", text, Variant(7), false));
        read = Variant();
        EXPECT_TRUE(static_cast<bool>(
            r.GetSetting(u"HKEY_CURRENT_USER", u"Software\\Names", text, read, false)));
        // A value name past the registry's 16,383 characters is refused.
        EXPECT_EQ(savedAsName, text.size() <= 16383) << context;
        EXPECT_EQ(read, savedAsName ? Variant(std::int32_t{7}) : Variant(u"--NOT-FOUND--"))
            << context;

        const String key = u"Software\\Keys\\" + text;
        if (r.SaveSetting(u"HKEY_CURRENT_USER", key, u"n", Variant(std::int32_t{-1}), false)) {
            read = Variant();
            EXPECT_TRUE(
                static_cast<bool>(r.GetSetting(u"HKEY_CURRENT_USER", key, u"n", read, false)));
            EXPECT_EQ(read, Variant(std::int32_t{-1})) << context;
        } else {
            EXPECT_FALSE(
                static_cast<bool>(r.GetSetting(u"HKEY_CURRENT_USER", key, u"n", read, false)))
                << "a key path refused for writing is refused for reading: " << context;
        }
    }
    expectNoShell("settings");
}

TEST_F(SettingsInput, BadRootsAndValuesThatAreNoNumbers) {
    twRegistry r(*store_);
    for (const String& root :
         {String(), String(u" HKEY_CURRENT_USER"), String(u"HKCU"), u"HKEY_CURRENT_USER\0"s,
          String(u"HKEY_CURRENT_USER\\Software"), String(32768, u'H')}) {
        Variant read = u"untouched";
        EXPECT_FALSE(static_cast<bool>(r.SaveSetting(root, u"K", u"v", Variant(u"x"), true)));
        EXPECT_FALSE(static_cast<bool>(r.GetSetting(root, u"K", u"v", read, true)));
        EXPECT_EQ(read, Variant(u"untouched"));
    }
    struct Case {
        Variant value;
        std::int32_t error;
    };
    for (const Case& c :
         {Case{Variant(u"12abc"), errors::TypeMismatch}, Case{Variant(u""), errors::TypeMismatch},
          Case{Variant(u"\0"s), errors::TypeMismatch},
          Case{Variant(u"99999999999"), errors::Overflow}, Case{Variant(1e300), errors::Overflow},
          Case{Variant::null(), errors::InvalidUseOfNull}}) {
        try {
            r.SaveSetting(u"HKEY_CURRENT_USER", u"Software\\Numbers", u"n", c.value, false);
            ADD_FAILURE() << "no error for "
                          << toUtf8(c.value.isNull() ? u"Null" : c.value.toString());
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), c.error);
        }
        Variant read;
        EXPECT_TRUE(static_cast<bool>(
            r.GetSetting(u"HKEY_CURRENT_USER", u"Software\\Numbers", u"n", read, false)));
        EXPECT_EQ(read, Variant(u"--NOT-FOUND--")) << "nothing was written";
    }
}

}  // namespace
}  // namespace tarnwick
