// The volume label and the CD-ROM, folder and file waits, with scripted
// labels, folders and message-box answers: the exact prompts, the passes,
// and the only ways out.
#include <gtest/gtest.h>

#include "support/fake_platform.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using testing::FakePlatform;

TEST(GetVolumeName, AsksForTheRootAndTrimsAtTheTerminator) {
    const struct {
        char16_t separator;
        String drive, root, label, expected;
    } rows[] = {// clang-format off
        {u'\\', u"D:", u"D:\\", u"GAMES", u"GAMES"}, {u'\\', u"E:", u"E:\\", u"", u""},
        {u'\\', u"F:", u"F:\\", u"   ", u"   "},  // blanks are a label, not "no volume"
        {u'\\', u"G:", u"G:\\", String(200, u'L'), String(127, u'L')},  // 127 and a NUL
        {u'/', u"/media/cdrom", u"/media/cdrom/", u"Gä mes", u"Gä mes"}};
    // clang-format on
    for (const auto& row : rows) {
        FakePlatform p(row.separator);
        p.volumeLabels[row.root] = row.label;
        twFunctions f(p);
        EXPECT_EQ(f.GetVolumeName(row.drive), row.expected) << toUtf8(row.drive);
        EXPECT_EQ(p.calls.back(), "volumeInformation " + toUtf8(row.root) + " buffer 128");
        EXPECT_EQ(f.GetVolumeName(u"Z:"), u"") << "the buffer came back untouched";
    }
}

TEST(Waits, TestFirstThenPromptUntilTheTestHoldsOrCancel) {
    using Call = std::function<Boolean(twFunctions&)>;
    const Call discGames = [](twFunctions& f) { return f.WaitForCDRom(u"d:", u"GAMES"); };
    const Call path = [](twFunctions& f) { return f.WaitForCDRomPath(Variant(u"D:\\GAMES")); };
    const Call file = [](twFunctions& f) { return f.WaitForCDRomFile(Variant(u"D:\\G.D64")); };
    const String disc = u"Insert CD: 'GAMES' into Drive D:";
    const String folder = u"Insert the CD for Path: 'D:\\GAMES'";
    const String game = u"Insert the CD for File: 'D:\\G.D64'";
    const struct {
        const char* name;
        char16_t separator = u'\\';
        Call call;
        std::vector<std::int32_t> answers;  // Cancel once they run out
        int arrivesInPass;                  // 0: never
        bool result;
        std::vector<String> prompts;
    } rows[] = {
        {"disc there", u'\\', discGames, {}, 1, true, {}},
        {"disc arrives", u'\\', discGames, {answers::Ok, 7}, 3, true, {disc, disc}},
        {"other label",
         u'\\',
         [](twFunctions& f) { return f.WaitForCDRom(u"d:", u"Games"); },
         {answers::Ok},
         1,
         false,
         std::vector<String>(2, u"Insert CD: 'Games' into Drive D:")},
        {"no disc", u'\\', discGames, {}, 0, false, {disc}},
        {"empty name, no disc",
         u'\\',
         [](twFunctions& f) { return f.WaitForCDRom(u"E:", u""); },
         {},
         0,
         true,
         {}},
        {"mount point as given",
         u'/',
         [](twFunctions& f) { return f.WaitForCDRom(u"/media/Cdrom", u"M"); },
         {},
         0,
         false,
         {u"Insert CD: 'M' into Drive /media/Cdrom"}},
        {"folder there", u'\\', path, {}, 1, true, {}},
        {"folder never", u'\\', path, {1, 1, 1}, 0, false, std::vector<String>(4, folder)},
        {"folder arrives", u'\\', path, {1}, 2, true, {folder}},
        {"number as path",
         u'\\',
         [](twFunctions& f) { return f.WaitForCDRomPath(Variant(std::int32_t{42})); },
         {},
         0,
         false,
         {u"Insert the CD for Path: '42'"}},
        {"file never", u'\\', file, {answers::Ok}, 0, false, {game, game}},
        {"file arrives", u'\\', file, {answers::Ok}, 2, true, {game}},
    };
    for (const auto& row : rows) {
        FakePlatform p(row.separator);
        p.boxAnswers = row.answers;
        p.onYield = [&](int pass) {
            if (pass != row.arrivesInPass) return;
            p.volumeLabels[u"d:\\"] = u"GAMES";
            p.directories = {u"D:\\GAMES"};
            p.existenceCodes[u"D:\\G.D64"] = 0;
        };
        twFunctions f(p);
        EXPECT_EQ(row.call(f), Boolean(row.result)) << row.name;
        std::vector<String> prompts;
        for (const auto& box : p.boxes) {
            EXPECT_EQ(box.style, 1) << row.name << ": OK and Cancel, no icon";
            EXPECT_EQ(box.caption, u"ravelstone") << row.name;
            prompts.push_back(box.prompt);
        }
        EXPECT_EQ(prompts, row.prompts) << row.name << ": only the wait's own prompts";
        EXPECT_EQ(p.yields, static_cast<int>(prompts.size()) + row.result) << row.name;
        if (row.result && row.call.target_type() == path.target_type()) {
            EXPECT_EQ(p.current, u"D:\\GAMES") << "the folder found is current";
        }
    }
}

TEST(Waits, NullIsNoPathAndFailsBeforeAnyPrompt) {
    FakePlatform p;
    twFunctions f(p);
    for (const auto wait : {&twFunctions::WaitForCDRomPath, &twFunctions::WaitForCDRomFile}) {
        try {
            (f.*wait)(Variant::null());
            ADD_FAILURE() << "Null was taken for a path";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), errors::InvalidUseOfNull);
        }
    }
    EXPECT_TRUE(p.boxes.empty());
}

}  // namespace
}  // namespace tarnwick
