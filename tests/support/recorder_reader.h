// Reading what the recorder program wrote.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace tarnwick::testing {

// On Windows also the command line as the program got it; on Linux what it
// inherited: the descriptors open above standard error, where standard
// output and error go, the masks of blocked and ignored signals (hex).
struct Recording {
    std::string directory, commandLine, output, errors, blocked, ignored;
    std::vector<std::string> arguments, descriptors;
};

// Waits up to timeout for the record at path, reads it and removes it;
// false when none appeared in time.
bool waitForRecording(const std::filesystem::path& path, Recording& recording,
                      std::chrono::milliseconds timeout = std::chrono::seconds(20));

}  // namespace tarnwick::testing
