// The PSID header on any file (the song to save comes from the input's end):
// every value as the header's bytes say; saving changes the start-song bytes
// of a whole PSID header and nothing else, or nothing; reading creates no file.
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
    // A 32-byte text, a character (Latin-1) a byte; nothing from a file that is no PSID file.
    const auto text = [&](int at) { return psid ? String(bytes + at, bytes + at + 32) : u"-"; };
    // Reading stops at a song number whose high byte overflows a 16-bit
    // integer; what it had not reached stays as it was.
    const bool songsFit = bytes[14] < 128, startFits = songsFit && bytes[16] < 128;
    const int songs = psid && songsFit ? bytes[14] * 256 + bytes[15] : -7;
    const int start = psid && startFits ? bytes[16] * 256 + bytes[17] : -7;
    twFunctions functions;
    const String name = fromUtf8(path);
    String title = u"-", author = u"-", copyright = u"-";
    std::int16_t got[4] = {-7, -7, -7, -7};
    const bool info =
        functions.GetSidInfo(name, title, author, copyright, got[0], got[1]).isExactlyTrue();
    PROMISE(info == (psid && startFits) && title == text(22) && author == text(54) &&
            copyright == text(86));
    PROMISE(functions.GetSidSongInfo(name, got[2], got[3]).isExactlyTrue() == info);
    PROMISE(got[0] == songs && got[1] == start && got[2] == songs && got[3] == start);
    PROMISE(functions.GetSidAuthor(name) == String(bytes + 54, bytes + 86));
    const bool saved = functions.SaveDefaultSidSong(name, song).isExactlyTrue();
    PROMISE(saved == (psid && content.size() >= 118 && song >= 0 && song <= 256));
    std::string expected = content;
    if (saved) expected.replace(16, 2, std::string{char(song >> 8), char(song)});
    PROMISE(readFile(path) == expected);
    PROMISE(!functions.GetSidInfo(fromUtf8(missing), title, author, copyright, got[0], got[1]) &&
            !std::filesystem::exists(missing));
    return 0;
}
