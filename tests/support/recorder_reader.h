// Reading what the recorder program wrote.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace tarnwick::testing {

struct Recording {
    std::string directory;
    std::string commandLine;  // Windows only: the line as the program got it
    std::vector<std::string> arguments;
    // Linux only: what the program inherited.
    std::vector<std::string> descriptors;  // open above standard error
    std::string output, errors;            // where standard output and error went
    std::string blocked, ignored;          // signal masks, in hexadecimal
};

// Waits up to timeout for the record at path, reads it and removes it.
// Returns false when none appeared in time.
bool waitForRecording(const std::filesystem::path& path, Recording& recording,
                      std::chrono::milliseconds timeout = std::chrono::seconds(20));

}  // namespace tarnwick::testing
