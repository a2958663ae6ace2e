// The configuration-file editor's rules, on a platform that plays Windows
// and keeps files in memory.
#include <gtest/gtest.h>

#include "support/fake_platform.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using testing::FakePlatform;

class ConfigEditor : public ::testing::Test {
  protected:
    std::string edit(const std::string& content, std::vector<ConfigFileType> changes) {
        windows.files[file] = content;
        f.ChangeConfigFile(file, ConfigFileArray(std::move(changes)));
        return windows.files[file];
    }
    int errorOf(const ConfigFileArray& changes) {
        try {
            f.ChangeConfigFile(file, changes);
        } catch (const Error& e) {
            return e.number();
        }
        return 0;
    }
    FakePlatform windows;
    twFunctions f{windows};
    const String file = u"C:\\CCS64\\c64.cfg";
};

TEST_F(ConfigEditor, ReplacesTheMatchingLineAndDropsEmptyLines) {
    EXPECT_EQ(edit("A=1\r\n\r\n$JOYSTICK1PC=3\r\nB=2\r\n", {{u"$JOYSTICK1PC", u"0"}}),
              "A=1\r\n$JOYSTICK1PC=0\r\nB=2\r\n");
}

TEST_F(ConfigEditor, MatchesThePrefixInAnyCaseButNotAfterBlanks) {
    EXPECT_EQ(edit("$loadpath = C:\\\r\n", {{u"$LOADPATH", u"D:\\GAMES\\"}}),
              "$LOADPATH=D:\\GAMES\\\r\n");
    EXPECT_EQ(edit(" $LOADPATH=C:\\\r\n", {{u"$LOADPATH", u"D:\\"}}), " $LOADPATH=C:\\\r\n");
    // The key as the caller spelled it is what gets written.
    EXPECT_EQ(edit("JOY1=No\r\n", {{u"Joy1", u"Keyboard"}}), "Joy1=Keyboard\r\n");
}

TEST_F(ConfigEditor, PrefixMatchingTakesALongerKeyThatComesFirst) {
    EXPECT_EQ(edit("$CONTROLPORT1MODE=4\r\n$CONTROLPORT1=1\r\n",
                   {{u"$CONTROLPORT1", u"2"}, {u"$CONTROLPORT1MODE", u"3"}}),
              "$CONTROLPORT1=2\r\n$CONTROLPORT1=1\r\n");
}

TEST_F(ConfigEditor, FirstMatchOnlyAndLaterChangesSeeEarlierOnes) {
    EXPECT_EQ(edit("K=1\r\nK=2\r\n", {{u"K", u"9"}}), "K=9\r\nK=2\r\n");
    EXPECT_EQ(edit("K=1\r\n", {{u"K", u"8"}, {u"K", u"9"}}), "K=9\r\n");
    // A later change may match the line an earlier change wrote.
    EXPECT_EQ(edit("X=1\r\n", {{u"X", u"NEWKEY"}, {u"X=NEW", u"done"}}), "X=NEW=done\r\n");
}

TEST_F(ConfigEditor, MissingKeysAddNothingButTheFileIsStillRewritten) {
    EXPECT_EQ(edit("A=1\n\nB=2", {{u"$NOPE", u"1"}}), "A=1\r\nB=2\r\n");
    EXPECT_EQ(edit("", {{u"$KEY", u"1"}}), "");
}

TEST_F(ConfigEditor, EmptyKeyMatchesTheFirstEntry) {
    EXPECT_EQ(edit("A=1\r\nB=2\r\n", {{u"", u"v"}}), "=v\r\nB=2\r\n");
    EXPECT_EQ(edit("", {{u"", u"v"}}), "=v\r\n");
}

TEST_F(ConfigEditor, EveryLineEndIsReadAndWrittenAsCrLf) {
    EXPECT_EQ(edit("A=1\rB=2\nC=3\r\nD=4", {}), "A=1\r\nB=2\r\nC=3\r\nD=4\r\n");
    EXPECT_EQ(edit("\r\n\r\r\n\n", {}), "");
    // A CR LF split over nothing: CR then LF is one end, LF then CR two.
    EXPECT_EQ(edit("A\n\rB", {}), "A\r\nB\r\n");
}

TEST_F(ConfigEditor, ChangeListShapesAndLimits) {
    windows.files[file] = "A=1\r\n\r\n";
    EXPECT_EQ(errorOf(ConfigFileArray()), 9);
    EXPECT_EQ(errorOf(ConfigFileArray({{u"A", u"2"}}, 1)), 9);
    EXPECT_EQ(windows.files[file], "A=1\r\n\r\n") << "nothing written on an error";

    // Zero elements: the file is still rewritten.
    EXPECT_EQ(errorOf(ConfigFileArray(std::vector<ConfigFileType>{})), 0);
    EXPECT_EQ(windows.files[file], "A=1\r\n");

    // Entries at negative indexes are never looked at.
    EXPECT_EQ(errorOf(ConfigFileArray({{u"A", u"neg"}, {u"A", u"zero"}}, -1)), 0);
    EXPECT_EQ(windows.files[file], "A=zero\r\n");

    // 32,767 entries (index 0 to 32,766) are the most.
    std::vector<ConfigFileType> most(32767, ConfigFileType{u"A", u"3"});
    EXPECT_EQ(errorOf(ConfigFileArray(most)), 0);
    most.push_back({u"A", u"4"});
    EXPECT_EQ(errorOf(ConfigFileArray(most)), 6);
    EXPECT_EQ(windows.files[file], "A=3\r\n");
}

TEST_F(ConfigEditor, FileLimitsAndReadFailures) {
    std::string lines;
    for (int i = 0; i < 32766; ++i) lines += "L" + std::to_string(i) + "\r\n";
    windows.files[file] = lines;
    EXPECT_EQ(errorOf(ConfigFileArray({{u"L0", u"x"}})), 0);
    EXPECT_EQ(windows.files[file].substr(0, 5), "L0=x\r");

    windows.files[file] = lines + "one more";
    EXPECT_EQ(errorOf(ConfigFileArray({{u"L0", u"y"}})), 6);
    EXPECT_EQ(windows.files[file], lines + "one more");

    windows.files.erase(file);
    EXPECT_EQ(errorOf(ConfigFileArray({{u"A", u"1"}})), 53);
    EXPECT_FALSE(windows.files.count(file)) << "a missing file is not created";
}

TEST_F(ConfigEditor, AFailedRewriteLeavesTheFile) {
    windows.files[file] = "A=1\r\n";
    windows.readOnly = {file};
    EXPECT_EQ(errorOf(ConfigFileArray({{u"A", u"2"}})), 75);
    windows.readOnly.clear();
    windows.writeFailure = Error(61);
    EXPECT_EQ(errorOf(ConfigFileArray({{u"A", u"2"}})), 61);
    EXPECT_EQ(windows.files[file], "A=1\r\n");
}

}  // namespace
}  // namespace tarnwick
