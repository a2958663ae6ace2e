// Reading what the recorder program wrote.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace tarnwick::testing {

// On Linux also what it inherited: descriptors above 2, outputs, blocked and ignored signals.
struct Recording {
    std::string directory, inherited;
    std::vector<std::string> arguments;
};

// Waits for the record at path, reads and removes it; false when none came in time.
inline bool waitForRecording(const std::filesystem::path& path, Recording& recording,
                             std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    // Windows may refuse to open a just renamed file for a moment.
    std::ifstream in;
    while (!std::filesystem::exists(path) || (in.open(path, std::ios::binary), !in)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    for (std::string item; std::getline(in, item, '\0');) {
        const std::string value = item.substr(item.find('\t') + 1);
        if (item.rfind("arg\t", 0) == 0) recording.arguments.push_back(value);
        if (item.rfind("cwd\t", 0) == 0) recording.directory = value;
        if (item.rfind("inherited\t", 0) == 0) recording.inherited = value;
    }
    in.close();
    std::filesystem::remove(path);
    return true;
}

}  // namespace tarnwick::testing
