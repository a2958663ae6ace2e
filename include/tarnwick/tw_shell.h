// twShell: starts the emulators and the music player.
#pragma once

#include "tarnwick/api.h"
#include "tarnwick/host.h"
#include "tarnwick/types.h"

TARNWICK_PUBLIC_BEGIN
namespace tarnwick {

// Every launcher returns "" once the start has been requested, or a message
// saying why nothing was started. blnWaitTillFinished is accepted and has no
// effect: no launcher waits for the program it started.
class twShell {
  public:
    explicit twShell(Platform& platform = systemPlatform()) : platform_(platform) {}

    // CCS64 v1.09 through its companion program ccsdpmi.exe; with
    // blnWriteToIniFile exactly true, the ports and the load path are first
    // written into c64.cfg beside the emulator.
    String CCS64v109(const String& strEmulatorExePath, const String& strEmulatorGamesDir,
                     const String& strGamePathAndFile, std::int16_t intGameIndex,
                     CCS64v109ControlsEnum intJOYPort1, CCS64v109ControlsEnum intJOYPort2,
                     CCS64v109ControlsEnum intKEYPort1, CCS64v109ControlsEnum intKEYPort2,
                     Boolean blnWriteToIniFile, Boolean blnWaitTillFinished);
    // CCS64 v2.0; with blnWriteToIniFile exactly true, the port devices and
    // modes and the load path are first written into c64.cfg.
    String CCS64v20DosAndWin(const String& strEmulatorExePath, const String& strEmulatorGamesDir,
                             const String& strGamePathAndFile, std::int16_t intGameIndex,
                             CCS64v20ControlEnum intPort1Control,
                             CCS64v20ControlEnum intPort2Control,
                             CCS64v20ControlModeEnum intPort1Mode,
                             CCS64v20ControlModeEnum intPort2Mode, Boolean blnWriteToIniFile,
                             Boolean blnWaitTillFinished);
    // C64S v2.52 on a .D64 or .T64 image, typing LOAD and RUN itself; with
    // blnWriteToIniFile exactly true, the joystick ports are first written
    // into Config.ini. PRGName Empty or "" means no program name.
    String C64Sv252(const String& strEmulatorExePath, const String& strGamePathAndFile,
                    const Variant& PRGName, C64SControlsEnum intPort1Control,
                    C64SControlsEnum intPort2Control, Boolean blnWriteToIniFile,
                    Boolean blnWaitTillFinished);
    // VICE autostarting the game (and the program PRGName in it), with the
    // joystick device of each port; the whole command line is lower-cased.
    String VICE(const String& strEmulatorExePath, const String& strGamePathAndFile,
                const String& PRGName, VICEControlsEnum intPort1, VICEControlsEnum intPort2,
                Boolean blnWaitTillFinished);
    // VICE as above, without joystick devices.
    String VICENoSettings(const String& strEmulatorExePath, const String& strGamePathAndFile,
                          const String& PRGName, Boolean blnWaitTillFinished);
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
    // Asks the desktop to open FileToShell in its associated program, with
    // ParentHwnd owning what the desktop shows; returns at once and reports
    // nothing, whatever became of the request.
    void ShellWithDefaultProgram(const String& FileToShell, std::int32_t ParentHwnd);

  private:
    Platform& platform_;
};

}  // namespace tarnwick
TARNWICK_PUBLIC_END
