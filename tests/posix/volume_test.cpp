// Volume labels and the CD-ROM wait on Linux: a real file system with a
// label, made and loop-mounted by the test (as root), and the device
// database and mount table handed in where the machine has no udev or no
// CD-ROM file system.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <fstream>

#include "platform/posix/posix_platform.h"
#include "posix/path_text.h"
#include "support/temp_folder.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using testing::TempFolder;
using testing::u16;
namespace fs = std::filesystem;

// An ext4 image with the given label (none when empty), loop-mounted at
// mountPoint for the life of the object.
class LoopVolume {
  public:
    LoopVolume(const TempFolder& temp, const std::string& name, const std::string& label)
        : mountPoint_(temp / (name + " mnt")) {
        if (::geteuid() != 0) {
            why_ = "making and mounting a file system needs root";
            return;
        }
        const fs::path image = temp / (name + ".img");
        std::ofstream(image).close();
        fs::resize_file(image, 8 << 20);
        std::vector<std::string> mkfs{"mkfs.ext4", "-q", "-F"};
        if (!label.empty()) mkfs.insert(mkfs.end(), {"-L", label});
        mkfs.push_back(image.string());
        if (runAndWait(mkfs) != 0) {
            why_ = "mkfs.ext4 (e2fsprogs) did not run";
            return;
        }
        fs::create_directories(mountPoint_);
        if (runAndWait({"mount", "-o", "loop", image.string(), mountPoint_.string()}) != 0) {
            why_ = "the image could not be loop-mounted here";
            return;
        }
        mounted_ = true;
    }
    ~LoopVolume() {
        if (mounted_ && ::umount(mountPoint_.c_str()) != 0)
            ::umount2(mountPoint_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    const std::string& why() const { return why_; }
    const fs::path& mountPoint() const { return mountPoint_; }

  private:
    fs::path mountPoint_;
    bool mounted_ = false;
    std::string why_;
};

// Installs host handlers for one test and removes them afterwards.
struct HostHandlers {
    HostHandlers(std::vector<std::int32_t> answers) : answers_(std::move(answers)) {
        setMessageBoxHandler(
            [this](const String& prompt, std::int32_t style, const String& caption) {
                prompts.push_back(prompt);
                EXPECT_EQ(style, 1);
                EXPECT_EQ(caption, u"ravelstone");
                if (answers_.empty()) return answers::Cancel;
                const std::int32_t a = answers_.front();
                answers_.erase(answers_.begin());
                return a;
            });
        setYieldHandler([this] { ++yields; });
    }
    ~HostHandlers() {
        setMessageBoxHandler(nullptr);
        setYieldHandler(nullptr);
    }
    std::vector<String> prompts;
    int yields = 0;

  private:
    std::vector<std::int32_t> answers_;
};

TEST(RealVolume, LabelWithABlankAndANonAsciiLetterIsReadFromTheFileSystem) {
    TempFolder temp;
    LoopVolume volume(temp, "labelled", "Gä mes");
    if (!volume.mounted()) GTEST_SKIP() << volume.why();
    const bool udev = fs::exists("/run/udev/data");
    RecordProperty("label_source", udev ? "udev or device" : "device (no udev here)");
    twFunctions f;
    const String mount = u16(volume.mountPoint());
    EXPECT_EQ(f.GetVolumeName(mount), u"Gä mes");
    EXPECT_EQ(f.GetVolumeName(mount + u"/"), u"Gä mes");
    EXPECT_EQ(f.GetVolumeName(u16(volume.mountPoint() / "lost+found")), u"")
        << "a folder inside the volume names no volume";
    EXPECT_EQ(f.GetVolumeName(u16(temp.path())), u"") << "nothing is mounted there";
    EXPECT_EQ(f.GetVolumeName(u16(temp / "missing")), u"");

    LoopVolume blank(temp, "blank", "");
    ASSERT_TRUE(blank.mounted()) << blank.why();
    EXPECT_EQ(f.GetVolumeName(u16(blank.mountPoint())), u"") << "a volume without a label";
}

TEST(RealVolume, WaitForCDRomComparesTheLabelExactly) {
    TempFolder temp;
    LoopVolume volume(temp, "disc", "GAMES 2");
    if (!volume.mounted()) GTEST_SKIP() << volume.why();
    const String mount = u16(volume.mountPoint());
    twFunctions f;
    {
        HostHandlers host({});
        EXPECT_TRUE(static_cast<bool>(f.WaitForCDRom(mount, u"GAMES 2")));
        EXPECT_TRUE(host.prompts.empty());
        EXPECT_EQ(host.yields, 1);
    }
    {
        HostHandlers host({answers::Ok, answers::Cancel});
        EXPECT_FALSE(static_cast<bool>(f.WaitForCDRom(mount, u"Games 2")));
        EXPECT_EQ(host.prompts,
                  std::vector<String>(2, u"Insert CD: 'Games 2' into Drive " + mount));
        EXPECT_EQ(host.yields, 2) << "one yield at the start of every pass";
    }
}

// Where udev runs it has recorded every block device's label; here it is
// handed in, with a mount table that puts an ISO 9660 disc at a folder.
class HandedInTables : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(temp / "my cd");
        fs::create_directories(temp / "hard disk");
        fs::create_directories(temp / "udev");
        std::ofstream(temp / "mountinfo")
            << "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
            << "90 22 11:0 / " << escaped(temp / "my cd")
            << " ro,nosuid,nodev,relatime shared:50 - iso9660 /dev/sr0 ro,utf8\n"
            << "91 22 11:1 / " << escaped(temp / "hard disk")
            << " rw,relatime shared:51 - ext4 /dev/sdz9 rw\n";
        std::ofstream(temp / "udev/b11:0") << "S:disk/by-label/G\\xc3\\xa4\\x20mes\n"
                                           << "E:ID_FS_TYPE=iso9660\n"
                                           << "E:ID_FS_LABEL=Gä_mes\n"
                                           << "E:ID_FS_LABEL_ENC=G\\xc3\\xa4\\x20mes\n";
        std::ofstream(temp / "udev/b11:1") << "E:ID_FS_TYPE=ext4\nE:ID_FS_UUID=1234\n";
        options.mountInfo = (temp / "mountinfo").string();
        options.udevData = (temp / "udev").string();
    }
    static std::string escaped(const fs::path& p) {
        std::string out;
        for (char c : p.string()) out += c == ' ' ? std::string("\\040") : std::string(1, c);
        return out;
    }
    TempFolder temp;
    PosixOptions options;
};

