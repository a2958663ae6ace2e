// The PSID header methods on real files in a temporary folder, through the
// Linux backend: every edge case that stands on disk, and the tunes and
// samples shipped in examples/tunes/.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "platform/posix/posix_platform.h"
#include "posix/path_text.h"
#include "support/psid_bytes.h"
#include "support/temp_folder.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using testing::contentOf;
using testing::psidHeader;
using testing::TempFolder;
using testing::u16;
namespace fs = std::filesystem;

struct Info {
    bool ok = false;
    String name = u"-", author = u"-", copyright = u"-";
    std::int16_t songs = -7, start = -7;
};

class PosixSidHeader : public ::testing::Test {
  protected:
    TempFolder temp;
    PosixPlatform host;
    twFunctions functions{host};

    Info info(const fs::path& p) {
        Info i;
        i.ok = static_cast<bool>(
            functions.GetSidInfo(u16(p), i.name, i.author, i.copyright, i.songs, i.start));
        return i;
    }
    static String padded(const String& text) { return text + String(32 - text.size(), u'\0'); }
};

TEST_F(PosixSidHeader, ReadsTheSongNumbersAsStored) {
    const auto songsOf = [&](int songs, int start) {
        return info(temp.write("t.sid", psidHeader(songs, start, "N", "A", "C")));
    };
    Info i = songsOf(0x0005, 0x0003);
    EXPECT_TRUE(i.ok);
    EXPECT_EQ(i.songs, 5);
    EXPECT_EQ(i.start, 3);
    i = songsOf(0x0100, 0x0001);
    EXPECT_TRUE(i.ok);
    EXPECT_EQ(i.songs, 256);
    i = songsOf(0x7FFF, 0x7FFF);
    EXPECT_TRUE(i.ok);
    EXPECT_EQ(i.songs, 32767);
    EXPECT_EQ(i.start, 32767);
    // 80 00: false, with the three texts already handed out.
    i = songsOf(0x8000, 0x0001);
    EXPECT_FALSE(i.ok);
    EXPECT_EQ(i.name, padded(u"N"));
    EXPECT_EQ(i.copyright, padded(u"C"));
    EXPECT_EQ(i.songs, -7);
    EXPECT_EQ(i.start, -7);
}

TEST_F(PosixSidHeader, TextsKeepTheirNulPaddingAndEveryLatin1Byte) {
    const fs::path p = temp.write("t.sid", psidHeader(1, 1, "Ode!", "Zo\xEB", "\xA9 2026"));
    const Info i = info(p);
    ASSERT_TRUE(i.ok);
    EXPECT_EQ(i.name, u"Ode!" + String(28, u'\0'));
    EXPECT_EQ(i.name.size(), 32u);
    EXPECT_EQ(i.author, padded(u"Zoë"));
    EXPECT_EQ(i.copyright, padded(u"© 2026"));

    // Every byte value comes back as the character of the same number, and
    // that character goes back to the same byte.
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    const fs::path q = temp.write(
        "all.sid", psidHeader(1, 1, all.substr(0, 32), all.substr(32, 32), all.substr(64, 32)));
    const Info j = info(q);
    ASSERT_TRUE(j.ok);
    for (int b = 0; b < 32; ++b) EXPECT_EQ(j.name[b], static_cast<char16_t>(b));
    EXPECT_EQ(host.toFieldText(j.author), all.substr(32, 32));
    const String high = host.fromFieldText(all.substr(128));
    EXPECT_EQ(host.toFieldText(high), all.substr(128));
    EXPECT_EQ(high[0x7F], u'\u00FF');
}

TEST_F(PosixSidHeader, OtherMagicsAreRefusedButTheirAuthorIsRead) {
    std::string bytes = psidHeader(5, 3, "N", "Someone", "C");
    bytes.replace(0, 4, "RSID");
    const fs::path p = temp.write("r.sid", bytes);
    const Info i = info(p);
    EXPECT_FALSE(i.ok);
    EXPECT_EQ(i.name, u"-");
    EXPECT_EQ(i.songs, -7);
    std::int16_t s = -7, d = -7;
    EXPECT_FALSE(functions.GetSidSongInfo(u16(p), s, d));
    EXPECT_EQ(s, -7);
    EXPECT_FALSE(functions.SaveDefaultSidSong(u16(p), 1));
    EXPECT_EQ(contentOf(p), bytes);
    EXPECT_EQ(functions.GetSidAuthor(u16(p)), padded(u"Someone"));
}

