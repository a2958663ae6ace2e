// Path splitting, short forms, drive types and existence tests on the
// scripted platform; and methods whose in and out texts may be one string.
#include <gtest/gtest.h>

#include "support/fake_platform.h"
#include "support/psid_bytes.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using testing::FakePlatform;

// Each row also passes its input as an output. Past 32,767 characters with a
// separator: Overflow, both outputs cleared first; with none, no limit.
TEST(GetFileAndPath, SplitsAtTheLastSeparatorOfThePlatform) {
    const std::tuple<char16_t, String, String, String> rows[] = {
        // clang-format off
        {u'\\', u"C:\\Games\\game.d64", u"C:\\Games", u"game.d64"}, {u'\\', u"emu.exe", u"", u"emu.exe"},
        {u'\\', u"a/b/emu.exe", u"", u"a/b/emu.exe"}, {u'\\', u"C:\\Games\\", u"C:\\Games", u""},
        {u'/', u"/home/ann/My Emus/frodo", u"/home/ann/My Emus", u"frodo"}, {u'/', u"C:\\x", u"", u"C:\\x"},
        {u'\\', u"C:\\" + String(32764, u'x'), u"C:", String(32764, u'x')},  // 32,767 characters
        {u'\\', u"C:\\" + String(32765, u'x'), u"", u""},  // one more: overflow
        {u'\\', String(40000, u'x'), u"", String(40000, u'x')}};  // clang-format on
    for (const auto& [separator, in, path, file] : rows) {
        SCOPED_TRACE(toUtf8(in).substr(0, 30));
        FakePlatform platform(separator);
        twFunctions f(platform);
        String p = u"old", n = u"old", a = in, b = in;
        try {
            f.GetFileAndPath(in, p, n);
            f.GetFileAndPath(a, a, n);
            f.GetFileAndPath(b, p, b);
            EXPECT_EQ(f.JustFileName(in) + u"|" + a + u"|" + b, file + u"|" + path + u"|" + file);
            EXPECT_LE(in.size(), 32767u) << "no overflow";
        } catch (const Error& e) {
            EXPECT_TRUE(e.number() == errors::Overflow && in.size() > 32767);
        }
        EXPECT_EQ(p + u"|" + n, path + u"|" + file);
    }
}

// Short forms retried with the room named; a missing root counts as a CD-ROM;
// existence codes 2, 3, 5 say why a file is missing (in a box only for True).
TEST(PlatformQuestions, AskedAsGivenAndAnsweredByTheirCodes) {
    FakePlatform windows;
    const String x = u"C:\\x", notFound = u"FILE NOT FOUND: ", pf = u"C:\\Program Files\\emu.exe",
                 deep = u"C:\\" + String(300, u'D') + u"\\game.d64";
    windows.shortNames = {{pf, u"C:\\PROGRA~1\\emu.exe"}, {deep, deep}};  // deep: no shorter form
    twFunctions f(windows);
    EXPECT_EQ(f.Long2Short(pf) + u"|" + f.Long2Short(deep) + f.Long2Short(u""),
              u"C:\\PROGRA~1\\emu.exe|" + deep);
    const std::tuple<String, std::int32_t, Boolean, String> rows[] = {
        // clang-format off
        {x, 0, true, u""}, {x, 32, true, u""}, {x, 2, true, notFound + x}, {x, 3, true, u"PATH NOT FOUND: " + x},
        {x, 5, true, u"Device Not Ready for " + x}, {u"", 0, true, notFound + u"NO FILENAME PASSED!"},
        {x, 2, false, u"-"}, {x, 2, Boolean::fromRaw(1), u"-"}};  // clang-format on
    for (const auto& [name, code, show, prompt] : rows) {
        windows.existenceCodes[x] = code, windows.boxes.clear();
        EXPECT_EQ(f.FileExists(name, show, u"Cap"), Boolean(prompt.empty())) << code;
        String shown;
        for (const auto& box : windows.boxes)
            shown += box.prompt +
                     (box.style == box_styles::Exclamation && box.caption == u"Cap" ? u"" : u"?");
        EXPECT_EQ(shown, prompt == u"-" ? u"" : prompt);
    }
    for (const std::int32_t code : {0, 1, 2, 3, 4, 5, 6, 99}) {
        windows.driveTypes[u"D:\\"] = code;
        EXPECT_EQ(f.DriveTypeIsCDRom(u"D:"), Boolean(code == 5 || code == 1)) << code;
    }
}

// Storing into an output never changes an input passed as the same string.
TEST(InParameters, AreReadAsPassedWhenTheSameStringIsAlsoAnOutput) {
    FakePlatform p;
    twFunctions f(p);
    p.files[u"C:\\t.sid"] = testing::psidHeader(3, 2, "Name", "Author", "(C)");
    std::int16_t songs = 0, start = 0;
    String a = u"C:\\t.sid", b = a, c = a, x, y;
    EXPECT_TRUE(f.GetSidInfo(a, a, x, y, songs, start) && f.GetSidInfo(b, x, b, y, songs, start) &&
                f.GetSidInfo(c, x, y, c, songs, start));
    EXPECT_EQ(String(a.c_str()) + b.c_str() + c.c_str(), u"NameAuthor(C)");

    twRegistry r(p);
    ASSERT_TRUE(r.SaveSetting(u"HKEY_CURRENT_USER", u"K", u"V", u"text", true));
    p.registryFailure[FakePlatform::Data] = registry_status::MoreData;
    Variant v = u"--DONT-SET--";
    EXPECT_TRUE(r.GetSetting(u"HKEY_CURRENT_USER", u"K", u"V", v, true, v));
    EXPECT_EQ(v, Variant(u"--NOT-FOUND--"));
}

}  // namespace
}  // namespace tarnwick
