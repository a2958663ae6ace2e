// What the fuzz targets share: a check that fails like a crash, so that
// libFuzzer keeps the input; a scratch folder; whole files; text.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tarnwick/types.h"

using namespace tarnwick;  // a target exercises this library and nothing else

#define PROMISE(kept) \
    ((kept) ? void() : (std::fprintf(stderr, "broken promise: %s\n", #kept), std::abort()))

// A folder of this process, in memory where possible (targets write files on
// every run), removed at exit and so never destroyed before.
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
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

// Up to maxLength units, from the alphabet or now and then any (NUL if allowed).
inline String consumeText(FuzzedDataProvider& input, std::u16string_view alphabet,
                          std::size_t maxLength, bool allowNul = false) {
    String text;
    const auto length = input.ConsumeIntegralInRange<std::size_t>(0, maxLength);
    for (std::size_t i = 0; i < length && input.remaining_bytes() > 0; ++i) {
        const auto pick = input.ConsumeIntegralInRange<std::size_t>(0, alphabet.size());
        const char16_t c =
            pick < alphabet.size() ? alphabet[pick] : input.ConsumeIntegral<char16_t>();
        if (c || allowNul) text += c;
    }
    return text;
}
