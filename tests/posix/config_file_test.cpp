// The configuration editor on real files, among other users and processes:
// only regular files, read and written through one open; what the file has
// (owner, group, mode, ACL, attributes, links) survives; no change is lost
// to a concurrent rewrite; a swapped link never mixes two users' files.
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstring>
#include <functional>

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

int change(const String& file, const ConfigFileArray& changes = {{u"A", u"2"}}) {
    PosixPlatform host;
    try {
        twFunctions{host}.ChangeConfigFile(file, changes);
    } catch (const Error& e) {
        return e.number();
    }
    return 0;
}

// A second local user in the group games, made once; unset when not root.
std::optional<passwd> other() {
    if (::geteuid() != 0) return std::nullopt;
    if (!::getpwnam("twother") &&
        std::system("useradd -M -N -g games -s /usr/sbin/nologin twother") != 0)
        return std::nullopt;
    return *::getpwnam("twother");
}

// Makes this (child) process user, for good.
void become(const passwd& user) {
    const gid_t group = user.pw_gid;
    if (::setgroups(1, &group) != 0 || ::setresgid(group, group, group) != 0 ||
        ::setresuid(user.pw_uid, user.pw_uid, user.pw_uid) != 0)
        ::_exit(99);
}

// body's answer, run in a child process (as user, when one is given) that
// is killed when it has not answered within the seconds given (-1).
int inChild(const passwd* user, const std::function<int()>& body, int seconds = 2) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (user) become(*user);
        ::_exit(body());
    }
    int status = -1;
    for (int n = 0; n < seconds * 100 && ::waitpid(child, &status, WNOHANG) == 0; ++n)
        ::usleep(10000);
    if (status == -1) ::kill(child, SIGKILL), ::waitpid(child, nullptr, 0);
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(RealConfigFile, EachNameReachesItsOwnRegularFileOrFailsAtOnce) {
    const std::optional<passwd> bob = other();
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
    const fs::path writeOnly = temp.write("write-only.cfg", "A=1\r\n"),
                   readOnly = temp.write("read-only.cfg", "A=1\r\n"),
                   mine = temp.write("private/mine.cfg", "A=1\r\n");
    ASSERT_EQ(::chown(writeOnly.c_str(), 0, 60) | ::chmod(writeOnly.c_str(), 0620), 0);
    // Another user's link in the shared folder to root's file.
    const auto plant = [&] { return ::symlink(mine.c_str(), (temp / "planted.cfg").c_str()); };
    if (bob) {
        EXPECT_EQ(inChild(byBob, plant), 0);
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
        {"another's link", u16(temp / "planted.cfg"), bob ? 75 : 53},
        {"write-only to the writer", u16(writeOnly), 75, byBob},
        {"read-only to the writer", u16(readOnly), 75, byBob},
        {"read before refused", u16(readOnly), 9, byBob, ConfigFileArray()},
    };
    for (const Row& row : rows) {
        const int error = inChild(
            row.user, [&] { return change(row.path, row.changes); }, row.seconds);
        EXPECT_EQ(error, row.error) << row.name;
    }
    for (const fs::path& file : {writeOnly, readOnly, mine}) EXPECT_EQ(contentOf(file), "A=1\r\n");
    EXPECT_EQ(contentOf(own), "A=2\r\n");
    EXPECT_TRUE(fs::is_symlink(temp / "link.cfg") && fs::is_fifo(fifo));
    for (const std::string& name : testing::entries(temp.path())) EXPECT_NE(name[0], '.') << name;
}

