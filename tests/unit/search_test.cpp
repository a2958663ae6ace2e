// FindFile, FindFiles and FoundFile on the scripted platform playing
// Windows: the order of the search, the folders it asks about, the total's
// automation arithmetic, folders met twice, the subfolder limit and the
// event's handlers.
#include <gtest/gtest.h>

#include "support/fake_platform.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using testing::FakePlatform;
using Strings = std::vector<String>;

// C:\T: a file of its own, a match two levels below its first subfolder
// and one in a later subfolder, hidden and system folders, a link back to
// C:\T and a second name of C:\T\A\B; beside it trees for the totals.
struct Tree : FakePlatform {
    Tree() {
        for (const char16_t* folder : {u"C:\\T", u"C:\\T\\A", u"C:\\T\\A\\B", u"C:\\T\\A\\B\\C",
                                       u"C:\\T\\A\\Back", u"C:\\T\\A\\Also", u"C:\\T\\Z", u"",
                                       u"C:\\Leaf", u"C:\\Two", u"C:\\Two\\One", u"C:\\Big"})
            addFolder(folder);
        addFolder(u"C:\\T\\Hid", file_attributes::Hidden);
        addFolder(u"C:\\T\\Sys", file_attributes::System);
        for (const char16_t* file :
             {u"C:\\T\\top.sid", u"C:\\T\\A\\B\\C\\tune.sid", u"C:\\T\\Z\\tune.sid",
              u"C:\\T\\Hid\\x.prg", u"C:\\T\\Sys\\x.prg", u"\\boot.ini", u"C:\\Leaf\\a.txt"})
            addTreeFile(file, 10);
        addTreeFile(u"C:\\Big\\huge.bin", 5000000000ull);
        addTreeFile(u"C:\\Two\\a.bin", 0x7FFFFFFF);  // the largest Long, and one more
        addTreeFile(u"C:\\Two\\One\\b.bin", 1);
        folderIds[u"C:\\T"] = folderIds[u"C:\\T\\A\\Back"] = 1;
        folderIds[u"C:\\T\\A\\B"] = folderIds[u"C:\\T\\A\\Also"] = 2;
        const String deep = u"C:\\" + String(300, u'd');  // longer than the 260 of the buffer
        addFolder(deep);
        addTreeFile(deep + u"\\long.prg", 1);
    }
};

// Each row: the folders asked, in order, and the listings started.
TEST(FindFile, DepthFirstThroughVisibleFoldersEachOnce) {
    const String deep = u"C:\\" + String(300, u'd');
    const std::tuple<String, String, String, std::string, std::size_t> rows[] = {
        {u"top.sid", u"C:\\T", u"C:\\T\\top.sid", "C:\\T;", 0},
        {u"tune.sid", u"C:\\T", u"C:\\T\\A\\B\\C\\tune.sid",
         "C:\\T;C:\\T\\A;C:\\T\\A\\B;C:\\T\\A\\B\\C;", 3},
        {u"x.prg", u"C:\\T", u"", "C:\\T;C:\\T\\A;C:\\T\\A\\B;C:\\T\\A\\B\\C;C:\\T\\Z;", 5},
        {u"x", u"Q:\\Missing", u"", "Q:\\Missing;", 1},
        {u"none", u"", u"", ";", 1},  // the current folder, by relative names
        {u"long.prg", deep, deep + u"\\long.prg", toUtf8(deep + u";" + deep + u";"), 0}};
    for (const auto& [name, path, found, asked, listings] : rows) {
        Tree w;
        EXPECT_EQ(twFunctions(w).FindFile(name, path), found) << toUtf8(name);
        std::string folders;
        for (const std::string& call : w.calls)
            if (call.rfind("searchPath ", 0) == 0)
                folders += call.substr(11, call.find(" |") - 11) + ";";
        EXPECT_EQ(folders, asked) << toUtf8(name);
        EXPECT_EQ(w.count("findFirst"), listings) << toUtf8(name);
        EXPECT_EQ(w.openEnumerations, 0);
        EXPECT_LE(w.mostOpenEnumerations, 1) << "a listing is read whole before descending";
    }
}

