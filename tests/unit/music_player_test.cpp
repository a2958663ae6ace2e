// PlayMusic and PlayMusicSong against a platform that plays Windows: the
// exact command lines, the checks, the one message box and the silence of
// every failure.
#include <gtest/gtest.h>

#include "support/fake_platform.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using testing::FakePlatform;

class MusicPlayer : public ::testing::Test {
  protected:
    void SetUp() override {
        windows.addFile(u"C:\\PLAYER\\PLAYER.EXE");
        windows.addFile(u"D:\\MUSIC\\TUNE.SID");
        windows.shortNames[u"C:\\PLAYER"] = u"C:\\PLAYER";
        windows.shortNames[u"D:\\MUSIC"] = u"D:\\MUSIC";
        windows.directories = {u"C:\\PLAYER"};
    }
    FakePlatform windows;
    twShell shell{windows};

    void play(Boolean displayError = true) {
        shell.PlayMusic(u"C:\\PLAYER\\PLAYER.EXE", u"D:\\MUSIC", u"TUNE.SID", u"Tunes",
                        displayError);
    }
    void playSong(std::int16_t song) {
        shell.PlayMusicSong(u"C:\\PLAYER\\PLAYER.EXE", u"D:\\MUSIC", u"TUNE.SID", song);
    }
};

TEST_F(MusicPlayer, PlayMusicStartsThePlayerOnTheTune) {
    play();
    EXPECT_EQ(windows.started, std::vector<String>{u"C:\\PLAYER\\PLAYER.EXE D:\\MUSIC\\TUNE.SID"});
    EXPECT_EQ(windows.calls.back(),
              "startProcess C:\\PLAYER\\PLAYER.EXE D:\\MUSIC\\TUNE.SID style 1");
    EXPECT_EQ(windows.currentDrive, u"C");
    EXPECT_EQ(windows.current, u"C:\\PLAYER");
    EXPECT_TRUE(windows.boxes.empty());
}

TEST_F(MusicPlayer, PlayMusicSongPutsTheSongRightAfterTheOption) {
    playSong(3);
    playSong(0);
    playSong(-1);
    playSong(12);
    playSong(-32768);
    EXPECT_EQ(windows.started,
              (std::vector<String>{u"C:\\PLAYER\\PLAYER.EXE -o3 D:\\MUSIC\\TUNE.SID",
                                   u"C:\\PLAYER\\PLAYER.EXE -o0 D:\\MUSIC\\TUNE.SID",
                                   u"C:\\PLAYER\\PLAYER.EXE -o-1 D:\\MUSIC\\TUNE.SID",
                                   u"C:\\PLAYER\\PLAYER.EXE -o12 D:\\MUSIC\\TUNE.SID",
                                   u"C:\\PLAYER\\PLAYER.EXE -o-32768 D:\\MUSIC\\TUNE.SID"}));
    // The same file played without a song differs only in the option.
    play();
    String withSong = windows.started[3];
    withSong.erase(withSong.find(u" -o12"), 5);
    EXPECT_EQ(windows.started.back(), withSong);
}

