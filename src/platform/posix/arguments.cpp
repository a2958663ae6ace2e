#include "platform/posix/posix_platform.h"
#include "tarnwick/host.h"

namespace tarnwick {

std::vector<String> programArguments(int argc, char** argv) {
    std::vector<String> words;
    for (int i = 0; i < argc; ++i) words.push_back(fromUtf8(argv[i]));
    return words;
}

String findProgram(const String& name) {
    return fromUtf8(programOnPath(toUtf8(name)));
}

}  // namespace tarnwick
