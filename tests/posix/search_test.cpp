// FindFile and FindFiles on real folder trees: the order the system lists
// entries in, names without regard to case, real sizes (a sparse file of
// five thousand million bytes), links that make a tree hold itself, and the
// system calls an entry costs.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>

#include "platform/posix/posix_platform.h"
#include "posix/path_text.h"
#include "support/temp_folder.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using testing::TempFolder;
using testing::u16;
namespace fs = std::filesystem;

// The names of a folder in the order the system lists them.
std::vector<std::string> listed(const fs::path& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    while (const dirent* e = dir ? ::readdir(dir) : nullptr) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    if (dir) ::closedir(dir);
    return names;
}

class RealSearch : public ::testing::Test {
  protected:
    void SetUp() override { saved_ = fs::current_path(); }
    void TearDown() override { fs::current_path(saved_); }
    std::vector<String> search(String& path, const String& pattern, Variant& total) {
        std::vector<String> events;
        const auto token = f.addFoundFileHandler([&](const String& p) { events.push_back(p); });
        total = f.FindFiles(path, pattern);
        f.removeFoundFileHandler(token);
        return events;
    }
    TempFolder temp;
    PosixPlatform host;
    twFunctions f{host};

  private:
    fs::path saved_;
};

TEST_F(RealSearch, FindFileTakesTheFolderItselfFirstWithoutRegardToCase) {
    temp.write("Games/Elite.D64", "x");
    temp.write("Games/sub/elite.d64", "y");
    EXPECT_EQ(f.FindFile(u"Elite.D64", u16(temp / "Games")), u16(temp / "Games/Elite.D64"));
    EXPECT_EQ(f.FindFile(u"ELITE.d64", u16(temp / "Games")), u16(temp / "Games/Elite.D64"))
        << "the name as it stands on disk";
    EXPECT_EQ(f.FindFile(u"elite.d64", u16(temp / "Games/sub/")), u16(temp / "Games/sub/elite.d64"))
        << "a trailing separator is taken as it stands";
}

TEST_F(RealSearch, FindFileGoesDepthFirstThroughTheFirstListedSubfolder) {
    for (const char* name : {"alpha", "beta", "gamma", "delta"})
        fs::create_directories(temp / name);
    const std::vector<std::string> order = listed(temp.path());
    temp.write(order.front() + "/one/two/tune.sid", "deep");
    temp.write(order.back() + "/tune.sid", "shallow");
    EXPECT_EQ(f.FindFile(u"tune.sid", u16(temp.path())),
              u16(temp / (order.front() + "/one/two/tune.sid")));
}

TEST_F(RealSearch, FindFileSkipsHiddenFoldersAndFindsNothingThatIsNotThere) {
    temp.write(".hidden/secret.prg");
    temp.write("open/deeper/other.prg");
    EXPECT_EQ(f.FindFile(u"secret.prg", u16(temp.path())), u"");
    EXPECT_EQ(f.FindFile(u"nowhere.prg", u16(temp.path())), u"");
    EXPECT_EQ(f.FindFile(u"other.prg", u16(temp / "missing")), u"");
    EXPECT_EQ(f.FindFile(u"other.prg", u16(temp.path())), u16(temp / "open/deeper/other.prg"));
}

TEST_F(RealSearch, FindFileWithAnEmptyOrRelativeFolderGivesAFullPath) {
    temp.write("here/a/target.t64");
    fs::current_path(temp / "here");
    const String expected = u16(fs::current_path() / "a/target.t64");
    EXPECT_EQ(f.FindFile(u"target.t64", u""), expected);
    EXPECT_EQ(f.FindFile(u"target.t64", u"a"), expected);
    EXPECT_EQ(f.FindFile(u"target.t64", u"."), expected);
}

