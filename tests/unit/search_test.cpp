// FindFile, FindFiles and FoundFile on the scripted platform playing
// Windows, where the order of the listings, system folders and the
// listings started are exact.
#include <gtest/gtest.h>

#include <utility>

#include "support/fake_platform.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using testing::FakePlatform;

// C:\T: a file of its own, a match two levels below its first subfolder and
// one in a later one, hidden and system folders, a link back to C:\T and a
// second name of C:\T\A\B; beside it a tree for the totals.
struct Tree : FakePlatform {
    Tree() {
        for (const char16_t* folder :
             {u"C:\\T", u"C:\\T\\A", u"C:\\T\\A\\B", u"C:\\T\\A\\B\\C", u"C:\\T\\A\\Back",
              u"C:\\T\\A\\Also", u"C:\\T\\Z", u"", u"C:\\Two", u"C:\\Two\\One"})
            addFolder(folder);
        addFolder(u"C:\\T\\Hid", file_attributes::Hidden);
        addFolder(u"C:\\T\\Sys", file_attributes::System);
        for (const char16_t* file :
             {u"C:\\T\\top.sid", u"C:\\T\\A\\B\\tune.sid", u"C:\\T\\A\\B\\C\\tune.sid",
              u"C:\\T\\Z\\tune.sid", u"C:\\T\\Hid\\x.prg", u"C:\\T\\Sys\\x.prg", u"\\boot.ini"})
            addTreeFile(file, 10);
        addTreeFile(u"C:\\Two\\a.bin", 0x7FFFFFFF);  // the largest Long, and one more
        addTreeFile(u"C:\\Two\\One\\b.bin", 1);
        folderIds[u"C:\\T"] = folderIds[u"C:\\T\\A\\Back"] = 1;
        folderIds[u"C:\\T\\A\\B"] = folderIds[u"C:\\T\\A\\Also"] = 2;
    }
};

// Each row: a folder and a name, what FindFile finds (depth first, hidden
// and system folders left out, the folder itself first), FindFiles' events
// in order (the folder's own before its subfolders', every subfolder
// entered once) and its total by the automation addition; either search
// holds one listing open at a time.
TEST(Search, DepthFirstInListingOrderEachFolderOnce) {
    const std::tuple<String, String, String, std::string, Variant> rows[] = {
        {u"C:\\T", u"top.sid", u"C:\\T\\top.sid", "C:\\T\\top.sid;", Variant(10)},
        {u"C:\\T", u"tune.sid", u"C:\\T\\A\\B\\tune.sid",
         "C:\\T\\A\\B\\tune.sid;C:\\T\\A\\B\\C\\tune.sid;C:\\T\\Z\\tune.sid;", Variant(30)},
        {u"C:\\T\\", u"*.sid", u"",
         "C:\\T\\top.sid;C:\\T\\A\\B\\tune.sid;C:\\T\\A\\B\\C\\tune.sid;C:\\T\\Z\\tune.sid;",
         Variant(40)},
        {u"C:\\T", u"x.prg", u"", "C:\\T\\Hid\\x.prg;C:\\T\\Sys\\x.prg;", Variant(20)},
        {u"C:\\T\\A\\B", u"*", u"",
         "C:\\T\\A\\B\\C;C:\\T\\A\\B\\tune.sid;C:\\T\\A\\B\\C\\tune.sid;", Variant(20)},
        {u"Q:\\Missing", u"x", u"", "", Variant()},
        {u"", u"BOOT.INI", u"", "\\boot.ini;", Variant(10)},  // "" FindFile: the current folder
        {u"C:\\Two", u"*.sid", u"", "", Variant(std::int16_t{0})},
        {u"C:\\Two", u"*.bin", u"", "C:\\Two\\a.bin;C:\\Two\\One\\b.bin;", Variant(2147483648.0)},
        {u"C:\\Two", u"a.bin", u"C:\\Two\\a.bin", "C:\\Two\\a.bin;", Variant(0x7FFFFFFF)}};
    for (const auto& [folder, name, found, expected, total] : rows) {
        SCOPED_TRACE(toUtf8(folder + u" " + name));
        Tree w;
        twFunctions f(w);
        EXPECT_EQ(f.FindFile(name, folder), found);
        std::string events;
        f.addFoundFileHandler([&](const String& p) { events += toUtf8(p) + ";"; });
        f.addFoundFileHandler(twFunctions::FoundFileHandler());  // left empty: passed over
        String path = folder;
        EXPECT_EQ(f.FindFiles(path, name), total);
        EXPECT_EQ(path, folder.ends_with(u'\\') ? folder : folder + u"\\") << "gains its separator";
        EXPECT_EQ(events, expected);
        EXPECT_EQ(w.openEnumerations, 0);
        EXPECT_LE(w.mostOpenEnumerations, 1);
        EXPECT_FALSE(w.called("searchPath C:\\T\\A\\Back") ||
                     w.called("searchPath C:\\T\\A\\Also"));
    }
    FakePlatform w;  // one string as folder and pattern: the pattern is read as passed
    w.folders[u"game"] = {{u"game", 0, 7}};
    String same = u"game";
    EXPECT_EQ(twFunctions(w).FindFiles(same, same), Variant(7));
}

