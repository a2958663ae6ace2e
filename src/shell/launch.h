// The frame every emulator launcher follows: errors trapped into a message,
// a twFunctions object of its own for the call, the existence checks, the
// change to the emulator's directory and the start.
#pragma once

#include <functional>
#include <string_view>

#include "platform/command_line.h"
#include "platform/platform.h"
#include "tarnwick/tw_functions.h"

namespace tarnwick {

class Launch {
  public:
    Launch(Platform& platform, std::u16string_view name) : platform(platform), name_(name) {}

    Platform& platform;
    twFunctions functions{platform};  // the per-call utility object

    // FileExists without a message box.
    bool exists(const String& path) {
        return static_cast<bool>(functions.FileExists(path, false, u""));
    }
    // "Unable to run <name>.  File: <path> not found"
    String notFound(const String& path) const;
    // Makes the drive of driveSource (its first three characters) and then
    // directory current.
    void enterDirectory(const String& driveSource, const String& directory);
    // Starts the command line in a normal window. A line that does not
    // begin with its program (empty, or a blank first) is refused with 53:
    // the system would take the next word, perhaps the game, as the program.
    void start(const String& commandLine);
    // form, the short form of path that a command line needs; raises 52
    // naming the path when it is empty, so that no line is built without it.
    static String required(const String& form, const String& path);
    // The path with the path separator at its end ("" gives the separator).
    String withSeparator(const String& path) const;
    // Whether the drive (on Linux: the file system) of path is a CD-ROM, so
    // that a configuration file there must not be rewritten.
    bool onCdRom(const String& path) {
        return static_cast<bool>(functions.DriveTypeIsCDRom(platform.driveOf(path)));
    }

    std::u16string_view name() const { return name_; }

  private:
    std::u16string_view name_;
};

// Runs the steps of one launch with every error trapped: the result is what
// the steps return, or "There was an error starting <name>.  Error <n>: <d>".
String runLaunch(Platform& platform, std::u16string_view name,
                 const std::function<String(Launch&)>& steps);

// A number in decimal, with a minus sign when negative.
String decimal(std::int64_t number);

}  // namespace tarnwick
