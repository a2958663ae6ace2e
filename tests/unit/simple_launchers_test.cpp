// The launch frame and the four simple launchers against a platform that
// plays Windows.
#include <gtest/gtest.h>

#include "support/fake_platform.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using testing::FakePlatform;

class SimpleLaunchers : public ::testing::Test {
  protected:
    void SetUp() override {
        windows.addFile(u"C:\\Emu\\emu.exe", u"C:\\Emu\\emu.exe");
        windows.addFile(u"C:\\Games\\My Game.t64", u"C:\\Games\\MYGAME~1.T64");
        windows.addFile(u"C:\\Program Files\\Come Back\\CB64.exe",
                        u"C:\\PROGRA~1\\COMEBA~1\\CB64.EXE");
        windows.directories = {u"C:\\Emu", u"C:\\Program Files\\Come Back", u"C:"};
    }
    FakePlatform windows;
    twShell shell{windows};
};

TEST_F(SimpleLaunchers, Win64BetaQuotesOnlyTheGame) {
    EXPECT_EQ(shell.Win64Beta(u"C:\\Emu\\emu.exe", u"C:\\Games\\My Game.t64", false), u"");
    ASSERT_EQ(windows.started.size(), 1u);
    EXPECT_EQ(windows.started[0], u"C:\\Emu\\emu.exe \"C:\\Games\\My Game.t64\"");
    EXPECT_EQ(windows.currentDrive, u"C");
    EXPECT_EQ(windows.current, u"C:\\Emu");
    EXPECT_TRUE(windows.called("changeDrive C:\\"));
    EXPECT_EQ(windows.calls.back(),
              "startProcess C:\\Emu\\emu.exe \"C:\\Games\\My Game.t64\" style 1");
}

TEST_F(SimpleLaunchers, NotFoundMessagesNameTheLongPathAndStopEarly) {
    EXPECT_EQ(shell.Win64Beta(u"C:\\Emu\\gone.exe", u"C:\\Games\\gone.t64", true),
              u"Unable to run Win64 Beta.  File: C:\\Emu\\gone.exe not found");
    EXPECT_FALSE(windows.called("existenceTest C:\\Games")) << "the game is not checked";
    EXPECT_EQ(shell.Win64Beta(u"C:\\Emu\\emu.exe", u"C:\\Games\\gone.t64", true),
              u"Unable to run Win64 Beta.  File: C:\\Games\\gone.t64 not found");
    EXPECT_EQ(shell.PC64Win(u"C:\\Emu\\emu.exe", u"C:\\Games\\gone.t64", true),
              u"Unable to run PC64Win.  File: C:\\Games\\gone.t64 not found");
    EXPECT_EQ(shell.Frodo(u"C:\\gone.exe", false),
              u"Unable to run Frodo.  File: C:\\gone.exe not found");
    EXPECT_EQ(shell.Comeback64(u"C:\\Emu\\emu.exe", u"C:\\Games\\gone.t64", SelectPort1, false),
              u"Unable to run the Come Back 64 Emulator.  File: C:\\Games\\gone.t64 not found");
    EXPECT_TRUE(windows.started.empty());
    EXPECT_FALSE(windows.called("changeDirectory"));
    EXPECT_FALSE(windows.called("messageBox"));
}

TEST_F(SimpleLaunchers, PC64WinStartsTwoShortForms) {
    EXPECT_EQ(
        shell.PC64Win(u"C:\\Program Files\\Come Back\\CB64.exe", u"C:\\Games\\My Game.t64", false),
        u"");
    ASSERT_EQ(windows.started.size(), 1u);
    EXPECT_EQ(windows.started[0], u"C:\\PROGRA~1\\COMEBA~1\\CB64.EXE C:\\Games\\MYGAME~1.T64");
    // The game's short form comes before the checks, the emulator's after
    // the directory change.
    std::vector<std::string> order;
    for (const auto& c : windows.calls)
        if (c.rfind("shortPathName", 0) == 0 || c.rfind("existenceTest", 0) == 0 ||
            c.rfind("changeDirectory", 0) == 0)
            order.push_back(c.substr(0, c.find(' ')));
    EXPECT_EQ(order, (std::vector<std::string>{"shortPathName", "existenceTest", "existenceTest",
                                               "changeDirectory", "shortPathName"}));
    EXPECT_EQ(windows.current, u"C:\\Program Files\\Come Back");
}