// 32,767 subfolders still fit a folder's 16-bit count; the 32,768th of the
// next overflows it and ends the whole search, its events raised.
TEST(FindFiles, The32768thSubfolderOverflowsAndEndsTheWholeSearch) {
    FakePlatform w;
    w.addFolder(u"C:\\T");
    w.addTreeFile(u"C:\\T\\first.sid", 1);
    for (const String folder : {u"C:\\T\\Fits", u"C:\\T\\Full"}) {
        w.addFolder(folder);
        for (int i = 1; i < 32767; ++i)
            w.folders[folder].push_back({fromUtf8("d" + std::to_string(i)), 0x10});
        w.addFolder(folder + u"\\last");
        w.addTreeFile(folder + u"\\last\\in.sid", 1);
    }
    w.addFolder(u"C:\\T\\Full\\one too many");
    twFunctions f(w);
    std::string events;
    f.addFoundFileHandler([&](const String& p) { events += toUtf8(p) + ";"; });
    String top = u"C:\\T";
    try {
        f.FindFiles(top, u"*.sid");
        ADD_FAILURE() << "the 32,768th subfolder overflows the count";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), errors::Overflow);
    }
    EXPECT_EQ(events, "C:\\T\\first.sid;C:\\T\\Fits\\last\\in.sid;");
    EXPECT_EQ(w.openEnumerations, 0);
}

// Handlers run in the order added; one added during an event first runs for
// the next, one removed no more; a handler may start a search of its own,
// which enters again what the search under way has entered, and after which
// that search goes on; an error in one ends the search; a copy of the object
// carries its own handlers.
TEST(FoundFile, HandlersInOrderChangedAtOnceAndFreeToSearch) {
    Tree w;
    twFunctions f(w);
    std::string log;
    std::uint64_t second = 0;
    const auto first = f.addFoundFileHandler([&](const String& p) {
        log += "1 " + toUtf8(p.substr(5)) + ";";
        if (second == 0 || p.find(u"tune") == String::npos) return;
        f.removeFoundFileHandler(std::exchange(second, 0));
        f.addFoundFileHandler([&](const String& q) { log += "late " + toUtf8(q.substr(5)) + ";"; });
        String again = u"C:\\T\\A";
        EXPECT_EQ(f.FindFiles(again, u"tune.sid"), Variant(20));
    });
    second = f.addFoundFileHandler([&](const String&) { log += "second;"; });
    String top = u"C:\\T", a = u"C:\\T\\A";
    f.FindFiles(top, u"*.sid");
    EXPECT_EQ(log,
              "1 top.sid;second;1 A\\B\\tune.sid;1 A\\B\\tune.sid;late A\\B\\tune.sid;1 "
              "A\\B\\C\\tune.sid;"
              "late A\\B\\C\\tune.sid;1 A\\B\\C\\tune.sid;late A\\B\\C\\tune.sid;1 "
              "Z\\tune.sid;late Z\\tune.sid;");
    twFunctions copy(f);
    f.removeFoundFileHandler(first);
    f.removeFoundFileHandler(first);  // a second removal does nothing
    log.clear();
    f.FindFiles(a, u"*.sid");
    EXPECT_EQ(log, "late A\\B\\tune.sid;late A\\B\\C\\tune.sid;");
    copy.addFoundFileHandler([](const String&) { throw Error(errors::PermissionDenied); });
    log.clear();
    EXPECT_THROW(copy.FindFiles(top, u"*.sid"), Error);
    EXPECT_EQ(log, "1 top.sid;late top.sid;");
    EXPECT_EQ(w.openEnumerations, 0);
}

}  // namespace
}  // namespace tarnwick
