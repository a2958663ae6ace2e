// The PSID header methods against a scripted platform: which system calls
// they make, in which order, and what they hand back.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "support/fake_platform.h"
#include "support/psid_bytes.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using testing::FakePlatform;
using testing::psidHeader;

class SidHeader : public ::testing::Test {
  protected:
    FakePlatform windows;
    twFunctions functions{windows};
    const String tune = u"D:\\Music\\tune.sid";

    // The out values a caller had before the call, to see what was assigned.
    String name = u"n", author = u"a", copyright = u"c";
    std::int16_t songs = -7, start = -7;

    Boolean info() { return functions.GetSidInfo(tune, name, author, copyright, songs, start); }
};

TEST_F(SidHeader, ReadsTheFieldsWithTheirPadding) {
    windows.files[tune] = psidHeader(5, 3, "Ode", "Ann \xC5ngstr\xF6m", "\xA9 2026");
    EXPECT_EQ(info(), Boolean(true));
    EXPECT_EQ(name, u"Ode" + String(29, u'\0'));
    EXPECT_EQ(author, u"Ann Ångström" + String(20, u'\0'));
    EXPECT_EQ(copyright, u"© 2026" + String(26, u'\0'));
    EXPECT_EQ(songs, 5);
    EXPECT_EQ(start, 3);
    // One read of the header, nothing written.
    EXPECT_EQ(windows.calls, std::vector<std::string>{"readFile D:\\Music\\tune.sid"});
}

TEST_F(SidHeader, AnyOtherMagicTouchesNoOutValue) {
    const std::string whole = psidHeader(5, 3, "Name", "Author", "Copyright");
    // Other magics, the letters in little-endian order, files too short
    // for any magic.
    for (const std::string& bytes : {"RSID" + whole.substr(4), "psid" + whole.substr(4),
                                     "DISP" + whole.substr(4), std::string("PSI"), std::string()}) {
        windows.files[tune] = bytes;
        EXPECT_EQ(info(), Boolean(false)) << bytes.substr(0, 4);
        std::int16_t s = 1, d = 1;
        EXPECT_EQ(functions.GetSidSongInfo(tune, s, d), Boolean(false));
        EXPECT_EQ(functions.SaveDefaultSidSong(tune, 2), Boolean(false));
        EXPECT_EQ(s, 1);
        EXPECT_EQ(d, 1);
        EXPECT_EQ(windows.files[tune], bytes) << "nothing written";
    }
    EXPECT_FALSE(windows.called("patchFile"));
    EXPECT_EQ(name, u"n");
    EXPECT_EQ(author, u"a");
    EXPECT_EQ(copyright, u"c");
    EXPECT_EQ(songs, -7);
    EXPECT_EQ(start, -7);
}

TEST_F(SidHeader, SongNumbersAreBigEndianAndOverflowFromHighByte128) {
    const auto read = [&](int total, int def) {
        windows.files[tune] = psidHeader(total, def, "N", "A", "C");
        songs = start = -7;
        return info();
    };
    EXPECT_EQ(read(0x0100, 1), Boolean(true));
    EXPECT_EQ(songs, 256);
    EXPECT_EQ(read(0x7FFF, 0x7FFF), Boolean(true));
    EXPECT_EQ(songs, 32767);
    EXPECT_EQ(start, 32767);
    EXPECT_EQ(read(0x0000, 0x00FF), Boolean(true));
    EXPECT_EQ(songs, 0);
    EXPECT_EQ(start, 255);

    // 80 00 songs: the texts are already handed out, the numbers are not.
    name = author = copyright = u"";
    EXPECT_EQ(read(0x8000, 1), Boolean(false));
    EXPECT_EQ(name, u"N" + String(31, u'\0'));
    EXPECT_EQ(author, u"A" + String(31, u'\0'));
    EXPECT_EQ(copyright, u"C" + String(31, u'\0'));
    EXPECT_EQ(songs, -7);
    EXPECT_EQ(start, -7);

    // Only the start song overflows: the number of songs is assigned.
    EXPECT_EQ(read(5, 0xFFFF), Boolean(false));
    EXPECT_EQ(songs, 5);
    EXPECT_EQ(start, -7);

    std::int16_t s = -7, d = -7;
    EXPECT_EQ(functions.GetSidSongInfo(tune, s, d), Boolean(false));
    EXPECT_EQ(s, 5);
    EXPECT_EQ(d, -7);
    windows.files[tune] = psidHeader(0x80FF, 2, "N", "A", "C");
    s = d = -7;
    EXPECT_EQ(functions.GetSidSongInfo(tune, s, d), Boolean(false));
    EXPECT_EQ(s, -7);
    EXPECT_EQ(d, -7);
}

