// C64S v2.52: disk and tape images, started with the LOAD and RUN commands
// typed by the emulator's autotype option.
#include "shell/launch.h"
#include "tarnwick/tw_shell.h"

namespace tarnwick {

namespace {

String portText(C64SControlsEnum control) {
    if (control == Disable) return u"No";
    if (control == AnalogueJoystick) return u"Analogue";
    return u"Keyboard";
}

// Empty and "" mean no name; Null is a name with no text.
bool hasName(const Variant& name) {
    return !(name.isEmpty() || (name.kind() == Variant::Kind::String && name.asString().empty()));
}

String nameText(const Variant& name) {
    return name.isNull() ? String() : name.toString();
}

}  // namespace

String twShell::C64Sv252(const String& strEmulatorExePath, const String& strGamePathAndFile,
                         const Variant& PRGName, C64SControlsEnum intPort1Control,
                         C64SControlsEnum intPort2Control, Boolean blnWriteToIniFile, Boolean) {
    return runLaunch(platform_, u"C64S v2.52", [&](Launch& launch) {
        const String upper = launch.platform.upperCase(strGamePathAndFile);
        const String type = upper.substr(upper.size() < 4 ? 0 : upper.size() - 4);
        if (type != u".D64" && type != u".T64")
            return String(
                u"Unable to run this game in C64S v2.52.  This emulator only supports D64 and "
                u"T64 files");
        if (!launch.exists(strEmulatorExePath)) return launch.notFound(strEmulatorExePath);
        if (!launch.exists(strGamePathAndFile)) return launch.notFound(strGamePathAndFile);

        twFunctions& f = launch.functions;
        String directory, file;
        f.GetFileAndPath(strEmulatorExePath, directory, file);
        const String shortEmulator =
            Launch::required(f.Long2Short(strEmulatorExePath), strEmulatorExePath);
        const String shortDirectory = Launch::required(f.Long2Short(directory), directory);
        const String configDirectory = launch.withSeparator(shortDirectory);
        const String shortGame =
            Launch::required(f.Long2Short(strGamePathAndFile), strGamePathAndFile);
        String gameDirectory, gameFile;
        f.GetFileAndPath(shortGame, gameDirectory, gameFile);

        if (blnWriteToIniFile.isExactlyTrue()) {
            const String configFile = configDirectory + u"Config.ini";
            if (!launch.onCdRom(configFile) && launch.exists(configFile)) {
                f.ChangeConfigFile(configFile,
                                   ConfigFileArray({{u"Joy1", portText(intPort1Control)},
                                                    {u"Joy2", portText(intPort2Control)}}));
            }
        }

        launch.enterDirectory(shortDirectory, shortDirectory);

        const bool disk = type == u".D64";
        String autotype;
        if (!hasName(PRGName)) {
            autotype = u" -autotype\" LOAD$0DRUN$0D\"";
        } else {
            // A quote in the name must not end the autotype argument early.
            autotype = u" -autotype \"LOAD$20$22" + escapeInQuotes(nameText(PRGName), false) +
                       (disk ? u"$22,8,1$0DRUN$0D\"" : u"$22$0DRUN$0D\"");
        }
        launch.start(shortEmulator + (disk ? u" -diskdir " : u" -tapedir ") + gameDirectory +
                     (disk ? u" -disk " : u" -tape ") + gameFile + autotype);
        return String();
    });
}

}  // namespace tarnwick