TEST_F(PosixSidHeader, SavingChangesTheTwoStartSongBytesAndNothingElse) {
    // Bytes after the version-1 header (the version-2 flags, code) and
    // text bytes that UTF-8 could not carry must all survive.
    std::string original = psidHeader(5, 3, "\xC3\x28\xA0\xA1", "\xFF\xFE\xFD", "\x80\x81") +
                           std::string("\x00\x14\x00\x00\x00\x00\x00\x10\x60\x60", 10);
    const fs::path p = temp.write("t.sid", original);
    ::chmod(p.c_str(), 0640);
    struct {
        int song;
        char high, low;
    } const cases[] = {{3, 0, 3}, {0, 0, 0}, {256, 1, 0}, {255, 0, '\xFF'}, {1, 0, 1}};
    for (const auto& c : cases) {
        EXPECT_TRUE(functions.SaveDefaultSidSong(u16(p), static_cast<std::int16_t>(c.song)))
            << c.song;
        std::string expected = original;
        expected[16] = c.high;
        expected[17] = c.low;
        EXPECT_EQ(contentOf(p), expected) << c.song;
    }
    std::int16_t s = 0, d = 0;
    EXPECT_TRUE(functions.GetSidSongInfo(u16(p), s, d));
    EXPECT_EQ(d, 1);
    struct stat st;
    ASSERT_EQ(::stat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u) << "the file keeps its permissions";
    EXPECT_EQ(fs::file_size(p), original.size());
}

TEST_F(PosixSidHeader, SongsOutside0To256AreNotSaved) {
    const std::string original = psidHeader(5, 3, "N", "A", "C");
    const fs::path p = temp.write("t.sid", original);
    for (const int song : {257, -1, 32767, -32768}) {
        EXPECT_FALSE(functions.SaveDefaultSidSong(u16(p), static_cast<std::int16_t>(song))) << song;
        EXPECT_EQ(contentOf(p), original) << song;
    }
}

TEST_F(PosixSidHeader, AReadOnlyFileIsNotSavedEvenByRoot) {
    const std::string original = psidHeader(5, 3, "N", "A", "C");
    const fs::path p = temp.write("t.sid", original);
    ::chmod(p.c_str(), 0444);
    EXPECT_FALSE(functions.SaveDefaultSidSong(u16(p), 1));
    EXPECT_EQ(contentOf(p), original);
    // Reading needs no write permission.
    EXPECT_TRUE(info(p).ok);
}

TEST_F(PosixSidHeader, AMissingFileReadsAsNothingAndLeavesNoFile) {
    const fs::path p = temp / "missing.sid";
    EXPECT_FALSE(info(p).ok);
    std::int16_t s = 9, d = 9;
    EXPECT_FALSE(functions.GetSidSongInfo(u16(p), s, d));
    EXPECT_EQ(functions.GetSidAuthor(u16(p)), u"");
    EXPECT_FALSE(functions.SaveDefaultSidSong(u16(p), 1));
    EXPECT_FALSE(fs::exists(p)) << "a read must not create the file";
    EXPECT_FALSE(info(temp / "no folder" / "x.sid").ok);
    EXPECT_EQ(s, 9);
    EXPECT_TRUE(fs::is_empty(temp.path()));
}

TEST_F(PosixSidHeader, AFolderIsNotATune) {
    fs::create_directories(temp / "folder.sid");
    EXPECT_FALSE(info(temp / "folder.sid").ok);
    EXPECT_EQ(functions.GetSidAuthor(u16(temp / "folder.sid")), u"");
    EXPECT_FALSE(functions.SaveDefaultSidSong(u16(temp / "folder.sid"), 1));
}

TEST_F(PosixSidHeader, AShortFileReadsAsZerosAndIsNotLengthened) {
    const std::string shortened = psidHeader(4, 2, "Shortened", "A", "C").substr(0, 40);
    const fs::path p = temp.write("short.sid", shortened);
    const Info i = info(p);
    EXPECT_TRUE(i.ok);
    EXPECT_EQ(i.songs, 4);
    EXPECT_EQ(i.start, 2);
    EXPECT_EQ(i.name, padded(u"Shortened"));
    EXPECT_EQ(i.author, String(32, u'\0')) << "the file ends at byte 40, inside the name";
    EXPECT_EQ(i.copyright, String(32, u'\0'));
    EXPECT_EQ(functions.GetSidAuthor(u16(p)), String(32, u'\0'));
    EXPECT_FALSE(functions.SaveDefaultSidSong(u16(p), 1));
    EXPECT_EQ(contentOf(p), shortened);

    const fs::path empty = temp.write("empty.sid", "");
    EXPECT_FALSE(info(empty).ok);
    EXPECT_EQ(functions.GetSidAuthor(u16(empty)), String(32, u'\0'));
}

