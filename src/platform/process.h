// Processes and the current drive and directory.
#pragma once

#include <cstdint>

#include "tarnwick/types.h"

namespace tarnwick {

class ProcessApi {
  public:
    virtual ~ProcessApi() = default;

    // Makes the drive named by the first character of text current; raises
    // Error when it cannot. Nothing to do where there are no drives.
    virtual void changeDrive(const String& text) = 0;
    // Makes path the current directory; raises Error when it cannot.
    virtual void changeDirectory(const String& path) = 0;
    virtual String currentDirectory() = 0;
    // Starts the program named at the front of a Windows-style command line
    // with the rest as its arguments, never waiting for it. Returns the task
    // id; raises Error (53 missing program, 70 not allowed, ...) when the
    // program cannot be started.
    virtual std::int32_t startProcess(const String& commandLine, std::int32_t windowStyle) = 0;
};

}  // namespace tarnwick
