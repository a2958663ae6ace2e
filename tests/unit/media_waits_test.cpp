// The volume label and the CD-ROM, folder and file waits, with scripted
// labels, folders and message-box answers: the exact prompts, the order of
// test, prompt and yield, and the only ways out.
#include <gtest/gtest.h>

#include "support/fake_platform.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using testing::FakePlatform;

std::vector<String> prompts(const FakePlatform& p) {
    std::vector<String> out;
    for (const auto& box : p.boxes) {
        EXPECT_EQ(box.style, 1) << "OK and Cancel, no icon";
        EXPECT_EQ(box.caption, u"ravelstone");
        out.push_back(box.prompt);
    }
    return out;
}

TEST(GetVolumeName, AsksForTheRootAndTrimsAtTheTerminator) {
    FakePlatform w;
    w.volumeLabels[u"D:\\"] = u"GAMES";
    twFunctions f(w);
    const String label = f.GetVolumeName(u"D:");
    EXPECT_EQ(label, u"GAMES");
    EXPECT_EQ(label.size(), 5u) << "no NUL or blank behind it";
    EXPECT_EQ(w.calls, std::vector<std::string>{"volumeInformation D:\\ buffer 128"});
}

TEST(GetVolumeName, NoVolumeAndNoLabelBothGiveTheEmptyString) {
    FakePlatform w;
    w.volumeLabels[u"E:\\"] = u"";
    twFunctions f(w);
    EXPECT_EQ(f.GetVolumeName(u"D:"), u"") << "the buffer came back untouched";
    EXPECT_EQ(f.GetVolumeName(u"E:"), u"") << "a volume without a label";
}

TEST(GetVolumeName, ALabelOfBlanksIsNotMistakenForNoVolume) {
    FakePlatform w;
    w.volumeLabels[u"F:\\"] = String(3, u' ');
    w.volumeLabels[u"G:\\"] = String(200, u'L');
    twFunctions f(w);
    EXPECT_EQ(f.GetVolumeName(u"F:"), u"   ");
    EXPECT_EQ(f.GetVolumeName(u"G:"), String(127, u'L')) << "the buffer holds 127 and a NUL";
}

TEST(GetVolumeName, UsesThePlatformsSeparatorOnLinux) {
    FakePlatform linux(u'/');
    linux.volumeLabels[u"/media/cdrom/"] = u"Gä mes";
    twFunctions f(linux);
    EXPECT_EQ(f.GetVolumeName(u"/media/cdrom"), u"Gä mes");
}

TEST(WaitForCDRom, TheRightDiscIsAcceptedWithoutAPrompt) {
    FakePlatform w;
    w.volumeLabels[u"D:\\"] = u"GAMES";
    twFunctions f(w);
    EXPECT_TRUE(static_cast<bool>(f.WaitForCDRom(u"D:", u"GAMES")));
    EXPECT_TRUE(w.boxes.empty());
    EXPECT_EQ(w.calls, (std::vector<std::string>{"yield", "volumeInformation D:\\ buffer 128"}));
}

TEST(WaitForCDRom, LabelsDifferingInCaseAreNotTheSameDisc) {
    FakePlatform w;
    w.volumeLabels[u"d:\\"] = u"GAMES";
    w.boxAnswers = {answers::Ok, 7, answers::Cancel};  // any answer but Cancel is OK
    twFunctions f(w);
    EXPECT_FALSE(static_cast<bool>(f.WaitForCDRom(u"d:", u"Games")));
    EXPECT_EQ(prompts(w), std::vector<String>(3, u"Insert CD: 'Games' into Drive D:"));
    EXPECT_EQ(w.yields, 3) << "one yield at the start of every pass";
}

TEST(WaitForCDRom, ADriveLetterIsShownInUpperCase) {
    FakePlatform w;
    twFunctions f(w);
    EXPECT_FALSE(static_cast<bool>(f.WaitForCDRom(u"e:", u"MUSIC")));
    EXPECT_EQ(prompts(w), std::vector<String>{u"Insert CD: 'MUSIC' into Drive E:"});
}

TEST(WaitForCDRom, AMountPointIsShownAsGivenWhereNamesKeepTheirCase) {
    FakePlatform linux(u'/');
    twFunctions f(linux);
    EXPECT_FALSE(static_cast<bool>(f.WaitForCDRom(u"/media/Cdrom", u"MUSIC")));
    EXPECT_EQ(prompts(linux), std::vector<String>{u"Insert CD: 'MUSIC' into Drive /media/Cdrom"});
}

TEST(WaitForCDRom, AnEmptyNameIsMetByAnEmptyDriveOrADiscWithoutLabel) {
    FakePlatform w;
    w.volumeLabels[u"E:\\"] = u"";
    twFunctions f(w);
    EXPECT_TRUE(static_cast<bool>(f.WaitForCDRom(u"D:", u"")));  // no disc at all
    EXPECT_TRUE(static_cast<bool>(f.WaitForCDRom(u"E:", u"")));  // a disc with no label
    EXPECT_TRUE(w.boxes.empty());
}