TEST_F(SimpleLaunchers, FrodoStartsTheEmulatorAlone) {
    EXPECT_EQ(shell.Frodo(u"C:\\Emu\\emu.exe", true), u"");
    ASSERT_EQ(windows.started.size(), 1u);
    EXPECT_EQ(windows.started[0], u"C:\\Emu\\emu.exe");
}

TEST_F(SimpleLaunchers, EmulatorInTheRootChangesToTheBareDrive) {
    windows.addFile(u"C:\\emu.exe");
    EXPECT_EQ(shell.Frodo(u"C:\\emu.exe", false), u"");
    EXPECT_TRUE(windows.called("changeDirectory C:"));
    EXPECT_EQ(windows.current, u"C:");
}

TEST_F(SimpleLaunchers, Comeback64LowerCasesItsWholeLine) {
    const String emu = u"C:\\Program Files\\Come Back\\CB64.exe";
    EXPECT_EQ(shell.Comeback64(emu, u"C:\\Games\\My Game.t64", SelectPort1, false), u"");
    EXPECT_EQ(shell.Comeback64(emu, u"C:\\Games\\My Game.t64", SelectPort2, false), u"");
    EXPECT_EQ(
        shell.Comeback64(emu, u"C:\\Games\\My Game.t64", static_cast<CB64ControlsEnum>(7), false),
        u"");
    ASSERT_EQ(windows.started.size(), 3u);
    EXPECT_EQ(windows.started[0],
              u"c:\\progra~1\\comeba~1\\cb64.exe /lc:\\games\\mygame~1.t64 /j1");
    EXPECT_EQ(windows.started[1],
              u"c:\\progra~1\\comeba~1\\cb64.exe /lc:\\games\\mygame~1.t64 /j2");
    EXPECT_EQ(windows.started[2], windows.started[1]);
    // Both short forms come before any check; the drive comes from the
    // short emulator path, the directory from the long one.
    EXPECT_EQ(windows.calls[0].rfind("shortPathName C:\\Games", 0), 0u);
    EXPECT_EQ(windows.calls[1].rfind("shortPathName C:\\Program Files", 0), 0u);
    EXPECT_TRUE(windows.called("changeDrive C:\\"));
    EXPECT_TRUE(windows.called("changeDirectory C:\\Program Files\\Come Back"));
}

TEST_F(SimpleLaunchers, RefusedStartsAndFailedChangesBecomeTheTrappedMessage) {
    windows.startFailure = Error(53);
    EXPECT_EQ(shell.Frodo(u"C:\\Emu\\emu.exe", false),
              u"There was an error starting Frodo.  Error 53: File not found");
    EXPECT_EQ(windows.current, u"C:\\Emu") << "the directory change stays";

    windows.startFailure = Error(-2147024891, u"Access is denied.");
    EXPECT_EQ(shell.Win64Beta(u"C:\\Emu\\emu.exe", u"C:\\Games\\My Game.t64", false),
              u"There was an error starting Win64 Beta.  Error -2147024891: Access is denied.");

    windows.startFailure.reset();
    windows.directories.clear();
    EXPECT_EQ(shell.PC64Win(u"C:\\Emu\\emu.exe", u"C:\\Games\\My Game.t64", false),
              u"There was an error starting PC64Win.  Error 76: Path not found");

    windows.driveFailure = Error(68);
    EXPECT_EQ(
        shell.Comeback64(u"C:\\Emu\\emu.exe", u"C:\\Games\\My Game.t64", SelectPort1, false),
        u"There was an error starting the Come Back 64 Emulator.  Error 68: Device unavailable");
    EXPECT_TRUE(windows.started.empty());
}

TEST_F(SimpleLaunchers, AnOverlongEmulatorPathIsTrapped) {
    const String tooLong = u"C:\\" + String(32766, u'e');
    EXPECT_EQ(shell.Frodo(tooLong, false),
              u"There was an error starting Frodo.  Error 6: Overflow");
}

TEST_F(SimpleLaunchers, AnEmptyShortFormGoesOnTheLineUnchecked) {
    windows.shortNames.erase(u"C:\\Games\\My Game.t64");
    EXPECT_EQ(shell.PC64Win(u"C:\\Emu\\emu.exe", u"C:\\Games\\My Game.t64", false), u"");
    EXPECT_EQ(windows.started.at(0), u"C:\\Emu\\emu.exe ");
}

}  // namespace
}  // namespace tarnwick
