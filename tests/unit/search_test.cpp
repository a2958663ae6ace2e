// FindFile, FindFiles and the FoundFile event on a platform that plays
// Windows, with scripted folder trees: the order of the search, the
// calls it makes, the total's automation arithmetic and the limits.
#include <gtest/gtest.h>

#include "support/fake_platform.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using testing::FakePlatform;
constexpr std::uint32_t Hidden = file_attributes::Hidden;
constexpr std::uint32_t System = file_attributes::System;

// Every path FoundFile reported, in order.
struct Events {
    explicit Events(twFunctions& f) {
        f.addFoundFileHandler([this](const String& p) { paths.push_back(p); });
    }
    std::vector<String> paths;
};

// ------------------------------------------------------------ FindFile

TEST(FindFile, NameInTheFolderItselfEndsTheSearchWithoutEnumerating) {
    FakePlatform w;
    w.addFolder(u"C:\\Games");
    w.addTreeFile(u"C:\\Games\\elite.d64", 174848);
    w.addFolder(u"C:\\Games\\Sub");
    twFunctions f(w);
    EXPECT_EQ(f.FindFile(u"elite.d64", u"C:\\Games"), u"C:\\Games\\elite.d64");
    EXPECT_EQ(w.calls, std::vector<std::string>{"searchPath C:\\Games | elite.d64"});
}

TEST(FindFile, DepthFirstPreOrderFindsTheFirstSubfolderDeepMatch) {
    FakePlatform w;
    w.addFolder(u"C:\\C64");
    w.addFolder(u"C:\\C64\\A");
    w.addFolder(u"C:\\C64\\A\\B");
    w.addFolder(u"C:\\C64\\A\\B\\C");
    w.addTreeFile(u"C:\\C64\\A\\B\\C\\tune.sid", 10);  // two levels below A
    w.addFolder(u"C:\\C64\\Z");
    w.addTreeFile(u"C:\\C64\\Z\\tune.sid", 10);  // directly in a later subfolder
    twFunctions f(w);
    EXPECT_EQ(f.FindFile(u"tune.sid", u"C:\\C64"), u"C:\\C64\\A\\B\\C\\tune.sid");
    EXPECT_EQ(w.count("searchPath C:\\C64\\Z"), 0u) << "the later subfolder is never asked";
    EXPECT_EQ(w.openEnumerations, 0);
    EXPECT_EQ(w.mostOpenEnumerations, 3) << "one open enumeration per level being descended";
}

TEST(FindFile, HiddenAndSystemSubfoldersAreSkippedAndTheRestSearched) {
    FakePlatform w;
    w.addFolder(u"C:\\T");
    w.addFolder(u"C:\\T\\Hid", Hidden);
    w.addTreeFile(u"C:\\T\\Hid\\x.prg", 1);
    w.addFolder(u"C:\\T\\Sys", System);
    w.addTreeFile(u"C:\\T\\Sys\\x.prg", 1);
    w.addFolder(u"C:\\T\\One");
    w.addFolder(u"C:\\T\\One\\Deep");
    w.addFolder(u"C:\\T\\Two");
    w.addTreeFile(u"C:\\T\\file.txt", 5);  // a file is never descended into
    twFunctions f(w);
    EXPECT_EQ(f.FindFile(u"x.prg", u"C:\\T"), u"");
    EXPECT_EQ(w.count("searchPath C:\\T\\Hid"), 0u);
    EXPECT_EQ(w.count("searchPath C:\\T\\Sys"), 0u);
    for (const char* asked : {"searchPath C:\\T |", "searchPath C:\\T\\One |",
                              "searchPath C:\\T\\One\\Deep |", "searchPath C:\\T\\Two |"})
        EXPECT_EQ(w.count(asked), 1u) << asked;
    EXPECT_EQ(w.count("findFirst C:\\T\\*.*"), 1u);
    EXPECT_EQ(w.openEnumerations, 0);
}

TEST(FindFile, AnEmptyPathSearchesTheCurrentFolderByRelativeNames) {
    FakePlatform w;
    w.current = u"D:\\Now";
    w.addFolder(u"D:\\Now");
    twFunctions f(w);
    EXPECT_EQ(f.FindFile(u"none", u""), u"");
    EXPECT_EQ(w.calls[0], "searchPath  | none");
    EXPECT_EQ(w.calls[1], "findFirst *.*");
}

