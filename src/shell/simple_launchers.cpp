// The launchers that need nothing beyond the frame: Win64 Beta, PC64Win,
// Frodo and Come Back 64.
#include "shell/launch.h"
#include "tarnwick/tw_shell.h"

namespace tarnwick {

String twShell::Win64Beta(const String& strEmulatorExePath, const String& strGamePathAndFile,
                          Boolean) {
    return runLaunch(platform_, u"Win64 Beta", [&](Launch& launch) {
        String directory, file;
        launch.functions.GetFileAndPath(strEmulatorExePath, directory, file);
        if (!launch.exists(strEmulatorExePath)) return launch.notFound(strEmulatorExePath);
        if (!launch.exists(strGamePathAndFile)) return launch.notFound(strGamePathAndFile);
        launch.enterDirectory(strEmulatorExePath, directory);
        launch.start(strEmulatorExePath + u" " + quoteArgument(strGamePathAndFile));
        return String();
    });
}

String twShell::PC64Win(const String& strEmulatorExePath, const String& strGamePathAndFile,
                        Boolean) {
    return runLaunch(platform_, u"PC64Win", [&](Launch& launch) {
        String directory, file;
        launch.functions.GetFileAndPath(strEmulatorExePath, directory, file);
        const String shortGame = launch.functions.Long2Short(strGamePathAndFile);
        if (!launch.exists(strEmulatorExePath)) return launch.notFound(strEmulatorExePath);
        if (!launch.exists(strGamePathAndFile)) return launch.notFound(strGamePathAndFile);
        launch.enterDirectory(strEmulatorExePath, directory);
        const String shortEmulator =
            Launch::required(launch.functions.Long2Short(strEmulatorExePath), strEmulatorExePath);
        launch.start(shortEmulator + u" " + Launch::required(shortGame, strGamePathAndFile));
        return String();
    });
}

String twShell::Frodo(const String& strEmulatorExePath, Boolean) {
    return runLaunch(platform_, u"Frodo", [&](Launch& launch) {
        String directory, file;
        launch.functions.GetFileAndPath(strEmulatorExePath, directory, file);
        if (!launch.exists(strEmulatorExePath)) return launch.notFound(strEmulatorExePath);
        launch.enterDirectory(strEmulatorExePath, directory);
        launch.start(strEmulatorExePath);
        return String();
    });
}

String twShell::Comeback64(const String& strEmulatorExePath, const String& strGamePathAndFile,
                           CB64ControlsEnum DefaultJoystick, Boolean) {
    return runLaunch(platform_, u"the Come Back 64 Emulator", [&](Launch& launch) {
        const String shortGame = launch.functions.Long2Short(strGamePathAndFile);
        const String shortEmulator = launch.functions.Long2Short(strEmulatorExePath);
        String directory, file;
        launch.functions.GetFileAndPath(strEmulatorExePath, directory, file);
        if (!launch.exists(strEmulatorExePath)) return launch.notFound(strEmulatorExePath);
        if (!launch.exists(strGamePathAndFile)) return launch.notFound(strGamePathAndFile);
        Launch::required(shortEmulator, strEmulatorExePath);
        Launch::required(shortGame, strGamePathAndFile);
        launch.enterDirectory(shortEmulator, directory);
        const String joystick = DefaultJoystick == SelectPort1 ? u" /J1" : u" /J2";
        launch.start(launch.platform.lowerCase(shortEmulator + u" /L" + shortGame + joystick));
        return String();
    });
}

}  // namespace tarnwick
