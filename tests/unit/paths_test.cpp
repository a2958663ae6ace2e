// Path splitting, short forms, drive types and existence tests on a
// platform that plays Windows (and, where the separator matters, Linux);
// and every public method whose in and out texts may be one string.
#include <gtest/gtest.h>

#include "support/fake_platform.h"
#include "support/psid_bytes.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using testing::FakePlatform;

TEST(GetFileAndPath, SplitsAtTheLastSeparatorOfThePlatform) {
    const struct {
        char16_t separator;
        String in, path, file;
    } rows[] = {
        // clang-format off
        {u'\\', u"C:\\Games\\game.d64", u"C:\\Games", u"game.d64"}, {u'\\', u"C:\\emu.exe", u"C:", u"emu.exe"},
        {u'\\', u"emu.exe", u"", u"emu.exe"}, {u'\\', u"a/b/emu.exe", u"", u"a/b/emu.exe"},
        {u'\\', u"C:\\Games\\", u"C:\\Games", u""}, {u'\\', u"\\", u"", u""}, {u'\\', u"", u"", u""},
        {u'\\', u"\\\\server\\share\\emu.exe", u"\\\\server\\share", u"emu.exe"},
        {u'/', u"/home/ann/My Emus/frodo", u"/home/ann/My Emus", u"frodo"}, {u'/', u"C:\\x", u"", u"C:\\x"},
        {u'\\', u"C:\\" + String(32764, u'x'), u"C:", String(32764, u'x')},  // 32,767 characters
        {u'\\', String(40000, u'x'), u"", String(40000, u'x')}};  // no separator, no counter
    // clang-format on
    for (const auto& row : rows) {
        FakePlatform platform(row.separator);
        twFunctions f(platform);
        String path = u"old", file = u"old";
        f.GetFileAndPath(row.in, path, file);
        EXPECT_EQ(path, row.path) << toUtf8(row.in).substr(0, 40);
        EXPECT_EQ(file, row.file) << toUtf8(row.in).substr(0, 40);
        if (row.in.size() < 32768) {
            EXPECT_EQ(f.JustFileName(row.in), row.file);
        }
    }
}

TEST(GetFileAndPath, OverflowsTheSixteenBitCounterOnlyWithASeparator) {
    FakePlatform windows;
    twFunctions f(windows);
    String path = u"old", file = u"old";
    try {
        f.GetFileAndPath(u"C:\\" + String(32765, u'x'), path, file);
        FAIL() << "a path of 32,768 characters overflows";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), errors::Overflow);
    }
    EXPECT_EQ(path + file, u"") << "both outputs were cleared before the counter overflowed";
    // JustFileName takes the length first, for every input.
    EXPECT_THROW(f.JustFileName(String(32768, u'x')), Error);
}

TEST(Long2Short, AsksWithABlankAreaAndAgainWhenTheFormDoesNotFit) {
    FakePlatform windows;
    const String deep = u"C:\\" + String(300, u'D') + u"\\game.d64";
    windows.shortNames[u"C:\\Program Files\\emu.exe"] = u"C:\\PROGRA~1\\emu.exe";
    windows.shortNames[deep] = deep;  // no shorter form exists
    twFunctions f(windows);
    EXPECT_EQ(f.Long2Short(u"C:\\Program Files\\emu.exe"), u"C:\\PROGRA~1\\emu.exe");
    EXPECT_EQ(windows.calls.back(), "shortPathName C:\\Program Files\\emu.exe area 256");
    EXPECT_EQ(f.Long2Short(deep), deep);
    EXPECT_EQ(windows.calls.back(), "shortPathName " + toUtf8(deep) + " area 313");
    EXPECT_EQ(f.Long2Short(u"C:\\missing"), u"");
    windows.calls.clear();
    EXPECT_EQ(f.Long2Short(u""), u"");
    EXPECT_TRUE(windows.calls.empty()) << "an empty path is not handed to the platform";
}

TEST(DriveTypeIsCDRom, AppendsASeparatorAndCountsMissingRootsAsCdRom) {
    for (const std::int32_t code : {0, 1, 2, 3, 4, 5, 6, 99}) {
        FakePlatform windows;
        windows.driveTypes[u"D:\\"] = windows.driveTypes[u"E:\\\\"] = code;
        twFunctions f(windows);
        EXPECT_EQ(f.DriveTypeIsCDRom(u"D:"), Boolean(code == 5 || code == 1)) << code;
        EXPECT_EQ(f.DriveTypeIsCDRom(u"E:\\"), Boolean(code == 5 || code == 1)) << code;
    }
}