TEST(FindFiles, MatchesBeforeSubfoldersAndTotalsByTheAutomationRules) {
    struct Row {
        String path, pattern;
        std::string events;  // each followed by ";"
        Variant total;
    };
    const Row rows[] = {
        {u"C:\\T", u"*.sid", "C:\\T\\top.sid;C:\\T\\A\\B\\C\\tune.sid;C:\\T\\Z\\tune.sid;",
         Variant(std::int32_t{30})},  // C:\T and C:\T\A\B entered once each
        {u"C:\\T\\", u"*.prg", "C:\\T\\Hid\\x.prg;C:\\T\\Sys\\x.prg;", Variant(std::int32_t{20})},
        {u"C:\\T\\A\\B", u"*", "C:\\T\\A\\B\\C;C:\\T\\A\\B\\C\\tune.sid;",
         Variant(std::int32_t{10})},
        {u"", u"*.INI", "\\boot.ini;", Variant(std::int32_t{10})},
        {u"C:\\Leaf", u"*.sid", "", Variant()},
        {u"C:\\Two", u"*.sid", "", Variant(std::int16_t{0})},
        {u"C:\\Two", u"*.bin", "C:\\Two\\a.bin;C:\\Two\\One\\b.bin;", Variant(2147483648.0)},
        {u"C:\\Two", u"a.bin", "C:\\Two\\a.bin;", Variant(std::int32_t{0x7FFFFFFF})},
        {u"C:\\Big", u"*.*", "C:\\Big\\huge.bin;", Variant(5000000000.0)},
        {u"C:\\Nowhere", u"*", "", Variant()},
    };
    for (const Row& row : rows) {
        Tree w;
        twFunctions f(w);
        std::string events;
        f.addFoundFileHandler([&](const String& p) { events += toUtf8(p) + ";"; });
        f.addFoundFileHandler(twFunctions::FoundFileHandler());  // left empty: passed over
        String path = row.path;
        EXPECT_EQ(f.FindFiles(path, row.pattern), row.total) << toUtf8(row.path);
        EXPECT_EQ(path, row.path.ends_with(u'\\') ? row.path : row.path + u"\\")
            << "the caller's path gains its separator";
        EXPECT_EQ(events, row.events) << toUtf8(row.path);
        EXPECT_EQ(w.openEnumerations, 0);
        EXPECT_LE(w.mostOpenEnumerations, 1) << "only one listing open at a time";
    }
}

TEST(FindFiles, The32768thSubfolderOverflowsAndEndsTheWholeSearch) {
    FakePlatform w;
    for (const char16_t* folder : {u"C:\\Top", u"C:\\Top\\Crowded", u"C:\\Top\\Fits"})
        w.addFolder(folder);
    w.addTreeFile(u"C:\\Top\\first.sid", 1);
    for (int i = 0; i < 32767; ++i)
        for (const char16_t* folder : {u"C:\\Top\\Fits", u"C:\\Top\\Crowded"})
            w.folders[folder].push_back({fromUtf8("d" + std::to_string(i)), 0x10});
    w.folders[u"C:\\Top\\Crowded"].push_back({u"one too many", file_attributes::Directory});
    twFunctions f(w);
    Strings events;
    f.addFoundFileHandler([&](const String& p) { events.push_back(p); });
    String fits = u"C:\\Top\\Fits", top = u"C:\\Top";
    EXPECT_EQ(f.FindFiles(fits, u"*.none"), Variant(std::int16_t{0})) << "32,767 still fit";
    try {
        f.FindFiles(top, u"*.sid");
        ADD_FAILURE() << "the 32,768th subfolder overflows the counter";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), errors::Overflow);
    }
    EXPECT_EQ(events, Strings{u"C:\\Top\\first.sid"}) << "events raised until then stay raised";
    EXPECT_EQ(w.openEnumerations, 0);
}

// Handlers run in the order added; one added during an event first runs for
// the next, one removed no more; a handler may search again (a search of
// its own, which enters again what the search under way has entered), and
// an error in it ends the search; a copy carries its own handlers.
TEST(FoundFile, HandlersInOrderChangedAtOnceAndFreeToSearch) {
    Tree w;
    twFunctions f(w);
    std::vector<std::string> log;
    std::uint64_t second = 0;
    const auto first = f.addFoundFileHandler([&](const String& p) {
        log.push_back("1 " + toUtf8(p));
        if (second == 0) return;
        f.removeFoundFileHandler(second);
        second = 0;
        f.addFoundFileHandler([&](const String& q) { log.push_back("late " + toUtf8(q)); });
        String again = u"C:\\T";
        EXPECT_EQ(f.FindFiles(again, u"tune.sid"), Variant(std::int32_t{20}));
    });
    second = f.addFoundFileHandler([&](const String&) { log.push_back("second"); });
    String path = u"C:\\T\\A";
    f.FindFiles(path, u"*.sid");
    EXPECT_EQ(log,
              (std::vector<std::string>{"1 C:\\T\\A\\B\\C\\tune.sid", "1 C:\\T\\A\\B\\C\\tune.sid",
                                        "late C:\\T\\A\\B\\C\\tune.sid", "1 C:\\T\\Z\\tune.sid",
                                        "late C:\\T\\Z\\tune.sid"}));

    twFunctions copy(f);
    f.removeFoundFileHandler(first);
    f.removeFoundFileHandler(first);  // a second removal does nothing
    log.clear();
    f.FindFiles(path, u"*.sid");
    EXPECT_EQ(log, std::vector<std::string>{"late C:\\T\\A\\B\\C\\tune.sid"});
    copy.addFoundFileHandler([](const String&) { throw Error(errors::PermissionDenied); });
    log.clear();
    String top = u"C:\\T";
    EXPECT_THROW(copy.FindFiles(top, u"*.sid"), Error);
    EXPECT_EQ(log, (std::vector<std::string>{"1 C:\\T\\top.sid", "late C:\\T\\top.sid"}));
    EXPECT_EQ(w.openEnumerations, 0);
}

}  // namespace
}  // namespace tarnwick
