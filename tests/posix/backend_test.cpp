// The Linux backend against the real system: existence codes, directory
// changes, short forms, drive types and letter case.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <fstream>

#include "platform/posix/posix_platform.h"
#include "posix/path_text.h"
#include "support/temp_folder.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using testing::TempFolder;
using testing::u16;
namespace fs = std::filesystem;

// Restores the current directory a test changes.
class PosixBackend : public ::testing::Test {
  protected:
    void SetUp() override { saved_ = fs::current_path(); }
    void TearDown() override { fs::current_path(saved_); }
    TempFolder temp;
    PosixOptions options() const {
        PosixOptions o;
        o.aliasFolder = (temp / "aliases").string();
        return o;
    }

  private:
    fs::path saved_;
};

TEST_F(PosixBackend, ExistenceCodesTellMissingFileFromMissingFolder) {
    PosixPlatform host;
    const fs::path file = temp.write("Games/game.d64", "x");
    EXPECT_EQ(host.existenceTest(u16(file)), 0);
    EXPECT_EQ(host.existenceTest(u16(temp / "Games/other.d64")), 2);
    EXPECT_EQ(host.existenceTest(u16(temp / "Nowhere/other.d64")), 3);
    EXPECT_EQ(host.existenceTest(u16(temp / "Games/game.d64/inside")), 3);  // a file on the way
    EXPECT_EQ(host.existenceTest(u16(temp / "Games")), 5);                  // a directory
    // A name far past every limit is still "path not found", never present.
    EXPECT_EQ(host.existenceTest(u16(temp / std::string(5000, 'x'))), 3);
    EXPECT_EQ(host.existenceTest(u16(temp / (std::string(300, 'y') + "/z"))), 3);
}

TEST_F(PosixBackend, UnreadableFileIsDeniedEvenForRoot) {
    PosixPlatform host;
    const fs::path file = temp.write("secret.d64", "x");
    fs::permissions(file, fs::perms::none);
    // Root may read any file; the test then only checks the other codes.
    if (::geteuid() == 0) {
        EXPECT_EQ(host.existenceTest(u16(file)), 0);
    } else {
        EXPECT_EQ(host.existenceTest(u16(file)), 5);
    }
    const fs::path closed = temp / "closed";
    fs::create_directories(closed);
    temp.write("closed/in.d64");
    fs::permissions(closed, fs::perms::none);
    if (::geteuid() != 0) {
        EXPECT_EQ(host.existenceTest(u16(closed / "in.d64")), 5);
    }
}

TEST_F(PosixBackend, FileExistsAndDirExistsOnRealFiles) {
    PosixPlatform host;
    twFunctions f(host);
    const fs::path file = temp.write("a b/Ü.prg", "x");
    EXPECT_TRUE(static_cast<bool>(f.FileExists(u16(file), false, u"")));
    EXPECT_FALSE(static_cast<bool>(f.FileExists(u16(temp / "a b/none.prg"), false, u"")));

    EXPECT_TRUE(static_cast<bool>(f.DirExists(u16(temp / "a b"))));
    EXPECT_EQ(fs::current_path(), temp / "a b");
    EXPECT_FALSE(static_cast<bool>(f.DirExists(u16(file))));
    EXPECT_FALSE(static_cast<bool>(f.DirExists(u16(temp / "missing"))));
    EXPECT_FALSE(static_cast<bool>(f.DirExists(u"")));
    EXPECT_EQ(fs::current_path(), temp / "a b") << "a failed test leaves the directory alone";
}

TEST_F(PosixBackend, ChangeDirectoryReportsPathNotFound) {
    PosixPlatform host;
    try {
        host.changeDirectory(u16(temp / "missing"));
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 76);
    }
    // Through a file, a link loop, or past the name limit: no such folder.
    const fs::path file = temp.write("file.d64", "x");
    fs::create_directory_symlink(temp / "loop", temp / "loop");
    for (const fs::path& path : {file / "sub", temp / "loop/sub", temp / std::string(300, 'n')}) {
        try {
            host.changeDirectory(u16(path));
            ADD_FAILURE() << path;
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), 76) << path;
        }
    }
    host.changeDrive(u"Z:\\");  // nothing to do, never fails
    host.changeDirectory(u16(temp.path()));
    EXPECT_EQ(host.currentDirectory(), u16(temp.path()));
}

