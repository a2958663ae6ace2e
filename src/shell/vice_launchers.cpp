// VICE: the game autostarted, optionally with the program to start from it
// and the joystick device of each port. The whole line goes lower-cased.
#include "shell/launch.h"
#include "tarnwick/tw_shell.h"

namespace tarnwick {

namespace {

String startVice(Platform& platform, const String& emulator, const String& game,
                 const String& programName, const String* ports) {
    return runLaunch(platform, u"the VICE Emulator", [&](Launch& launch) {
        twFunctions& f = launch.functions;
        const String shortGame = f.Long2Short(game);
        const String shortEmulator = f.Long2Short(emulator);
        String directory, file;
        f.GetFileAndPath(emulator, directory, file);
        if (!launch.exists(emulator)) return launch.notFound(emulator);
        if (!launch.exists(game)) return launch.notFound(game);
        Launch::required(shortEmulator, emulator);
        Launch::required(shortGame, game);

        launch.enterDirectory(shortEmulator, directory);
        // The game (and the name) make one quoted argument: a quote or a
        // trailing backslash in either must not end or extend it.
        const String autostart = programName.empty() ? shortGame : shortGame + u":" + programName;
        String line = shortEmulator + u" -autostart \"" + escapeInQuotes(autostart, true);
        line += ports ? u"\" -joydev1 " + *ports : String(u"\"");
        launch.start(launch.platform.lowerCase(line));
        return String();
    });
}

}  // namespace

String twShell::VICE(const String& strEmulatorExePath, const String& strGamePathAndFile,
                     const String& PRGName, VICEControlsEnum intPort1, VICEControlsEnum intPort2,
                     Boolean) {
    const String ports = decimal(intPort1) + u" -joydev2 " + decimal(intPort2);
    return startVice(platform_, strEmulatorExePath, strGamePathAndFile, PRGName, &ports);
}

String twShell::VICENoSettings(const String& strEmulatorExePath, const String& strGamePathAndFile,
                               const String& PRGName, Boolean) {
    return startVice(platform_, strEmulatorExePath, strGamePathAndFile, PRGName, nullptr);
}

}  // namespace tarnwick
