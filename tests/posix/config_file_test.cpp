// The configuration editor on real files: the worked examples, limits, and
// no content lost whatever goes wrong.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "platform/posix/posix_platform.h"
#include "posix/path_text.h"
#include "support/temp_folder.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using testing::contentOf;
using testing::entries;
using testing::TempFolder;
using testing::u16;
namespace fs = std::filesystem;

int errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.number();
    }
    return 0;
}

class RealConfigFile : public ::testing::Test {
  protected:
    TempFolder temp;
    PosixPlatform host;
    twFunctions f{host};
};

TEST_F(RealConfigFile, RewritesInPlaceOfTheOldFile) {
    const fs::path cfg = temp.write("c64.cfg", "A=1\r\n\r\n$JOYSTICK1PC=3\r\nB=2\r\n");
    fs::permissions(cfg, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    f.ChangeConfigFile(u16(cfg), {{u"$JOYSTICK1PC", u"0"}});
    EXPECT_EQ(contentOf(cfg), "A=1\r\n$JOYSTICK1PC=0\r\nB=2\r\n");
    EXPECT_EQ(fs::status(cfg).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(entries(temp.path()), std::vector<std::string>{"c64.cfg"});
}

TEST_F(RealConfigFile, KeepsBytesThatAreNotUtf8) {
    // A configuration written in a Windows code page: "Spiel=Über" in Latin-1.
    const fs::path cfg = temp.write("Config.ini",
                                    "Spiel=\xDC"
                                    "ber\r\nJoy1=No\r\n");
    f.ChangeConfigFile(u16(cfg), {{u"Joy1", u"Analogue"}});
    EXPECT_EQ(contentOf(cfg),
              "Spiel=\xDC"
              "ber\r\nJoy1=Analogue\r\n");
}

TEST_F(RealConfigFile, MissingFileAndFolder) {
    EXPECT_EQ(errorOf([&] { f.ChangeConfigFile(u16(temp / "none.cfg"), {{u"A", u"1"}}); }), 53);
    EXPECT_EQ(errorOf([&] { f.ChangeConfigFile(u16(temp / "no/none.cfg"), {{u"A", u"1"}}); }), 76);
    EXPECT_TRUE(entries(temp.path()).empty()) << "nothing is created";
}

TEST_F(RealConfigFile, ReadOnlyFileFailsAndStaysAsItWas) {
    const fs::path cfg = temp.write("c64.cfg", "A=1\r\n\r\n");
    fs::permissions(cfg, fs::perms::owner_read | fs::perms::group_read);
    EXPECT_EQ(errorOf([&] { f.ChangeConfigFile(u16(cfg), {{u"A", u"2"}}); }), 75);
    EXPECT_EQ(contentOf(cfg), "A=1\r\n\r\n");
    EXPECT_EQ(entries(temp.path()), std::vector<std::string>{"c64.cfg"});
}

TEST_F(RealConfigFile, ALinkIsFollowedAndStaysALink) {
    const fs::path real = temp.write("emu/real.cfg", "A=1\r\n");
    const fs::path link = temp / "c64.cfg";
    fs::create_symlink(real, link);
    f.ChangeConfigFile(u16(link), {{u"A", u"2"}});
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(contentOf(real), "A=2\r\n");
}

TEST_F(RealConfigFile, TheLargestFileIsEditedAndALargerOneRefused) {
    std::string lines;
    for (int i = 0; i < 32766; ++i) lines += "$KEY" + std::to_string(i) + "=0\r\n";
    const fs::path cfg = temp.write("big.cfg", lines);
    f.ChangeConfigFile(u16(cfg), {{u"$KEY32765", u"last"}, {u"$key0", u"first"}});
    const std::string edited = contentOf(cfg);
    EXPECT_EQ(edited.substr(0, 14), "$key0=first\r\n$");
    EXPECT_EQ(edited.substr(edited.size() - 16), "$KEY32765=last\r\n");

    temp.write("bigger.cfg", lines + "one more\r\n");
    EXPECT_EQ(errorOf([&] { f.ChangeConfigFile(u16(temp / "bigger.cfg"), {{u"A", u"1"}}); }), 6);
    EXPECT_EQ(contentOf(temp / "bigger.cfg"), lines + "one more\r\n");
}

TEST_F(RealConfigFile, AFolderThatMayNotBeWrittenStillLetsAWritableFileChange) {
    const fs::path cfg = temp.write("locked/c64.cfg", "A=1\r\n");
    fs::permissions(temp / "locked", fs::perms::owner_all | fs::perms::group_read |
                                         fs::perms::group_exec | fs::perms::others_read |
                                         fs::perms::others_exec);
    if (::geteuid() != 0) {
        fs::permissions(temp / "locked", fs::perms::owner_read | fs::perms::owner_exec);
        f.ChangeConfigFile(u16(cfg), {{u"A", u"2"}});
    } else {
        // Root writes any folder: the edit runs as a user who owns only the file.
        const uid_t nobody = 65534;
        fs::permissions(temp.path(), fs::perms::others_exec, fs::perm_options::add);
        ASSERT_EQ(::chown(cfg.c_str(), nobody, nobody), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            if (::setgid(nobody) != 0 || ::setuid(nobody) != 0) ::_exit(2);
            PosixPlatform plain;
            try {
                twFunctions(plain).ChangeConfigFile(u16(cfg), {{u"A", u"2"}});
            } catch (const Error&) {
                ::_exit(1);
            }
            ::_exit(0);
        }
        int status = -1;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_EQ(WEXITSTATUS(status), 0);
    }
    EXPECT_EQ(contentOf(cfg), "A=2\r\n");
    EXPECT_EQ(entries(temp / "locked"), std::vector<std::string>{"c64.cfg"});
}

// A full disk: a small tmpfs, mounted when the test may (as root).
TEST_F(RealConfigFile, AFullDiskLeavesTheOriginalWholeAndNoTemporaryFile) {
    const fs::path disk = temp / "disk";
    fs::create_directories(disk);
    if (::geteuid() != 0 || ::mount("tarnwick", disk.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "mounting a small tmpfs needs root: the full-disk case was not run";
    const std::string original = "A=1\r\n" + std::string(20000, 'x') + "\r\n";
    const fs::path cfg = disk / "c64.cfg";
    std::ofstream(cfg, std::ios::binary) << original;
    // Fill the disk so that the new content cannot be written beside the old.
    {
        std::ofstream filler(disk / "filler", std::ios::binary);
        const std::string block(4096, 'f');
        while (filler.write(block.data(), block.size())) {
        }
    }
    fs::resize_file(disk / "filler", fs::file_size(disk / "filler") - 8192);
    const int error = errorOf([&] { f.ChangeConfigFile(u16(cfg), {{u"A", u"2"}}); });
    const std::string after = contentOf(cfg);
    const auto names = entries(disk);
    ::umount(disk.c_str());
    EXPECT_EQ(error, 61);
    EXPECT_EQ(after, original);
    EXPECT_EQ(names, (std::vector<std::string>{"c64.cfg", "filler"}));
}

}  // namespace
}  // namespace tarnwick
