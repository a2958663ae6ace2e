// What a careless front end or a hostile games database can hand every
// public method, against the real Linux backend: real files in a sandbox
// folder, real processes (the recorder stands in for each emulator and
// player), a real settings database. Each case must end in the documented
// result or a clear Error; no shell may run (names that would make one
// create PWNED are fed everywhere); a started program gets exactly the
// arguments its command line gives it, a game name whole where the launcher
// quotes it or shortens it; and nothing in the sandbox changes but the file
// the call names (a snapshot of every path, its type, mode and content is
// compared before and after).
#include "posix/hostile_input.h"

namespace tarnwick {
namespace {

using namespace testing;
namespace fs = std::filesystem;
using Args = std::vector<std::string>;
using namespace std::string_literals;

// ---------------------------------------------------------------- config files

class ConfigInput : public BadInput {
  protected:
    // Runs the change on the named file and checks that nothing else in the
    // sandbox changed; returns the error number, 0 for none.
    int change(const fs::path& file, const ConfigFileArray& changes,
               std::optional<std::vector<std::string>> given = std::nullopt) {
        std::vector<std::string> allowed = given.value_or(std::vector<std::string>{});
        const Tree before = snapshot(sandbox);
        int number = 0;
        try {
            f->ChangeConfigFile(u16(file), changes);
        } catch (const Error& e) {
            number = e.number();
        }
        if (!given && number == 0)
            allowed.push_back(file.string().substr(sandbox.string().size() + 1));
        EXPECT_EQ(differences(before, snapshot(sandbox)), allowed) << file;
        return number;
    }
};

TEST_F(ConfigInput, KeysAndValuesWithLineBreaksNulsAndQuotesAreWrittenAsGiven) {
    const fs::path cfg = write("config/c64.cfg", "A=1\r\nB=2\r\n");
    struct Case {
        ConfigFileType change;
        std::string expected;
    };
    const std::vector<Case> cases = {
        // The value is written as given: a CR LF in it makes a line of its
        // own, which the editor's line format allows.
        {{u"A", u"x\r\nB=evil"}, "A=x\r\nB=evil\r\nB=2\r\n"},
        {{u"A", u"x\0y"s}, "A=x\0y\r\nB=2\r\n"s},
        {{u"A\0"s, u"never"}, "A=1\r\nB=2\r\n"},
        {{u"a", u"\"; touch PWNED $(x) `y`"}, "a=\"; touch PWNED $(x) `y`\r\nB=2\r\n"},
        {{u"", u"empty key"}, "=empty key\r\nB=2\r\n"},
        {{u"\r\n", u"v"}, "A=1\r\nB=2\r\n"},
        {{u"A", String(32768, u'v')}, "A=" + std::string(32768, 'v') + "\r\nB=2\r\n"},
    };
    for (const Case& c : cases) {
        const std::string original = "A=1\r\nB=2\r\n";
        std::ofstream(cfg, std::ios::binary) << original;
        const std::vector<std::string> changed =
            c.expected == original ? std::vector<std::string>{} : std::vector{"config/c64.cfg"s};
        EXPECT_EQ(change(cfg, ConfigFileArray({c.change}), changed), 0) << c.expected;
        EXPECT_EQ(contentOf(cfg), c.expected);
    }
    expectNoShell("config");
}

TEST_F(ConfigInput, LimitsAndFilesThatCannotBeRewritten) {
    const fs::path cfg = write("config/c64.cfg", "");
    const auto lines = [](std::size_t n) {
        std::string text;
        for (std::size_t i = 0; i < n; ++i) text += "K" + std::to_string(i) + "\r\n";
        return text;
    };
    // 32,766 lines fit the 16-bit table, 32,767 overflow it.
    std::ofstream(cfg, std::ios::binary) << lines(32766);
    EXPECT_EQ(change(cfg, ConfigFileArray({{u"K0", u"x"}}), Paths{"config/c64.cfg"}), 0);
    std::ofstream(cfg, std::ios::binary) << lines(32767);
    EXPECT_EQ(change(cfg, ConfigFileArray({{u"K0", u"x"}}), nothingChanged), errors::Overflow);
    // A change list of 32,767 entries (index 32,766) fits, 32,768 do not.
    std::ofstream(cfg, std::ios::binary) << "K0=0\n";
    EXPECT_EQ(change(cfg, ConfigFileArray(std::vector<ConfigFileType>(32767, {u"K0", u"1"}))), 0);
    EXPECT_EQ(contentOf(cfg), "K0=1\r\n");
    std::ofstream(cfg, std::ios::binary) << "K0=0\n";
    EXPECT_EQ(change(cfg, ConfigFileArray(std::vector<ConfigFileType>(32768, {u"K0", u"1"})),
                     nothingChanged),
              errors::Overflow);
    EXPECT_EQ(change(cfg, ConfigFileArray(), nothingChanged), errors::SubscriptOutOfRange);
    EXPECT_EQ(change(cfg, ConfigFileArray({{u"K0", u"1"}}, 1), nothingChanged),
              errors::SubscriptOutOfRange);

    const fs::path readOnly = write("config/read-only.cfg", "K0=0\n");
    fs::permissions(readOnly, fs::perms::owner_read | fs::perms::group_read);
    EXPECT_EQ(change(readOnly, ConfigFileArray({{u"K0", u"1"}}), nothingChanged),
              errors::PathFileAccessError);
    // Only in another letter case, missing, a missing folder, a folder.
    EXPECT_EQ(change(sandbox / "config/C64.CFG", ConfigFileArray({{u"K0", u"1"}}), nothingChanged),
              errors::FileNotFound);
    EXPECT_EQ(
        change(sandbox / "config/none/c64.cfg", ConfigFileArray({{u"K0", u"1"}}), nothingChanged),
        errors::PathNotFound);
    EXPECT_NE(change(sandbox / "config", ConfigFileArray({{u"K0", u"1"}}), nothingChanged), 0);
    for (const std::size_t n : {32766u, 32767u, 32768u})
        EXPECT_NE(change(fs::path(toUtf8(u16(sandbox) + ofLength(n))),
                         ConfigFileArray({{u"K0", u"1"}}), nothingChanged),
                  0);
}

TEST_F(ConfigInput, HostileFileNamesAndLinks) {
    for (const Hostile& h : hostileNames) {
        const fs::path cfg = write("names/" + h.name + "/" + h.name, "Joy1=No\nJoy2=No\n");
        EXPECT_EQ(change(cfg, ConfigFileArray({{u"Joy2", u"Analogue"}})), 0) << h.name;
        EXPECT_EQ(contentOf(cfg), "Joy1=No\r\nJoy2=Analogue\r\n") << h.name;
    }
    // Through a link the file it points to is rewritten; the link stays.
    const fs::path target = write("linked/target.ini", "Joy1=No\n");
    fs::create_symlink("../linked/target.ini", sandbox / "names/link.ini");
    EXPECT_EQ(change(sandbox / "names/link.ini", ConfigFileArray({{u"Joy1", u"Keyboard"}}),
                     Paths{"linked/target.ini"}),
              0);
    EXPECT_EQ(contentOf(target), "Joy1=Keyboard\r\n");
    EXPECT_TRUE(fs::is_symlink(sandbox / "names/link.ini"));
    fs::create_symlink("nowhere.ini", sandbox / "names/dangling.ini");
    EXPECT_EQ(
        change(sandbox / "names/dangling.ini", ConfigFileArray({{u"Joy1", u"x"}}), nothingChanged),
        errors::FileNotFound);
}

// A name no Linux file can have: one with a lone surrogate, which has no
// UTF-8 form and must not stand for the file whose name holds U+FFFD (what
// a careless conversion makes of it), or one with a NUL, which would end it
// early. Either is a bad file name, and no other file is rewritten.
TEST_F(ConfigInput, ANameNoFileCanHaveRewritesNoOtherFile) {
    const fs::path other = write("config/\xEF\xBF\xBD.cfg", "Joy1=No\n");
    const fs::path plain = write("config/plain.cfg", "Joy1=No\n");
    const String folder = u16(sandbox / "config");
    for (const String& name : {folder + u"/\xD800.cfg"s, folder + u"/\xDFFF.cfg"s,
                               folder + u"/plain.cfg\0.bak"s, folder + u"\0/plain.cfg"s}) {
        const Tree before = snapshot(sandbox);
        try {
            f->ChangeConfigFile(name, ConfigFileArray({{u"Joy1", u"x"}}));
            ADD_FAILURE() << "rewritten: " << toUtf8(name);
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), errors::BadFileNameOrNumber);
        }
        EXPECT_EQ(differences(before, snapshot(sandbox)), nothingChanged);
    }
    EXPECT_EQ(contentOf(other), "Joy1=No\n");
    EXPECT_EQ(contentOf(plain), "Joy1=No\n");
}