TEST(FindFile, AFolderThatCannotBeReadGivesNothing) {
    FakePlatform w;
    twFunctions f(w);
    EXPECT_EQ(f.FindFile(u"x", u"Q:\\Missing"), u"");
    EXPECT_EQ(w.count("findClose"), 0u) << "no enumeration was started, none is closed";
}

TEST(FindFile, AFullPathLongerThanTheBufferIsAskedForAgain) {
    FakePlatform w;
    const String deep = u"C:\\" + String(300, u'd');
    w.addFolder(deep);
    w.addTreeFile(deep + u"\\x.prg", 1);
    twFunctions f(w);
    EXPECT_EQ(f.FindFile(u"x.prg", deep), deep + u"\\x.prg");
    EXPECT_EQ(w.count("searchPath"), 2u);
}

TEST(FindFile, ATreeHoldingItselfIsNotDescendedAgain) {
    FakePlatform w;
    w.addFolder(u"C:\\Loop");
    w.addFolder(u"C:\\Loop\\Inner");
    w.addFolder(u"C:\\Loop\\Inner\\Back");  // a link back to C:\Loop
    w.folderIds[u"C:\\Loop"] = 7;
    w.folderIds[u"C:\\Loop\\Inner\\Back"] = 7;
    twFunctions f(w);
    EXPECT_EQ(f.FindFile(u"x", u"C:\\Loop"), u"");
    EXPECT_EQ(w.count("searchPath C:\\Loop\\Inner\\Back"), 0u);
    EXPECT_EQ(w.count("searchPath C:\\Loop\\Inner |"), 1u);
}

// ------------------------------------------------------------ FindFiles

TEST(FindFiles, ReportsAFoldersMatchesBeforeItsSubfoldersInListOrder) {
    FakePlatform w;
    w.addFolder(u"C:\\M");
    w.addFolder(u"C:\\M\\B");
    w.addTreeFile(u"C:\\M\\B\\b1.sid", 10);
    w.addFolder(u"C:\\M\\B\\Deep");
    w.addTreeFile(u"C:\\M\\B\\Deep\\d.SID", 1);
    w.addTreeFile(u"C:\\M\\top.sid", 100);
    w.addTreeFile(u"C:\\M\\readme.txt", 1000);
    w.addFolder(u"C:\\M\\A");
    w.addTreeFile(u"C:\\M\\A\\a1.sid", 7);
    twFunctions f(w);
    Events events(f);
    String path = u"C:\\M";
    const Variant total = f.FindFiles(path, u"*.sid");
    EXPECT_EQ(path, u"C:\\M\\") << "the caller's path gains its separator";
    EXPECT_EQ(events.paths, (std::vector<String>{u"C:\\M\\top.sid", u"C:\\M\\B\\b1.sid",
                                                 u"C:\\M\\B\\Deep\\d.SID", u"C:\\M\\A\\a1.sid"}));
    EXPECT_EQ(total.kind(), Variant::Kind::Long);
    EXPECT_EQ(total.toLong(), 118);
}

TEST(FindFiles, APathThatEndsInTheSeparatorKeepsJustTheOne) {
    FakePlatform w;
    w.addFolder(u"C:\\M");
    w.addTreeFile(u"C:\\M\\top.sid", 100);
    twFunctions f(w);
    Events events(f);
    // A handler the host left empty is passed over.
    f.addFoundFileHandler(twFunctions::FoundFileHandler());
    String path = u"C:\\M\\";
    EXPECT_EQ(f.FindFiles(path, u"*.sid").toLong(), 100);
    EXPECT_EQ(path, u"C:\\M\\");
    EXPECT_EQ(events.paths, std::vector<String>{u"C:\\M\\top.sid"});
}

