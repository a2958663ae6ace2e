// DeletePathSilent and ShellWithDefaultProgram for real, the sandbox compared before and after.
#include <sys/mount.h>

#include "posix/as_user.h"
#include "posix/hostile_input.h"
#include "support/scoped_variable.h"

namespace tarnwick {
namespace {

using namespace testing;

// Links removed and never followed, wildcards, hostile names, paths that name nothing to delete.
TEST_F(BadInput, DeletePathSilentDeletesExactlyWhatThePathNames) {
    // clang-format off
    const char* files[] = {"outside/keep.txt", "outside/dir/inner.txt", "tree/a.txt", "tree/.h", "tree/..x",
        "tree/sub/deeper/c.txt", "w/A.TMP", "w/b.tmp", "w/keep.txt", "w/sub.tmp/inside.txt", "w/x/y.txt", "w/README",
        "safe/file", "\xEF\xBF\xBD.d64", "del/star/a", "del/star/b/c", "del/q/?x[a]", "del/q/zx[a]", "del/q/zx[b]"};
    const fs::path outside = sandbox / "outside", dir = outside / "dir";
    const std::pair<fs::path, const char*> links[] = {{outside / "keep.txt", "tree/link-file"},
        {dir, "tree/sub/link-dir"}, {"..", "tree/sub/up"}, {sandbox / "gone", "tree/dangling"}, {dir, "w/link.tmp"},
        {outside, "links/a"}, {outside, "links/b"}, {outside, "links/via"}};
    // clang-format on
    for (const char* file : files) write(file, file);
    for (const char* file : {"tree/sub/locked.txt", "ro/file"})
        fs::permissions(write(file, "r"), fs::perms::owner_read);
    for (const auto& [target, link] : links)
        fs::create_directories((sandbox / link).parent_path()),
            fs::create_symlink(target, sandbox / link);
    ::mkfifo((sandbox / "tree/pipe").c_str(), 0600);
    fs::current_path(sandbox / "safe");
    const auto at = [&](const std::string& relative) { return u16(sandbox / relative); };
    // clang-format off
    std::vector<std::pair<String, Paths>> rows = {
        {at("tree"), {"tree/"}},  // a folder with everything below it
        {at("links/a"), {"links/a"}}, {at("links/b") + u"/", {"links/b"}},  // the link, not what it names
        {at("links/via/dir/inner.txt"), {"outside/dir/inner.txt"}},
        {at("w/*.tmp"), {"w/A.TMP", "w/b.tmp", "w/sub.tmp/", "w/link.tmp"}}, {at("w/k?ep.*"), {"w/keep.txt"}},
        {at("w/*.*"), {"w/x/", "w/README"}}, {at("del/star/*"), {"del/star/a", "del/star/b/"}},
        {at("del/q/?x[a]"), {"del/q/?x[a]", "del/q/zx[a]"}}, {at("ro/file"), {"ro/file"}}};
    const String nothing[] = {String(), u".", u"..", u"./", u"../", u".//", u" ", ofLength(32767), ofLength(32768),
        at("safe/."), at("safe/.."), at("safe/../"), at("missing"), at("missing/*.txt"), at("outside/keep.txt/below"),
        at("safe/FILE"), u16(sandbox) + u"/\xD800", u16(sandbox) + u"/\xDFFF.d64"};
    // clang-format on
    for (const String& path : nothing) rows.push_back({path, {}});
    for (const auto& [path, gone] : rows) {
        const Tree before = snapshot(sandbox);
        Paths expected;  // gone, or below a gone folder ending in "/"
        for (const auto& [entry, node] : before)
            for (const std::string& g : gone)
                if (entry == g || (g.back() == '/' && (entry + "/" == g || entry.rfind(g, 0) == 0)))
                    expected.push_back(entry);
        f->DeletePathSilent(path);
        EXPECT_EQ(differences(before, snapshot(sandbox)), expected) << toUtf8(path).substr(0, 80);
    }
    expectNoShell("deletion");
}

// Another user deletes what he may in root's tree; the rest stays, the walk ends.
TEST_F(BadInput, DeletePathSilentAsAnotherUserTakesWhatHeMay) {
    const std::optional<passwd> bob = secondUser();
    if (!bob) GTEST_SKIP() << "needs root, to act as a second local user";
    for (const char* file : {"mine", "sub/a", "locked/f", "closed/g", "closed2/h", "ec/", "ec2/"})
        write("shared/"s + file, "x");
    for (const char* folder : {"shared", "shared/sub"}) ::chmod((sandbox / folder).c_str(), 0777);
    for (const char* folder : {"shared/closed", "shared/closed2", "shared/ec", "shared/ec2"})
        fs::permissions(sandbox / folder, fs::perms::owner_all);
    const std::pair<const char*, Paths> rows[] = {
        {"shared/closed2", {}},          // may not be opened, and is not empty
        {"shared/ec2", {"shared/ec2"}},  // may not be opened, but is empty
        {"shared", {"shared/ec", "shared/mine", "shared/sub", "shared/sub/a"}}};
    for (const auto& row : rows) {
        const Tree before = snapshot(sandbox);
        EXPECT_EQ(inChild(&*bob, [&] { return f->DeletePathSilent(u16(sandbox / row.first)), 0; }),
                  0);
        EXPECT_EQ(differences(before, snapshot(sandbox)), row.second) << row.first;
    }
}

// In a chroot jail: neither the root nor a mount (tmpfs, bind) inside the tree goes.
TEST_F(BadInput, DeletePathSilentLeavesTheRootAndMountsWhole) {
    if (::geteuid() != 0) GTEST_SKIP() << "a chroot jail and mounts need root";
    for (const char* file : {"canary", "sub/deep", "precious/canary", "tree/plain.txt"})
        write(file, "alive");
    fs::create_directory_symlink("/", sandbox / "rootlink");
    fs::create_directories(sandbox / "tree/mnt"), fs::create_directories(sandbox / "tree/sub/bind");
    if (::mount("tw", (sandbox / "tree/mnt").c_str(), "tmpfs", 0, "size=1m") != 0 ||
        ::mount((sandbox / "precious").c_str(), (sandbox / "tree/sub/bind").c_str(), nullptr,
                MS_BIND, nullptr) != 0) {
        ::umount2((sandbox / "tree/mnt").c_str(), MNT_DETACH);
        GTEST_SKIP() << "cannot mount here";
    }
    write("tree/mnt/canary", "alive");
    const auto jailed = [&] {
        if (::chroot(sandbox.c_str()) != 0 || ::chdir("/") != 0) return 2;
        for (const char16_t* path :
             {u"/", u"//", u"/.", u"/..", u"/sub/..", u"/sub/../", u".", u"..", u"/rootlink/.",
              u"/rootlink/", u"/tree/mnt", u"/tree/mnt/", u"/tree/m*", u"/tree/sub/bind",
              u"/tree/sub/*", u"/tree/sub", u"/tree"})
            f->DeletePathSilent(path);
        return 0;
    };
    ASSERT_EQ(inChild(nullptr, jailed, 20), 0) << "the jail could not be entered";
    EXPECT_FALSE(fs::exists(sandbox / "tree/plain.txt") || fs::is_symlink(sandbox / "rootlink"));
    for (const char* file : {"canary", "sub/deep", "tree/mnt/canary", "tree/sub/bind/canary"})
        EXPECT_EQ(contentOf(sandbox / file), "alive") << file;
    ::umount2((sandbox / "tree/sub/bind").c_str(), MNT_DETACH);
    ::umount2((sandbox / "tree/mnt").c_str(), MNT_DETACH);
    EXPECT_EQ(contentOf(sandbox / "precious/canary"), "alive");
}

// `gio open`, else `xdg-open`, gets the document whole (no leading dash), detached, output nowhere.
TEST(ShellWithDefaultProgram, TheDesktopOpenerGetsTheDocumentAndRunsOn) {
    TempFolder temp;
    const struct {
        std::vector<std::string> installed;
        String target;
        std::string got;  // what the opener received, after its parent's id
    } rows[] = {          // clang-format off
        {{}, u"b.txt", ""}, {{"xdg-open"}, u"-a b.txt", "|./-a b.txt|/dev/null|"},
        {{"xdg-open"}, u"", "||/dev/null|"}, {{"xdg-open", "gio"}, u"b.txt", "|open|b.txt|/dev/null|"}};
    // clang-format on
    int n = 0;
    for (const auto& row : rows) {
        const std::string bin = (temp / std::to_string(++n)).string(), record = bin + "/record";
        ScopedVariable path("PATH", bin);
        const std::string script =
            "#!/bin/sh\nPATH=/usr/bin:/bin\nprintf '%s|' $PPID \"$@\" $(readlink /proc/$$/fd/1) >" +
            record + ".part\nsleep 0.3\nmv " + record + ".part " + record;
        for (const std::string& opener : row.installed)
            fs::permissions(temp.write(std::to_string(n) + "/" + opener, script),
                            fs::perms::owner_all);
        twShell().ShellWithDefaultProgram(row.target, 0);
        EXPECT_FALSE(fs::exists(record)) << n << ": the call waited";
        for (int i = 0; i < 500 && !row.got.empty() && !fs::exists(record); ++i) ::usleep(10000);
        const std::string got = contentOf(record), parent = got.substr(0, got.find('|'));
        EXPECT_NE(parent, std::to_string(::getpid())) << n << ": not detached";
        EXPECT_EQ(got.substr(parent.size()), row.got) << n;
    }
}

}  // namespace
}  // namespace tarnwick