TEST(FileExists, JudgesByTheExistenceCodeAndTellsWhyOnlyForTheExactTrue) {
    const struct {
        std::int32_t code;
        bool exists;
        String prompt;
    } rows[] = {{0, true, u""},
                {32, true, u""},  // a sharing violation: the file is there
                {2, false, u"FILE NOT FOUND: C:\\x"},
                {3, false, u"PATH NOT FOUND: C:\\x"},
                {5, false, u"Device Not Ready for C:\\x"}};
    for (const auto& row : rows) {
        FakePlatform windows;
        windows.existenceCodes[u"C:\\x"] = row.code;
        twFunctions f(windows);
        EXPECT_EQ(f.FileExists(u"C:\\x", Boolean::fromRaw(1), u"Cap"), Boolean(row.exists));
        EXPECT_EQ(f.FileExists(u"C:\\x", true, u"Cap"), Boolean(row.exists)) << row.code;
        ASSERT_EQ(windows.boxes.size(), row.prompt.empty() ? 0u : 1u) << row.code;
        if (row.prompt.empty()) continue;
        EXPECT_EQ(windows.boxes[0].prompt, row.prompt);
        EXPECT_EQ(windows.boxes[0].style, 48);
        EXPECT_EQ(windows.boxes[0].caption, u"Cap");
    }
    FakePlatform windows;
    twFunctions f(windows);
    EXPECT_FALSE(f.FileExists(u"", false, u""));
    EXPECT_TRUE(windows.calls.empty()) << "an empty name asks nothing";
    EXPECT_FALSE(f.FileExists(u"", true, u"Title"));
    EXPECT_EQ(windows.boxes.at(0).prompt, u"FILE NOT FOUND: NO FILENAME PASSED!");
}

TEST(DirExists, ChangesDirectoryOrAnswersFalse) {
    FakePlatform windows;
    windows.directories = {u"C:\\Games"};
    twFunctions f(windows);
    EXPECT_TRUE(f.DirExists(u"C:\\Games"));
    EXPECT_FALSE(f.DirExists(u"C:\\Missing"));
    EXPECT_EQ(windows.current, u"C:\\Games");
}

// In parameters are values: whatever a method stores into its outputs never
// changes what it reads, even when the caller passes one string as both.
TEST(InParameters, AreReadAsPassedWhenTheSameStringIsAlsoAnOutput) {
    const struct {
        const char* name;
        std::function<void(FakePlatform&, twFunctions&)> run;
    } rows[] = {
        {"GetFileAndPath into its path",
         [](FakePlatform&, twFunctions& f) {
             String s = u"C:\\games\\game.d64", n;
             f.GetFileAndPath(s, s, n);
             EXPECT_EQ(s + u"|" + n, u"C:\\games|game.d64");
         }},
        {"GetFileAndPath into its file name",
         [](FakePlatform&, twFunctions& f) {
             String s = u"C:\\games\\game.d64", p;
             f.GetFileAndPath(s, p, s);
             EXPECT_EQ(p + u"|" + s, u"C:\\games|game.d64");
         }},
        {"GetSidInfo into each text",
         [](FakePlatform& p, twFunctions& f) {
             p.files[u"C:\\t.sid"] = testing::psidHeader(3, 2, "Name", "Author", "(C)");
             std::int16_t songs = 0, start = 0;
             String a = u"C:\\t.sid", b = a, c = a, x, y;
             EXPECT_TRUE(f.GetSidInfo(a, a, x, y, songs, start) &&
                         f.GetSidInfo(b, x, b, y, songs, start) &&
                         f.GetSidInfo(c, x, y, c, songs, start));
             EXPECT_EQ(String(a.c_str()) + b.c_str() + c.c_str(), u"NameAuthor(C)");
         }},
        {"FindFiles with its folder as the pattern",
         [](FakePlatform& p, twFunctions& f) {
             p.folders[u"game"] = {{u"game", 0, 7}};
             String s = u"game";
             EXPECT_EQ(f.FindFiles(s, s), Variant(std::int32_t(7)));
             EXPECT_EQ(s, u"game\\");
         }},
        {"GetSetting with its output as the default",
         [](FakePlatform& p, twFunctions&) {
             twRegistry r(p);
             ASSERT_TRUE(r.SaveSetting(u"HKEY_CURRENT_USER", u"K", u"V", u"text", true));
             p.registry.failure[testing::FakeRegistry::Data] = registry_status::MoreData;
             Variant v = u"--DONT-SET--";
             EXPECT_TRUE(r.GetSetting(u"HKEY_CURRENT_USER", u"K", u"V", v, true, v));
             EXPECT_EQ(v, Variant(u"--NOT-FOUND--"));
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FakePlatform windows;
        twFunctions f(windows);
        row.run(windows, f);
    }
}

}  // namespace
}  // namespace tarnwick
