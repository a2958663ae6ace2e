// FindFile and FindFiles on real folder trees.
#include <fnmatch.h>
#include <sys/resource.h>
#include <sys/syscall.h>

#include <set>

#include "posix/hostile_input.h"

namespace tarnwick {
namespace {

using namespace testing;
using Strings = std::vector<String>;

class RealSearch : public BadInput {
  protected:
    // FindFiles' events, sorted, and its total.
    std::pair<Strings, Variant> found(String path, const String& pattern) {
        Strings events;
        const auto token = f->addFoundFileHandler([&](const String& p) { events.push_back(p); });
        const Variant sum = f->FindFiles(path, pattern);
        f->removeFoundFileHandler(token);
        std::sort(events.begin(), events.end());
        return {events, sum};
    }
    String at(const std::string& relative) { return u16(sandbox / relative); }
    static std::size_t openDescriptors() {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), {}));
    }
};

TEST_F(RealSearch, FindsAndReportsEachEntryOnceWholeAndWithItsSize) {
    // clang-format off
    for (const char* file : {"t/Elite.D64", "t/sub/elite.d64", "t/.hidden/secret.prg", "t/locked/x",
             "t/here/a/target.t64", "t/*/tune\xff\xfe.sid", "one/README", "loop/a.sid", "loop/c.sidx",
             "loop/sub/b.sid", "elsewhere/far.sid", "n/T\xff.D64", "n/..odd", "n/\xF0\x9F\x8E\xB5.sid", "v/a.prg", "v/b.prg",
             "v/sub1/x.prg", "v/sub2/y.prg"})
        // clang-format on
        write(file, "1");
    write("one/file.bin", std::string(100, 'x'));
    fs::create_directories(sandbox / "one/empty");
    fs::resize_file(write("big/disk.img", ""), 5000000000ull);
    write("big/small.IMG", "12345");
    fs::create_directory_symlink(sandbox / "loop", sandbox / "loop/sub/up");
    fs::create_directory_symlink("../..", sandbox / "loop/sub/above");  // holds the start
    fs::create_directory_symlink(sandbox / "elsewhere", sandbox / "loop/linked");
    fs::create_symlink(sandbox / "loop/a.sid", sandbox / "loop/alias.sid");
    fs::create_symlink(sandbox / "gone.sid", sandbox / "loop/dangling.sid");
    fs::create_directory_symlink(sandbox / "loop", sandbox / "door");
    fs::create_directories(sandbox / "self");
    fs::create_directory_symlink(sandbox / "self", sandbox / "self/me");
    fs::current_path(sandbox / "t/here");
    const std::size_t descriptors = openDescriptors();
    fs::permissions(sandbox / "t/locked", fs::perms::none);
    const bool root = ::geteuid() == 0;
    ASSERT_TRUE(!root || ::seteuid(65534) == 0);  // so that the mode binds

    EXPECT_EQ(f->FindFile(u"ELITE.d64", at("t")), at("t/Elite.D64")) << "the name as on disk";
    EXPECT_EQ(f->FindFile(fromUtf8("TUNE\xff\xfe.sid"), at("t")), at("t/*/tune\xff\xfe.sid"));
    EXPECT_EQ(f->FindFile(u"Elite.D64", at("t/missing")), u"");
    // Not found: hidden and unreadable folders, names with a NUL, a lone surrogate, a path.
    for (const String& name : {u"ELITE.D64 "s, u"secret.prg"s, u"x"s, u"Elite.D64\0junk"s,
                               u"\xD800"s, u""s, u"//"s, u"sub/ELITE.D64"s})
        EXPECT_EQ(f->FindFile(name, at("t")), u"") << toUtf8(name);
    for (const String folder : {u"", u"a", u"."})
        EXPECT_EQ(f->FindFile(u"target.t64", folder), at("t/here/a/target.t64"));
    EXPECT_EQ(f->FindFile(u"TMP", u"/"), u"/tmp") << "the root's separator is not doubled";

    fs::current_path(sandbox);
    const std::tuple<String, String, Strings, Variant> searches[] = {
        // clang-format off
        {at("one/"), u"*.*", {u"README", u"empty", u"file.bin"}, Variant(101)},
        {at("missing"), u"*", {}, Variant()},
        {at("self"), u"*.sid", {}, Variant()},  // a folder left unread adds nothing, not even 0
        {ofLength(32768), u"*", {}, Variant()},
        {at("big/"), u"*.img", {u"disk.img", u"small.IMG"}, Variant(5000000005.0)},
        {u"door", u"*.sid", {u"a.sid", u"alias.sid", u"dangling.sid", u"linked/far.sid", u"sub/b.sid"}, Variant(4)},
        {at("n"), u"t*.d64", {fromUtf8("T\xff.D64")}, Variant(1)},
        {at("n"), u"\U0001F3B5*", {fromUtf8("\xF0\x9F\x8E\xB5.sid")}, Variant(1)},
        {at("n"), u"..*", {u"..odd"}, Variant(1)}};  // clang-format on
    for (const auto& [folder, pattern, below, total] : searches) {
        Strings events;
        for (const String& entry : below)
            events.push_back((folder.ends_with(u'/') ? folder : folder + u"/") + entry);
        EXPECT_EQ(found(folder, pattern), std::pair(events, total))
            << toUtf8(folder + u" " + pattern);
    }
    for (const String& pattern :
         {String(), u"\0*"s, u"*\0"s, u"\xD800*"s, u"*\xD83C"s, u"\xD83C\xE000"s,
          String(32768, u'*') + u".zzz", String(40000, u'a')})
        EXPECT_EQ(found(at("t"), pattern).first, Strings{}) << toUtf8(pattern).substr(0, 20);
    ASSERT_TRUE(!root || ::seteuid(0) == 0);
    EXPECT_EQ(openDescriptors(), descriptors) << "every listing closed";
    f->addFoundFileHandler([&](const String&) { fs::remove_all(sandbox / "v"); });
    EXPECT_EQ(found(at("v"), u"*.prg").first.size(), 1u) << "entries that vanish are left out";

    // Deeper than PATH_MAX, with fewer descriptors than levels: found, reported, deleted.
    const std::string name(60, 'n');
    std::string leaf = write("deep/.keep", "").parent_path().string();
    fs::current_path(leaf);
    for (int i = 0; i < 80; ++i, leaf += "/" + name)
        fs::create_directory(name), fs::current_path(name);
    std::ofstream("leaf.prg") << "abc";
    leaf += "/leaf.prg";
    fs::current_path(sandbox);
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    const rlimit few{openDescriptors() + 20, limit.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &few), 0);
    EXPECT_EQ(f->FindFile(u"LEAF.PRG", at("deep")), fromUtf8(leaf));
    EXPECT_EQ(found(at("deep"), u"*.prg").first, Strings{fromUtf8(leaf)});
    f->DeletePathSilent(fromUtf8(leaf));
    EXPECT_EQ(f->FindFile(u"leaf.prg", at("deep")), u"") << "deleted by its path";
    f->DeletePathSilent(at("deep/" + name));
    EXPECT_FALSE(fs::exists(sandbox / "deep" / name)) << "deleted with its tree";
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

