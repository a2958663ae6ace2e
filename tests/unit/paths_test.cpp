// Path splitting, short forms, drive types and existence tests, on a
// platform that plays Windows (and, where the separator matters, Linux).
#include <gtest/gtest.h>

#include "support/fake_platform.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using testing::FakePlatform;

struct Split {
    String path, file;
};
Split split(twFunctions& f, const String& input) {
    Split s{u"old path", u"old file"};
    f.GetFileAndPath(input, s.path, s.file);
    return s;
}

TEST(GetFileAndPath, SplitsAtTheLastBackslash) {
    FakePlatform windows;
    twFunctions f(windows);
    const auto check = [&](const String& in, const String& dir, const String& file) {
        const Split s = split(f, in);
        EXPECT_EQ(s.path, dir) << toUtf8(in);
        EXPECT_EQ(s.file, file) << toUtf8(in);
    };
    check(u"C:\\Games\\game.d64", u"C:\\Games", u"game.d64");
    check(u"C:\\emu.exe", u"C:", u"emu.exe");
    check(u"emu.exe", u"", u"emu.exe");
    check(u"a/b/emu.exe", u"", u"a/b/emu.exe");  // a slash is an ordinary character
    check(u"C:\\Games\\", u"C:\\Games", u"");
    check(u"\\", u"", u"");
    check(u"", u"", u"");
    check(u"\\\\server\\share\\emu.exe", u"\\\\server\\share", u"emu.exe");
}

TEST(GetFileAndPath, UsesThePlatformsSeparator) {
    FakePlatform unixLike(u'/');
    twFunctions f(unixLike);
    const Split s = split(f, u"/home/ann/My Emus/frodo");
    EXPECT_EQ(s.path, u"/home/ann/My Emus");
    EXPECT_EQ(s.file, u"frodo");
    EXPECT_EQ(split(f, u"C:\\x").file, u"C:\\x");
    EXPECT_EQ(f.JustFileName(u"/music/tune.sid"), u"tune.sid");
}

TEST(GetFileAndPath, OverflowsPastTheSixteenBitCounterOnlyWithABackslash) {
    FakePlatform windows;
    twFunctions f(windows);
    const String longest = u"C:\\" + String(32764, u'x');  // 32,767 characters
    EXPECT_EQ(split(f, longest).file.size(), 32764u);

    String path = u"old", file = u"old";
    try {
        f.GetFileAndPath(longest + u"y", path, file);
        FAIL() << "a path of 32,768 characters overflows";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 6);
        EXPECT_EQ(e.description(), u"Overflow");
    }
    // The outputs were cleared before the counter overflowed.
    EXPECT_EQ(path, u"");
    EXPECT_EQ(file, u"");

    const String noSeparator(40000, u'x');
    EXPECT_EQ(split(f, noSeparator).file, noSeparator);
}

TEST(JustFileName, TakesThePartAfterTheLastBackslash) {
    FakePlatform windows;
    twFunctions f(windows);
    EXPECT_EQ(f.JustFileName(u"C:\\Games\\game.d64"), u"game.d64");
    EXPECT_EQ(f.JustFileName(u"game.d64"), u"game.d64");
    EXPECT_EQ(f.JustFileName(u"C:\\Games\\"), u"");
    EXPECT_EQ(f.JustFileName(u""), u"");
    EXPECT_EQ(f.JustFileName(String(32767, u'x')).size(), 32767u);
    // The length is taken first, for every input.
    EXPECT_THROW(f.JustFileName(String(32768, u'x')), Error);
}

TEST(Long2Short, AsksThePlatformWithABlankArea) {
    FakePlatform windows;
    windows.shortNames[u"C:\\Program Files\\Emu\\emu.exe"] = u"C:\\PROGRA~1\\Emu\\emu.exe";
    twFunctions f(windows);
    EXPECT_EQ(f.Long2Short(u"C:\\Program Files\\Emu\\emu.exe"), u"C:\\PROGRA~1\\Emu\\emu.exe");
    EXPECT_EQ(windows.calls.back(), "shortPathName C:\\Program Files\\Emu\\emu.exe area 256");

    EXPECT_EQ(f.Long2Short(u"C:\\missing"), u"");
    windows.calls.clear();
    EXPECT_EQ(f.Long2Short(u""), u"");
    EXPECT_TRUE(windows.calls.empty()) << "an empty path is not handed to the platform";
}

TEST(Long2Short, AsksAgainWhenTheShortFormDoesNotFit) {
    FakePlatform windows;
    const String deep = u"C:\\" + String(300, u'D') + u"\\game.d64";
    windows.shortNames[deep] = deep;  // no shorter form exists
    twFunctions f(windows);
    EXPECT_EQ(f.Long2Short(deep), deep);
    ASSERT_EQ(windows.calls.size(), 2u);
    EXPECT_EQ(windows.calls[1],
              "shortPathName " + toUtf8(deep) + " area " + std::to_string(deep.size() + 1));
}

