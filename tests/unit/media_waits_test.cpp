// The CD-ROM, folder and file waits: exact prompts, passes, the only ways out.
#include <gtest/gtest.h>

#include "support/fake_platform.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using testing::FakePlatform;

// A Linux mount point is shown as given; a wait for Null fails before any prompt.
TEST(Waits, TestFirstThenPromptUntilTheTestHoldsOrCancel) {
    const String d = u"Insert CD: 'GAMES' into Drive D:", o = u"Insert CD: 'Games' into Drive D:",
                 p = u"Insert the CD for Path: 'D:\\GAMES'",
                 g = u"Insert the CD for File: 'D:\\G.D64'";
    const Variant path = u"D:\\GAMES", file = u"D:\\G.D64", null = Variant::null();
    const struct {
        char wait;  // for the CD-ROM (with a label), a path or a file
        Variant where;
        String label;
        std::vector<std::int32_t> answers;  // Cancel once they run out
        int arrivesInPass;                  // 0: never
        int result;                         // -1 True, 0 False, 1 an error
        std::vector<String> prompts;
    } rows[] = {// clang-format off
        {'d', u"d:", u"GAMES", {}, 1, -1, {}}, {'d', u"d:", u"GAMES", {answers::Ok, 7}, 3, -1, {d, d}},
        {'d', u"d:", u"Games", {answers::Ok}, 1, 0, {o, o}}, {'d', u"d:", u"GAMES", {}, 0, 0, {d}},
        {'d', u"E:", u"", {}, 0, -1, {}}, {'d', u"/media/Cdrom", u"M", {}, 0, 0, {u"Insert CD: 'M' into Drive /media/Cdrom"}},
        {'p', path, u"", {}, 1, -1, {}}, {'p', path, u"", {1, 1, 1}, 0, 0, {p, p, p, p}}, {'p', path, u"", {1}, 2, -1, {p}},
        {'p', std::int32_t{42}, u"", {}, 0, 0, {u"Insert the CD for Path: '42'"}}, {'p', null, u"", {}, 0, 1, {}},
        {'f', file, u"", {answers::Ok}, 0, 0, {g, g}}, {'f', file, u"", {answers::Ok}, 2, -1, {g}}, {'f', null, u"", {}, 0, 1, {}}};  // clang-format on
    for (const auto& row : rows) {
        SCOPED_TRACE(row.wait + std::string(" row ") + std::to_string(&row - rows));
        FakePlatform host(row.label == u"M" ? u'/' : u'\\');
        host.boxAnswers = row.answers;
        host.onYield = [&](int pass) {
            if (pass != row.arrivesInPass) return;
            host.volumeLabels[u"d:\\"] = u"GAMES";
            host.directories = {u"D:\\GAMES"};
            host.existenceCodes[u"D:\\G.D64"] = 0;
        };
        twFunctions f(host);
        int result = 1;
        try {
            result = row.wait == 'd'   ? f.WaitForCDRom(row.where.toString(), row.label).raw()
                     : row.wait == 'p' ? f.WaitForCDRomPath(row.where).raw()
                                       : f.WaitForCDRomFile(row.where).raw();
        } catch (const Error&) {
        }
        EXPECT_EQ(result, row.result);
        std::vector<String> prompts;  // a box of another style or caption is marked
        for (const auto& box : host.boxes)
            prompts.push_back(box.prompt +
                              (box.style == 1 && box.caption == u"ravelstone" ? u"" : u"?"));
        EXPECT_EQ(prompts, row.prompts) << "only the wait's own prompts";
        EXPECT_EQ(host.yields, static_cast<int>(prompts.size()) + (row.result != 0));
    }
}

// A host's handlers are asked instead of the platform's box and yield.
TEST(Waits, InstalledHandlersComeBeforeThePlatform) {
    FakePlatform host;
    std::string asked;
    int yields = 0;
    setMessageBoxHandler([&](const String& prompt, std::int32_t, const String&) {
        asked += toUtf8(prompt);
        return answers::Cancel;
    });
    setYieldHandler([&] { ++yields; });
    const Boolean found = twFunctions(host).WaitForCDRomPath(Variant(u"D:\\GAMES"));
    setMessageBoxHandler(nullptr);
    setYieldHandler(nullptr);
    EXPECT_EQ(asked + " " + std::to_string(yields) + std::to_string(found.raw()) +
                  std::to_string(host.boxes.size() + host.yields),
              "Insert the CD for Path: 'D:\\GAMES' 100");
}

}  // namespace
}  // namespace tarnwick
