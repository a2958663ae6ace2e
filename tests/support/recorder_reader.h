// Reading what the recorder program wrote.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace tarnwick::testing {

// Windows: the command line too; Linux: inherited descriptors, outputs and signal masks.
struct Recording {
    std::string directory, commandLine, output, errors, blocked, ignored;
    std::vector<std::string> arguments, descriptors;
};

// Waits for the record at path, reads and removes it; false when none came in time.
bool waitForRecording(const std::filesystem::path& path, Recording& recording,
                      std::chrono::milliseconds timeout = std::chrono::seconds(20));

}  // namespace tarnwick::testing
