#include "support/recorder_reader.h"

#include <fstream>
#include <map>
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
    std::map<std::string, std::string*> single = {
        {"cwd", &recording.directory},   {"line", &recording.commandLine},
        {"out", &recording.output},      {"err", &recording.errors},
        {"SigBlk:", &recording.blocked}, {"SigIgn:", &recording.ignored}};
    for (std::string item; std::getline(in, item, '\0');) {
        const std::size_t tab = item.find('\t');
        const std::string key = item.substr(0, tab), value = item.substr(tab + 1);
        if (single.count(key)) *single[key] = value;
        if (key == "arg" || key == "fd")
            (key == "arg" ? recording.arguments : recording.descriptors).push_back(value);
    }
    in.close();
    std::filesystem::remove(path);
    return true;
}

}  // namespace tarnwick::testing
