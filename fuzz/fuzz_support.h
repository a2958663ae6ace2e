// What every fuzz target shares: a scratch folder of its own for real files,
// whole-file reading and writing, and a check that stops the run with a
// message, so a broken promise is reported (and its input kept) like a crash.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "tarnwick/types.h"

namespace tarnwick::fuzzing {

[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "broken promise: %s\n", what);
    std::abort();
}

inline void check(bool condition, const char* what) {
    if (!condition) fail(what);
}

// A folder made for this process on a memory file system when there is one
// (the targets write and rename files on every run), removed at exit.
inline const std::string& scratchFolder() {
    // Held for the whole process: the exit handler that removes the folder
    // runs after static objects are gone.
    static const std::string* folder = [] {
        const char* base = std::getenv("TARNWICK_FUZZ_TMP");
        std::string pattern = base ? base : (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
        pattern += "/tarnwick-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data())) fail("cannot make a scratch folder");
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(scratchFolder(), ignored);
        });
        return new std::string(pattern);
    }();
    return *folder;
}

inline void writeFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) fail("cannot write a scratch file");
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace tarnwick::fuzzing