TEST_F(MusicPlayer, OnlyTheDirectoriesAreShortened) {
    const String player = u"C:\\Program Files\\Sid Player\\Sid Play.exe";
    windows.addFile(player);
    windows.shortNames[u"C:\\Program Files\\Sid Player"] = u"C:\\PROGRA~1\\SIDPLA~1";
    windows.shortNames[u"D:\\My Music"] = u"D:\\MYMUSI~1";
    windows.addFile(u"D:\\My Music\\Long Tune Name.sid");
    windows.directories.push_back(u"C:\\PROGRA~1\\SIDPLA~1");
    shell.PlayMusic(player, u"D:\\My Music", u"Long Tune Name.sid", u"", true);
    shell.PlayMusicSong(player, u"D:\\My Music", u"Long Tune Name.sid", 2);
    EXPECT_EQ(windows.started,
              (std::vector<String>{
                  u"C:\\PROGRA~1\\SIDPLA~1\\Sid Play.exe D:\\MYMUSI~1\\Long Tune Name.sid",
                  u"C:\\PROGRA~1\\SIDPLA~1\\Sid Play.exe -o2 D:\\MYMUSI~1\\Long Tune Name.sid"}));
    // The directory made current is the short one, its drive from it too.
    EXPECT_TRUE(windows.called("changeDrive C:\\"));
    EXPECT_EQ(windows.current, u"C:\\PROGRA~1\\SIDPLA~1");
    // Short forms come before the checks: player directory, then music.
    std::vector<std::string> order;
    for (const auto& c : windows.calls)
        if (c.rfind("shortPathName", 0) == 0 || c.rfind("existenceTest", 0) == 0)
            order.push_back(c.substr(0, c.find(" area")));
    EXPECT_EQ(order[0], "shortPathName C:\\Program Files\\Sid Player");
    EXPECT_EQ(order[1], "shortPathName D:\\My Music");
    EXPECT_EQ(order[2], "existenceTest C:\\Program Files\\Sid Player\\Sid Play.exe");
    EXPECT_EQ(order[3], "existenceTest D:\\My Music\\Long Tune Name.sid");
}

TEST_F(MusicPlayer, ATrailingBackslashOnTheMusicPathIsKept) {
    windows.shortNames[u"D:\\MUSIC\\"] = u"D:\\MUSIC\\";
    windows.existenceCodes[u"D:\\MUSIC\\\\TUNE.SID"] = 0;
    shell.PlayMusic(u"C:\\PLAYER\\PLAYER.EXE", u"D:\\MUSIC\\", u"TUNE.SID", u"Tunes", true);
    EXPECT_TRUE(windows.called("existenceTest D:\\MUSIC\\\\TUNE.SID"));
    shell.PlayMusicSong(u"C:\\PLAYER\\PLAYER.EXE", u"D:\\MUSIC\\", u"TUNE.SID", 1);
    EXPECT_EQ(windows.started,
              (std::vector<String>{u"C:\\PLAYER\\PLAYER.EXE D:\\MUSIC\\\\TUNE.SID",
                                   u"C:\\PLAYER\\PLAYER.EXE -o1 D:\\MUSIC\\\\TUNE.SID"}));
}

TEST_F(MusicPlayer, AMissingPlayerShowsOneBoxAndStartsNothing) {
    windows.existenceCodes.erase(u"C:\\PLAYER\\PLAYER.EXE");
    windows.existenceCodes.erase(u"D:\\MUSIC\\TUNE.SID");  // missing too, never asked
    play();
    ASSERT_EQ(windows.boxes.size(), 1u);
    EXPECT_EQ(windows.boxes[0].prompt, u"FILE NOT FOUND: C:\\PLAYER\\PLAYER.EXE");
    EXPECT_EQ(windows.boxes[0].style, 48);
    EXPECT_EQ(windows.boxes[0].caption, u"Tunes");
    EXPECT_FALSE(windows.called("existenceTest D:"));
    EXPECT_FALSE(windows.called("changeDrive"));
    EXPECT_FALSE(windows.called("changeDirectory"));
    EXPECT_TRUE(windows.started.empty());
}

TEST_F(MusicPlayer, AMissingTuneShowsItsOwnBox) {
    windows.existenceCodes[u"D:\\MUSIC\\TUNE.SID"] = existence::PathNotFound;
    play();
    ASSERT_EQ(windows.boxes.size(), 1u);
    EXPECT_EQ(windows.boxes[0].prompt, u"PATH NOT FOUND: D:\\MUSIC\\TUNE.SID");
    windows.existenceCodes[u"D:\\MUSIC\\TUNE.SID"] = existence::AccessDenied;
    play();
    ASSERT_EQ(windows.boxes.size(), 2u);
    EXPECT_EQ(windows.boxes[1].prompt, u"Device Not Ready for D:\\MUSIC\\TUNE.SID");
    EXPECT_TRUE(windows.started.empty());
    EXPECT_FALSE(windows.called("changeDirectory"));
}

