// PSID headers made byte by byte for the tests.
#pragma once

#include <string>

namespace tarnwick::testing {

// A 118-byte version-1 PSID header (init $1000, play $1003): the song numbers big-endian as given
// (any 16-bit pattern), the texts as raw bytes padded with NULs (longer ones cut at 32 bytes).
inline std::string psidHeader(int songs, int startSong, const std::string& name,
                              const std::string& author, const std::string& copyright) {
    std::string h = std::string("PSID\0\1\0\x76\0\0\x10\0\x10\x03", 14) + char(songs >> 8) +
                    char(songs) + char(startSong >> 8) + char(startSong) + std::string(4, '\0');
    for (const std::string& text : {name, author, copyright})
        h += (text + std::string(32, '\0')).substr(0, 32);
    return h;
}

}  // namespace tarnwick::testing
