// The frame every emulator launcher follows: errors trapped into a message,
// a twFunctions object of its own for the call, the existence checks, the
// change to the emulator's directory and the start.
#pragma once

#include <functional>
#include <string_view>

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
    // Starts the command line in a normal window.
    void start(const String& commandLine);

    std::u16string_view name() const { return name_; }

  private:
    std::u16string_view name_;
};

// Runs the steps of one launch with every error trapped: the result is what
// the steps return, or "There was an error starting <name>.  Error <n>: <d>".
String runLaunch(Platform& platform, std::u16string_view name,
                 const std::function<String(Launch&)>& steps);

// The argument as a double-quoted piece of a command line. Quotes and the
// backslashes before them are escaped by the command-line rules, so that
// the text reaches the program as one argument whatever it holds; a Windows
// path, which holds neither, is simply put between quotes.
String quoteArgument(const String& text);

}  // namespace tarnwick
