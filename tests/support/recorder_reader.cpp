#include "support/recorder_reader.h"

#include <fstream>
#include <sstream>
#include <thread>

namespace tarnwick::testing {

namespace {
std::string unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char c = text[++i];
            out += c == 'n' ? '\n' : c == 't' ? '\t' : c;
        } else {
            out += text[i];
        }
    }
    return out;
}
}  // namespace

bool waitForRecording(const std::filesystem::path& path, Recording& recording,
                      std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    // Just after the recorder renamed its record into place, Windows may
    // still refuse to open it for a moment: wait until it opens.
    std::ifstream in;
    while (true) {
        if (std::filesystem::exists(path)) {
            in.open(path, std::ios::binary);
            if (in) break;
        }
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::string line;
    recording = Recording{};
    while (std::getline(in, line)) {
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        const std::string key = line.substr(0, tab), value = unescape(line.substr(tab + 1));
        if (key == "cwd")
            recording.directory = value;
        else if (key == "line")
            recording.commandLine = value;
        else if (key == "arg")
            recording.arguments.push_back(value);
        else if (key == "fd")
            recording.descriptors.push_back(value);
        else if (key == "out")
            recording.output = value;
        else if (key == "SigBlk:")
            recording.blocked = value;
        else if (key == "SigIgn:")
            recording.ignored = value;
    }
    in.close();
    std::filesystem::remove(path);
    return true;
}

}  // namespace tarnwick::testing
