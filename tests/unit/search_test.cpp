// FindFile, FindFiles and FoundFile where attributes, counts and listings are exact.
#include <gtest/gtest.h>

#include "support/fake_platform.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using testing::FakePlatform;

// T: matches deep in its first subfolder and in a later one, hidden and
// system folders, a link back to T and to T\A\B; beside it a tree for totals.
struct Tree : FakePlatform {
    Tree() {
        for (const char16_t* folder : {u"T", u"T\\A", u"T\\A\\B", u"T\\A\\B\\C", u"T\\A\\Back",
                                       u"T\\A\\Also", u"T\\Z", u"Two", u"Two\\One", u"game"})
            addFolder(folder);
        addFolder(u"T\\Hid", file_attributes::Hidden);
        addFolder(u"T\\Sys", file_attributes::System);
        for (const char16_t* file : {u"T\\top.sid", u"T\\A\\B\\tune.sid", u"T\\A\\B\\C\\tune.sid",
                                     u"T\\Z\\tune.sid", u"T\\Hid\\x.prg", u"T\\Sys\\x.prg"})
            addTreeFile(file, 10);
        addTreeFile(u"Two\\a.bin", 0x7FFFFFFF);  // the largest Long, and one more
        addTreeFile(u"Two\\One\\b.bin", 1);
        addTreeFile(u"game\\game", 7);
        folderIds[u"T"] = folderIds[u"T\\A\\Back"] = 1;
        folderIds[u"T\\A\\B"] = folderIds[u"T\\A\\Also"] = 2;
    }
};

// Rows: folder, name, FindFile's find, FindFiles' events, total (a name as folder: one string).
TEST(Search, DepthFirstInListingOrderEachFolderOnce) {
    const std::tuple<String, String, String, std::string, Variant> rows[] = {
        // clang-format off
        {u"T\\", u"tune.sid", u"T\\A\\B\\tune.sid", "T\\A\\B\\tune.sid;T\\A\\B\\C\\tune.sid;T\\Z\\tune.sid;", Variant(30)},
        {u"T", u"x.prg", u"", "T\\Hid\\x.prg;T\\Sys\\x.prg;", Variant(20)},
        {u"Two", u"*.sid", u"", "", Variant(std::int16_t{0})},
        {u"Two", u"*.bin", u"", "Two\\a.bin;Two\\One\\b.bin;", Variant(2147483648.0)},
        {u"Two", u"a.bin", u"Two\\a.bin", "Two\\a.bin;", Variant(0x7FFFFFFF)},
        {u"game", u"game", u"game\\game", "game\\game;", Variant(7)}};  // clang-format on
    for (const auto& [folder, name, found, expected, total] : rows) {
        SCOPED_TRACE(toUtf8(folder + u" " + name));
        Tree w;
        twFunctions f(w);
        std::string events;
        f.addFoundFileHandler([&](const String& p) { events += toUtf8(p) + ";"; });
        f.addFoundFileHandler(twFunctions::FoundFileHandler());  // left empty: passed over
        String path = folder;
        EXPECT_EQ(  // in this order
            (std::tuple{f.FindFile(name, folder), f.FindFiles(path, name == folder ? path : name),
                        path, events}),
            std::tuple(found, total, folder.ends_with(u'\\') ? folder : folder + u"\\", expected))
            << "the folder gains its separator";
        EXPECT_FALSE(w.called("searchPath T\\A\\Back") || w.called("searchPath T\\A\\Also"));
        EXPECT_EQ(w.openEnumerations + w.mostOpenEnumerations, 1);
    }
}

TEST(FindFiles, The32768thSubfolderOverflowsAndEndsTheWholeSearch) {
    FakePlatform w;
    w.addFolder(u"T");
    w.addTreeFile(u"T\\first.sid", 1);
    for (const String folder : {u"T\\Fits", u"T\\Full"}) {
        w.addFolder(folder);
        w.folders[folder].resize(32766, {u"d", file_attributes::Directory});
        w.addFolder(folder + u"\\last");
        w.addTreeFile(folder + u"\\last\\in.sid", 1);
    }
    w.addFolder(u"T\\Full\\one too many");
    twFunctions f(w);
    std::string events;
    f.addFoundFileHandler([&](const String& p) { events += toUtf8(p) + ";"; });
    String top = u"T";
    try {
        f.FindFiles(top, u"*.sid");
    } catch (const Error& e) {
        events += std::to_string(e.number());
    }
    EXPECT_EQ(events + std::to_string(w.openEnumerations),
              "T\\first.sid;T\\Fits\\last\\in.sid;" + std::to_string(errors::Overflow) + "0");
}

// Handlers run in order, change at once, may search again and may end the
// search by an error; a copy of the object has handlers of its own.
TEST(FoundFile, HandlersInOrderChangedAtOnceAndFreeToSearch) {
    Tree w;
    twFunctions f(w);
    std::string log;
    std::uint64_t second = 0;
    const auto first = f.addFoundFileHandler([&](const String& p) {
        log += "1 " + toUtf8(p) + ";";
        if (second == 0 || p.find(u"tune") == String::npos) return;
        f.removeFoundFileHandler(std::exchange(second, 0));
        f.addFoundFileHandler([&](const String& q) { log += "late " + toUtf8(q) + ";"; });
        String again = u"T\\A";
        EXPECT_EQ(f.FindFiles(again, u"tune.sid"), Variant(20));
    });
    second = f.addFoundFileHandler([&](const String&) { log += "second;"; });
    String top = u"T", a = u"T\\A";
    f.FindFiles(top, u"*.sid");
    EXPECT_EQ(log,
              "1 T\\top.sid;second;1 T\\A\\B\\tune.sid;1 T\\A\\B\\tune.sid;late T\\A\\B\\tune.sid;"
              "1 T\\A\\B\\C\\tune.sid;late T\\A\\B\\C\\tune.sid;1 T\\A\\B\\C\\tune.sid;"
              "late T\\A\\B\\C\\tune.sid;1 T\\Z\\tune.sid;late T\\Z\\tune.sid;");
    twFunctions copy(f);
    f.removeFoundFileHandler(first);
    f.removeFoundFileHandler(first);  // a second removal does nothing
    log.clear();
    f.FindFiles(a, u"*.sid");
    EXPECT_EQ(log, "late T\\A\\B\\tune.sid;late T\\A\\B\\C\\tune.sid;");
    copy.addFoundFileHandler([](const String&) { throw Error(errors::PermissionDenied); });
    log.clear();
    EXPECT_THROW(copy.FindFiles(top, u"*.sid"), Error);
    EXPECT_EQ(log, "1 T\\top.sid;late T\\top.sid;");
    EXPECT_EQ(w.openEnumerations, 0);
}

}  // namespace
}  // namespace tarnwick