TEST(FindFiles, TwoPassesPerFolderWithOnlyOneEnumerationOpen) {
    FakePlatform w;
    w.addFolder(u"C:\\R");
    w.addFolder(u"C:\\R\\S");
    w.addFolder(u"C:\\R\\S\\T");
    w.addTreeFile(u"C:\\R\\f.sid", 1);
    twFunctions f(w);
    String path = u"C:\\R\\";
    f.FindFiles(path, u"*.sid");
    EXPECT_EQ(path, u"C:\\R\\") << "a path that has its separator is unchanged";
    const std::vector<std::string> expected{
        "findFirst C:\\R\\*",
        "entryAttributes C:\\R\\S",
        "entryAttributes C:\\R\\f.sid",
        "findClose",
        "findFirst C:\\R\\*.sid with size",
        "findClose",
        "folderChain C:\\R\\",
        "findFirst C:\\R\\S\\*",
        "entryAttributes C:\\R\\S\\T",
        "findClose",
        "findFirst C:\\R\\S\\*.sid with size",  // nothing matches: nothing to close
        "folderChain C:\\R\\S\\",
        "findFirst C:\\R\\S\\T\\*",
        "findClose",
        "findFirst C:\\R\\S\\T\\*.sid with size",
    };
    EXPECT_EQ(w.calls, expected);
    EXPECT_EQ(w.mostOpenEnumerations, 1);
    EXPECT_EQ(w.openEnumerations, 0);
}

TEST(FindFiles, TotalFollowsTheAutomationAdditionRules) {
    FakePlatform w;
    w.addFolder(u"C:\\Leaf");
    w.addTreeFile(u"C:\\Leaf\\a.txt", 3);
    w.addFolder(u"C:\\Branches");
    w.addFolder(u"C:\\Branches\\One");
    w.addFolder(u"C:\\Branches\\Two");
    twFunctions f(w);
    Events events(f);

    String leaf = u"C:\\Leaf";
    EXPECT_EQ(f.FindFiles(leaf, u"*.sid").kind(), Variant::Kind::Empty)
        << "no match and no subfolder: Empty";
    String branches = u"C:\\Branches";
    const Variant zero = f.FindFiles(branches, u"*.sid");
    EXPECT_EQ(zero.kind(), Variant::Kind::Integer) << "Empty plus Empty is Integer 0";
    EXPECT_EQ(zero.toLong(), 0);
    String missing = u"C:\\Nowhere";
    EXPECT_EQ(f.FindFiles(missing, u"*").kind(), Variant::Kind::Empty);
    EXPECT_TRUE(events.paths.empty());
}

TEST(FindFiles, SizesBeyondThirtyTwoBitsContinueAsDouble) {
    FakePlatform w;
    w.addFolder(u"C:\\Big");
    w.addTreeFile(u"C:\\Big\\huge.bin", 5000000000ull);
    w.addFolder(u"C:\\Two");
    w.addTreeFile(u"C:\\Two\\a.bin", 0x7FFFFFFF);  // the largest Long
    w.addTreeFile(u"C:\\Two\\b.bin", 1);
    w.addFolder(u"C:\\Edge");
    w.addTreeFile(u"C:\\Edge\\c.bin", 0x80000000u);  // just past it
    twFunctions f(w);

    String big = u"C:\\Big";
    const Variant five = f.FindFiles(big, u"*.*");
    EXPECT_EQ(five.kind(), Variant::Kind::Double);
    EXPECT_EQ(five.asDouble(), 5000000000.0);

    String two = u"C:\\Two";
    const Variant sum = f.FindFiles(two, u"*.bin");
    EXPECT_EQ(sum.kind(), Variant::Kind::Double) << "Long overflow widens to Double";
    EXPECT_EQ(sum.asDouble(), 2147483648.0);

    String edge = u"C:\\Edge";
    const Variant one = f.FindFiles(edge, u"*");
    EXPECT_EQ(one.kind(), Variant::Kind::Double);
    EXPECT_EQ(one.asDouble(), 2147483648.0);
}

TEST(FindFiles, MatchingSubfoldersAreReportedAndHiddenOnesSearched) {
    FakePlatform w;
    w.addFolder(u"C:\\P");
    w.addTreeFile(u"C:\\P\\one.prg", 100);
    w.addFolder(u"C:\\P\\Empty");
    w.addFolder(u"C:\\P\\.hidden", Hidden | System);
    w.addTreeFile(u"C:\\P\\.hidden\\in.prg", 20);
    twFunctions f(w);
    Events events(f);
    String path = u"C:\\P";
    const Variant total = f.FindFiles(path, u"*.*");
    EXPECT_EQ(events.paths, (std::vector<String>{u"C:\\P\\one.prg", u"C:\\P\\Empty",
                                                 u"C:\\P\\.hidden", u"C:\\P\\.hidden\\in.prg"}));
    EXPECT_EQ(total.toLong(), 120);
}

