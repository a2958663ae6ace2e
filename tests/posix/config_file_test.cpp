// The configuration editor on real files, among other users and processes:
// only regular files, read and written through one open; what the file has
// (owner, group, mode, ACL, attributes, links) survives; no change is lost
// to a concurrent rewrite; a swapped link never mixes two users' files.
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/un.h>
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

int change(const fs::path& file, const ConfigFileArray& changes) {
    PosixPlatform host;
    try {
        twFunctions{host}.ChangeConfigFile(u16(file), changes);
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

// body's answer, run in a child process as user.
int as(const passwd& user, const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        become(user);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

#define SKIP_WITHOUT_OTHER_USER(user) \
    if (!user) GTEST_SKIP() << "needs root, to act as a second local user"

TEST(RealConfigFile, OnlyARegularFileOfAtMost16MiBIsReadAndNeverBlocks) {
    TempFolder temp;
    const fs::path fifo = temp / "fifo.cfg", socket = temp / "socket.cfg";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, socket.c_str());
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    fs::create_directory(temp / "folder.cfg");
    fs::resize_file(temp.write("big.cfg"), (16u << 20) + 1);
    fs::resize_file(temp.write("limit.cfg"), 16u << 20);
    fs::create_symlink("/dev/zero", temp / "zero.cfg");
    struct Row {
        const char* name;
        fs::path file;
        int error;
    } rows[] = {{"fifo", fifo, 75},
                {"device via link", temp / "zero.cfg", 75},
                {"folder", temp / "folder.cfg", 75},
                {"socket", socket, 68},
                {"over 16 MiB", temp / "big.cfg", 6},
                {"16 MiB", temp / "limit.cfg", 0}};
    for (const Row& row : rows) {
        // In a child given a short bound, so a read that blocks fails fast;
        // the 16 MiB edit itself may take a while under the sanitizers.
        const pid_t child = ::fork();
        if (child == 0) ::_exit(change(row.file, {{u"K", u"1"}}));
        int status = -1;
        for (int n = 0; n < (row.error ? 200 : 6000) && ::waitpid(child, &status, WNOHANG) == 0;
             ++n)
            ::usleep(10000);
        if (!WIFEXITED(status)) ::kill(child, SIGKILL), ::waitpid(child, &status, 0);
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, row.error) << row.name;
    }
    EXPECT_EQ(fs::status(fifo).type(), fs::file_type::fifo);
    EXPECT_EQ(fs::status("/dev/zero").type(), fs::file_type::character);
    ::close(s);
}

TEST(RealConfigFile, NamesReachTheirOwnFileOrFail) {
    TempFolder temp;
    const fs::path own = temp.write("own.cfg", "A=1\n"), link = temp / "link.cfg";
    fs::create_symlink(own, link);
    struct Row {
        const char* name;
        String path;
        int error;
    } rows[] = {{"missing file", u16(temp / "none.cfg"), 53},
                {"missing folder", u16(temp / "none/c64.cfg"), 76},
                {"NUL in the name", u16(own) + String(1, u'\0') + u"x", 52},
                {"own link", u16(link), 0}};
    for (const Row& row : rows) {
        PosixPlatform host;
        int error = 0;
        try {
            twFunctions{host}.ChangeConfigFile(row.path, {{u"A", u"2"}});
        } catch (const Error& e) {
            error = e.number();
        }
        EXPECT_EQ(error, row.error) << row.name;
    }
    EXPECT_EQ(contentOf(own), "A=2\r\n");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(testing::entries(temp.path()), (std::vector<std::string>{"link.cfg", "own.cfg"}));
}

// A POSIX access ACL as the kernel stores it: (tag, permissions, id).
std::string acl(std::initializer_list<std::array<std::uint32_t, 3>> entries) {
    std::string bytes("\x02\0\0\0", 4);
    for (const auto& [tag, perm, id] : entries) {
        const std::uint16_t head[2] = {static_cast<std::uint16_t>(tag),
                                       static_cast<std::uint16_t>(perm)};
        bytes.append(reinterpret_cast<const char*>(head), 4);
        bytes.append(reinterpret_cast<const char*>(&id), 4);
    }
    return bytes;
}

TEST(RealConfigFile, KeepsOwnerGroupModeAclAttributesAndHardLinks) {
    const std::optional<passwd> bob = other();
    SKIP_WITHOUT_OTHER_USER(bob);
    TempFolder temp;
    fs::permissions(temp.path(), fs::perms::all);
    const std::string aclBytes =
        acl({{1, 6, ~0u}, {2, 6, bob->pw_uid}, {4, 0, ~0u}, {0x10, 6, ~0u}, {0x20, 0, ~0u}});
    struct Row {
        const char* name;
        bool byBob;  // else by the owner, root
        bool withAcl, hardLink;
    } rows[] = {{"group file, by a member", true, false, false},
                {"ACL naming the writer", true, true, false},
                {"own file with ACL", false, true, false},
                {"own file with a second link", false, false, true}};
    for (const Row& row : rows) {
        const fs::path cfg = temp.write(std::string(row.name) + ".cfg", "A=1\r\nB=2\r\n");
        ASSERT_EQ(::chown(cfg.c_str(), 0, 60), 0);
        ASSERT_EQ(::chmod(cfg.c_str(), 0660), 0);
        ASSERT_EQ(::setxattr(cfg.c_str(), "user.origin", "front end", 9, 0), 0);
        if (row.withAcl) {
            ASSERT_EQ(::setxattr(cfg.c_str(), "system.posix_acl_access", aclBytes.data(),
                                 aclBytes.size(), 0),
                      0);
        }
        if (row.hardLink) fs::create_hard_link(cfg, cfg.string() + ".link");
        struct stat before, after;
        ::stat(cfg.c_str(), &before);
        const auto edit = [&] { return change(cfg, {{u"B", u"3"}}); };
        EXPECT_EQ(row.byBob ? as(*bob, edit) : edit(), 0) << row.name;
        EXPECT_EQ(contentOf(cfg), "A=1\r\nB=3\r\n") << row.name;
        ::stat(cfg.c_str(), &after);
        EXPECT_EQ(after.st_uid, 0u) << row.name;
        EXPECT_EQ(after.st_gid, 60u) << row.name;
        EXPECT_EQ(after.st_mode, before.st_mode) << row.name;
        char value[64] = {};
        EXPECT_EQ(::getxattr(cfg.c_str(), "user.origin", value, sizeof value), 9) << row.name;
        std::string got(256, '\0');
        const ssize_t n =
            ::getxattr(cfg.c_str(), "system.posix_acl_access", got.data(), got.size());
        EXPECT_EQ(got.substr(0, std::max<ssize_t>(n, 0)), row.withAcl ? aclBytes : "") << row.name;
        if (row.hardLink) {
            EXPECT_EQ(contentOf(cfg.string() + ".link"), "A=1\r\nB=3\r\n") << row.name;
        }
    }
}

TEST(RealConfigFile, WhatAnotherUserMayNotReadOrPlantedIsRefusedAndUnchanged) {
    const std::optional<passwd> bob = other();
    SKIP_WITHOUT_OTHER_USER(bob);
    TempFolder temp;
    // Writable by all but not sticky: the kernel protects no link here.
    fs::permissions(temp.path(), fs::perms::all);
    const fs::path writeOnly = temp.write("write-only.cfg", "A=1\r\n");
    ASSERT_EQ(::chown(writeOnly.c_str(), 0, 60), 0);
    ASSERT_EQ(::chmod(writeOnly.c_str(), 0620), 0);
    const fs::path readOnly = temp.write("read-only.cfg", "A=1\r\n");
    ASSERT_EQ(::chmod(readOnly.c_str(), 0644), 0);
    // Bob's link in the shared folder to root's file: root must not follow it.
    const fs::path mine = temp.write("private/mine.cfg", "A=1\r\n");
    ASSERT_EQ(as(*bob, [&] { return ::symlink(mine.c_str(), (temp / "planted.cfg").c_str()); }), 0);
    EXPECT_EQ(as(*bob, [&] { return change(writeOnly, {{u"A", u"2"}}); }), 75);
    EXPECT_EQ(as(*bob, [&] { return change(readOnly, {{u"A", u"2"}}); }), 75);
    // Read first: the change list is checked before the file is refused.
    EXPECT_EQ(as(*bob, [&] { return change(readOnly, ConfigFileArray()); }), 9);
    EXPECT_EQ(change(temp / "planted.cfg", {{u"A", u"2"}}), 75);
    for (const fs::path& file : {writeOnly, readOnly, mine}) {
        EXPECT_EQ(contentOf(file), "A=1\r\n") << file;
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
            children[key] = ::fork();
            if (children[key] != 0) continue;
            const String name = key == 0 ? u"A" : u"B";
            for (int n = 1; n <= 50; ++n)
                if (change(cfg, {{name, fromUtf8(std::to_string(n))}}) != 0) ::_exit(1);
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

// Bob swaps c64.cfg between a link to root's private file and one to his
// own while root rewrites it: neither file ever takes the other's content.
TEST(RealConfigFile, ASwappedLinkNeverMixesTwoUsersFiles) {
    const std::optional<passwd> bob = other();
    SKIP_WITHOUT_OTHER_USER(bob);
    TempFolder temp;
    fs::permissions(temp.path(), fs::perms::all);
    const fs::path shared = temp / "shared", cfg = shared / "c64.cfg";
    fs::create_directories(shared);
    fs::permissions(shared, fs::perms::all);
    const fs::path secret = temp.write("root/secret.cfg", "SECRET=1\r\n");
    ASSERT_EQ(::chmod(secret.c_str(), 0600), 0);
    const fs::path his = temp.write("bob.cfg", "BOB=1\r\n");
    ASSERT_EQ(::chown(his.c_str(), bob->pw_uid, bob->pw_gid), 0);
    ASSERT_EQ(::chmod(his.c_str(), 0666), 0);
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
    for (int n = 0; n < 400; ++n) change(cfg, {{u"X", u"1"}});
    ::kill(swapper, SIGKILL);
    ::waitpid(swapper, nullptr, 0);
    EXPECT_EQ(contentOf(secret), "SECRET=1\r\n");
    EXPECT_EQ(contentOf(his), "BOB=1\r\n");
}

}  // namespace
}  // namespace tarnwick
