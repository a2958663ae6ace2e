// A second reader: the header fields that libsidplayfp's tune loader reads
// from every shipped tune agree with what GetSidInfo reads.
#include <gtest/gtest.h>
#include <sidplayfp/SidTune.h>
#include <sidplayfp/SidTuneInfo.h>

#include <filesystem>

#include "platform/posix/posix_platform.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

// The text up to its first NUL, as bytes: libsidplayfp hands out C strings.
std::string trimmedBytes(PosixPlatform& host, const String& field) {
    return host.toFieldText(field.substr(0, field.find(u'\0')));
}

TEST(SidCrossCheck, LibsidplayfpReadsTheShippedTunesAsWeDo) {
    PosixPlatform host;
    twFunctions functions(host);
    int tunes = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(TARNWICK_TUNES)) {
        if (entry.path().extension() != ".sid") continue;
        ++tunes;
        const std::string path = entry.path().string();
        SCOPED_TRACE(path);

        SidTune tune(path.c_str());
        ASSERT_TRUE(tune.getStatus()) << tune.statusString();
        const SidTuneInfo* theirs = tune.getInfo();
        ASSERT_NE(theirs, nullptr);

        String name, author, copyright;
        std::int16_t songs = 0, start = 0;
        ASSERT_TRUE(functions.GetSidInfo(fromUtf8(path), name, author, copyright, songs, start));
        ASSERT_EQ(theirs->numberOfInfoStrings(), 3u);
        EXPECT_EQ(trimmedBytes(host, name), theirs->infoString(0));
        EXPECT_EQ(trimmedBytes(host, author), theirs->infoString(1));
        EXPECT_EQ(trimmedBytes(host, copyright), theirs->infoString(2));
        EXPECT_EQ(static_cast<unsigned>(songs), theirs->songs());
        EXPECT_EQ(static_cast<unsigned>(start), theirs->startSong());
        EXPECT_EQ(functions.GetSidAuthor(fromUtf8(path)), author);
        std::int16_t songsAgain = 0, startAgain = 0;
        ASSERT_TRUE(functions.GetSidSongInfo(fromUtf8(path), songsAgain, startAgain));
        EXPECT_EQ(songsAgain, songs);
        EXPECT_EQ(startAgain, start);
    }
    EXPECT_GE(tunes, 3) << "the shipped tunes are missing";
}

}  // namespace
}  // namespace tarnwick