TEST_F(HandedInTables, TheDeviceDatabasesLabelIsDecoded) {
    PosixPlatform host(options);
    twFunctions f(host);
    EXPECT_EQ(f.GetVolumeName(u16(temp / "my cd")), u"Gä mes");
    EXPECT_EQ(f.GetVolumeName(u16(temp / "hard disk")), u"") << "probed, without a label";
}

TEST_F(HandedInTables, TheDiscAnswersAsACDRomAndSatisfiesTheWait) {
    PosixPlatform host(options);
    twFunctions f(host);
    EXPECT_TRUE(static_cast<bool>(f.DriveTypeIsCDRom(u16(temp / "my cd"))));
    EXPECT_FALSE(static_cast<bool>(f.DriveTypeIsCDRom(u16(temp / "hard disk"))));
    HostHandlers handlers({answers::Cancel});
    EXPECT_TRUE(static_cast<bool>(f.WaitForCDRom(u16(temp / "my cd"), u"Gä mes")));
    EXPECT_FALSE(static_cast<bool>(f.WaitForCDRom(u16(temp / "my cd"), u"Gä_mes")))
        << "the label, not udev's blank-free form of it";
    EXPECT_EQ(handlers.prompts.size(), 1u);
}

TEST(RealWaits, PathAndFileWaitsTestTheRealFileSystemEachPass) {
    TempFolder temp;
    const fs::path saved = fs::current_path();
    twFunctions f;
    const fs::path folder = temp / "Disc Two";
    {
        // The folder appears while the user is asked: the next pass finds it.
        HostHandlers host({answers::Ok});
        setMessageBoxHandler([&](const String&, std::int32_t, const String&) {
            fs::create_directories(folder);
            return answers::Ok;
        });
        EXPECT_TRUE(static_cast<bool>(f.WaitForCDRomPath(Variant(u16(folder)))));
        EXPECT_EQ(host.yields, 2);
        EXPECT_EQ(fs::current_path(), folder);
    }
    {
        HostHandlers host({answers::Ok, answers::Ok, answers::Ok, answers::Cancel});
        EXPECT_FALSE(static_cast<bool>(f.WaitForCDRomFile(Variant(u16(folder / "game.d64")))));
        EXPECT_EQ(host.prompts, std::vector<String>(4, u"Insert the CD for File: '" +
                                                           u16(folder / "game.d64") + u"'"));
        EXPECT_EQ(host.yields, 4);
    }
    fs::current_path(saved);
}

}  // namespace
}  // namespace tarnwick
