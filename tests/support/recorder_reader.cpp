#include "support/recorder_reader.h"

#include <fstream>
#include <thread>

namespace tarnwick::testing {

bool waitForRecording(const std::filesystem::path& path, Recording& recording,
                      std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    // Windows may refuse to open a just renamed file for a moment.
    std::ifstream in;
    while (!std::filesystem::exists(path) || (in.open(path, std::ios::binary), !in)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    recording = Recording{};
    for (std::string item; std::getline(in, item, '\0');) {
        const std::size_t tab = item.find('\t');
        const std::string key = item.substr(0, tab), value = item.substr(tab + 1);
        if (key == "arg") recording.arguments.push_back(value);
        if (key == "cwd") recording.directory = value;
        if (key == "inherited") recording.inherited = value;
    }
    in.close();
    std::filesystem::remove(path);
    return true;
}

}  // namespace tarnwick::testing
