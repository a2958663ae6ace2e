// The PSID header on any file, the song to save from the input's end: values
// as the bytes say; a save sets bytes 16-17 of a whole PSID header or nothing.
#include "fuzz_support.h"
#include "tarnwick/tw_functions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const auto song = input.ConsumeIntegralInRange<std::int16_t>(-2, 258);
    const std::string content = input.ConsumeRemainingBytesAsString();
    const std::string path = scratchFolder() + "/tune.sid", missing = scratchFolder() + "/no.sid";
    std::ofstream(path, std::ios::binary) << content;
    std::string header = content.substr(0, 118);  // as if NULs followed a short file
    header.resize(118, '\0');
    const auto* bytes = reinterpret_cast<const unsigned char*>(header.data());
    const bool psid = content.starts_with("PSID");
    // Texts of 32 characters, one (Latin-1) a byte. Reading stops at a song
    // number that overflows 16 bits; what it had not reached stays as it was.
    const auto text = [&](int at) { return psid ? String(bytes + at, bytes + at + 32) : u"-"; };
    const bool songsFit = bytes[14] < 128, startFits = songsFit && bytes[16] < 128;
    const int songs = psid && songsFit ? bytes[14] * 256 + bytes[15] : -7;
    const int start = psid && startFits ? bytes[16] * 256 + bytes[17] : -7;
    twFunctions functions;
    String title = u"-", author = u"-", copyright = u"-";
    std::int16_t got[4] = {-7, -7, -7, -7};
    const bool info = functions.GetSidInfo(fromUtf8(path), title, author, copyright, got[0], got[1])
                          .isExactlyTrue();
    PROMISE(info == (psid && startFits) && title == text(22) && author == text(54) &&
            copyright == text(86) && got[0] == songs && got[1] == start);
    PROMISE(functions.GetSidSongInfo(fromUtf8(path), got[2], got[3]).isExactlyTrue() == info &&
            got[2] == songs && got[3] == start);
    PROMISE(functions.GetSidAuthor(fromUtf8(path)) == String(bytes + 54, bytes + 86));
    const bool saved = functions.SaveDefaultSidSong(fromUtf8(path), song).isExactlyTrue();
    PROMISE(saved == (psid && content.size() >= 118 && song >= 0 && song <= 256));
    PROMISE(readFile(path) ==
            (saved ? content.substr(0, 16) + char(song >> 8) + char(song) + content.substr(18)
                   : content));
    PROMISE(!functions.GetSidInfo(fromUtf8(missing), title, author, copyright, got[0], got[1]) &&
            !std::filesystem::exists(missing));  // reading creates no file
    return 0;
}
