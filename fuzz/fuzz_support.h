// Shared by the fuzz targets: the entry point, a check that fails as a crash does.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>

#include "platform/posix/posix_platform.h"
#include "shell/launch.h"
#include "tarnwick/tw_functions.h"
#include "tarnwick/tw_registry.h"

using namespace tarnwick;  // a target exercises this library and nothing else

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

#define FUZZ_TARGET(input)                                                              \
    void fuzz(FuzzedDataProvider&& input);                                              \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) { \
        return fuzz(FuzzedDataProvider(data, size)), 0;                                 \
    }                                                                                   \
    void fuzz(FuzzedDataProvider&& input)

#define PROMISE(kept) \
    ((kept) ? void() : (std::fprintf(stderr, "broken promise: %s\n", #kept), std::abort()))

// In memory where possible (files are written on every run); removed at exit.
inline const std::string& scratchFolder() {
    static const std::string& folder = *[] {
        const char* base = std::getenv("TARNWICK_FUZZ_TMP");
        auto* path = new std::string(base ? base : access("/dev/shm", W_OK) ? "/tmp" : "/dev/shm");
        PROMISE(mkdtemp((*path += "/tarnwick-fuzz-XXXXXX").data()));
        std::atexit([] { std::filesystem::remove_all(scratchFolder()); });
        return path;
    }();
    return folder;
}

inline std::string readFile(const std::string& path) {
    return {std::istreambuf_iterator<char>(std::ifstream(path, std::ios::binary).rdbuf()), {}};
}

inline String consumeText(FuzzedDataProvider& input, std::u16string_view alphabet, int length) {
    String text;
    for (int n = input.ConsumeIntegralInRange(0, length); n-- && input.remaining_bytes();)
        text += alphabet[input.ConsumeIntegralInRange<std::size_t>(0, alphabet.size() - 1)];
    return text;
}
