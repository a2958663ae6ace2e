// The PSID header on any file, the song to save from the input's end: the
// texts are the header's bytes, a save sets bytes 16-17 or nothing at all.
#include "fuzz_support.h"

FUZZ_TARGET(input) {
    const auto song = input.ConsumeIntegralInRange<std::int16_t>(-2, 258);
    const std::string content = input.ConsumeRemainingBytesAsString();
    const String path = fromUtf8(scratchFolder() + "/tune.sid");
    std::ofstream(toUtf8(path), std::ios::binary) << content;
    const std::string header = (content + std::string(118, '\0')).substr(0, 118);  // NULs after
    const auto* bytes = reinterpret_cast<const unsigned char*>(header.data());
    const bool psid = content.starts_with("PSID");  // texts: a character (Latin-1) a byte
    const auto text = [&](int at) { return psid ? String(bytes + at, bytes + at + 32) : u"-"; };
    twFunctions sid;
    String title = u"-", author = u"-", copyright = u"-";
    std::int16_t songs = -7, start = -7;
    const bool info = sid.GetSidInfo(path, title, author, copyright, songs, start).isExactlyTrue();
    PROMISE(info == (psid && bytes[14] < 128 && bytes[16] < 128) && title == text(22) &&
            author == text(54) && copyright == text(86) &&
            (!info || start == bytes[16] * 256 + bytes[17]));
    const bool saved = sid.SaveDefaultSidSong(path, song).isExactlyTrue();
    PROMISE(saved == (psid && content.size() >= 118 && song >= 0 && song <= 256));
    PROMISE(readFile(toUtf8(path)) ==
            (saved ? content.substr(0, 16) + char(song >> 8) + char(song) + content.substr(18)
                   : content));
}
