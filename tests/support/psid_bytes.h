// PSID headers made byte by byte for the tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

namespace tarnwick::testing {

// A 118-byte version-1 PSID header: the song numbers big-endian as given
// (any 16-bit pattern), the texts as raw bytes padded with NULs (at most 32
// bytes each; longer ones are cut).
inline std::string psidHeader(int songs, int startSong, const std::string& name,
                              const std::string& author, const std::string& copyright) {
    std::string h(118, '\0');
    h.replace(0, 4, "PSID");
    h[5] = 1;                                  // version 1
    h[7] = 0x76;                               // data offset: right after the header
    h[10] = 0x10, h[12] = 0x10, h[13] = 0x03;  // init $1000, play $1003
    h[14] = static_cast<char>((songs >> 8) & 0xFF), h[15] = static_cast<char>(songs & 0xFF);
    h[16] = static_cast<char>((startSong >> 8) & 0xFF), h[17] = static_cast<char>(startSong & 0xFF);
    h.replace(22, std::min<std::size_t>(name.size(), 32), name.substr(0, 32));
    h.replace(54, std::min<std::size_t>(author.size(), 32), author.substr(0, 32));
    h.replace(86, std::min<std::size_t>(copyright.size(), 32), copyright.substr(0, 32));
    return h;
}

}  // namespace tarnwick::testing