TEST_F(PosixBackend, ShortFormOfAQualifyingPathIsThePathItself) {
    PosixPlatform host(options());
    twFunctions f(host);
    const fs::path file = temp.write("games/game.d64");
    EXPECT_EQ(f.Long2Short(u16(file)), u16(file));
    EXPECT_EQ(f.Long2Short(u16(temp / "games/missing.d64")), u"");

    // A relative path comes back absolute.
    fs::current_path(temp / "games");
    EXPECT_EQ(f.Long2Short(u"game.d64"), u16(fs::canonical(file)));
}

TEST_F(PosixBackend, ShortFormAliasNamesTheSameFileAndSurvivesLowerCasing) {
    PosixPlatform host(options());
    twFunctions f(host);
    const fs::path file = temp.write("My Games/Great Escape.D64", "the game");
    const String alias = f.Long2Short(u16(file));
    ASSERT_FALSE(alias.empty());
    EXPECT_EQ(alias, host.lowerCase(alias));
    EXPECT_EQ(alias.find(u' '), String::npos);
    EXPECT_EQ(alias.substr(alias.size() - 4), u".d64");
    EXPECT_EQ(fs::canonical(toUtf8(alias)), fs::canonical(file));

    // Stable: the same file gets the same alias, and a stale alias is renewed.
    EXPECT_EQ(f.Long2Short(u16(file)), alias);
    fs::remove(toUtf8(alias));
    fs::create_symlink("/nonexistent", toUtf8(alias));
    EXPECT_EQ(f.Long2Short(u16(file)), alias);
    EXPECT_EQ(fs::canonical(toUtf8(alias)), fs::canonical(file));

    // The folder of aliases is private.
    struct stat st;
    ASSERT_EQ(::stat((temp / "aliases").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0077, 0u);

    // A directory gets an alias too, and a file reached through it opens.
    const String folder = f.Long2Short(u16(temp / "My Games"));
    ASSERT_FALSE(folder.empty());
    std::ifstream in(toUtf8(folder) + "/Great Escape.D64");
    std::string content;
    std::getline(in, content);
    EXPECT_EQ(content, "the game");
}

TEST_F(PosixBackend, ShortFormRefusesAnAliasFolderOpenToOthers) {
    PosixOptions o = options();
    fs::create_directories(o.aliasFolder);
    fs::permissions(o.aliasFolder, fs::perms::all);
    PosixPlatform host(o);
    twFunctions f(host);
    const fs::path file = temp.write("Upper Case.d64");
    EXPECT_EQ(f.Long2Short(u16(file)), u"");
}

TEST_F(PosixBackend, DriveTypeFollowsTheMountTable) {
    const fs::path table = temp.write("mountinfo",
                                      "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
                                      "40 22 11:0 / " +
                                          (temp / "cd").string() +
                                          " ro shared:2 - iso9660 /dev/sr0 ro\n"
                                          "41 22 11:1 / " +
                                          (temp / "dvd\\040disc").string() +
                                          " ro - udf /dev/sr1 ro\n"
                                          "42 22 0:30 / " +
                                          (temp / "ram").string() +
                                          " rw - tmpfs tmpfs rw\n"
                                          "43 22 0:31 / " +
                                          (temp / "share").string() + " rw - nfs4 host:/x rw\n");
    for (const char* d : {"cd/sub", "dvd disc", "ram", "share", "disk"})
        fs::create_directories(temp / d);
    PosixOptions o;
    o.mountInfo = table.string();
    PosixPlatform host(o);
    EXPECT_EQ(host.driveType(u16(temp / "cd")), 5);
    EXPECT_EQ(host.driveType(u16(temp / "cd/sub") + u"//"), 5);  // trailing separators
    EXPECT_EQ(host.driveType(u16(temp / "dvd disc")), 5);
    EXPECT_EQ(host.driveType(u16(temp / "ram")), 6);
    EXPECT_EQ(host.driveType(u16(temp / "share")), 4);
    EXPECT_EQ(host.driveType(u16(temp / "disk")), 3);
    EXPECT_EQ(host.driveType(u16(temp / "missing")), 1);

    twFunctions f(host);
    EXPECT_TRUE(static_cast<bool>(f.DriveTypeIsCDRom(u16(temp / "cd"))));
    EXPECT_TRUE(static_cast<bool>(f.DriveTypeIsCDRom(u16(temp / "missing"))));
    EXPECT_FALSE(static_cast<bool>(f.DriveTypeIsCDRom(u16(temp / "disk"))));
}

TEST_F(PosixBackend, LetterCaseCoversMoreThanAscii) {
    PosixPlatform host;
    EXPECT_EQ(host.lowerCase(u"/Home/ÄNN/GAME.D64"), u"/home/änn/game.d64");
    EXPECT_EQ(host.upperCase(u"$loadpath=é"), u"$LOADPATH=É");
    const String pair = u"\U0001F3AE";
    EXPECT_EQ(host.lowerCase(pair), pair);
}

TEST_F(PosixBackend, MessageBoxGoesToTheHostsHandler) {
    PosixPlatform host;
    twFunctions f(host);
    std::vector<String> prompts;
    setMessageBoxHandler([&](const String& prompt, std::int32_t style, const String& caption) {
        prompts.push_back(caption + u"|" + prompt + u"|" + fromUtf8(std::to_string(style)));
        return answers::Ok;
    });
    EXPECT_FALSE(static_cast<bool>(f.FileExists(u16(temp / "none.d64"), true, u"Games")));
    setMessageBoxHandler(nullptr);
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0], u"Games|FILE NOT FOUND: " + u16(temp / "none.d64") + u"|48");
}

