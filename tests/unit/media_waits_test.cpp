// The CD-ROM, folder and file waits, with scripted labels, folders and
// message-box answers: the exact prompts, the passes, and the only ways out.
#include <gtest/gtest.h>

#include "support/fake_platform.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using testing::FakePlatform;

TEST(Waits, TestFirstThenPromptUntilTheTestHoldsOrCancel) {
    using Call = std::function<Boolean(twFunctions&)>;
    const auto disc = [](String drive, String name) -> Call {
        return [=](twFunctions& f) { return f.WaitForCDRom(drive, name); };
    };
    const auto path = [](Variant v) -> Call {
        return [=](twFunctions& f) { return f.WaitForCDRomPath(v); };
    };
    const Call file = [](twFunctions& f) { return f.WaitForCDRomFile(Variant(u"D:\\G.D64")); };
    const String d = u"Insert CD: 'GAMES' into Drive D:", o = u"Insert CD: 'Games' into Drive D:",
                 p = u"Insert the CD for Path: 'D:\\GAMES'",
                 g = u"Insert the CD for File: 'D:\\G.D64'";
    const struct {
        const char* name;
        char16_t separator;
        Call call;
        std::vector<std::int32_t> answers;  // Cancel once they run out
        int arrivesInPass;                  // 0: never
        bool result;
        std::vector<String> prompts;
    } rows[] = {// clang-format off
        {"disc there", u'\\', disc(u"d:", u"GAMES"), {}, 1, true, {}},
        {"disc arrives", u'\\', disc(u"d:", u"GAMES"), {answers::Ok, 7}, 3, true, {d, d}},
        {"other label", u'\\', disc(u"d:", u"Games"), {answers::Ok}, 1, false, {o, o}},
        {"no disc", u'\\', disc(u"d:", u"GAMES"), {}, 0, false, {d}},
        {"empty name, no disc", u'\\', disc(u"E:", u""), {}, 0, true, {}},
        {"mount point as given", u'/', disc(u"/media/Cdrom", u"M"), {}, 0, false,
         {u"Insert CD: 'M' into Drive /media/Cdrom"}},
        {"folder there", u'\\', path(u"D:\\GAMES"), {}, 1, true, {}},
        {"folder never", u'\\', path(u"D:\\GAMES"), {1, 1, 1}, 0, false, {p, p, p, p}},
        {"folder arrives", u'\\', path(u"D:\\GAMES"), {1}, 2, true, {p}},
        {"number as path", u'\\', path(std::int32_t{42}), {}, 0, false, {u"Insert the CD for Path: '42'"}},
        {"file never", u'\\', file, {answers::Ok}, 0, false, {g, g}},
        {"file arrives", u'\\', file, {answers::Ok}, 2, true, {g}}};
    // clang-format on
    for (const auto& row : rows) {
        FakePlatform host(row.separator);
        host.boxAnswers = row.answers;
        host.onYield = [&](int pass) {
            if (pass != row.arrivesInPass) return;
            host.volumeLabels[u"d:\\"] = u"GAMES";
            host.directories = {u"D:\\GAMES"};
            host.existenceCodes[u"D:\\G.D64"] = 0;
        };
        twFunctions f(host);
        EXPECT_EQ(row.call(f), Boolean(row.result)) << row.name;
        std::vector<String> prompts;
        for (const auto& box : host.boxes) {
            EXPECT_TRUE(box.style == 1 && box.caption == u"ravelstone") << row.name;
            prompts.push_back(box.prompt);
        }
        EXPECT_EQ(prompts, row.prompts) << row.name << ": only the wait's own prompts";
        EXPECT_EQ(host.yields, static_cast<int>(prompts.size()) + row.result) << row.name;
    }
    FakePlatform host;
    twFunctions f(host);
    EXPECT_THROW(f.WaitForCDRomPath(Variant::null()), Error);
    EXPECT_THROW(f.WaitForCDRomFile(Variant::null()), Error);
    EXPECT_TRUE(host.boxes.empty()) << "Null is no path: the wait fails before any prompt";
}

}  // namespace
}  // namespace tarnwick