// Each folder's matches in listing order, then its subfolders, each once.
void walk(const fs::path& folder, std::set<std::pair<dev_t, ino_t>>& entered,
          std::vector<std::string>& events) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        !entered.insert({st.st_dev, st.st_ino}).second)
        return;
    std::vector<fs::path> entries;
    std::error_code unreadable;
    for (const fs::directory_entry& e : fs::directory_iterator(folder, unreadable)) {
        entries.push_back(e.path());
        if (::fnmatch("*.sid", e.path().filename().c_str(), FNM_CASEFOLD) == 0)
            events.push_back(e.path().string());
    }
    for (const fs::path& entry : entries) walk(entry, entered, events);
}

// Links (above too, and to nothing), unreadable folders, cold caches (as
// root), searched as a user whom modes bind.
TEST_F(RealSearch, WalksDepthFirstLikeAPlainWalkOfARandomTree) {
    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    std::vector<fs::path> folders{write("root/.x", "").parent_path()};
    for (int i = 0; i < 10000; ++i) {
        const fs::path to = folders[random() % folders.size()] /
                            (std::to_string(i) + std::string(".sid.SID.txt").substr(i % 4 * 4, 4));
        const unsigned kind = random() % 100;
        if (kind < 10) fs::create_directory(folders.emplace_back(to));
        if (kind >= 10 && kind < 13)
            fs::create_symlink(kind == 10 ? temp / "none" : folders[random() % folders.size()], to);
        if (kind >= 13) std::ofstream(to) << std::string(kind, '-');
    }
    for (std::size_t i = 1; i < folders.size(); i += 29) fs::permissions(folders[i], fs::perms{});
    ::sync();
    std::ofstream("/proc/sys/vm/drop_caches") << "3";
    const bool root = ::geteuid() == 0 && ::syscall(SYS_setresuid, -1, 65534, -1) == 0;
    std::vector<std::string> expected, got;
    f->addFoundFileHandler([&](const String& path) { got.push_back(toUtf8(path)); });
    String start = u16(folders[0]);
    f->FindFiles(start, u"*.sid");
    std::set<std::pair<dev_t, ino_t>> entered;
    walk(folders[0], entered, expected);
    if (root) ::syscall(SYS_setresuid, -1, 0, -1);
    EXPECT_EQ(got, expected) << "seed " << seed;
}

}  // namespace
}  // namespace tarnwick
