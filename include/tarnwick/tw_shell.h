// twShell: starts the emulators and the music player.
#pragma once

#include "tarnwick/host.h"
#include "tarnwick/types.h"

namespace tarnwick {

// Every launcher returns "" once the start has been requested, or a message
// saying why nothing was started. blnWaitTillFinished is accepted and has no
// effect: no launcher waits for the program it started.
class twShell {
  public:
    explicit twShell(Platform& platform = systemPlatform()) : platform_(platform) {}

    String Comeback64(const String& strEmulatorExePath, const String& strGamePathAndFile,
                      CB64ControlsEnum DefaultJoystick, Boolean blnWaitTillFinished);
    String Win64Beta(const String& strEmulatorExePath, const String& strGamePathAndFile,
                     Boolean blnWaitTillFinished);
    String PC64Win(const String& strEmulatorExePath, const String& strGamePathAndFile,
                   Boolean blnWaitTillFinished);
    String Frodo(const String& strEmulatorExePath, Boolean blnWaitTillFinished);

    // Start the SID player PlayerPathAndFile on MusicPath/SidFilename,
    // PlayMusicSong with the song option -o<intTune>. Neither reports
    // anything: every failure ends the call silently. PlayMusic first checks
    // that the player and the tune exist and, when DisplayError is exactly
    // true, tells the user which is missing in a message box.
    void PlayMusic(const String& PlayerPathAndFile, const String& MusicPath,
                   const String& SidFilename, const String& MsgBoxCaption, Boolean DisplayError);
    void PlayMusicSong(const String& PlayerPathAndFile, const String& MusicPath,
                       const String& SidFilename, std::int16_t intTune);

  private:
    Platform& platform_;
};

}  // namespace tarnwick
