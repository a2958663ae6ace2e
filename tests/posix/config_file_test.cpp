// The configuration editor on real files, among other users and processes:
// only regular files, read and written through one open; what the file has
// (owner, group, mode, attributes, links) survives; no change is lost
// to a concurrent rewrite; a swapped link never mixes two users' files.
#include <gtest/gtest.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "platform/posix/posix_platform.h"
#include "posix/as_user.h"
#include "posix/path_text.h"
#include "support/temp_folder.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using namespace testing;
namespace fs = std::filesystem;

int change(const String& file, const ConfigFileArray& changes = {{u"A", u"2"}}) {
    try {
        twFunctions().ChangeConfigFile(file, changes);
    } catch (const Error& e) {
        return e.number();
    }
    return 0;
}

TEST(RealConfigFile, EachNameReachesItsOwnRegularFileOrFailsAtOnce) {
    const std::optional<passwd> bob = secondUser();
    const passwd* byBob = bob ? &*bob : nullptr;
    TempFolder temp;
    // Writable by all but not sticky: the kernel protects no link here.
    fs::permissions(temp.path(), fs::perms::all);
    const fs::path fifo = temp / "fifo.cfg", own = temp.write("own.cfg", "A=1\n");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    fs::create_directory(temp / "folder.cfg");
    fs::resize_file(temp.write("big.cfg"), (16u << 20) + 1);
    fs::resize_file(temp.write("limit.cfg"), 16u << 20);
    fs::create_symlink("/dev/zero", temp / "zero.cfg");
    fs::create_symlink(own, temp / "link.cfg");
    // The group's file (in a folder only root may write) keeps owner, group,
    // mode and attributes whoever edits it; two hard links stay one file.
    const fs::path writeOnly = temp.write("write-only.cfg", "A=1\r\n"),
                   readOnly = temp.write("read-only.cfg", "A=1\r\n"),
                   mine = temp.write("private/mine.cfg", "A=1\r\n"),
                   group = temp.write("private/group.cfg", "A=1\r\n"),
                   linked = temp.write("linked.cfg");
    fs::create_hard_link(linked, temp / "second-link");
    ASSERT_EQ(::chown(writeOnly.c_str(), 0, 60) | ::chmod(writeOnly.c_str(), 0620) |
                  ::chmod(readOnly.c_str(), 0444) | ::chown(group.c_str(), 0, 60) |
                  ::chmod(group.c_str(), 0660) |
                  ::setxattr(group.c_str(), "user.origin", "front end", 9, 0),
              0);
    // Another user's link in the shared folder to root's file.
    if (bob) {
        EXPECT_EQ(inChild(byBob, [&] { return ::symlink(mine.c_str(), (temp / "x.cfg").c_str()); }),
                  0);
    }
    struct Row {
        const char* name;
        String path;
        int error;
        const passwd* user = nullptr;
        ConfigFileArray changes = {{u"A", u"2"}};
        int seconds = 2;  // the 16 MiB edit may take a while under the sanitizers
    } rows[] = {
        {"fifo", u16(fifo), 75},
        {"device via link", u16(temp / "zero.cfg"), 75},
        {"folder", u16(temp / "folder.cfg"), 75},
        {"over 16 MiB", u16(temp / "big.cfg"), 6},
        {"16 MiB", u16(temp / "limit.cfg"), 0, nullptr, {{u"A", u"2"}}, 60},
        {"missing folder", u16(temp / "none/c64.cfg"), 76},
        {"NUL in the name", u16(own) + String(1, u'\0') + u"x", 52},
        {"own link", u16(temp / "link.cfg"), 0},
        {"another's link", u16(temp / "x.cfg"), bob ? 75 : 53},
        {"write-only to the writer", u16(writeOnly), 75, byBob},
        {"read-only to the writer", u16(readOnly), 75, byBob},
        {"read-only, even to root", u16(readOnly), 75},
        {"read before refused", u16(readOnly), 9, byBob, ConfigFileArray()},
        {"group member", u16(group), bob ? 0 : 75, byBob, {{u"A", u"2"}}},
        {"owner, another group", u16(group), 0, nullptr, {{u"A", u"3"}}},
        {"second hard link, emptied", u16(linked), 0},
    };
    for (const Row& row : rows) {
        const int error = inChild(
            row.user, [&] { return change(row.path, row.changes); }, row.seconds);
        EXPECT_EQ(error, row.error) << row.name;
    }
    for (const fs::path& file : {writeOnly, readOnly, mine}) EXPECT_EQ(contentOf(file), "A=1\r\n");
    EXPECT_EQ(contentOf(own), "A=2\r\n");
    struct stat st;
    ::stat(group.c_str(), &st);
    EXPECT_EQ(std::tuple(st.st_uid, st.st_gid, st.st_mode, contentOf(group)),
              std::tuple(0u, 60u, 0100660u, "A=3\r\n"));
    EXPECT_EQ(::getxattr(group.c_str(), "user.origin", nullptr, 0), 9);
    EXPECT_TRUE(fs::equivalent(linked, temp / "second-link"));
    EXPECT_TRUE(fs::is_symlink(temp / "link.cfg") && fs::is_fifo(fifo));
    for (const std::string& name : testing::entries(temp.path())) EXPECT_NE(name[0], '.') << name;
}

