// The header of a PSID tune: its first 118 bytes, the layout of the format's
// version 1 (later versions add fields behind it, which are left alone).
//
//   offset  size  field
//        0     4  magic "PSID"
//        4    14  version, data offset, load, init and play addresses
//       14     2  number of songs, big-endian
//       16     2  default (start) song, big-endian
//       18     4  speed flags
//       22    32  name       (text, padded with NULs)
//       54    32  author     (text, padded with NULs)
//       86    32  copyright  (text, padded with NULs)
//
// Every method traps every error into its result. Reading opens the file
// for reading only, so a name that names no file stays nameless. Saving
// overwrites the two start-song bytes in place and nothing else, so the
// texts, which a code page may not carry through a round trip, never pass
// through a conversion on their way back.
#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "tarnwick/tw_functions.h"

namespace tarnwick {

namespace {

constexpr std::size_t HeaderSize = 118;
constexpr std::size_t SongsOffset = 14;
constexpr std::size_t StartSongOffset = 16;
constexpr std::size_t NameOffset = 22;
constexpr std::size_t AuthorOffset = 54;
constexpr std::size_t CopyrightOffset = 86;
constexpr std::size_t TextSize = 32;

// The header as read: a file that ends inside it reads as if zero bytes
// followed, so every field has a value.
class Header {
  public:
    explicit Header(std::string_view bytes) {
        bytes_.fill(0);
        bytes.copy(bytes_.data(), std::min(bytes.size(), HeaderSize));
    }
    // The first size bytes of the file, read straight into the header.
    Header(Platform& platform, const String& file, std::size_t size) {
        const std::size_t got = platform.readFileInto(file, bytes_.data(), size);
        std::fill(bytes_.begin() + static_cast<std::ptrdiff_t>(got), bytes_.end(), '\0');
    }

    // Byte for byte "PSID": the only magic accepted.
    bool isPsid() const { return std::string_view(bytes_.data(), 4) == "PSID"; }

    // The big-endian number at offset as a 16-bit integer: high byte * 256
    // + low byte, which overflows it from a high byte of 128 on.
    std::int16_t songNumber(std::size_t offset) const {
        const int high = byte(offset), low = byte(offset + 1);
        if (high >= 128) throw Error(errors::Overflow);
        return static_cast<std::int16_t>(high * 256 + low);
    }

    std::string_view text(std::size_t offset) const {
        return std::string_view(bytes_.data() + offset, TextSize);
    }

  private:
    int byte(std::size_t offset) const { return static_cast<unsigned char>(bytes_[offset]); }
    std::array<char, HeaderSize> bytes_;
};

// The two start-song bytes for a song number: 256 is 01 00, 0 to 255 are
// 00 nn, anything else overflows.
std::string startSongBytes(std::int16_t song) {
    if (song == 256) return std::string("\x01\x00", 2);
    if (song < 0 || song > 255) throw Error(errors::Overflow);
    return std::string{'\0', static_cast<char>(song)};
}

}  // namespace

Boolean twFunctions::GetSidInfo(const String& strSidFile, String& strName, String& strAuthor,
                                String& strCopyright, std::int16_t& intTotalSongs,
                                std::int16_t& intDefaultSong) {
    try {
        const Header header(platform_, strSidFile, HeaderSize);
        if (!header.isPsid()) return false;
        strName = platform_.fromFieldText(header.text(NameOffset));
        strAuthor = platform_.fromFieldText(header.text(AuthorOffset));
        strCopyright = platform_.fromFieldText(header.text(CopyrightOffset));
        intTotalSongs = header.songNumber(SongsOffset);
        intDefaultSong = header.songNumber(StartSongOffset);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

Boolean twFunctions::GetSidSongInfo(const String& strSidFile, std::int16_t& intTotalSongs,
                                    std::int16_t& intDefaultSong) {
    try {
        const Header header(platform_, strSidFile, HeaderSize);
        if (!header.isPsid()) return false;
        intTotalSongs = header.songNumber(SongsOffset);
        intDefaultSong = header.songNumber(StartSongOffset);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

Boolean twFunctions::SaveDefaultSidSong(const String& strSidFile, std::int16_t intDefaultSong) {
    try {
        if (DriveTypeIsCDRom(platform_.driveOf(strSidFile))) return false;
        if (platform_.isReadOnly(strSidFile)) return false;
        // The header is checked and the start song written through one open
        // of the file, so the bytes written go to the tune that was checked.
        bool saved = false;
        platform_.patchFile(strSidFile, HeaderSize, StartSongOffset, [&](std::string_view bytes) {
            // Writing the start song into a file that ends before it would
            // lengthen the file with made-up bytes: a short file is refused.
            if (!Header(bytes).isPsid() || bytes.size() < HeaderSize) return std::string();
            std::string song = startSongBytes(intDefaultSong);
            saved = true;
            return song;
        });
        return saved;
    } catch (const std::exception&) {
        return false;
    }
}

String twFunctions::GetSidAuthor(const String& strSidFile) {
    try {
        const Header header(platform_, strSidFile, AuthorOffset + TextSize);
        return platform_.fromFieldText(header.text(AuthorOffset));
    } catch (const std::exception&) {
        return String();
    }
}

}  // namespace tarnwick