// ---------------------------------------------------------------- SID header

class SidInput : public BadInput {
  protected:
    std::string tune() {
        std::string bytes = testing::psidHeader(5, 3, "Name", "Author", "Copyright");
        return bytes + std::string(64, '\x60');
    }
};

TEST_F(SidInput, ReadersOnHostileOddAndMissingNamesCreateNothing) {
    for (const Hostile& h : hostileNames) {
        const fs::path file = write("sid/" + h.name + "/" + h.name + ".sid", tune());
        String name, author, copyright;
        std::int16_t songs = -1, start = -1;
        EXPECT_TRUE(
            static_cast<bool>(f->GetSidInfo(u16(file), name, author, copyright, songs, start)))
            << h.name;
        EXPECT_EQ(name.substr(0, 5), u"Name\0"s);
        EXPECT_EQ(songs, 5);
        EXPECT_EQ(start, 3);
        EXPECT_EQ(f->GetSidAuthor(u16(file)).substr(0, 6), u"Author");
    }
    fs::create_symlink("nowhere.sid", sandbox / "sid/dangling.sid");
    fs::create_directories(sandbox / "sid/folder.sid");
    write("sid/only-lower.sid", tune());
    const Tree before = snapshot(sandbox);
    for (const String& bad :
         {String(), u16(sandbox / "sid/missing.sid"), u16(sandbox / "sid/dangling.sid"),
          u16(sandbox / "sid/folder.sid"), u16(sandbox / "sid/ONLY-LOWER.SID"),
          u16(sandbox / "sid/none/x.sid"), ofLength(32766), ofLength(32767), ofLength(32768)}) {
        String name = u"kept", author = u"kept", copyright = u"kept";
        std::int16_t songs = 77, start = 77;
        EXPECT_FALSE(static_cast<bool>(f->GetSidInfo(bad, name, author, copyright, songs, start)));
        EXPECT_FALSE(static_cast<bool>(f->GetSidSongInfo(bad, songs, start)));
        EXPECT_EQ(f->GetSidAuthor(bad), u"");
        EXPECT_EQ(name + author + copyright, u"keptkeptkept") << "out values left as they were";
        EXPECT_EQ(songs, 77);
        EXPECT_EQ(start, 77);
        EXPECT_FALSE(static_cast<bool>(f->SaveDefaultSidSong(bad, 1)));
    }
    EXPECT_EQ(differences(before, snapshot(sandbox)), std::vector<std::string>{})
        << "reading or failing to save creates nothing";
}