// Two processes, each rewriting its own key 50 times, for 5 rounds: every
// change that was reported done is in the file at the end.
TEST(RealConfigFile, ConcurrentRewritesLoseNoChange) {
    TempFolder temp;
    for (int round = 0; round < 5; ++round) {
        const fs::path cfg = temp.write("c64.cfg", "A=0\r\nB=0\r\n");
        pid_t children[2];
        for (const int key : {0, 1}) {
            if ((children[key] = ::fork()) != 0) continue;
            for (int n = 1; n <= 50; ++n)
                if (change(u16(cfg), {{key ? u"B" : u"A", fromUtf8(std::to_string(n))}}))
                    ::_exit(1);
            ::_exit(0);
        }
        for (const pid_t child : children) {
            int status = -1;
            ::waitpid(child, &status, 0);
            EXPECT_EQ(status, 0) << "round " << round;
        }
        EXPECT_EQ(contentOf(cfg), "A=50\r\nB=50\r\n") << "round " << round;
    }
}

// Another user swaps c64.cfg between a link to root's private file and one
// to his own while root rewrites it: neither file takes the other's content.
TEST(RealConfigFile, ASwappedLinkNeverMixesTwoUsersFiles) {
    const std::optional<passwd> bob = secondUser();
    if (!bob) GTEST_SKIP() << "needs root, to act as a second local user";
    TempFolder temp;
    const fs::path shared = temp / "shared", cfg = shared / "c64.cfg", next = shared / "next";
    fs::create_directories(shared);
    fs::permissions(temp.path(), fs::perms::all);
    fs::permissions(shared, fs::perms::all);
    const fs::path secret = temp.write("root/secret.cfg", "SECRET=1\r\n"),
                   his = temp.write("bob.cfg", "BOB=1\r\n");
    ASSERT_EQ(::chmod(secret.c_str(), 0600) | ::chmod(his.c_str(), 0666) |
                  ::chown(his.c_str(), bob->pw_uid, bob->pw_gid),
              0);
    fs::create_symlink(secret, cfg);
    const pid_t swapper = ::fork();
    for (int n = 0; swapper == 0; ++n) {
        if (n == 0) become(*bob);
        ::unlink(next.c_str());
        if (::symlink((n % 2 ? secret : his).c_str(), next.c_str()) == 0)
            ::rename(next.c_str(), cfg.c_str());
    }
    for (int n = 0; n < 400; ++n) change(u16(cfg), {{u"X", u"1"}});
    ::kill(swapper, SIGKILL), ::waitpid(swapper, nullptr, 0);
    EXPECT_EQ(contentOf(secret), "SECRET=1\r\n");
    EXPECT_EQ(contentOf(his), "BOB=1\r\n");
}

}  // namespace
}  // namespace tarnwick