TEST_F(PosixSidHeader, ShippedSamplesReadAsTheirNamesSay) {
    const fs::path edge = fs::path(TARNWICK_TUNES) / "edge";
    Info i = info(edge / "songs-5-default-3.sid");
    EXPECT_TRUE(i.ok);
    EXPECT_EQ(i.songs, 5);
    EXPECT_EQ(i.start, 3);
    i = info(edge / "songs-256.sid");
    EXPECT_TRUE(i.ok);
    EXPECT_EQ(i.songs, 256);
    i = info(edge / "songs-32767.sid");
    EXPECT_TRUE(i.ok);
    EXPECT_EQ(i.songs, 32767);
    i = info(edge / "songs-overflow.sid");
    EXPECT_FALSE(i.ok);
    EXPECT_EQ(i.name, padded(u"Edge: 80 00 songs"));
    EXPECT_EQ(i.songs, -7);
    i = info(edge / "start-overflow.sid");
    EXPECT_FALSE(i.ok);
    EXPECT_EQ(i.songs, 5);
    EXPECT_EQ(i.start, -7);
    EXPECT_FALSE(info(edge / "rsid-magic.sid").ok);
    EXPECT_EQ(functions.GetSidAuthor(u16(edge / "rsid-magic.sid")), padded(u"Tarnwick project"));
    i = info(edge / "full-width-texts.sid");
    EXPECT_TRUE(i.ok);
    EXPECT_EQ(i.name, u"Edge: thirty-two bytes, no NULs!");
    EXPECT_EQ(i.author, u"Zoë Ångström × 32 Latin-1 bytes!");
    i = info(edge / "short-header.sid");
    EXPECT_TRUE(i.ok);
    EXPECT_EQ(i.name, u"Edge: the file ends in" + String(10, u'\0'));
    EXPECT_EQ(i.songs, 2);
}

TEST_F(PosixSidHeader, ShippedTunesCanBeGivenAnotherDefaultSong) {
    const fs::path p = temp / "sampler.sid";
    fs::copy_file(fs::path(TARNWICK_TUNES) / "sampler.sid", p);
    const std::string before = contentOf(p);
    Info i = info(p);
    ASSERT_TRUE(i.ok);
    EXPECT_EQ(i.name, padded(u"Tarnwick Sampler"));
    EXPECT_EQ(i.songs, 5);
    EXPECT_EQ(i.start, 3);
    EXPECT_TRUE(functions.SaveDefaultSidSong(u16(p), 5));
    EXPECT_EQ(info(p).start, 5);
    std::string after = contentOf(p);
    after[17] = before[17];
    EXPECT_EQ(after, before);
}

}  // namespace
}  // namespace tarnwick

namespace tarnwick {
namespace {

// The file read the header methods stand on.
TEST(PosixFileRead, ReadsAtMostWhatIsAskedAndCreatesNothing) {
    testing::TempFolder temp;
    PosixPlatform host;
    std::string big(200000, 'x');
    for (std::size_t i = 0; i < big.size(); i += 997) big[i] = static_cast<char>(i);
    const fs::path p = temp.write("big.bin", big);
    EXPECT_EQ(host.readFile(u16(p), 118), big.substr(0, 118));
    EXPECT_EQ(host.readFile(u16(p), 70000), big.substr(0, 70000)) << "more than one piece";
    EXPECT_EQ(host.readFile(u16(p), 1 << 20), big) << "the whole file when it is shorter";
    EXPECT_EQ(host.readFile(u16(p), 0), "");

    const auto errorOf = [&](const fs::path& q, std::size_t n) {
        try {
            host.readFile(u16(q), n);
        } catch (const Error& e) {
            return e.number();
        }
        return 0;
    };
    EXPECT_EQ(errorOf(temp / "missing.bin", 118), errors::FileNotFound);
    EXPECT_EQ(errorOf(temp / "no folder" / "missing.bin", 118), errors::PathNotFound);
    EXPECT_EQ(errorOf(temp.path(), 118), errors::PathFileAccessError) << "a folder";
    EXPECT_EQ(errorOf(temp.path(), 0), errors::PathFileAccessError) << "a folder, nothing read";
    EXPECT_FALSE(fs::exists(temp / "missing.bin"));
}

}  // namespace
}  // namespace tarnwick