TEST(DriveTypeIsCDRom, AppendsASeparatorAndCountsMissingRootsAsCdRom) {
    FakePlatform windows;
    windows.driveTypes[u"D:\\"] = 5;
    windows.driveTypes[u"E:\\"] = 1;
    windows.driveTypes[u"D:\\\\"] = 5;
    twFunctions f(windows);
    EXPECT_TRUE(static_cast<bool>(f.DriveTypeIsCDRom(u"D:")));
    EXPECT_EQ(windows.calls.back(), "driveType D:\\");
    EXPECT_TRUE(static_cast<bool>(f.DriveTypeIsCDRom(u"E:")));
    EXPECT_FALSE(static_cast<bool>(f.DriveTypeIsCDRom(u"C:")));
    EXPECT_TRUE(static_cast<bool>(f.DriveTypeIsCDRom(u"D:\\")));
    EXPECT_EQ(windows.calls.back(), "driveType D:\\\\");
    for (const std::int32_t other : {0, 2, 3, 4, 6, 99}) {
        windows.driveTypes[u"F:\\"] = other;
        EXPECT_FALSE(static_cast<bool>(f.DriveTypeIsCDRom(u"F:"))) << other;
    }
    EXPECT_EQ(f.DriveTypeIsCDRom(u"D:").raw(), -1);
}

TEST(FileExists, JudgesByTheExistenceCodeAndTellsWhy) {
    FakePlatform windows;
    windows.existenceCodes[u"C:\\here.d64"] = 0;
    windows.existenceCodes[u"C:\\gone.d64"] = 2;
    windows.existenceCodes[u"C:\\No\\x.d64"] = 3;
    windows.existenceCodes[u"C:\\locked.d64"] = 5;
    windows.existenceCodes[u"C:\\odd.d64"] = 32;  // sharing violation: present
    twFunctions f(windows);

    EXPECT_TRUE(static_cast<bool>(f.FileExists(u"C:\\here.d64", true, u"Cap")));
    EXPECT_TRUE(static_cast<bool>(f.FileExists(u"C:\\odd.d64", true, u"Cap")));
    EXPECT_TRUE(windows.boxes.empty());

    EXPECT_FALSE(static_cast<bool>(f.FileExists(u"C:\\gone.d64", true, u"Cap")));
    EXPECT_FALSE(static_cast<bool>(f.FileExists(u"C:\\No\\x.d64", true, u"Cap")));
    EXPECT_FALSE(static_cast<bool>(f.FileExists(u"C:\\locked.d64", true, u"Cap")));
    ASSERT_EQ(windows.boxes.size(), 3u);
    EXPECT_EQ(windows.boxes[0].prompt, u"FILE NOT FOUND: C:\\gone.d64");
    EXPECT_EQ(windows.boxes[1].prompt, u"PATH NOT FOUND: C:\\No\\x.d64");
    EXPECT_EQ(windows.boxes[2].prompt, u"Device Not Ready for C:\\locked.d64");
    for (const auto& box : windows.boxes) {
        EXPECT_EQ(box.style, 48);
        EXPECT_EQ(box.caption, u"Cap");
    }
}

TEST(FileExists, ShowsABoxOnlyForTheExactTrueValue) {
    FakePlatform windows;
    twFunctions f(windows);
    EXPECT_FALSE(static_cast<bool>(f.FileExists(u"C:\\gone", Boolean::fromRaw(1), u"")));
    EXPECT_FALSE(static_cast<bool>(f.FileExists(u"C:\\gone", false, u"")));
    EXPECT_TRUE(windows.boxes.empty());

    windows.calls.clear();
    EXPECT_FALSE(static_cast<bool>(f.FileExists(u"", false, u"")));
    EXPECT_TRUE(windows.calls.empty()) << "an empty name asks nothing";
    EXPECT_FALSE(static_cast<bool>(f.FileExists(u"", true, u"Title")));
    ASSERT_EQ(windows.boxes.size(), 1u);
    EXPECT_EQ(windows.boxes[0].prompt, u"FILE NOT FOUND: NO FILENAME PASSED!");
    EXPECT_EQ(windows.boxes[0].caption, u"Title");
}

TEST(DirExists, ChangesDirectoryOrAnswersFalse) {
    FakePlatform windows;
    windows.directories = {u"C:\\Games"};
    twFunctions f(windows);
    EXPECT_TRUE(static_cast<bool>(f.DirExists(u"C:\\Games")));
    EXPECT_EQ(windows.current, u"C:\\Games");
    EXPECT_FALSE(static_cast<bool>(f.DirExists(u"C:\\Missing")));
    EXPECT_EQ(windows.current, u"C:\\Games");
}

}  // namespace
}  // namespace tarnwick
