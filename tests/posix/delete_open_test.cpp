// DeletePathSilent and ShellWithDefaultProgram for real: trees with links
// deleted without touching what the links point to, the paths that must
// delete nothing (tried only inside temporary folders, the file-system root
// only inside a chroot jail), and the desktop opener reaching a handler the
// test registers in temporary XDG folders.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "platform/posix/posix_platform.h"
#include "posix/path_text.h"
#include "support/temp_folder.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using testing::contentOf;
using testing::TempFolder;
using testing::u16;
namespace fs = std::filesystem;

bool present(const fs::path& p) {
    std::error_code ignored;
    return fs::symlink_status(p, ignored).type() != fs::file_type::not_found;
}

class SilentDeletion : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = fs::current_path();
        temp.write("outside/keep.txt", "kept");
        temp.write("outside/dir/inner.txt", "inner");
    }
    void TearDown() override { fs::current_path(saved_); }
    void expectOutsideIntact() {
        EXPECT_EQ(contentOf(temp / "outside/keep.txt"), "kept");
        EXPECT_EQ(contentOf(temp / "outside/dir/inner.txt"), "inner");
    }
    TempFolder temp;
    twFunctions f;

  private:
    fs::path saved_;
};

TEST_F(SilentDeletion, ATreeGoesWholeAndWhatItsLinksNameStays) {
    temp.write("tree/a.txt", "a");
    temp.write("tree/sub/b.txt", "b");
    temp.write("tree/sub/deeper/c.txt", "c");
    const fs::path readOnly = temp.write("tree/sub/locked.txt", "locked");
    fs::permissions(readOnly, fs::perms::owner_read);
    fs::create_symlink(temp / "outside/keep.txt", temp / "tree/link-file");
    fs::create_directory_symlink(temp / "outside/dir", temp / "tree/sub/link-dir");
    fs::create_directory_symlink("/", temp / "tree/sub/deeper/link-root");
    fs::create_symlink(temp / "gone", temp / "tree/dangling");
    ::mkfifo((temp / "tree/pipe").c_str(), 0600);
    f.DeletePathSilent(u16(temp / "tree"));
    EXPECT_FALSE(present(temp / "tree"));
    expectOutsideIntact();
    EXPECT_TRUE(fs::exists("/etc")) << "the link to the root was removed, not followed";
}

TEST_F(SilentDeletion, ALinkNamedByThePathIsRemovedAndNeverFollowed) {
    fs::create_directory_symlink(temp / "outside/dir", temp / "link");
    f.DeletePathSilent(u16(temp / "link"));
    EXPECT_FALSE(present(temp / "link"));
    fs::create_directory_symlink(temp / "outside/dir", temp / "link2");
    f.DeletePathSilent(u16(temp / "link2") + u"/");
    EXPECT_FALSE(present(temp / "link2"));
    expectOutsideIntact();
}

TEST_F(SilentDeletion, WildcardsInTheLastNameDeleteEveryMatch) {
    temp.write("w/A.TMP", "1");
    temp.write("w/b.tmp", "2");
    temp.write("w/keep.txt", "3");
    temp.write("w/sub.tmp/inside.txt", "4");
    fs::create_directory_symlink(temp / "outside/dir", temp / "w/link.tmp");
    f.DeletePathSilent(u16(temp / "w/*.tmp"));
    EXPECT_FALSE(present(temp / "w/A.TMP"));
    EXPECT_FALSE(present(temp / "w/b.tmp"));
    EXPECT_FALSE(present(temp / "w/sub.tmp"));
    EXPECT_FALSE(present(temp / "w/link.tmp"));
    EXPECT_EQ(contentOf(temp / "w/keep.txt"), "3");
    f.DeletePathSilent(u16(temp / "w/k?ep.*"));
    EXPECT_FALSE(present(temp / "w/keep.txt"));
    temp.write("w/x/y.txt");
    temp.write("w/README");
    f.DeletePathSilent(u16(temp / "w/*.*"));
    EXPECT_TRUE(fs::is_empty(temp / "w")) << "the folder itself stays";
    expectOutsideIntact();
}

TEST_F(SilentDeletion, AMissingPathIsNoError) {
    EXPECT_NO_THROW(f.DeletePathSilent(u16(temp / "missing")));
    EXPECT_NO_THROW(f.DeletePathSilent(u16(temp / "missing/*.txt")));
    EXPECT_NO_THROW(f.DeletePathSilent(u16(temp / "outside/keep.txt/below")));
    expectOutsideIntact();
}