TEST_F(RealSearch, FindFilesReportsEachFoldersMatchesBeforeItsSubfolders) {
    temp.write("Music/top.sid", std::string(10, 'a'));
    temp.write("Music/Notes.TXT", "not a tune");
    temp.write("Music/Hubbard/Commando.SID", std::string(20, 'b'));
    temp.write("Music/Hubbard/Extra/Delta.Sid", std::string(30, 'c'));
    temp.write("Music/Galway/Wizball.sid", std::string(40, 'd'));
    String path = u16(temp / "Music");
    Variant total;
    const std::vector<String> events = search(path, u"*.sid", total);
    EXPECT_EQ(path, u16(temp / "Music") + u"/") << "the caller's path gains its separator";

    std::vector<String> expected{path + u"top.sid"};
    for (const std::string& sub : listed(temp / "Music")) {
        if (sub == "Hubbard") {
            expected.push_back(path + u"Hubbard/Commando.SID");
            expected.push_back(path + u"Hubbard/Extra/Delta.Sid");
        } else if (sub == "Galway") {
            expected.push_back(path + u"Galway/Wizball.sid");
        }
    }
    EXPECT_EQ(events, expected);
    EXPECT_EQ(total, Variant(std::int32_t{100}));
}

TEST_F(RealSearch, StarDotStarMatchesEveryNameAndFolders) {
    temp.write("one/file.bin", std::string(100, 'x'));
    fs::create_directories(temp / "one/empty");
    String path = u16(temp / "one") + u"/";
    Variant total;
    const std::vector<String> events = search(path, u"*.*", total);
    std::vector<String> sorted = events;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (std::vector<String>{path + u"empty", path + u"file.bin"}));
    EXPECT_EQ(total, Variant(std::int32_t{100})) << "a folder adds nothing";

    temp.write("two/README", "no dot");
    String two = u16(temp / "two");
    const std::vector<String> readme = search(two, u"*.*", total);
    EXPECT_EQ(readme, std::vector<String>{two + u"README"});
}

TEST_F(RealSearch, TotalsFollowTheAutomationRules) {
    temp.write("leaf/other.txt");
    temp.write("tree/a/x.txt");
    fs::create_directories(temp / "tree/b");
    String leaf = u16(temp / "leaf"), tree = u16(temp / "tree"), none = u16(temp / "none");
    Variant total;
    EXPECT_TRUE(search(leaf, u"*.sid", total).empty());
    EXPECT_EQ(total.kind(), Variant::Kind::Empty);
    EXPECT_TRUE(search(tree, u"*.sid", total).empty());
    EXPECT_EQ(total, Variant(std::int16_t{0}));
    EXPECT_EQ(total.kind(), Variant::Kind::Integer);
    EXPECT_TRUE(search(none, u"*", total).empty());
    EXPECT_EQ(total.kind(), Variant::Kind::Empty);
}

TEST_F(RealSearch, ASparseFileOfFiveThousandMillionBytesAddsExactlyThat) {
    const fs::path big = temp.write("big/disk.img");
    fs::resize_file(big, 5000000000ull);
    temp.write("big/small.img", "12345");
    String path = u16(temp / "big");
    Variant total;
    EXPECT_EQ(search(path, u"*.IMG", total).size(), 2u);
    EXPECT_EQ(total.kind(), Variant::Kind::Double);
    EXPECT_EQ(total.asDouble(), 5000000005.0);
}

TEST_F(RealSearch, ATreeThatHoldsItselfThroughLinksIsSearchedOnce) {
    temp.write("root/a.sid", "1");
    temp.write("root/sub/b.sid", "22");
    fs::create_directory_symlink(temp / "root", temp / "root/sub/up");
    fs::create_directory_symlink(".", temp / "root/sub/self");
    fs::create_directory_symlink("../..", temp / "root/sub/above");  // holds the search's root
    String path = u16(temp / "root");
    Variant total;
    std::vector<String> events = search(path, u"*.sid", total);
    std::sort(events.begin(), events.end());
    EXPECT_EQ(events, (std::vector<String>{path + u"a.sid", path + u"sub/b.sid"}));
    EXPECT_EQ(total, Variant(std::int32_t{3}));
    EXPECT_EQ(f.FindFile(u"missing.sid", u16(temp / "root")), u"");

    // Started below a link, and from a relative name: still once.
    fs::create_directory_symlink(temp / "root", temp / "door");
    fs::current_path(temp.path());
    String relative = u"door";
    events = search(relative, u"*.sid", total);
    EXPECT_EQ(events.size(), 2u);
}