TEST_F(SidHeader, SongInfoReadsTheTwoNumbersOnly) {
    windows.files[tune] = psidHeader(12, 4, "N", "A", "C");
    std::int16_t s = 0, d = 0;
    EXPECT_EQ(functions.GetSidSongInfo(tune, s, d), Boolean(true));
    EXPECT_EQ(s, 12);
    EXPECT_EQ(d, 4);
}

TEST_F(SidHeader, AShortFileReadsAsZeroBytes) {
    // The file ends inside the name: the rest of the name, the author and
    // the copyright are NULs.
    windows.files[tune] = psidHeader(2, 1, "Shortened", "A", "C").substr(0, 26);
    EXPECT_EQ(info(), Boolean(true));
    EXPECT_EQ(name, u"Shor" + String(28, u'\0'));
    EXPECT_EQ(author, String(32, u'\0'));
    EXPECT_EQ(songs, 2);
    // Just the magic: every field is zero.
    windows.files[tune] = "PSID";
    EXPECT_EQ(info(), Boolean(true));
    EXPECT_EQ(songs, 0);
    EXPECT_EQ(start, 0);
    EXPECT_EQ(copyright, String(32, u'\0'));
    EXPECT_EQ(functions.GetSidAuthor(tune), String(32, u'\0'));
}

TEST_F(SidHeader, AuthorIsReadFromAnyFile) {
    std::string bytes = psidHeader(1, 1, "N", "Someone", "C");
    bytes.replace(0, 4, "RSID");
    windows.files[tune] = bytes;
    EXPECT_EQ(functions.GetSidAuthor(tune), u"Someone" + String(25, u'\0'));
    EXPECT_EQ(windows.calls, std::vector<std::string>{"readFile D:\\Music\\tune.sid"});
}

TEST_F(SidHeader, AMissingFileIsFalseOrEmptyAndNothingIsWritten) {
    EXPECT_EQ(info(), Boolean(false));
    std::int16_t s = 9, d = 9;
    EXPECT_EQ(functions.GetSidSongInfo(tune, s, d), Boolean(false));
    EXPECT_EQ(functions.GetSidAuthor(tune), u"");
    EXPECT_EQ(functions.SaveDefaultSidSong(tune, 1), Boolean(false));
    EXPECT_TRUE(windows.files.empty());
    EXPECT_FALSE(windows.called("patchFile"));
    EXPECT_FALSE(windows.called("replaceFile"));
    EXPECT_EQ(s, 9);
}

TEST_F(SidHeader, SavingPatchesTheTwoStartSongBytesOnly) {
    // A version-2 header with code behind it, and text bytes that no
    // conversion may touch.
    std::string original = psidHeader(5, 3, "N\x81\x8D\x8F", "\x90\x9D", "\xFF\xFE") +
                           std::string("\x00\x02\x00\x14\x00\x00\x10\x00\xA9\x0F\x60", 11);
    original.replace(6, 2, std::string("\x00\x7C", 2));
    for (const auto& [song, high, low] : std::vector<std::tuple<int, char, char>>{
             {3, 0, 3}, {0, 0, 0}, {255, 0, '\xFF'}, {256, 1, 0}, {1, 0, 1}}) {
        windows.files[tune] = original;
        windows.calls.clear();
        EXPECT_EQ(functions.SaveDefaultSidSong(tune, static_cast<std::int16_t>(song)),
                  Boolean(true))
            << song;
        std::string expected = original;
        expected[16] = high;
        expected[17] = low;
        EXPECT_EQ(windows.files[tune], expected) << song;
        // The drive is asked about first (its two characters and a
        // backslash), then the read-only mark, then the header is read and
        // the two bytes are written in place (the fake's patch asks for the
        // mark once more on its own).
        windows.calls.resize(std::min<std::size_t>(windows.calls.size(), 4));
        EXPECT_EQ(windows.calls,
                  (std::vector<std::string>{"driveType D:\\", "isReadOnly D:\\Music\\tune.sid",
                                            "readFile D:\\Music\\tune.sid",
                                            "patchFile D:\\Music\\tune.sid"}))
            << song;
    }
}

