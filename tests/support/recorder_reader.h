// Reading what the recorder program wrote.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace tarnwick::testing {

// On Linux also what it inherited: descriptors above 2, outputs, blocked and ignored signals.
struct Recording {
    std::string directory, inherited;
    std::vector<std::string> arguments;
};

// Waits for the record at path, reads and removes it; false when none came in time.
bool waitForRecording(const std::filesystem::path& path, Recording& recording,
                      std::chrono::milliseconds timeout = std::chrono::seconds(20));

}  // namespace tarnwick::testing
