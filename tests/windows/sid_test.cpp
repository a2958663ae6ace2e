// The PSID header methods and the player launch on the Windows backend,
// under Wine: the shipped tunes, a patched default song, the recorder as the
// player.
#include "windows/win32_fixture.h"

namespace tarnwick {
namespace {

using namespace testing;

// A shipped tune, copied into the test's folder as copyName.
fs::path tune(const TempFolder& temp, const std::string& name, std::string copyName = "") {
    if (copyName.empty()) copyName = name;
    std::string source = std::string(TARNWICK_TUNES) + "/" + name;
    if (!source.empty() && source[0] == '/') source = "Z:" + source;
    const fs::path copy = win(temp / copyName);
    fs::create_directories(copy.parent_path());
    fs::copy_file(win(fs::u8path(source)), copy);
    return copy;
}

TEST_F(Win32Backend, ShippedTuneHeadersReadAndPatchOnWindows) {
    const fs::path sampler = tune(temp, "sampler.sid");
    twFunctions f(host);
    String name, author, copyright;
    std::int16_t songs = 0, song = 0;
    ASSERT_TRUE(
        static_cast<bool>(f.GetSidInfo(u16(sampler), name, author, copyright, songs, song)));
    EXPECT_EQ(name.substr(0, name.find(u'\0')), u"Tarnwick Sampler");
    EXPECT_EQ(name.size(), 32u) << "the padding is kept";
    EXPECT_EQ(songs, 5);
    EXPECT_EQ(song, 3);
    EXPECT_EQ(f.GetSidAuthor(u16(sampler)), author);

    const std::string before = contentOf(sampler);
    EXPECT_TRUE(static_cast<bool>(f.SaveDefaultSidSong(u16(sampler), 2)));
    const std::string after = contentOf(sampler);
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (i != 16 && i != 17) {
            EXPECT_EQ(after[i], before[i]) << "byte " << i;
        }
    }
    EXPECT_EQ(after[16], 0);
    EXPECT_EQ(after[17], 2);

    // A read-only tune is refused, and a missing one is not created.
    SetFileAttributesW(sampler.wstring().c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(static_cast<bool>(f.SaveDefaultSidSong(u16(sampler), 4)));
    SetFileAttributesW(sampler.wstring().c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(contentOf(sampler), after);
    EXPECT_EQ(f.GetSidAuthor(u16(temp / "none.sid")), u"");
    EXPECT_FALSE(fs::exists(temp / "none.sid"));
}

TEST_F(Win32Launch, PlayMusicSongHandsThePlayerTheTuneAndSong) {
    const fs::path player = emulator("SID Player/player.exe");
    const fs::path sampler = tune(temp, "sampler.sid", "Music/sampler.sid");
    twShell shell(host);
    shell.PlayMusicSong(u16(player), u16(sampler.parent_path()), u"sampler.sid", 4);
    const Recording r = recorded();
    ASSERT_EQ(r.arguments.size(), 2u) << r.commandLine;
    EXPECT_EQ(r.arguments[0], "-o4");
    EXPECT_TRUE(sameFile(fromUtf8(r.arguments[1]), u16(sampler))) << r.arguments[1];
    EXPECT_TRUE(sameFile(fromUtf8(r.directory), u16(player.parent_path())));

    // A missing tune: PlayMusic checks and starts nothing.
    shell.PlayMusic(u16(player), u16(sampler.parent_path()), u"none.sid", u"", false);
    EXPECT_TRUE(nothingRecorded());
}

}  // namespace
}  // namespace tarnwick