TEST_F(SidInput, SaveChangesTheTwoBytesOfTheNamedFileOrNothing) {
    const auto startSong = [](const fs::path& p) { return contentOf(p).substr(16, 2); };
    for (const Hostile& h : hostileNames) {
        const fs::path file = write("save/" + h.name + ".sid", tune());
        const Tree before = snapshot(sandbox);
        EXPECT_TRUE(static_cast<bool>(f->SaveDefaultSidSong(u16(file), 256))) << h.name;
        EXPECT_EQ(startSong(file), "\x01\x00"s);
        EXPECT_EQ(differences(before, snapshot(sandbox)),
                  std::vector<std::string>{"save/" + h.name + ".sid"});
    }
    const fs::path plain = write("save/plain.sid", tune());
    const fs::path readOnly = write("save/read-only.sid", tune());
    fs::permissions(readOnly, fs::perms::owner_read);
    fs::create_symlink("read-only.sid", sandbox / "save/link-to-read-only.sid");
    write("save/short.sid", tune().substr(0, 117));
    write("save/not-psid.sid", "RSID" + tune().substr(4));
    const Tree before = snapshot(sandbox);
    for (const std::int16_t song : {-1, 257, 32767, -32768})
        EXPECT_FALSE(static_cast<bool>(f->SaveDefaultSidSong(u16(plain), song))) << song;
    for (const char* name : {"save/read-only.sid", "save/link-to-read-only.sid", "save/short.sid",
                             "save/not-psid.sid", "save/PLAIN.SID"})
        EXPECT_FALSE(static_cast<bool>(f->SaveDefaultSidSong(u16(sandbox / name), 2))) << name;
    EXPECT_EQ(differences(before, snapshot(sandbox)), std::vector<std::string>{});

    // Through a link, the tune it points to is the one saved.
    fs::create_symlink("plain.sid", sandbox / "save/link.sid");
    EXPECT_TRUE(static_cast<bool>(f->SaveDefaultSidSong(u16(sandbox / "save/link.sid"), 9)));
    EXPECT_EQ(startSong(plain), "\x00\x09"s);
}

TEST_F(SidInput, ANameNoFileCanHaveSavesAndReadsNoOtherFile) {
    const fs::path other = write("sid/\xEF\xBF\xBD.sid", tune());
    const fs::path plain = write("sid/plain.sid", tune());
    const String folder = u16(sandbox / "sid");
    const Tree before = snapshot(sandbox);
    for (const String& name :
         {folder + u"/\xD800.sid"s, folder + u"/\xDBFF.sid"s, folder + u"/plain.sid\0.bak"s}) {
        EXPECT_FALSE(static_cast<bool>(f->SaveDefaultSidSong(name, 1))) << toUtf8(name);
        std::int16_t songs = 0, start = 0;
        EXPECT_FALSE(static_cast<bool>(f->GetSidSongInfo(name, songs, start)));
        EXPECT_EQ(f->GetSidAuthor(name), u"");
    }
    EXPECT_EQ(differences(before, snapshot(sandbox)), nothingChanged);
}

}  // namespace
}  // namespace tarnwick
