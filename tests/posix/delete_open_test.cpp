// DeletePathSilent and ShellWithDefaultProgram for real. Each deletion
// takes exactly what its path names (a snapshot of the sandbox before and
// after): links removed and never followed, wildcards, hostile names, the
// paths that name nothing to delete, mounts inside the tree (a file system
// and a bind mount of a folder of the same one) and the root, tried only
// inside a chroot jail. The opener reaches a handler the test registers in
// temporary XDG folders.
#include <sys/mount.h>

#include <chrono>
#include <optional>
#include <thread>

#include "posix/hostile_input.h"
#include "support/scoped_variable.h"

namespace tarnwick {
namespace {

using namespace testing;

class SilentDeletion : public BadInput {
  protected:
    // Deletes path and expects exactly the entries gone (relative to the
    // sandbox; one ending in "/" with everything below it) to go.
    void expectGone(const String& path, const std::vector<std::string>& gone) {
        const Tree before = snapshot(sandbox);
        std::vector<std::string> expected;
        for (const auto& [entry, node] : before)
            for (const std::string& g : gone)
                if (entry == g || (g.back() == '/' && (entry + "/" == g || entry.rfind(g, 0) == 0)))
                    expected.push_back(entry);
        f->DeletePathSilent(path);
        EXPECT_EQ(differences(before, snapshot(sandbox)), expected) << toUtf8(path).substr(0, 80);
    }
    String at(const std::string& relative) { return u16(sandbox / relative); }
};

TEST_F(SilentDeletion, EachPathDeletesExactlyWhatItNames) {
    for (const char* file :
         {"outside/keep.txt", "outside/dir/inner.txt", "tree/a.txt", "tree/sub/deeper/c.txt",
          "w/A.TMP", "w/b.tmp", "w/keep.txt", "w/sub.tmp/inside.txt", "w/x/y.txt", "w/README",
          "safe/file", "victim/inside.txt", "victim.txt", "\xEF\xBF\xBD.d64", "del/star/a",
          "del/star/b/c", "del/q/?x[a]", "del/q/zx[a]", "del/q/zx[b]"})
        write(file, file);
    fs::permissions(write("tree/sub/locked.txt", "r"), fs::perms::owner_read);
    fs::permissions(write("ro/file", "r"), fs::perms::owner_read);
    write("ro/tree/a", "a");
    fs::permissions(sandbox / "ro/tree", fs::perms::owner_read | fs::perms::owner_exec);
    fs::create_symlink(sandbox / "outside/keep.txt", sandbox / "tree/link-file");
    fs::create_directory_symlink(sandbox / "outside/dir", sandbox / "tree/sub/link-dir");
    fs::create_directory_symlink("..", sandbox / "tree/sub/up");
    fs::create_symlink(sandbox / "gone", sandbox / "tree/dangling");
    ::mkfifo((sandbox / "tree/pipe").c_str(), 0600);
    fs::create_directory_symlink(sandbox / "outside/dir", sandbox / "w/link.tmp");
    fs::create_directories(sandbox / "links");
    for (const char* link : {"links/a", "links/b", "links/via"})
        fs::create_directory_symlink(sandbox / "outside", sandbox / link);
    fs::current_path(sandbox / "safe");

    std::vector<std::pair<String, std::vector<std::string>>> rows = {
        {at("tree"), {"tree/"}},
        {at("links/a"), {"links/a"}},
        {at("links/b") + u"/", {"links/b"}},  // the link, not what it names
        {at("links/via/dir/inner.txt"), {"outside/dir/inner.txt"}},
        {at("w/*.tmp"), {"w/A.TMP", "w/b.tmp", "w/sub.tmp/", "w/link.tmp"}},
        {at("w/k?ep.*"), {"w/keep.txt"}},
        {at("w/*.*"), {"w/x/", "w/README"}},
        {at("del/star/*"), {"del/star/a", "del/star/b/"}},
        {at("del/q/?x[a]"), {"del/q/?x[a]", "del/q/zx[a]"}},
        {at("ro/file"), {"ro/file"}},
        {at("ro/tree"),
         ::geteuid() == 0 ? std::vector<std::string>{"ro/tree/"} : std::vector<std::string>{}},
    };
    // Paths that name nothing to delete: none deletes anything.
    for (const String& path : {String(), u"."s, u".."s, u"./"s, u"../"s, u".//"s, u" "s})
        rows.push_back({path, {}});
    for (const String& path : {ofLength(32767), ofLength(32768)}) rows.push_back({path, {}});
    for (const char* path : {"safe/.", "safe/..", "safe/../", "missing", "missing/*.txt",
                             "outside/keep.txt/below", "safe/FILE"})
        rows.push_back({at(path), {}});
    for (const String& tail : {u"/victim\0/inside.txt"s, u"/victim.txt\0"s, u"/victim.txt\0/../x"s,
                               u"/\xD800"s, u"/\xDFFF.d64"s, u"/*\0"s})
        rows.push_back({u16(sandbox) + tail, {}});

    for (const auto& [path, gone] : rows) expectGone(path, gone);
    expectNoShell("deletion");
}

// A mount inside the tree is not the tree's: neither a file system mounted
// there nor a bind mount of a folder of the same file system is emptied.
TEST_F(SilentDeletion, MountsInsideTheTreeAreLeftWhole) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting needs root";
    write("precious/canary", "alive");
    write("tree/plain.txt", "p");
    fs::create_directories(sandbox / "tree/mnt");
    fs::create_directories(sandbox / "tree/sub/bind");
    if (::mount("tarnwick-test", (sandbox / "tree/mnt").c_str(), "tmpfs", 0, "size=1m") != 0 ||
        ::mount((sandbox / "precious").c_str(), (sandbox / "tree/sub/bind").c_str(), nullptr,
                MS_BIND, nullptr) != 0) {
        ::umount2((sandbox / "tree/mnt").c_str(), MNT_DETACH);
        GTEST_SKIP() << "cannot mount here";
    }
    write("tree/mnt/canary", "alive");
    for (const char* path :
         {"tree/mnt", "tree/mnt/", "tree/m*", "tree/sub/bind", "tree/sub/*", "tree/sub", "tree"})
        f->DeletePathSilent(at(path));
    EXPECT_FALSE(fs::exists(sandbox / "tree/plain.txt"));
    EXPECT_EQ(contentOf(sandbox / "tree/mnt/canary"), "alive");
    EXPECT_EQ(contentOf(sandbox / "tree/sub/bind/canary"), "alive");
    ::umount2((sandbox / "tree/sub/bind").c_str(), MNT_DETACH);
    ::umount2((sandbox / "tree/mnt").c_str(), MNT_DETACH);
    EXPECT_EQ(contentOf(sandbox / "precious/canary"), "alive");
}

// The root itself, tried where it can do no harm: in a child shut into a
// chroot jail of the sandbox.
TEST_F(SilentDeletion, TheRootOfTheFileSystemIsNeverDeleted) {
    if (::geteuid() != 0) GTEST_SKIP() << "a chroot jail needs root";
    write("canary", "alive");
    write("sub/deep", "deep");
    fs::create_directory_symlink("/", sandbox / "rootlink");
    const pid_t child = ::fork();
    if (child == 0) {
        if (::chroot(sandbox.c_str()) != 0 || ::chdir("/") != 0) ::_exit(2);
        for (const char16_t* path : {u"/", u"//", u"/.", u"/..", u"/sub/..", u"/sub/../", u".",
                                     u"..", u"/rootlink/.", u"/rootlink/"})
            f->DeletePathSilent(path);
        ::_exit(0);
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    ASSERT_EQ(status, 0) << "the jail could not be entered";
    EXPECT_EQ(contentOf(sandbox / "canary"), "alive");
    EXPECT_EQ(contentOf(sandbox / "sub/deep"), "deep");
    EXPECT_FALSE(fs::is_symlink(sandbox / "rootlink")) << "the link itself may go";
}

// The opener, started detached, hands the document to the program the
// desktop associates with it and never waits for it.
TEST(ShellWithDefaultProgram, TheAssociatedProgramGetsTheDocumentAndRunsOn) {
    if (runAndWait({"sh", "-c", "command -v update-mime-database && command -v xdg-mime"}) != 0)
        GTEST_SKIP() << "update-mime-database or xdg-mime is missing";
    TempFolder temp;
    const fs::path data = temp / "data", bin = temp / "bin", started = temp / "started";
    ScopedVariable config("XDG_CONFIG_HOME", (temp / "config").string()),
        home("XDG_DATA_HOME", data.string()),
        dirs("XDG_DATA_DIRS", data.string() + ":/usr/local/share:/usr/share"),
        path("PATH", std::getenv("PATH"));
    std::optional<ScopedVariable> display;
    temp.write("config/.keep");
    temp.write("data/mime/packages/tw.xml",
               "<?xml version=\"1.0\"?><mime-info xmlns=\"http://www.freedesktop.org/standards/"
               "shared-mime-info\"><mime-type type=\"application/x-tarnwick-test\"><glob "
               "pattern=\"*.twtest\"/></mime-type></mime-info>");
    const fs::path handler = temp.write(
        "handler.sh", "#!/bin/sh\nprintf '%s\\n%s' \"$PPID\" \"$1\" > '" + started.string() +
                          ".tmp'\nmv '" + started.string() + ".tmp' '" + started.string() +
                          "'\ni=0; while [ ! -e '" + (temp / "release").string() +
                          "' ] && [ $i -lt 300 ]; do sleep 0.1; i=$((i+1)); done\ntouch '" +
                          (temp / "finished").string() + "'\n");
    fs::permissions(handler, fs::perms::owner_all);
    temp.write("data/applications/tw.desktop",
               "[Desktop Entry]\nType=Application\nName=tw\nNoDisplay=true\nExec=" +
                   handler.string() + " %f\nMimeType=application/x-tarnwick-test;text/plain;\n");
    ASSERT_EQ(runAndWait({"update-mime-database", (data / "mime").string()}), 0);
    ASSERT_EQ(runAndWait({"xdg-mime", "default", "tw.desktop", "application/x-tarnwick-test",
                          "text/plain"}),
              0);
    fs::create_directories(bin);  // every program of /usr/bin but gio: xdg-open serves
    for (const auto& entry : fs::directory_iterator("/usr/bin"))
        if (entry.path().filename() != "gio")
            fs::create_symlink(entry.path(), bin / entry.path().filename());
    const fs::path saved = fs::current_path();
    fs::current_path(temp.path());
    for (const char* opener : {"gio", "xdg-open"}) {
        if (programOnPath(opener).empty()) continue;
        if (std::string(opener) == "xdg-open") {
            ::setenv("PATH", bin.c_str(), 1);
            display.emplace("DISPLAY", ":0");  // xdg-open asks the desktop only on a display
            ::unsetenv("BROWSER");
        }
        const std::string name = std::string("-") + opener[0] + ".twtest";
        const fs::path document = temp.write(name, "plain text\n");
        twShell().ShellWithDefaultProgram(u16(temp / "missing.twtest"), 0);  // starts nothing
        twShell().ShellWithDefaultProgram(fromUtf8(name), 0);
        EXPECT_FALSE(fs::exists(temp / "finished")) << opener << ": the call did not wait";
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!fs::exists(started) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::ifstream in(started);
        std::string parent, file;
        ASSERT_TRUE(std::getline(in, parent) && std::getline(in, file))
            << opener << " started nothing";
        EXPECT_EQ(fs::canonical(file), fs::canonical(document))
            << opener << ": a dash is no option";
        EXPECT_NE(parent, std::to_string(::getpid())) << opener << ": detached, not our child";
        EXPECT_FALSE(fs::exists(temp / "finished")) << opener << ": the program runs on";
        std::ofstream(temp / "release").close();
        while (!fs::exists(temp / "finished") && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        for (const char* done : {"release", "finished", "started"}) fs::remove(temp / done);
    }
    fs::current_path(saved);
}

}  // namespace
}  // namespace tarnwick
