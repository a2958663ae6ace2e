// The PSID header methods against a scripted platform: one row per header.
#include <gtest/gtest.h>

#include "support/fake_platform.h"
#include "support/psid_bytes.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using testing::psidHeader;
const String Tune = u"D:\\Music\\tune.sid";
String field(const char16_t* text) {
    const String s = text;
    return s + String(32 - s.size(), u'\0');
}

TEST(SidHeader, ReadsAsTheHeaderSays) {
    const std::string h = psidHeader(5, 3, "Ode", "Ann \xC5ngstr\xF6m", "\xA9 2026");
    const String untouched = u"-";
    struct Row {
        const char* name;
        std::string bytes;
        bool info, songInfo;
        String name_, author, copyright;  // "-": left as the caller had it
        std::int16_t songs, start;        // -7: left as the caller had it
    } rows[] = {
        {"fields with padding", h, true, true, field(u"Ode"), field(u"Ann Ångström"),
         field(u"© 2026"), 5, 3},
        {"256 and 32767", psidHeader(0x100, 0x7FFF, "", "", ""), true, true, field(u""), field(u""),
         field(u""), 256, 32767},
        {"0 and 255", psidHeader(0, 255, "N", "", ""), true, true, field(u"N"), field(u""),
         field(u""), 0, 255},
        {"songs overflow", psidHeader(0x8000, 1, "N", "A", "C"), false, false, field(u"N"),
         field(u"A"), field(u"C"), -7, -7},
        {"start overflows", psidHeader(5, 0xFFFF, "N", "A", "C"), false, false, field(u"N"),
         field(u"A"), field(u"C"), 5, -7},
        {"short file reads zeros", h.substr(0, 26), true, true, field(u"Ode"), field(u""),
         field(u""), 5, 3},
        {"RSID", "RSID" + h.substr(4), false, false, untouched, untouched, untouched, -7, -7},
        {"psid", "psid" + h.substr(4), false, false, untouched, untouched, untouched, -7, -7},
        {"reversed magic", "DISP" + h.substr(4), false, false, untouched, untouched, untouched, -7,
         -7},
        {"3 bytes", "PSI", false, false, untouched, untouched, untouched, -7, -7},
        {"missing", "", false, false, untouched, untouched, untouched, -7, -7},
    };
    for (const Row& row : rows) {
        testing::FakePlatform windows;
        if (row.name != std::string("missing")) windows.files[Tune] = row.bytes;
        twFunctions f{windows};
        String name = untouched, author = untouched, copyright = untouched;
        std::int16_t songs = -7, start = -7, songs2 = -7, start2 = -7;
        EXPECT_EQ(f.GetSidInfo(Tune, name, author, copyright, songs, start), Boolean(row.info))
            << row.name;
        EXPECT_TRUE(name == row.name_ && author == row.author && copyright == row.copyright)
            << row.name;
        EXPECT_EQ(songs, row.songs) << row.name;
        EXPECT_EQ(start, row.start) << row.name;
        EXPECT_EQ(f.GetSidSongInfo(Tune, songs2, start2), Boolean(row.songInfo)) << row.name;
        EXPECT_EQ(songs2, row.songs) << row.name;
        EXPECT_EQ(start2, row.start) << row.name;
        // The author of any file, magic or not.
        const std::string padded = row.bytes + std::string(118, '\0');
        EXPECT_TRUE(f.GetSidAuthor(Tune) == (row.name == std::string("missing")
                                                 ? String()
                                                 : windows.fromFieldText(padded.substr(54, 32))))
            << row.name;
        EXPECT_FALSE(windows.called("patchFile") || windows.called("rewriteFile")) << row.name;
    }
}

TEST(SidHeader, SavesTheStartSongBytesOnly) {
    const std::string h = psidHeader(5, 3, "N", "A", "C") + "music";
    const auto with = [&](char high, char low) {
        std::string b = h;
        b[16] = high, b[17] = low;
        return b;
    };
    struct Row {
        const char* name;
        std::string bytes;
        int song;
        bool saved;
        std::string after;  // unchanged when not saved
        std::int32_t drive = drive_types::Fixed;
        bool readOnly = false;
        std::optional<Error> writeFailure = {};
    } rows[] = {
        {"3", h, 3, true, with(0, 3)},
        {"0", h, 0, true, with(0, 0)},
        {"255", h, 255, true, with(0, '\xFF')},
        {"256", h, 256, true, with(1, 0)},
        {"more than the songs", h, 9, true, with(0, 9)},
        {"257", h, 257, false, h},
        {"-1", h, -1, false, h},
        {"-32768", h, -32768, false, h},
        {"not PSID", "RSID" + h.substr(4), 1, false, "RSID" + h.substr(4)},
        {"117 bytes", h.substr(0, 117), 1, false, h.substr(0, 117)},
        {"17 bytes", h.substr(0, 17), 1, false, h.substr(0, 17)},
        {"CD-ROM", h, 1, false, h, drive_types::CdRom},
        {"no root", h, 1, false, h, drive_types::NoRootDirectory},
        {"read-only", h, 1, false, h, drive_types::Fixed, true},
        {"write fails", h, 1, false, h, drive_types::Fixed, false, Error(61)},
    };
    for (const Row& row : rows) {
        testing::FakePlatform windows;
        windows.files[Tune] = row.bytes;
        windows.driveTypes[u"D:\\"] = row.drive;
        if (row.readOnly) windows.readOnly = {Tune};
        windows.writeFailure = row.writeFailure;
        EXPECT_EQ(
            twFunctions{windows}.SaveDefaultSidSong(Tune, static_cast<std::int16_t>(row.song)),
            Boolean(row.saved))
            << row.name;
        EXPECT_TRUE(windows.files[Tune] == row.after) << row.name;
        // A CD-ROM or read-only tune is not even opened.
        if (row.drive != drive_types::Fixed || row.readOnly) {
            EXPECT_FALSE(windows.called("readFile")) << row.name;
        }
    }
    testing::FakePlatform windows;
    EXPECT_EQ(twFunctions{windows}.SaveDefaultSidSong(Tune, 1), Boolean(false)) << "missing";
    EXPECT_TRUE(windows.files.empty());
}

}  // namespace
}  // namespace tarnwick