TEST(FindFiles, AnEmptyPathBecomesTheRootOfTheCurrentDrive) {
    FakePlatform w;
    w.addFolder(u"");  // the folder part of "\*"
    w.addTreeFile(u"\\boot.ini", 9);
    twFunctions f(w);
    Events events(f);
    String path;
    EXPECT_EQ(f.FindFiles(path, u"*.ini").toLong(), 9);
    EXPECT_EQ(path, u"\\");
    EXPECT_EQ(w.calls[0], "findFirst \\*");
    EXPECT_EQ(events.paths, std::vector<String>{u"\\boot.ini"});
}

TEST(FindFiles, The32768thSubfolderOverflowsAndEndsTheWholeSearch) {
    FakePlatform w;
    w.addFolder(u"C:\\Top");
    w.addTreeFile(u"C:\\Top\\first.sid", 1);
    w.addFolder(u"C:\\Top\\Crowded");
    w.addFolder(u"C:\\Top\\Fits");
    for (int i = 0; i < 32767; ++i) {
        w.folders[u"C:\\Top\\Fits"].push_back(
            {fromUtf8("d" + std::to_string(i)), file_attributes::Directory});
        w.folders[u"C:\\Top\\Crowded"].push_back(
            {fromUtf8("d" + std::to_string(i)), file_attributes::Directory});
    }
    w.folders[u"C:\\Top\\Crowded"].push_back({u"one too many", file_attributes::Directory});
    twFunctions f(w);
    Events events(f);

    String fits = u"C:\\Top\\Fits";
    EXPECT_EQ(f.FindFiles(fits, u"*.none"), Variant(std::int16_t{0}))
        << "32,767 subfolders still fit";

    String top = u"C:\\Top";
    try {
        f.FindFiles(top, u"*.sid");
        FAIL() << "the 32,768th subfolder overflows the counter";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), errors::Overflow);
    }
    EXPECT_EQ(events.paths, std::vector<String>{u"C:\\Top\\first.sid"})
        << "events raised before the error stay raised";
    EXPECT_EQ(w.openEnumerations, 0) << "the enumeration is closed as the error passes";
}

TEST(FindFiles, ATreeHoldingItselfIsSearchedOnce) {
    FakePlatform w;
    w.addFolder(u"C:\\Loop");
    w.addTreeFile(u"C:\\Loop\\a.sid", 1);
    w.addFolder(u"C:\\Loop\\Sub");
    w.addTreeFile(u"C:\\Loop\\Sub\\b.sid", 2);
    w.addFolder(u"C:\\Loop\\Sub\\Up");    // a link to C:\Loop
    w.addFolder(u"C:\\Loop\\Sub\\Self");  // a link to C:\Loop\Sub
    w.folderIds[u"C:\\Loop"] = 1;
    w.folderIds[u"C:\\Loop\\Sub"] = 2;
    w.folderIds[u"C:\\Loop\\Sub\\Up"] = 1;
    w.folderIds[u"C:\\Loop\\Sub\\Self"] = 2;
    twFunctions f(w);
    Events events(f);
    String path = u"C:\\Loop";
    EXPECT_EQ(f.FindFiles(path, u"*.sid").toLong(), 3);
    EXPECT_EQ(events.paths, (std::vector<String>{u"C:\\Loop\\a.sid", u"C:\\Loop\\Sub\\b.sid"}));
}

// ------------------------------------------------------------ the event

TEST(FoundFile, HandlersRunInOrderAndCanBeRemoved) {
    FakePlatform w;
    w.addFolder(u"C:\\E");
    w.addTreeFile(u"C:\\E\\x.sid", 1);
    w.addTreeFile(u"C:\\E\\y.sid", 1);
    twFunctions f(w);
    std::vector<std::string> log;
    const auto first =
        f.addFoundFileHandler([&](const String& p) { log.push_back("1 " + toUtf8(p)); });
    f.addFoundFileHandler([&](const String& p) { log.push_back("2 " + toUtf8(p)); });
    String path = u"C:\\E";
    f.FindFiles(path, u"*.sid");
    EXPECT_EQ(log, (std::vector<std::string>{"1 C:\\E\\x.sid", "2 C:\\E\\x.sid", "1 C:\\E\\y.sid",
                                             "2 C:\\E\\y.sid"}));
    log.clear();
    f.removeFoundFileHandler(first);
    f.removeFoundFileHandler(first);  // a second removal does nothing
    f.FindFiles(path, u"x.sid");
    EXPECT_EQ(log, std::vector<std::string>{"2 C:\\E\\x.sid"});
}

