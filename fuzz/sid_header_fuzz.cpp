// The PSID header reader and writer on arbitrary files: short files, every
// magic, every song number. The file is the input less its last two bytes,
// which give the song number handed to SaveDefaultSidSong.
#include <fuzzer/FuzzedDataProvider.h>

#include <filesystem>

#include "fuzz_support.h"
#include "tarnwick/tw_functions.h"

using namespace tarnwick;
using namespace tarnwick::fuzzing;

namespace {

constexpr std::size_t HeaderSize = 118;

// Each byte of the field is one character (Latin-1), padding included.
String fieldText(const std::string& header, std::size_t offset) {
    String text;
    for (std::size_t i = 0; i < 32; ++i) text += static_cast<unsigned char>(header[offset + i]);
    return text;
}

int byteAt(const std::string& header, std::size_t offset) {
    return static_cast<unsigned char>(header[offset]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const auto song = input.ConsumeIntegralInRange<std::int16_t>(-2, 258);
    const std::string content = input.ConsumeRemainingBytesAsString();

    const std::string path = scratchFolder() + "/tune.sid";
    writeFile(path, content);
    const String name = fromUtf8(path);
    twFunctions functions;

    std::string header = content.substr(0, HeaderSize);
    header.resize(HeaderSize, '\0');
    const bool psid = content.size() >= 4 && content.compare(0, 4, "PSID") == 0;

    // GetSidInfo: false leaves what it had not reached as it was.
    const String unset = u"unset";
    String title = unset, author = unset, copyright = unset;
    std::int16_t songs = -7, start = -7;
    const bool info =
        static_cast<bool>(functions.GetSidInfo(name, title, author, copyright, songs, start));
    const bool songsFit = byteAt(header, 14) < 128, startFits = byteAt(header, 16) < 128;
    check(info == (psid && songsFit && startFits), "GetSidInfo's answer");
    if (!psid) {
        check(title == unset && author == unset && copyright == unset && songs == -7 && start == -7,
              "a file that is no PSID file leaves every value as it was");
    } else {
        check(title == fieldText(header, 22), "name field");
        check(author == fieldText(header, 54), "author field");
        check(copyright == fieldText(header, 86), "copyright field");
        check(songs == (songsFit ? byteAt(header, 14) * 256 + byteAt(header, 15) : -7),
              "number of songs");
        check(start == (songsFit && startFits ? byteAt(header, 16) * 256 + byteAt(header, 17) : -7),
              "default song");
    }

    // GetSidSongInfo reads the same two numbers.
    std::int16_t songs2 = -7, start2 = -7;
    const bool songInfo = static_cast<bool>(functions.GetSidSongInfo(name, songs2, start2));
    check(songInfo == info, "GetSidSongInfo agrees with GetSidInfo");
    if (psid) check(songs2 == songs && start2 == start, "GetSidSongInfo's numbers");

    // GetSidAuthor: the author field of any file.
    check(functions.GetSidAuthor(name) == fieldText(header, 54), "GetSidAuthor");

    // SaveDefaultSidSong changes the two start-song bytes of a whole PSID
    // header and nothing else, or nothing at all.
    const bool saved = static_cast<bool>(functions.SaveDefaultSidSong(name, song));
    const bool mayChange = psid && content.size() >= HeaderSize && song >= 0 && song <= 256;
    check(saved == mayChange, "SaveDefaultSidSong's answer");
    std::string expected = content;
    if (saved) {
        expected[16] = static_cast<char>(song >> 8);
        expected[17] = static_cast<char>(song & 0xFF);
    }
    check(readFile(path) == expected, "the file after SaveDefaultSidSong");

    // Reading never creates the file it is asked about.
    const std::string missing = scratchFolder() + "/missing.sid";
    check(!functions.GetSidInfo(fromUtf8(missing), title, author, copyright, songs, start),
          "a missing file is no tune");
    check(!std::filesystem::exists(missing), "reading created the file");
    return 0;
}