TEST(RealConfigFile, KeepsOwnerGroupModeAclAttributesAndHardLinks) {
    const std::optional<passwd> bob = other();
    if (!bob) GTEST_SKIP() << "needs root, to act as a second local user";
    TempFolder temp;
    fs::permissions(temp.path(), fs::perms::all);
    // A POSIX access ACL as the kernel stores it, entries (tag, permissions,
    // id): owner rw, the other user rw, group none, mask rw, others none.
    std::string acl(
        "\2\0\0\0\1\0\6\0\377\377\377\377\2\0\6\0uid!\4\0\0\0\377\377\377\377"
        "\20\0\6\0\377\377\377\377\40\0\0\0\377\377\377\377",
        44);
    std::memcpy(&acl[16], &bob->pw_uid, 4);
    struct Row {
        const char* name;
        const passwd* user;  // else the owner, root
        bool hardLink;
    } rows[] = {{"by a group member", &*bob, false},
                {"by the owner", nullptr, false},
                {"by the owner, second link", nullptr, true}};
    for (const Row& row : rows) {
        const fs::path cfg = temp.write(std::string(row.name) + ".cfg", "A=1\r\nB=2\r\n");
        ASSERT_EQ(::chown(cfg.c_str(), 0, 60) | ::chmod(cfg.c_str(), 0660) |
                      ::setxattr(cfg.c_str(), "user.origin", "front end", 9, 0) |
                      ::setxattr(cfg.c_str(), "system.posix_acl_access", acl.data(), 44, 0),
                  0);
        if (row.hardLink) fs::create_hard_link(cfg, cfg.string() + ".link");
        struct stat before, after;
        ::stat(cfg.c_str(), &before);
        EXPECT_EQ(inChild(row.user,
                          [&] {
                              return change(u16(cfg), {{u"B", u"3"}});
                          }),
                  0)
            << row.name;
        ::stat(cfg.c_str(), &after);
        std::string got(256, '\0');
        EXPECT_EQ(::getxattr(cfg.c_str(), "user.origin", got.data(), got.size()), 9) << row.name;
        got.resize(std::max<ssize_t>(
            ::getxattr(cfg.c_str(), "system.posix_acl_access", got.data(), got.size()), 0));
        EXPECT_EQ(std::tuple(after.st_uid, after.st_gid, after.st_mode, got, contentOf(cfg)),
                  std::tuple(0u, 60u, before.st_mode, acl, "A=1\r\nB=3\r\n"))
            << row.name;
        EXPECT_EQ(contentOf(cfg.string() + (row.hardLink ? ".link" : "")), "A=1\r\nB=3\r\n");
    }
}

// Two processes, each rewriting its own key 50 times: every change that
// was reported done is in the file at the end.
TEST(RealConfigFile, ConcurrentRewritesLoseNoChange) {
    TempFolder temp;
    for (int round = 0; round < 5; ++round) {
        const fs::path cfg = temp.write("c64.cfg", "A=0\r\nB=0\r\n");
        pid_t children[2];
        for (const int key : {0, 1}) {
            if ((children[key] = ::fork()) != 0) continue;
            for (int n = 1; n <= 50; ++n)
                if (change(u16(cfg), {{key ? u"B" : u"A", fromUtf8(std::to_string(n))}}) != 0)
                    ::_exit(1);
            ::_exit(0);
        }
        for (const pid_t child : children) {
            int status = 0;
            ::waitpid(child, &status, 0);
            EXPECT_EQ(status, 0) << "round " << round;
        }
        EXPECT_EQ(contentOf(cfg), "A=50\r\nB=50\r\n") << "round " << round;
    }
}

// Another user swaps c64.cfg between a link to root's private file and one
// to his own while root rewrites it: neither file takes the other's content.
TEST(RealConfigFile, ASwappedLinkNeverMixesTwoUsersFiles) {
    const std::optional<passwd> bob = other();
    if (!bob) GTEST_SKIP() << "needs root, to act as a second local user";
    TempFolder temp;
    const fs::path shared = temp / "shared", cfg = shared / "c64.cfg";
    fs::create_directories(shared);
    fs::permissions(temp.path(), fs::perms::all);
    fs::permissions(shared, fs::perms::all);
    const fs::path secret = temp.write("root/secret.cfg", "SECRET=1\r\n");
    ASSERT_EQ(::chmod(secret.c_str(), 0600), 0);
    const fs::path his = temp.write("bob.cfg", "BOB=1\r\n");
    ASSERT_EQ(::chown(his.c_str(), bob->pw_uid, bob->pw_gid) | ::chmod(his.c_str(), 0666), 0);
    fs::create_symlink(secret, cfg);
    const pid_t swapper = ::fork();
    if (swapper == 0) {
        become(*bob);
        const fs::path next = shared / "next";
        for (int n = 0;; ++n) {
            ::unlink(next.c_str());
            if (::symlink((n % 2 ? secret : his).c_str(), next.c_str()) == 0)
                ::rename(next.c_str(), cfg.c_str());
        }
    }
    for (int n = 0; n < 400; ++n) change(u16(cfg), {{u"X", u"1"}});
    ::kill(swapper, SIGKILL);
    ::waitpid(swapper, nullptr, 0);
    EXPECT_EQ(contentOf(secret), "SECRET=1\r\n");
    EXPECT_EQ(contentOf(his), "BOB=1\r\n");
}

}  // namespace
}  // namespace tarnwick