// Without a folder chosen by the host, aliases live in the user's runtime
// folder when that can stand unquoted itself, else in a folder of the user's
// own under /tmp.
TEST_F(PosixBackend, ShortFormAliasesLiveInTheRuntimeFolderWhenItStandsUnquoted) {
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string old = saved ? saved : "";
    const fs::path file = temp.write("Upper Case.d64", "the game");
    const fs::path runtime = temp / "run";
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);

    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    PosixPlatform host;
    twFunctions f(host);
    const std::string inRuntime = toUtf8(f.Long2Short(u16(file)));
    EXPECT_EQ(fs::path(inRuntime).parent_path(), runtime / "tarnwick-short");
    EXPECT_EQ(fs::read_symlink(inRuntime), file);

    // A runtime folder with a capital or a blank in its name cannot stand
    // unquoted on a command line: /tmp/tarnwick-<uid>-short is taken instead.
    const fs::path awkward = temp / "Run Folder";
    fs::create_directories(awkward);
    ::setenv("XDG_RUNTIME_DIR", awkward.c_str(), 1);
    const std::string inTmp = toUtf8(f.Long2Short(u16(file)));
    EXPECT_EQ(fs::path(inTmp).parent_path(),
              fs::path("/tmp") / ("tarnwick-" + std::to_string(::geteuid()) + "-short"));
    EXPECT_EQ(fs::canonical(inTmp), fs::canonical(file));
    // So is a relative one, which would move with the current directory.
    ::setenv("XDG_RUNTIME_DIR", "run", 1);
    EXPECT_EQ(f.Long2Short(u16(file)), fromUtf8(inTmp));
    // An alias keeps a plain extension, and only a plain one.
    const fs::path dotted = temp.write("Ends In A Dot.", "x");
    EXPECT_EQ(fs::path(toUtf8(f.Long2Short(u16(dotted)))).extension(), "");
    EXPECT_EQ(fs::path(inTmp).extension(), ".d64");

    if (saved)
        ::setenv("XDG_RUNTIME_DIR", old.c_str(), 1);
    else
        ::unsetenv("XDG_RUNTIME_DIR");
}

