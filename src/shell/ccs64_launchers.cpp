// CCS64 v1.09 and v2.0: both can write their port choices and the games
// folder into c64.cfg beside the emulator before the start.
#include <limits>

#include "shell/launch.h"
#include "tarnwick/tw_shell.h"

namespace tarnwick {

namespace {

// Adds $LOADPATH when the games folder exists, then rewrites c64.cfg.
void writeConfiguration(Launch& launch, const String& configFile,
                        std::vector<ConfigFileType> changes, const String& gamesDirectory) {
    const String shortGames = launch.functions.Long2Short(gamesDirectory);
    if (launch.functions.DirExists(shortGames))
        changes.push_back({u"$LOADPATH", launch.withSeparator(shortGames)});
    launch.functions.ChangeConfigFile(configFile, ConfigFileArray(std::move(changes)));
}

// A port carrying the 1351 mouse counts its modes from one higher.
std::int32_t modeFor(CCS64v20ControlEnum control, CCS64v20ControlModeEnum mode) {
    if (control != eCCS20_MouseC1351) return mode;
    if (mode == std::numeric_limits<std::int32_t>::max()) throw Error(errors::Overflow);
    return mode + 1;
}

}  // namespace

String twShell::CCS64v109(const String& strEmulatorExePath, const String& strEmulatorGamesDir,
                          const String& strGamePathAndFile, std::int16_t intGameIndex,
                          CCS64v109ControlsEnum intJOYPort1, CCS64v109ControlsEnum intJOYPort2,
                          CCS64v109ControlsEnum intKEYPort1, CCS64v109ControlsEnum intKEYPort2,
                          Boolean blnWriteToIniFile, Boolean) {
    return runLaunch(platform_, u"CCS64 v1.09", [&](Launch& launch) {
        twFunctions& f = launch.functions;
        String directory, file;
        f.GetFileAndPath(strEmulatorExePath, directory, file);
        const String shortFolder = f.Long2Short(directory);
        const String shortGame = f.Long2Short(strGamePathAndFile);
        const String shortDirectory = launch.withSeparator(shortFolder);

        const String companion = shortDirectory + u"ccsdpmi.exe";
        if (!launch.exists(companion)) return launch.notFound(companion);
        if (!launch.exists(strEmulatorExePath)) return launch.notFound(strEmulatorExePath);
        if (!launch.exists(strGamePathAndFile)) return launch.notFound(strGamePathAndFile);
        Launch::required(shortFolder, directory);
        Launch::required(shortGame, strGamePathAndFile);

        const String configFile = shortDirectory + u"c64.cfg";
        if (blnWriteToIniFile.isExactlyTrue() && launch.exists(configFile) &&
            !launch.onCdRom(shortDirectory)) {
            writeConfiguration(launch, configFile,
                               {{u"$JOYSTICK1PC", decimal(intJOYPort1)},
                                {u"$JOYSTICK2PC", decimal(intJOYPort2)},
                                {u"$JOYSTICK1KEY", decimal(intKEYPort1)},
                                {u"$JOYSTICK2KEY", decimal(intKEYPort2)}},
                               strEmulatorGamesDir);
        }

        launch.enterDirectory(shortDirectory, shortDirectory);
        launch.start(shortDirectory + u"ccsdpmi.exe ccs64.exe " + shortGame + u"," +
                     decimal(intGameIndex));
        return String();
    });
}

String twShell::CCS64v20DosAndWin(const String& strEmulatorExePath,
                                  const String& strEmulatorGamesDir,
                                  const String& strGamePathAndFile, std::int16_t intGameIndex,
                                  CCS64v20ControlEnum intPort1Control,
                                  CCS64v20ControlEnum intPort2Control,
                                  CCS64v20ControlModeEnum intPort1Mode,
                                  CCS64v20ControlModeEnum intPort2Mode, Boolean blnWriteToIniFile,
                                  Boolean) {
    return runLaunch(platform_, u"CCS64 v2.0", [&](Launch& launch) {
        twFunctions& f = launch.functions;
        String directory, file;
        f.GetFileAndPath(strEmulatorExePath, directory, file);
        const String shortFolder = f.Long2Short(directory);
        const String shortGame = f.Long2Short(strGamePathAndFile);
        const String shortEmulator = f.Long2Short(strEmulatorExePath);
        const String shortDirectory = launch.withSeparator(shortFolder);

        if (!launch.exists(strEmulatorExePath)) return launch.notFound(strEmulatorExePath);
        if (!launch.exists(strGamePathAndFile)) return launch.notFound(strGamePathAndFile);
        Launch::required(shortFolder, directory);
        Launch::required(shortEmulator, strEmulatorExePath);
        Launch::required(shortGame, strGamePathAndFile);

        const String configFile = shortDirectory + u"c64.cfg";
        if (blnWriteToIniFile.isExactlyTrue() && launch.exists(configFile) &&
            !launch.onCdRom(shortDirectory)) {
            const std::int32_t mode1 = modeFor(intPort1Control, intPort1Mode);
            const std::int32_t mode2 = modeFor(intPort2Control, intPort2Mode);
            writeConfiguration(launch, configFile,
                               {{u"$CONTROLPORT1", decimal(intPort1Control)},
                                {u"$CONTROLPORT2", decimal(intPort2Control)},
                                {u"$CONTROLPORT1MODE", decimal(mode1)},
                                {u"$CONTROLPORT2MODE", decimal(mode2)}},
                               strEmulatorGamesDir);
        }

        launch.enterDirectory(shortDirectory, shortDirectory);
        launch.start(shortEmulator + u" " + shortGame + u"," + decimal(intGameIndex));
        return String();
    });
}

}  // namespace tarnwick