TEST_F(MusicPlayer, EmptyNamesAreExplainedByFileExists) {
    shell.PlayMusic(u"", u"D:\\MUSIC", u"TUNE.SID", u"Tunes", true);
    ASSERT_EQ(windows.boxes.size(), 1u);
    EXPECT_EQ(windows.boxes[0].prompt, u"FILE NOT FOUND: NO FILENAME PASSED!");
    EXPECT_TRUE(windows.started.empty());
}

TEST_F(MusicPlayer, WithoutDisplayErrorAMissingFileEndsInSilence) {
    windows.existenceCodes.erase(u"D:\\MUSIC\\TUNE.SID");
    play(false);
    // Only the exact automation true shows a box.
    play(Boolean::fromRaw(1));
    EXPECT_TRUE(windows.boxes.empty());
    EXPECT_TRUE(windows.started.empty());
}

TEST_F(MusicPlayer, PlayMusicSongChecksNothing) {
    windows.existenceCodes.clear();
    playSong(7);
    EXPECT_FALSE(windows.called("existenceTest"));
    EXPECT_EQ(windows.started.size(), 1u) << "a missing tune is the player's to report";
}

TEST_F(MusicPlayer, EveryErrorIsSwallowed) {
    windows.startFailure = Error(errors::FileNotFound);
    play();
    playSong(1);
    EXPECT_TRUE(windows.started.empty());
    EXPECT_EQ(windows.current, u"C:\\PLAYER") << "the directory change stays";
    EXPECT_TRUE(windows.boxes.empty());

    windows.startFailure.reset();
    windows.directories.clear();
    play();
    playSong(1);
    EXPECT_TRUE(windows.started.empty());

    windows.driveFailure = Error(errors::DeviceUnavailable);
    windows.directories = {u"C:\\PLAYER"};
    windows.calls.clear();
    play();
    EXPECT_TRUE(windows.called("changeDrive"));
    EXPECT_FALSE(windows.called("changeDirectory"));
    EXPECT_TRUE(windows.started.empty());

    // A player path too long for the 16-bit counters overflows inside
    // GetFileAndPath: trapped as well.
    windows.driveFailure.reset();
    EXPECT_NO_THROW(shell.PlayMusicSong(u"C:\\" + String(32766, u'p'), u"D:\\MUSIC", u"T.SID", 1));
    EXPECT_TRUE(windows.started.empty());
}

TEST_F(MusicPlayer, APlayerWithoutADirectoryStartsNothing) {
    windows.addFile(u"PLAYER.EXE");
    shell.PlayMusic(u"PLAYER.EXE", u"D:\\MUSIC", u"TUNE.SID", u"", true);
    shell.PlayMusicSong(u"PLAYER.EXE", u"D:\\MUSIC", u"TUNE.SID", 1);
    // The short form of "" is "": the change to that directory fails.
    EXPECT_TRUE(windows.called("changeDirectory "));
    EXPECT_TRUE(windows.started.empty());
}

TEST_F(MusicPlayer, OnLinuxTheSlashJoinsThePieces) {
    FakePlatform linux(u'/');
    linux.addFile(u"/usr/bin/sidplayfp");
    linux.addFile(u"/home/ann/Tunes/ode.sid");
    linux.shortNames[u"/usr/bin"] = u"/usr/bin";
    linux.shortNames[u"/home/ann/Tunes"] = u"/run/user/1000/tarnwick-short/0123abcd";
    linux.directories = {u"/usr/bin"};
    twShell s(linux);
    s.PlayMusic(u"/usr/bin/sidplayfp", u"/home/ann/Tunes", u"ode.sid", u"", false);
    s.PlayMusicSong(u"/usr/bin/sidplayfp", u"/home/ann/Tunes", u"ode.sid", 4);
    EXPECT_EQ(linux.started,
              (std::vector<String>{
                  u"/usr/bin/sidplayfp /run/user/1000/tarnwick-short/0123abcd/ode.sid",
                  u"/usr/bin/sidplayfp -o4 /run/user/1000/tarnwick-short/0123abcd/ode.sid"}));
    EXPECT_EQ(linux.current, u"/usr/bin");
}

}  // namespace
}  // namespace tarnwick
