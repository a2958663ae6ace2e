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

  private:
    Platform& platform_;
};

}  // namespace tarnwick