TEST_F(RealSearch, ALinkToAFolderElsewhereIsFollowedAndALinkToAFileCounts) {
    temp.write("elsewhere/far.sid", "1234");
    temp.write("tree/real.sid", "1");
    fs::create_directory_symlink(temp / "elsewhere", temp / "tree/linked");
    fs::create_symlink(temp / "tree/real.sid", temp / "tree/alias.sid");
    fs::create_symlink(temp / "gone.sid", temp / "tree/dangling.sid");
    String path = u16(temp / "tree");
    Variant total;
    std::vector<String> events = search(path, u"*.sid", total);
    std::sort(events.begin(), events.end());
    EXPECT_EQ(events, (std::vector<String>{path + u"alias.sid", path + u"dangling.sid",
                                           path + u"linked/far.sid", path + u"real.sid"}));
    EXPECT_EQ(total, Variant(std::int32_t{1 + 1 + 4})) << "a link weighs what it names";
}

TEST_F(RealSearch, NamesThatAreNotUtf8SurviveTheSearch) {
    const std::string odd = "tune\xff\xfe.sid";
    temp.write("odd/" + odd, "abc");
    String path = u16(temp / "odd");
    Variant total;
    const std::vector<String> events = search(path, u"*.SID", total);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(toUtf8(events[0]), (temp / "odd").string() + "/" + odd);
    EXPECT_EQ(toUtf8(f.FindFile(fromUtf8(odd), u16(temp.path()))),
              (temp / "odd").string() + "/" + odd);
}

// The enumeration itself: wildcards, letter case and the Windows rule that
// "*.*" matches every name.
TEST(NamePatternMatching, WildcardsAndCase) {
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    };
    const Case cases[] = {
        {"*.sid", "Tune.SID", true},
        {"*.sid", "tune.sidx", false},
        {"*.sid", ".sid", true},
        {"*.*", "README", true},
        {"*", "", true},
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"a?c", "abbc", false},
        {"*a*b*c", "xxaybzc", true},
        {"*a*b*c", "xxaybz", false},
        {"ÄPFEL*", "äpfel.prg", true},
        {"?pfel.prg", "äpfel.prg", true},
        {"GRÜN", "grün", true},
        {"grün", "grun", false},
        {"t*.d64", "T\xff.D64", true},
        {"exact.prg", "exact.prg", true},
        {"exact.prg", "exact.prgx", false},
        {"**x", "x", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NamePattern(c.pattern).matches(c.name), c.match) << c.pattern << " " << c.name;
    EXPECT_TRUE(sameNameIgnoringCase("Ärger.TXT", "äRGER.txt"));
    EXPECT_FALSE(sameNameIgnoringCase("a.txt", "a.txt "));
}

TEST(PosixEnumeration, ListsFoldersByTypeAndSizesOnlyWhenAsked) {
    TempFolder temp;
    temp.write("e/file.bin", std::string(123, 'x'));
    temp.write("e/.dot", "");
    fs::create_directories(temp / "e/folder");
    PosixPlatform host;
    for (FindDetail detail : {FindDetail::Basic, FindDetail::WithSize}) {
        FindData d;
        const FindHandle h = host.findFirst(u16(temp / "e/*"), detail, d);
        ASSERT_NE(h, invalidFindHandle);
        std::map<String, FindData> seen;
        do seen[d.name] = d;
        while (host.findNext(h, d));
        host.findClose(h);
        ASSERT_EQ(seen.size(), 5u) << "with . and ..";
        EXPECT_EQ(seen[u"folder"].attributes, file_attributes::Directory);
        EXPECT_EQ(seen[u"."].attributes, file_attributes::Directory);
        EXPECT_EQ(seen[u".dot"].attributes, file_attributes::Hidden);
        EXPECT_EQ(seen[u"file.bin"].attributes, 0u);
        EXPECT_EQ(seen[u"file.bin"].sizeLow, detail == FindDetail::WithSize ? 123u : 0u);
        EXPECT_EQ(seen[u"folder"].sizeLow, 0u) << "a folder weighs nothing";
    }
    FindData d;
    EXPECT_EQ(host.findFirst(u16(temp / "e/*.none"), FindDetail::Basic, d), invalidFindHandle);
    EXPECT_EQ(host.findFirst(u16(temp / "missing/*"), FindDetail::Basic, d), invalidFindHandle);
    EXPECT_EQ(host.findFirst(u16(temp / "e/"), FindDetail::Basic, d), invalidFindHandle);
}