TEST_F(SilentDeletion, EmptyDotAndDotDotDeleteNothing) {
    temp.write("a/x.txt", "x");
    temp.write("a/b/y.txt", "y");
    fs::current_path(temp / "a/b");
    for (const String& path :
         {String(u""), String(u"."), String(u".."), String(u"./"), String(u"../"),
          String(u"../b/.."), String(u".//"), u16(temp / "a/b") + u"/.", u16(temp / "a/b") + u"/..",
          u16(temp / "a/b") + u"/../"}) {
        f.DeletePathSilent(path);
        EXPECT_EQ(contentOf(temp / "a/x.txt"), "x") << toUtf8(path);
        EXPECT_EQ(contentOf(temp / "a/b/y.txt"), "y") << toUtf8(path);
    }
    expectOutsideIntact();
}

// The root itself, tried where it can do no harm: in a child process shut
// into a chroot jail of a temporary folder.
TEST_F(SilentDeletion, TheRootOfTheFileSystemIsNeverDeleted) {
    if (::geteuid() != 0) GTEST_SKIP() << "a chroot jail needs root";
    temp.write("jail/canary.txt", "alive");
    temp.write("jail/sub/deep.txt", "deep");
    fs::create_directory_symlink("/", temp / "jail/rootlink");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::chroot((temp / "jail").c_str()) != 0 || ::chdir("/") != 0) ::_exit(2);
        twFunctions inside;
        for (const char16_t* path : {u"/", u"//", u"///", u"/.", u"/..", u"/sub/..", u"/sub/../",
                                     u".", u"..", u"/rootlink/."})
            inside.DeletePathSilent(path);
        inside.DeletePathSilent(u"/rootlink/");  // the link itself may go
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the jail could not be entered";
    EXPECT_EQ(contentOf(temp / "jail/canary.txt"), "alive");
    EXPECT_EQ(contentOf(temp / "jail/sub/deep.txt"), "deep");
    EXPECT_FALSE(present(temp / "jail/rootlink"));
}

// A file system mounted inside: its root is not deleted, nor what it holds.
TEST_F(SilentDeletion, AMountedFileSystemIsLeftAlone) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting needs root";
    fs::create_directories(temp / "tree/mnt");
    temp.write("tree/plain.txt", "p");
    if (::mount("tarnwick-test", (temp / "tree/mnt").c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "tmpfs cannot be mounted here";
    std::ofstream(temp / "tree/mnt/canary.txt") << "alive";
    f.DeletePathSilent(u16(temp / "tree/mnt"));
    f.DeletePathSilent(u16(temp / "tree/mnt/"));
    EXPECT_EQ(contentOf(temp / "tree/mnt/canary.txt"), "alive") << "a mount point is a root";
    f.DeletePathSilent(u16(temp / "tree/m*"));
    EXPECT_EQ(contentOf(temp / "tree/mnt/canary.txt"), "alive");
    f.DeletePathSilent(u16(temp / "tree"));
    EXPECT_EQ(contentOf(temp / "tree/mnt/canary.txt"), "alive") << "the walk stays on its own disk";
    EXPECT_FALSE(present(temp / "tree/plain.txt"));
    ::umount2((temp / "tree/mnt").c_str(), MNT_DETACH);
}

TEST_F(SilentDeletion, TheHostsWindowMessagesAreProcessedAfterwards) {
    temp.write("big/a.txt");
    bool goneWhenAsked = false;
    int yields = 0;
    setYieldHandler([&] {
        ++yields;
        goneWhenAsked = !present(temp / "big");
    });
    f.DeletePathSilent(u16(temp / "big"));
    setYieldHandler(nullptr);
    EXPECT_EQ(yields, 1);
    EXPECT_TRUE(goneWhenAsked);
}

// ------------------------------------------------------------ opening

// A handler program registered for *.twtest (and for what `file` calls such
// a file) in temporary XDG folders. It writes down how it was started, then
// holds on until the test lets it finish.
class DefaultProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name :
             {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_DATA_DIRS", "PATH", "DISPLAY", "BROWSER"}) {
            const char* value = std::getenv(name);
            saved_.push_back({name, value ? std::optional<std::string>(value) : std::nullopt});
        }
        if (!openerToolsPresent()) GTEST_SKIP() << "update-mime-database or xdg-mime is missing";
        const fs::path data = temp / "data", config = temp / "config";
        fs::create_directories(data / "applications");
        fs::create_directories(data / "mime/packages");
        fs::create_directories(config);
        ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        ::setenv("XDG_DATA_HOME", data.c_str(), 1);
        ::setenv("XDG_DATA_DIRS", (data.string() + ":/usr/local/share:/usr/share").c_str(), 1);
        std::ofstream(data / "mime/packages/tarnwick-test.xml")
            << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
               "  <mime-type type=\"application/x-tarnwick-test\">\n"
               "    <comment>Tarnwick test document</comment>\n"
               "    <glob pattern=\"*.twtest\"/>\n"
               "  </mime-type>\n"
               "</mime-info>\n";
        const fs::path handler = temp / "handler.sh";
        std::ofstream(handler) << "#!/bin/sh\n"
                                  "echo \"$PPID\" > '"
                               << (temp / "started.tmp").string() << "'\n"
                               << "printf '%s' \"$1\" >> '" << (temp / "started.tmp").string()
                               << "'\n"
                               << "mv '" << (temp / "started.tmp").string() << "' '"
                               << (temp / "started").string() << "'\n"
                               << "i=0; while [ ! -e '" << (temp / "release").string()
                               << "' ] && [ $i -lt 300 ]; do sleep 0.1; i=$((i+1)); done\n"
                               << "touch '" << (temp / "finished").string() << "'\n";
        fs::permissions(handler, fs::perms::owner_all);
        std::ofstream(data / "applications/tarnwick-test-handler.desktop")
            << "[Desktop Entry]\nType=Application\nName=Tarnwick test handler\nExec="
            << handler.string() << " %f\nMimeType=application/x-tarnwick-test;text/plain;\n"
            << "NoDisplay=true\n";
        ASSERT_EQ(runAndWait({"update-mime-database", (data / "mime").string()}), 0);
        ASSERT_EQ(runAndWait({"xdg-mime", "default", "tarnwick-test-handler.desktop",
                              "application/x-tarnwick-test", "text/plain"}),
                  0);
    }
    void TearDown() override {
        std::ofstream(temp / "release").close();  // a handler still waiting may finish
        for (const auto& [name, value] : saved_) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }
    static bool openerToolsPresent() {
        return runAndWait({"sh", "-c", "command -v update-mime-database && command -v xdg-mime"}) ==
               0;
    }
    // The handler's report: its parent's process id and the file it got.
    bool waitForStart(std::string& parent, std::string& file) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!fs::exists(temp / "started") && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::ifstream in(temp / "started");
        return std::getline(in, parent) && std::getline(in, file);
    }
    bool waitForFinish() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!fs::exists(temp / "finished") && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return fs::exists(temp / "finished");
    }
    // Checks one opening from the call's return to the handler's end.
    void expectOpened(const fs::path& document, const String& asGiven) {
        twShell().ShellWithDefaultProgram(asGiven, 0);
        EXPECT_FALSE(fs::exists(temp / "finished")) << "the call did not wait for the program";
        std::string parent, file;
        ASSERT_TRUE(waitForStart(parent, file)) << "the handler was not started";
        EXPECT_EQ(fs::canonical(file), fs::canonical(document));
        EXPECT_NE(parent, std::to_string(::getpid())) << "started detached, not as our child";
        EXPECT_FALSE(fs::exists(temp / "finished")) << "the handler runs on after the call";
        std::ofstream(temp / "release").close();
        EXPECT_TRUE(waitForFinish());
    }
    TempFolder temp;

  private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(DefaultProgram, GioOpensTheDocumentInItsAssociatedProgram) {
    if (programOnPath("gio").empty()) GTEST_SKIP() << "gio is not installed";
    const fs::path document = temp.write("Game Manual.twtest", "manual");
    expectOpened(document, u16(document));
}

