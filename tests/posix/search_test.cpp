// FindFile and FindFiles on real folder trees: names without regard to
// case, real sizes (a sparse file of five thousand million bytes), links
// that make a tree hold itself or reach a folder twice over, names that
// are hostile or no UTF-8, entries that vanish; trees deeper than the
// descriptors a process may hold and than PATH_MAX, searched and deleted;
// the wildcard matcher and the tarnwick command.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

#include "posix/hostile_input.h"
#include "support/child_process.h"

namespace tarnwick {
namespace {

using namespace testing;
using Strings = std::vector<String>;

std::size_t openDescriptors() {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), {}));
}

// Runs body in a child process, whose limits stay its own; its exit status,
// or -1 when it has not ended within the given seconds (it is then killed).
int inChild(double seconds, const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(body());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) ::kill(child, SIGKILL);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Folders named name inside each other, depth of them, "abc" in leaf.prg
// at the bottom; returns the leaf's path.
std::string chain(const fs::path& top, int depth, const std::string& name) {
    fs::create_directories(top);
    int fd = ::open(top.c_str(), O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; i < depth; ++i) {
        ::mkdirat(fd, name.c_str(), 0755);
        const int next = ::openat(fd, name.c_str(), O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    const int leaf = ::openat(fd, "leaf.prg", O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    EXPECT_EQ(::write(leaf, "abc", 3), 3);
    ::close(leaf);
    ::close(fd);
    std::string path = top.string();
    for (int i = 0; i < depth; ++i) path += "/" + name;
    return path + "/leaf.prg";
}

class RealSearch : public BadInput {
  protected:
    Strings found(String path, const String& pattern, Variant* total = nullptr) {
        Strings events;
        const auto token = f->addFoundFileHandler([&](const String& p) { events.push_back(p); });
        const Variant sum = f->FindFiles(path, pattern);
        f->removeFoundFileHandler(token);
        if (total) *total = sum;
        std::sort(events.begin(), events.end());
        return events;
    }
    String at(const std::string& relative) { return u16(sandbox / relative); }
};

TEST_F(RealSearch, FindsAndReportsEachEntryOnceWholeAndWithItsSize) {
    for (const char* file : {"t/Elite.D64", "t/sub/elite.d64", "t/.hidden/secret.prg",
                             "t/here/a/target.t64", "t/odd/tune\xff\xfe.sid", "one/README",
                             "loop/a.sid", "loop/sub/b.sid", "elsewhere/far.sid"})
        write(file, "1");
    write("one/file.bin", std::string(100, 'x'));
    fs::create_directories(sandbox / "one/empty");
    fs::resize_file(write("big/disk.img", ""), 5000000000ull);
    write("big/small.IMG", "12345");
    fs::create_directory_symlink(sandbox / "loop", sandbox / "loop/sub/up");
    fs::create_directory_symlink(".", sandbox / "loop/sub/self");
    fs::create_directory_symlink("../..", sandbox / "loop/sub/above");  // holds the start
    fs::create_directory_symlink(sandbox / "elsewhere", sandbox / "loop/linked");
    fs::create_symlink(sandbox / "loop/a.sid", sandbox / "loop/alias.sid");
    fs::create_symlink(sandbox / "gone.sid", sandbox / "loop/dangling.sid");
    fs::create_directory_symlink(sandbox / "loop", sandbox / "door");
    for (const Hostile& h : hostileNames) write("h/" + h.name + "/" + h.name + ".prg", "12345");
    fs::current_path(sandbox / "t/here");
    const std::size_t descriptors = openDescriptors();

    const std::tuple<String, const char*, const char*> finds[] = {
        // name, folder, found
        {u"Elite.D64", "t", "t/Elite.D64"},
        {u"ELITE.d64", "t", "t/Elite.D64"},  // the name as it stands on disk
        {u"elite.d64", "t/sub/", "t/sub/elite.d64"},
        {u"secret.prg", "t", nullptr},  // hidden folders are skipped
        {u"Elite.D64", "t/missing", nullptr},
        {u"Elite.D64\0junk"s, "t", nullptr},  // a NUL ends no name early
        {u"\xD800", "t", nullptr},            // a lone surrogate names no file
        {fromUtf8("tune\xff\xfe.SID"), "t", "t/odd/tune\xff\xfe.sid"},
    };
    for (const auto& [name, folder, file] : finds)
        EXPECT_EQ(f->FindFile(name, at(folder)), file ? at(file) : u"") << toUtf8(name);
    for (const String folder : {u"", u"a", u"."})
        EXPECT_EQ(f->FindFile(u"target.t64", folder), at("t/here/a/target.t64"));
    EXPECT_EQ(f->FindFile(u"TMP", u"/"), u"/tmp") << "the root's separator is not doubled";

    fs::current_path(sandbox);
    // Each row: the folder, the pattern, what is reported (below the folder)
    // and the total.
    const Strings looped = {u"a.sid", u"alias.sid", u"dangling.sid", u"linked/far.sid",
                            u"sub/b.sid"};
    Strings hostile;
    for (const Hostile& h : hostileNames)
        hostile.push_back(fromUtf8(h.name + "/" + h.name + ".prg"));
    std::sort(hostile.begin(), hostile.end());
    const std::tuple<String, String, Strings, Variant> searches[] = {
        {at("one/"), u"*.*", {u"README", u"empty", u"file.bin"}, Variant(std::int32_t{101})},
        {at("missing"), u"*", {}, Variant()},
        {at("one/README"), u"*", {}, Variant()},
        {u16(sandbox) + u"/\xD800", u"*", {}, Variant()},
        {ofLength(32768), u"*", {}, Variant()},
        {at("big/"), u"*.img", {u"disk.img", u"small.IMG"}, Variant(5000000005.0)},
        {at("loop/"), u"*.sid", looped, Variant(std::int32_t{4})},
        {u"door", u"*.sid", looped, Variant(std::int32_t{4})},
        {at("h"), u"*.PRG", hostile, Variant(static_cast<std::int32_t>(5 * hostileNames.size()))},
    };
    for (const auto& [folder, pattern, below, total] : searches) {
        Strings events;
        for (const String& entry : below)
            events.push_back((folder.ends_with(u'/') ? folder : folder + u"/") + entry);
        Variant sum;
        EXPECT_EQ(found(folder, pattern, &sum), events) << toUtf8(folder).substr(0, 60);
        EXPECT_EQ(sum, total) << toUtf8(folder).substr(0, 60);
    }
    for (const String& pattern : {String(), u"\0*"s, u"*\0"s, u"\xD800*"s, u"[a].prg"s, u"\n"s,
                                  String(32768, u'*') + u".zzz", String(40000, u'a')})
        EXPECT_EQ(found(at("t"), pattern), Strings{}) << toUtf8(pattern).substr(0, 20);
    EXPECT_EQ(openDescriptors(), descriptors) << "every listing closed";
    expectNoShell("search");
}

TEST_F(RealSearch, EntriesThatVanishDuringTheSearchAreLeftOut) {
    for (const char* name : {"v/a.prg", "v/b.prg", "v/sub1/x.prg", "v/sub2/y.prg"})
        write(name, "1");
    int events = 0;
    f->addFoundFileHandler([&](const String&) {
        ++events;
        for (const char* gone : {"v/a.prg", "v/b.prg", "v/sub1", "v/sub2"})
            fs::remove_all(sandbox / gone);
    });
    EXPECT_EQ(found(at("v"), u"*.prg").size(), 1u);
    EXPECT_EQ(events, 1);
}

// Deeper than the descriptors a process may hold (with one per level, the
// search missed the file and the deletion stopped), or than PATH_MAX: found,
// reported, deleted by its path and with its tree, in linear time.
TEST_F(RealSearch, TreesOfAnyDepthAreSearchedAndDeletedWithFewDescriptors) {
    struct Row {
        int depth;
        std::string name;
        rlim_t descriptors;
    };
    for (const Row& row : {Row{1500, "d", 1024}, Row{20, std::string(250, 'n'), 64}}) {
        const fs::path top = sandbox / "deep";
        const String leaf = fromUtf8(chain(top, row.depth, row.name));
        const int failed = inChild(60, [&] {
            const rlimit limit{row.descriptors, row.descriptors};
            if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) return 64;
            int result = f->FindFile(u"LEAF.PRG", u16(top)) == leaf ? 0 : 1;
            if (found(u16(top), u"*.prg") != Strings{leaf}) result |= 2;
            f->DeletePathSilent(leaf);  // its path longer than PATH_MAX in the second row
            bool reached = ::chdir(top.c_str()) == 0;
            for (int i = 0; i < row.depth; ++i) reached = reached && ::chdir(row.name.c_str()) == 0;
            if (!reached || ::access("leaf.prg", F_OK) == 0) result |= 4;
            f->DeletePathSilent(u16(top / row.name));
            return result | (fs::exists(top / row.name) ? 8 : 0);
        });
        EXPECT_EQ(failed, 0) << row.depth
                             << " levels: 1 not found, 2 not reported, 4 file not "
                                "deleted, 8 tree not deleted, -1 too slow";
        std::error_code ignored;
        fs::remove_all(top, ignored);
    }
}

// Each folder linked twice from the one before: searched once, not 2^40 times.
TEST_F(RealSearch, FoldersReachedTwiceOverAreSearchedOnce) {
    const int n = 40;
    for (int i = 0; i < n; ++i) fs::create_directories(sandbox / ("f" + std::to_string(i)));
    for (int i = 0; i < n; ++i)
        for (const char* link : {"a", "b"})
            fs::create_directory_symlink(sandbox / ("f" + std::to_string(i + 1)),
                                         sandbox / ("f" + std::to_string(i)) / link);
    write("f" + std::to_string(n) + "/end.sid", "1");
    const int failed = inChild(5, [&] {
        const auto start = std::chrono::steady_clock::now();
        int result = found(at("f0"), u"*.sid").size() == 1 ? 0 : 1;
        if (!f->FindFile(u"missing", at("f0")).empty()) result |= 2;
        return result |
               (std::chrono::steady_clock::now() - start > std::chrono::seconds(1) ? 4 : 0);
    });
    EXPECT_EQ(failed, 0) << "1 not reported once, 2 found, 4 or -1 too slow";
}

// Wildcards and letter case as the Windows enumeration matches them, "*.*"
// matching every name.
TEST(NamePatternMatching, WildcardsAndCase) {
    const std::tuple<const char*, const char*, bool> rows[] = {
        {"*.sid", "Tune.SID", true},   {"*.*", "README", true},
        {"a?c", "abc", true},          {"*a*b*c", "xxaybzc", true},
        {"ÄPFEL*", "äpfel.prg", true}, {"?pfel.prg", "äpfel.prg", true},
        {"t*.d64", "T\xff.D64", true}, {"**x", "x", true},
        {"*.sid", "tune.sidx", false}, {"a?c", "ac", false},
        {"a?c", "abbc", false},        {"*a*b*c", "xxaybz", false},
        {"grün", "grun", false}};
    for (const auto& [pattern, name, matches] : rows)
        EXPECT_EQ(NamePattern(pattern).matches(name), matches) << pattern << " " << name;
    EXPECT_TRUE(sameNameIgnoringCase("Ärger.TXT", "äRGER.txt"));
    EXPECT_FALSE(sameNameIgnoringCase("a.txt", "a.txt "));
}

#ifdef TARNWICK_CLI
// The command prints the path found, and with --total the total even of
// nothing found (the listing itself is the command-line script's).
TEST(TarnwickCommand, FindPrintsThePathAndTotalsEvenNothing) {
    TempFolder temp;
    temp.write("m/a.SID", "abc");
    temp.write("m/sub/b.sid", "12345");
    const std::string m = (temp / "m").string(), cli = TARNWICK_CLI;
    const std::tuple<std::vector<std::string>, std::string, int> rows[] = {
        {{cli, "find-files", "--total", m, "*.none"}, "total: 0\n", 1},
        {{cli, "find", "B.SID", temp.path().string()}, m + "/sub/b.sid\n", 0}};
    for (const auto& [argv, output, status] : rows) {
        const Finished run = runChild(argv);
        EXPECT_EQ(run.output, output) << argv[1];
        EXPECT_EQ(run.status, status) << argv[1];
    }
}
#endif

}  // namespace
}  // namespace tarnwick