TEST_F(SidHeader, SavingRefusesSongsOutside0To256) {
    const std::string original = psidHeader(5, 3, "N", "A", "C");
    windows.files[tune] = original;
    for (const int song : {257, -1, 32767, -32768, 1000}) {
        EXPECT_EQ(functions.SaveDefaultSidSong(tune, static_cast<std::int16_t>(song)),
                  Boolean(false))
            << song;
    }
    EXPECT_EQ(windows.files[tune], original);
    EXPECT_FALSE(windows.called("patchFile"));
}

TEST_F(SidHeader, SavingOnACdRomOrANoRootDriveOpensNothing) {
    windows.files[tune] = psidHeader(5, 3, "N", "A", "C");
    for (const std::int32_t type : {drive_types::CdRom, drive_types::NoRootDirectory}) {
        windows.driveTypes[u"D:\\"] = type;
        windows.calls.clear();
        EXPECT_EQ(functions.SaveDefaultSidSong(tune, 1), Boolean(false));
        EXPECT_EQ(windows.calls, std::vector<std::string>{"driveType D:\\"});
    }
    windows.driveTypes[u"D:\\"] = drive_types::Removable;
    EXPECT_EQ(functions.SaveDefaultSidSong(tune, 1), Boolean(true));
}

TEST_F(SidHeader, SavingAReadOnlyFileOpensNothing) {
    windows.files[tune] = psidHeader(5, 3, "N", "A", "C");
    windows.readOnly = {tune};
    EXPECT_EQ(functions.SaveDefaultSidSong(tune, 1), Boolean(false));
    EXPECT_FALSE(windows.called("readFile"));
    EXPECT_FALSE(windows.called("patchFile"));
}

TEST_F(SidHeader, SavingRefusesAShortHeaderInsteadOfLengtheningIt) {
    for (const std::size_t size :
         {std::size_t{4}, std::size_t{17}, std::size_t{18}, std::size_t{117}}) {
        const std::string shortened = psidHeader(5, 3, "N", "A", "C").substr(0, size);
        windows.files[tune] = shortened;
        EXPECT_EQ(functions.SaveDefaultSidSong(tune, 1), Boolean(false)) << size;
        EXPECT_EQ(windows.files[tune], shortened) << size;
    }
    windows.files[tune] = psidHeader(5, 3, "N", "A", "C");
    EXPECT_EQ(functions.SaveDefaultSidSong(tune, 1), Boolean(true)) << "118 bytes are enough";
}

TEST_F(SidHeader, AFailedWriteIsFalse) {
    windows.files[tune] = psidHeader(5, 3, "N", "A", "C");
    windows.writeFailure = Error(errors::DiskFull);
    EXPECT_EQ(functions.SaveDefaultSidSong(tune, 1), Boolean(false));
}

TEST_F(SidHeader, OnLinuxTheWholePathIsAskedAbout) {
    FakePlatform linux(u'/');
    twFunctions f(linux);
    linux.files[u"/music/tune.sid"] = psidHeader(5, 3, "N", "A", "C");
    EXPECT_EQ(f.SaveDefaultSidSong(u"/music/tune.sid", 4), Boolean(true));
    EXPECT_EQ(linux.calls.front(), "driveType /music/tune.sid/");
    linux.driveTypes[u"/music/tune.sid/"] = drive_types::CdRom;
    EXPECT_EQ(f.SaveDefaultSidSong(u"/music/tune.sid", 5), Boolean(false));
    EXPECT_EQ(linux.files[u"/music/tune.sid"][17], 4);
}

TEST_F(SidHeader, ADefaultSongBeyondTheSongCountIsSavedAndReadBack) {
    windows.files[tune] = psidHeader(2, 1, "N", "A", "C");
    EXPECT_EQ(functions.SaveDefaultSidSong(tune, 200), Boolean(true));
    std::int16_t s = 0, d = 0;
    EXPECT_EQ(functions.GetSidSongInfo(tune, s, d), Boolean(true));
    EXPECT_EQ(s, 2);
    EXPECT_EQ(d, 200);
}

}  // namespace
}  // namespace tarnwick