TEST(FoundFile, AHandlerMayStartANewSearchOnTheSameObject) {
    FakePlatform w;
    w.addFolder(u"C:\\Outer");
    w.addTreeFile(u"C:\\Outer\\o1.sid", 1);
    w.addTreeFile(u"C:\\Outer\\o2.sid", 1);
    w.addFolder(u"C:\\Inner");
    w.addTreeFile(u"C:\\Inner\\i.sid", 50);
    twFunctions f(w);
    std::vector<String> seen;
    std::vector<String> foundInHandler;
    bool nested = false;
    f.addFoundFileHandler([&](const String& p) {
        seen.push_back(p);
        if (nested) return;
        nested = true;
        String inner = u"C:\\Inner";
        EXPECT_EQ(f.FindFiles(inner, u"*.sid").toLong(), 50);
        foundInHandler.push_back(f.FindFile(u"i.sid", u"C:\\Inner"));
        nested = false;
    });
    String outer = u"C:\\Outer";
    EXPECT_EQ(f.FindFiles(outer, u"*.sid").toLong(), 2);
    EXPECT_EQ(seen, (std::vector<String>{u"C:\\Outer\\o1.sid", u"C:\\Inner\\i.sid",
                                         u"C:\\Outer\\o2.sid", u"C:\\Inner\\i.sid"}));
    EXPECT_EQ(foundInHandler, (std::vector<String>{u"C:\\Inner\\i.sid", u"C:\\Inner\\i.sid"}));
    EXPECT_EQ(w.openEnumerations, 0);
}

TEST(FoundFile, HandlersAddedOrRemovedDuringAnEventTakeEffectAtOnce) {
    FakePlatform w;
    w.addFolder(u"C:\\E");
    w.addTreeFile(u"C:\\E\\a.sid", 1);
    w.addTreeFile(u"C:\\E\\b.sid", 1);
    twFunctions f(w);
    std::vector<std::string> log;
    std::uint64_t second = 0;
    f.addFoundFileHandler([&](const String&) {
        log.push_back("first");
        if (second != 0) {
            f.removeFoundFileHandler(second);  // before it ran for this event
            second = 0;
            f.addFoundFileHandler([&](const String&) { log.push_back("late"); });
        }
    });
    second = f.addFoundFileHandler([&](const String&) { log.push_back("second"); });
    String path = u"C:\\E";
    f.FindFiles(path, u"*.sid");
    EXPECT_EQ(log, (std::vector<std::string>{"first", "first", "late"}));
}

TEST(FoundFile, AnErrorInAHandlerEndsTheSearchAndClosesEnumerations) {
    FakePlatform w;
    w.addFolder(u"C:\\E");
    w.addFolder(u"C:\\E\\Sub");
    w.addTreeFile(u"C:\\E\\Sub\\a.sid", 1);
    w.addTreeFile(u"C:\\E\\Sub\\b.sid", 1);
    twFunctions f(w);
    int calls = 0;
    f.addFoundFileHandler([&](const String&) {
        ++calls;
        throw Error(errors::PermissionDenied);
    });
    String path = u"C:\\E";
    EXPECT_THROW(f.FindFiles(path, u"*.sid"), Error);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(w.openEnumerations, 0);
}

TEST(FoundFile, ACopyCarriesItsOwnHandlers) {
    FakePlatform w;
    w.addFolder(u"C:\\E");
    w.addTreeFile(u"C:\\E\\a.sid", 1);
    twFunctions original(w);
    int count = 0;
    const auto token = original.addFoundFileHandler([&, n = 0](const String&) mutable {
        ++n;
        count += n;  // the copy's handler counts on its own
    });
    twFunctions copy(original);
    original.removeFoundFileHandler(token);
    String path = u"C:\\E";
    original.FindFiles(path, u"*.sid");
    EXPECT_EQ(count, 0);
    copy.FindFiles(path, u"*.sid");
    copy.FindFiles(path, u"*.sid");
    EXPECT_EQ(count, 1 + 2);
    copy.removeFoundFileHandler(token);
    copy.FindFiles(path, u"*.sid");
    EXPECT_EQ(count, 3);
}

}  // namespace
}  // namespace tarnwick
