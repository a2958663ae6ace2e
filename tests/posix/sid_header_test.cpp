// The PSID header methods on real files: the shipped tunes and their edge
// cases, names that are no tune, saves, and a save that another program
// races; libsidplayfp, a second reader, starts a saved tune.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sidplayfp/SidTune.h>
#include <sidplayfp/SidTuneInfo.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/posix_platform.h"
#include "platform/posix/system_calls.h"
#include "posix/path_text.h"
#include "support/psid_bytes.h"
#include "support/temp_folder.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using testing::contentOf;
using testing::u16;
namespace fs = std::filesystem;
const fs::path Tunes = TARNWICK_TUNES;

TEST(RealSidHeader, ReadsEachTuneAsItsHeaderSays) {
    testing::TempFolder temp;
    const fs::path fifo = temp / "fifo.sid";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    // A header waits in the pipe: a reader that took it for a file would
    // read it at once instead of blocking.
    const int writer = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    const std::string three = testing::psidHeader(1, 1, "", "", "") + std::string(236, 'x');
    ASSERT_EQ(::write(writer, three.data(), three.size()), ssize_t(three.size()));
    const fs::path readOnly = temp.write("read-only.sid", contentOf(Tunes / "sampler.sid"));
    fs::permissions(readOnly, fs::perms::owner_read);
    struct Row {
        fs::path file;
        bool read;
        int songs, start;  // -7: left as the caller had it
        bool texts;        // the texts handed out, even when the numbers fail
    } rows[] = {
        {Tunes / "sampler.sid", true, 5, 3, true},
        {readOnly, true, 5, 3, true},
        {Tunes / "edge/songs-256.sid", true, 256, 1, true},
        {Tunes / "edge/songs-32767.sid", true, 32767, 1, true},
        {Tunes / "edge/songs-overflow.sid", false, -7, -7, true},
        {Tunes / "edge/start-overflow.sid", false, 5, -7, true},
        {Tunes / "edge/full-width-texts.sid", true, 1, 1, true},
        {Tunes / "edge/short-header.sid", true, 2, 2, true},  // zeros past its end
        {Tunes / "edge/rsid-magic.sid", false, -7, -7, false},
        {fifo, false, -7, -7, false},
        {temp / "none.sid", false, -7, -7, false},
    };
    PosixPlatform host;
    twFunctions f{host};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        const String path = u16(row.file);
        String texts[3] = {u"-", u"-", u"-"};
        std::int16_t songs = -7, start = -7, songs2 = -7, start2 = -7;
        EXPECT_EQ(f.GetSidInfo(path, texts[0], texts[1], texts[2], songs, start),
                  Boolean(row.read));
        EXPECT_EQ(f.GetSidSongInfo(path, songs2, start2), Boolean(row.read));
        EXPECT_EQ(std::tuple(songs, start, songs2, start2),
                  std::tuple(row.songs, row.start, row.songs, row.start));
        // Any regular file's author: its bytes 54 to 85, the magic unread.
        const bool regular = fs::is_regular_file(row.file);
        const std::string header = (regular ? contentOf(row.file) : "") + std::string(118, '\0');
        EXPECT_EQ(f.GetSidAuthor(path), regular ? host.fromFieldText(header.substr(54, 32)) : u"");
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(texts[i],
                      row.texts ? host.fromFieldText(header.substr(22 + 32 * i, 32)) : u"-");
        }
    }
    EXPECT_FALSE(fs::exists(temp / "none.sid")) << "a read creates nothing";
    ::close(writer);
}

// What another program does to the tune's name between the save's read and
// its write, at the read's return.
std::function<void()> meanwhile;
const SystemCalls withMeanwhile = [] {
    SystemCalls calls = realSystemCalls();
    calls.read = [](int fd, void* buffer, size_t size) {
        const ssize_t n = realSystemCalls().read(fd, buffer, size);
        if (meanwhile) std::exchange(meanwhile, nullptr)();
        return n;
    };
    return calls;
}();

TEST(RealSidHeader, SavesTheStartSongOfTheTuneItCheckedOrNothing) {
    testing::TempFolder temp;
    const fs::path tune = temp / "tune.sid", moved = temp / "moved.sid";
    const std::string h = testing::psidHeader(5, 3, "N", "A", "C") + "music";
    const auto with = [&](int high, int low) {
        std::string b = h;
        b[16] = char(high), b[17] = char(low);
        return b;
    };
    const auto rename = [&] { fs::rename(tune, moved), temp.write("tune.sid", "other"); };
    struct Row {
        const char* name;
        std::string before;
        int song;
        bool saved;
        std::string after, atMoved = "";  // the tune, and one moved away meanwhile
        std::function<void()> act = {};
    } rows[] = {
        {"0", h, 0, true, with(0, 0)},
        {"255", h, 255, true, with(0, 255)},
        {"256", h, 256, true, with(1, 0)},
        {"257", h, 257, false, h},
        {"-1", h, -1, false, h},
        {"not PSID", "RSID" + h.substr(4), 1, false, "RSID" + h.substr(4)},
        {"117 bytes", h.substr(0, 117), 1, false, h.substr(0, 117)},
        {"renamed, another put in its place", h, 7, true, "other", with(0, 7), rename},
        {"cut short meanwhile", h, 7, false, "", "", [&] { fs::resize_file(tune, 0); }},
    };
    PosixPlatform host;
    for (const Row& row : rows) {
        fs::remove(moved), fs::remove(tune);
        temp.write("tune.sid", row.before);
        meanwhile = row.act;
        systemCalls() = withMeanwhile;
        const Boolean saved = twFunctions{host}.SaveDefaultSidSong(u16(tune), row.song);
        systemCalls() = realSystemCalls();
        EXPECT_EQ(saved, Boolean(row.saved)) << row.name;
        EXPECT_EQ(std::pair(contentOf(tune), contentOf(moved)), std::pair(row.after, row.atMoved))
            << row.name;
    }
    fs::remove(tune);
    EXPECT_EQ(twFunctions{host}.SaveDefaultSidSong(u16(tune), 1), Boolean(false));
    EXPECT_FALSE(fs::exists(tune)) << "a save creates nothing";
    const fs::path sampler = temp.write("sampler.sid", contentOf(Tunes / "sampler.sid"));
    EXPECT_EQ(twFunctions{host}.SaveDefaultSidSong(u16(sampler), 4), Boolean(true));
    EXPECT_EQ(SidTune(sampler.c_str()).getInfo()->startSong(), 4u);
}

}  // namespace
}  // namespace tarnwick