TEST(WaitForCDRom, TheDiscArrivingAfterAnOkEndsTheWait) {
    FakePlatform w;
    w.boxAnswers = {answers::Ok, answers::Ok};
    w.onYield = [&](int pass) {
        if (pass == 3) w.volumeLabels[u"D:\\"] = u"DISC 2";
    };
    twFunctions f(w);
    EXPECT_TRUE(static_cast<bool>(f.WaitForCDRom(u"D:", u"DISC 2")));
    EXPECT_EQ(w.boxes.size(), 2u);
    EXPECT_EQ(w.count("volumeInformation"), 3u);
}

TEST(WaitForCDRomPath, AnExistingFolderIsAcceptedWithoutAPrompt) {
    FakePlatform w;
    w.directories = {u"D:\\GAMES"};
    twFunctions f(w);
    EXPECT_TRUE(static_cast<bool>(f.WaitForCDRomPath(Variant(u"D:\\GAMES"))));
    EXPECT_TRUE(w.boxes.empty());
    EXPECT_EQ(w.current, u"D:\\GAMES") << "the folder the wait found is current";
}

TEST(WaitForCDRomPath, OkThreeTimesThenCancelGivesFourPromptsAndFalse) {
    FakePlatform w;
    w.boxAnswers = {answers::Ok, answers::Ok, answers::Ok, answers::Cancel};
    twFunctions f(w);
    EXPECT_FALSE(static_cast<bool>(f.WaitForCDRomPath(Variant(u"D:\\GAMES"))));
    EXPECT_EQ(prompts(w), std::vector<String>(4, u"Insert the CD for Path: 'D:\\GAMES'"));
    std::vector<std::string> pass{"yield", "changeDirectory D:\\GAMES",
                                  "messageBox Insert the CD for Path: 'D:\\GAMES'"};
    std::vector<std::string> expected;
    for (int i = 0; i < 4; ++i) expected.insert(expected.end(), pass.begin(), pass.end());
    EXPECT_EQ(w.calls, expected) << "the yield opens every pass, the test precedes the prompt";
}

TEST(WaitForCDRomPath, TakesTheTextFormOfAnyValueAndFailsOnNullBeforeAnyPrompt) {
    FakePlatform w;
    twFunctions f(w);
    EXPECT_FALSE(static_cast<bool>(f.WaitForCDRomPath(Variant(std::int32_t{42}))));
    EXPECT_EQ(prompts(w), std::vector<String>{u"Insert the CD for Path: '42'"});
    w.boxes.clear();
    try {
        f.WaitForCDRomPath(Variant::null());
        FAIL() << "Null has no text form";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), errors::InvalidUseOfNull);
    }
    EXPECT_TRUE(w.boxes.empty());
}

TEST(WaitForCDRomFile, OnlyTheWaitsOwnPromptIsShown) {
    FakePlatform w;
    w.existenceCodes[u"D:\\MISSING\\GAME.D64"] = 3;  // FileExists would say PATH NOT FOUND
    w.boxAnswers = {answers::Ok};
    twFunctions f(w);
    EXPECT_FALSE(static_cast<bool>(f.WaitForCDRomFile(Variant(u"D:\\MISSING\\GAME.D64"))));
    EXPECT_EQ(prompts(w),
              std::vector<String>(2, u"Insert the CD for File: 'D:\\MISSING\\GAME.D64'"));
    EXPECT_EQ(w.count("existenceTest"), 2u);
    EXPECT_EQ(w.yields, 2);
}

TEST(WaitForCDRomFile, AFileThatAppearsEndsTheWait) {
    FakePlatform w;
    w.boxAnswers = {answers::Ok};
    w.onYield = [&](int pass) {
        if (pass == 2) w.existenceCodes[u"D:\\GAME.D64"] = 0;
    };
    twFunctions f(w);
    EXPECT_TRUE(static_cast<bool>(f.WaitForCDRomFile(Variant(u"D:\\GAME.D64"))));
    EXPECT_EQ(w.boxes.size(), 1u);
    EXPECT_THROW(f.WaitForCDRomFile(Variant::null()), Error);
}

TEST(WaitForCDRom, AHandlerInstalledByTheHostIsNotAskedByTheFakePlatform) {
    // The waits ask their platform for the yield; which handler runs is the
    // platform's business (tested against the Linux backend).
    FakePlatform w;
    bool hostCalled = false;
    setYieldHandler([&] { hostCalled = true; });
    twFunctions f(w);
    f.WaitForCDRom(u"D:", u"X");
    setYieldHandler(nullptr);
    EXPECT_FALSE(hostCalled);
    EXPECT_EQ(w.yields, 1);
}

}  // namespace
}  // namespace tarnwick