TEST_F(DefaultProgram, XdgOpenServesWhereGioIsMissing) {
    if (programOnPath("xdg-open").empty()) GTEST_SKIP() << "xdg-open is not installed";
    // A PATH holding every program of /usr/bin but gio.
    const fs::path bin = temp / "bin";
    fs::create_directories(bin);
    for (const auto& entry : fs::directory_iterator("/usr/bin"))
        if (entry.path().filename() != "gio")
            fs::create_symlink(entry.path(), bin / entry.path().filename());
    ::setenv("PATH", bin.c_str(), 1);
    ::setenv("DISPLAY", ":0", 1);  // xdg-open asks the desktop's handlers only on a display
    ::unsetenv("BROWSER");
    ASSERT_TRUE(programOnPath("gio").empty());
    const fs::path document = temp.write("readme.twtest", "plain text");
    expectOpened(document, u16(document));
}

TEST_F(DefaultProgram, ANameBeginningWithADashIsNotTakenForAnOption) {
    if (programOnPath("gio").empty() && programOnPath("xdg-open").empty())
        GTEST_SKIP() << "no desktop opener is installed";
    const fs::path document = temp.write("-v.twtest", "dash");
    const fs::path saved = fs::current_path();
    fs::current_path(temp.path());
    expectOpened(document, u"-v.twtest");
    fs::current_path(saved);
}

TEST_F(DefaultProgram, AMissingFileIsNoErrorAndNothingIsStarted) {
    EXPECT_NO_THROW(twShell().ShellWithDefaultProgram(u16(temp / "missing.twtest"), 0));
    EXPECT_NO_THROW(twShell().ShellWithDefaultProgram(u"", 0));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_FALSE(fs::exists(temp / "started"));
}

}  // namespace
}  // namespace tarnwick
