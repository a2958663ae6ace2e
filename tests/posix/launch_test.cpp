// Real starts on Linux: the launchers start the recorder program, which
// writes down what it received.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

#include "posix/launch_fixture.h"
#include "posix/path_text.h"

namespace tarnwick {
namespace {

using testing::PosixLaunch;
using testing::Recording;
using testing::u16;
namespace fs = std::filesystem;

TEST_F(PosixLaunch, FrodoOnAPathWithBlanksAndAccentsRunsWithNoArguments) {
    const fs::path emu = emulator("My Emus/Frodo Émulateur/frodo");
    twShell shell(*host_);
    EXPECT_EQ(shell.Frodo(u16(emu), false), u"");
    const Recording r = recorded();
    EXPECT_TRUE(r.arguments.empty());
    EXPECT_EQ(r.directory, (temp / "My Emus/Frodo Émulateur").string());
}

TEST_F(PosixLaunch, Win64BetaHandsTheGameOverAsOneArgument) {
    const fs::path emu = emulator("emus/win64");
    twShell shell(*host_);
    for (const std::string name :
         {"My Games/Great Escape.d64", "odd/A\" -chdir /tmp \"B.d64", "odd/back\\\\\"q.t64",
          "odd/semi;colon $HOME `x` |y.d64", "odd/trailing\\"}) {
        const fs::path game = temp.write(name, "g");
        EXPECT_EQ(shell.Win64Beta(u16(emu), u16(game), false), u"") << name;
        const Recording r = recorded();
        ASSERT_EQ(r.arguments.size(), 1u) << name;
        EXPECT_EQ(r.arguments[0], game.string());
    }
}

TEST_F(PosixLaunch, PC64WinStartsShortFormsThatOpenTheFiles) {
    const fs::path emu = emulator("Emulators/PC64 Win/pc64win");
    const fs::path game = temp.write("Games/Summer Games.T64", "summer");
    twShell shell(*host_);
    EXPECT_EQ(shell.PC64Win(u16(emu), u16(game), false), u"");
    const Recording r = recorded();
    ASSERT_EQ(r.arguments.size(), 1u);
    std::ifstream in(r.arguments[0]);
    std::string content;
    std::getline(in, content);
    EXPECT_EQ(content, "summer");
}

TEST_F(PosixLaunch, Comeback64GameInAFolderWithCapitalsAndBlanksStillOpens) {
    const fs::path emu = emulator("Come Back/CB64");
    const fs::path game = temp.write("home/Ann/My Games/Great Escape.d64", "escape");
    twShell shell(*host_);
    EXPECT_EQ(shell.Comeback64(u16(emu), u16(game), SelectPort2, false), u"");
    const Recording r = recorded();
    ASSERT_EQ(r.arguments.size(), 2u);
    ASSERT_EQ(r.arguments[0].rfind("/l", 0), 0u);
    EXPECT_EQ(r.arguments[1], "/j2");
    std::ifstream in(r.arguments[0].substr(2));
    std::string content;
    std::getline(in, content);
    EXPECT_EQ(content, "escape");
    EXPECT_EQ(r.directory, (temp / "Come Back").string());
}

TEST_F(PosixLaunch, UnquotedProgramWithBlanksIsFoundAsWindowsFindsIt) {
    // "Emu" exists but is a folder: the next longer prefix is the program.
    const fs::path emu = emulator("Emu Dir/emu prog");
    fs::create_directories(temp / "Emu");
    host_->startProcess(u16(emu) + u" first \"second arg\"", 1);
    const Recording r = recorded();
    EXPECT_EQ(r.arguments, (std::vector<std::string>{"first", "second arg"}));
}

TEST_F(PosixLaunch, ProgramsThatCannotStartRaiseErrors) {
    const auto errorOf = [&](const String& line) {
        try {
            host_->startProcess(line, 1);
        } catch (const Error& e) {
            return e.number();
        }
        return 0;
    };
    EXPECT_EQ(errorOf(u16(temp / "missing-program")), 53);
    EXPECT_EQ(errorOf(u""), 53);
    const fs::path plain = temp.write("not-a-program", "data");
    EXPECT_EQ(errorOf(u16(plain)), 70);
    EXPECT_EQ(errorOf(u16(temp.path())), 70);
    // Marked runnable but not a program: the exec itself fails, reported
    // through the pipe, and no shell steps in.
    const fs::path garbage = temp.write("garbage", "\x01\x02\x03 not a program");
    fs::permissions(garbage, fs::perms::owner_all);
    EXPECT_EQ(errorOf(u16(garbage)), 5);

    twShell shell(*host_);
    const fs::path game = temp.write("game.d64");
    EXPECT_EQ(shell.Win64Beta(u16(plain), u16(game), false),
              u"There was an error starting Win64 Beta.  Error 70: Permission denied");
}

TEST_F(PosixLaunch, StartedProgramsLeaveNoZombie) {
    const fs::path emu = emulator("emu");
    for (int i = 0; i < 3; ++i) {
        host_->startProcess(u16(emu), 1);
        recorded();
    }
    // The program is not our child: there is nothing for us to reap.
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST_F(PosixLaunch, ABareNameIsLookedForInTheCurrentDirectoryThenPath) {
    emulator("bin/recorder-in-path");
    emulator("here/local-recorder");
    fs::current_path(temp / "here");
    host_->startProcess(u"local-recorder one", 1);
    EXPECT_EQ(recorded().arguments, std::vector<std::string>{"one"});

    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", ((temp / "bin").string() + ":" + oldPath).c_str(), 1);
    host_->startProcess(u"recorder-in-path two", 1);
    ::setenv("PATH", oldPath.c_str(), 1);
    EXPECT_EQ(recorded().arguments, std::vector<std::string>{"two"});
}

}  // namespace
}  // namespace tarnwick