#ifdef TARNWICK_CLI
// A folder's entries are tested by the type the listing gives: the search
// asks for the status of an entry only for its size (a match) or, once per
// subfolder, for the folder's identity. Counted by strace around the
// tarnwick command, against the same command on an empty folder.
std::size_t statCalls(const fs::path& folder, const fs::path& log) {
    const std::string command = "strace -f -qq -e 'trace=%%stat' -o '" + log.string() + "' '" +
                                TARNWICK_CLI + "' find-files '" + folder.string() +
                                "' '*.sid' > /dev/null 2>&1";
    if (::system(command.c_str()) == -1) return 0;
    std::ifstream in(log);
    std::size_t count = 0;
    // The status of a name; opendir's own look at the folder it opened
    // (AT_EMPTY_PATH) is the enumeration's, not an entry's.
    for (std::string line; std::getline(in, line);)
        if (line.find("stat") != std::string::npos &&
            line.find("AT_EMPTY_PATH") == std::string::npos)
            ++count;
    return count;
}

TEST(PosixEnumeration, AnEntryCostsNoStatItsTestDoesNotNeed) {
    if (::system("strace -qq -o /dev/null true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "strace is not installed or cannot trace here";
    TempFolder temp;
    for (int folder = 0; folder < 4; ++folder)
        for (int file = 0; file < 50; ++file)
            temp.write("lib/f" + std::to_string(folder) + "/n" + std::to_string(file) +
                       (file < 5 ? ".sid" : ".txt"));
    fs::create_directories(temp / "nil");
    const std::size_t baseline = statCalls(temp / "nil", temp / "nil.log");
    const std::size_t tree = statCalls(temp / "lib", temp / "lib.log");
    ASSERT_GT(fs::file_size(temp / "lib.log"), 0u) << "the trace was not written";
    ASSERT_GE(tree, baseline);
    // 20 matches need their size; 4 subfolders their identity; the one
    // folder with subfolders the identities of its chain, a stat per level.
    // Not one of the 180 other files is looked at.
    const std::string lib = (temp / "lib").string();
    const std::size_t levels = std::count(lib.begin(), lib.end(), '/') + 1;
    EXPECT_GE(tree - baseline, 20u);
    EXPECT_LE(tree - baseline, 20 + 4 + levels) << tree << " against " << baseline;
}

// The command prints each path as it is found, then the total.
TEST(TarnwickCommand, FindFilesListsThePathsAndTheTotal) {
    TempFolder temp;
    temp.write("m/a.SID", "abc");
    temp.write("m/sub/b.sid", "12345");
    temp.write("m/sub/c.txt", "no");
    const auto run = [&](const std::string& arguments, int& status) {
        std::string text;
        FILE* pipe = ::popen(
            ("'" + std::string(TARNWICK_CLI) + "' " + arguments + " 2>/dev/null").c_str(), "r");
        char buffer[512];
        while (pipe && std::fgets(buffer, sizeof buffer, pipe)) text += buffer;
        status = pipe ? WEXITSTATUS(::pclose(pipe)) : -1;
        return text;
    };
    const std::string m = (temp / "m").string();
    int status = -1;
    EXPECT_EQ(run("find-files '" + m + "' '*.sid'", status),
              m + "/a.SID\n" + m + "/sub/b.sid\ntotal: 8\n");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(run("find-files '" + m + "' '*.none'", status), "total: 0\n");
    EXPECT_EQ(status, 1);
    EXPECT_EQ(run("find B.SID '" + temp.path().string() + "'", status), m + "/sub/b.sid\n");
    EXPECT_EQ(status, 0);
    run("find-files '" + m + "'", status);
    EXPECT_EQ(status, 2) << "a missing pattern is a wrong command line";
}
#endif

}  // namespace
}  // namespace tarnwick