// A program that goes away, or changes, between being found and being run
// is reported by what exec says of it.
TEST_F(PosixBackend, AStartThatExecRefusesReportsWhy) {
    const auto errorOf = [](const std::string& program) {
        try {
            startDetached(program, {program}, true);
        } catch (const Error& e) {
            return e.number();
        }
        return 0;
    };
    EXPECT_EQ(errorOf((temp / "gone").string()), 53);
    fs::create_directories(temp / "folder");
    EXPECT_EQ(errorOf((temp / "folder").string()), 70);
    const fs::path plain = temp.write("plain", "no program");
    EXPECT_EQ(errorOf(plain.string()), 70);
    // Executable, but in no format the system runs (no "#!" either).
    const fs::path garbage = temp.write("garbage", std::string("\x7f"
                                                               "ELF\x01\x01",
                                                               6));
    fs::permissions(garbage, fs::perms::owner_all);
    EXPECT_EQ(errorOf(garbage.string()), 5);
}

TEST_F(PosixBackend, RunAndWaitTellsTheExitStatusFromNoStartAtAll) {
    EXPECT_EQ(runAndWait({"sh", "-c", "exit 3"}), 3);
    EXPECT_EQ(runAndWait({"sh", "-c", "kill -9 $$"}), -1) << "killed: no status";
    EXPECT_EQ(runAndWait({(temp / "no such program").string()}), -1);
}

// Emulators are found as Windows finds them, the current folder first; the
// helper programs the library runs itself (dialogs, openers) only along
// PATH, never from the current folder, whatever an empty PATH entry says.
// No PATH at all is the usual one.
TEST_F(PosixBackend, ProgramsAreLookedUpAlongPath) {
    const char* saved = std::getenv("PATH");
    const std::string old = saved ? saved : "";
    const fs::path program = temp.write("bin/emu", "#!/bin/sh\n");
    fs::permissions(program, fs::perms::owner_all);
    temp.write("bin/data", "");

    fs::current_path(temp / "bin");
    ::setenv("PATH", ":/nowhere", 1);
    EXPECT_EQ(programOnPath("emu"), "");
    EXPECT_EQ(programOnPath("bin/emu"), "") << "a name with a slash is no name to look up";
    EXPECT_EQ(planStart(u"emu -x").arguments, (std::vector<std::string>{"./emu", "-x"}));
    ::setenv("PATH", (temp / "bin").c_str(), 1);
    EXPECT_EQ(programOnPath("emu"), (temp / "bin/emu").string());
    EXPECT_EQ(programOnPath("data"), "") << "not executable";
    fs::current_path(temp.path());
    ::setenv("PATH", (":" + (temp / "bin").string()).c_str(), 1);
    EXPECT_EQ(planStart(u"emu").program, (temp / "bin/emu").string());
    try {
        planStart(u"data");
        ADD_FAILURE() << "a file that is no program was started";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 70);
    }
    ::unsetenv("PATH");
    EXPECT_EQ(programOnPath("sh"), "/usr/bin/sh");
    EXPECT_EQ(planStart(u"sh -c true").program, "/usr/bin/sh");
    ::setenv("PATH", old.c_str(), 1);
}

// A folder deeper than the system's path limit is still the current one,
// named whole.
TEST_F(PosixBackend, TheCurrentDirectoryMayBeLongerThanThePathLimit) {
    fs::current_path(temp.path());
    std::string whole = temp.path().string();
    const std::string part(200, 'd');
    int depth = 0;
    while (whole.size() <= PATH_MAX + 200) {
        fs::create_directory(part);
        fs::current_path(part);  // relative: each step stays short
        whole += "/" + part;
        ++depth;
    }
    PosixPlatform host;
    EXPECT_EQ(host.currentDirectory(), fromUtf8(whole));
    // Taken down step by step: a path this long is too long to remove whole.
    for (; depth > 0; --depth) {
        fs::current_path("..");
        fs::remove(part);
    }
}

}  // namespace
}  // namespace tarnwick
