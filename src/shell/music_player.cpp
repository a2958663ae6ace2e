// Playing a SID tune in an outside player: the player's short directory and
// its file name, then the tune's short directory and file name, with the
// song option " -o<n>" after the player when a song is chosen.
//
// Unlike the emulator launchers these methods return nothing: every error
// ends them at once and silently, leaving the drive and directory as far
// as they had been changed.
#include <string>

#include "shell/launch.h"
#include "tarnwick/tw_shell.h"

namespace tarnwick {

namespace {

// The player's and the tune's directories in the forms the command line
// takes, found before any check.
struct Places {
    String playerDirectory;  // short form
    String playerFile;       // as given
    String musicDirectory;   // short form
};

Places places(Launch& launch, const String& playerPathAndFile, const String& musicPath) {
    Places p;
    String directory;
    launch.functions.GetFileAndPath(playerPathAndFile, directory, p.playerFile);
    p.playerDirectory = launch.functions.Long2Short(directory);
    p.musicDirectory = launch.functions.Long2Short(musicPath);
    return p;
}

// Runs the steps with every error trapped and dropped.
template <typename Steps>
void quietly(Platform& platform, Steps steps) {
    try {
        Launch launch(platform, u"the music player");
        steps(launch);
    } catch (const std::exception&) {
        // Nothing is reported: the player simply does not start.
    }
}

}  // namespace

void twShell::PlayMusic(const String& PlayerPathAndFile, const String& MusicPath,
                        const String& SidFilename, const String& MsgBoxCaption,
                        Boolean DisplayError) {
    quietly(platform_, [&](Launch& launch) {
        const Places p = places(launch, PlayerPathAndFile, MusicPath);
        const char16_t separator = platform_.pathSeparator();
        // The player first, so that at most one box is shown.
        if (!launch.functions.FileExists(PlayerPathAndFile, DisplayError, MsgBoxCaption)) return;
        if (!launch.functions.FileExists(MusicPath + separator + SidFilename, DisplayError,
                                         MsgBoxCaption))
            return;
        Launch::required(p.musicDirectory, MusicPath);
        launch.enterDirectory(p.playerDirectory, p.playerDirectory);
        launch.start(p.playerDirectory + separator + p.playerFile + u" " + p.musicDirectory +
                     separator + SidFilename);
    });
}

void twShell::PlayMusicSong(const String& PlayerPathAndFile, const String& MusicPath,
                            const String& SidFilename, std::int16_t intTune) {
    quietly(platform_, [&](Launch& launch) {
        const Places p = places(launch, PlayerPathAndFile, MusicPath);
        const char16_t separator = platform_.pathSeparator();
        // No check: a missing player fails to start, a missing tune is the
        // player's to report.
        Launch::required(p.musicDirectory, MusicPath);
        launch.enterDirectory(p.playerDirectory, p.playerDirectory);
        const String song = fromUtf8(std::to_string(intTune));
        launch.start(p.playerDirectory + separator + p.playerFile + u" -o" + song + u" " +
                     p.musicDirectory + separator + SidFilename);
    });
}

}  // namespace tarnwick
