// Volume labels and the waits on Linux: real file systems with a label,
// made and loop-mounted by the test (as root), the device database and
// mount table handed in where the machine has no udev or no CD-ROM, and
// folders and files that come and go while the user is asked.
#include <sys/mount.h>

#include "posix/hostile_input.h"

namespace tarnwick {
namespace {

using namespace testing;

// An ext4 image with the given label (none when empty), loop-mounted for
// the life of the object.
class LoopVolume {
  public:
    LoopVolume(const TempFolder& temp, const std::string& name, const std::string& label)
        : mountPoint(temp / (name + " mnt")) {
        const fs::path image = temp / (name + ".img");
        std::ofstream(image).close();
        fs::resize_file(image, 8 << 20);
        fs::create_directories(mountPoint);
        Args mkfs{"mkfs.ext4", "-q", "-F", "-L", label, image.string()};
        if (label.empty()) mkfs.erase(mkfs.begin() + 3, mkfs.begin() + 5);
        mounted = ::geteuid() == 0 && runAndWait(mkfs) == 0 &&
                  runAndWait({"mount", "-o", "loop", image.string(), mountPoint.string()}) == 0;
    }
    ~LoopVolume() {
        if (mounted && ::umount(mountPoint.c_str()) != 0) ::umount2(mountPoint.c_str(), MNT_DETACH);
    }
    const fs::path mountPoint;
    bool mounted;
};

TEST_F(BadInput, TheLabelIsReadFromTheRealFileSystemAndComparedExactly) {
    LoopVolume volume(temp, "labelled", "Gä mes"), blank(temp, "blank", "");
    if (!volume.mounted || !blank.mounted)
        GTEST_SKIP() << "making and loop-mounting a file system needs root and e2fsprogs";
    const String mount = u16(volume.mountPoint);
    const std::pair<String, String> rows[] = {
        {mount, u"Gä mes"},
        {mount + u"/", u"Gä mes"},
        {u16(blank.mountPoint), u""},
        {mount + u"/lost+found", u""},  // a folder inside names no volume
        {u16(temp.path()), u""},
        {u16(temp / "missing"), u""},
        {ofLength(32768), u""},
        {u"\0"s, u""},
        {u"\xD800"s, u""}};
    for (const auto& [root, label] : rows)
        EXPECT_EQ(f->GetVolumeName(root), label) << toUtf8(root).substr(0, 80);
    String none;
    EXPECT_FALSE(host_->volumeInformation(mount, none)) << "no room for a label";

    HostHandlers host;
    EXPECT_TRUE(f->WaitForCDRom(mount, u"Gä mes"));
    EXPECT_TRUE(f->WaitForCDRom(u16(blank.mountPoint), u""));
    EXPECT_TRUE(host.prompts.empty());
    EXPECT_FALSE(f->WaitForCDRom(mount, u"GÄ MES"));
    EXPECT_EQ(host.prompts, std::vector<String>{u"Insert CD: 'GÄ MES' into Drive " + mount});
    EXPECT_EQ(host.yields, 3);
}

// Where udev runs it has recorded every block device's label; here it is
// handed in, with a mount table that puts an ISO 9660 disc at a folder.
TEST_F(BadInput, TheDeviceDatabasesLabelIsDecodedAndTheDiscIsACdRom) {
    fs::create_directories(sandbox / "my cd");
    fs::create_directories(sandbox / "hard disk");
    write("udev/b11:0",
          "S:disk/by-label/G\\xc3\\xa4\\x20mes\nE:ID_FS_TYPE=iso9660\n"
          "E:ID_FS_LABEL=Gä_mes\nE:ID_FS_LABEL_ENC=G\\xc3\\xa4\\x20mes\n");
    write("udev/b11:1", "E:ID_FS_TYPE=ext4\nE:ID_FS_UUID=1234\n");
    PosixOptions o;
    o.udevData = (sandbox / "udev").string();
    o.mountInfo =
        write("mountinfo", "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n90 22 11:0 / " + sandbox.string() +
                               "/my\\040cd ro - iso9660 /dev/sr0 ro\n"
                               "91 22 11:1 / " +
                               sandbox.string() + "/hard\\040disk rw - ext4 /dev/sdz9 rw\n")
            .string();
    PosixPlatform host(o);
    twFunctions functions(host);
    EXPECT_EQ(functions.GetVolumeName(u16(sandbox / "hard disk")), u"") << "probed, no label";
    EXPECT_TRUE(functions.DriveTypeIsCDRom(u16(sandbox / "my cd")));
    EXPECT_FALSE(functions.DriveTypeIsCDRom(u16(sandbox / "hard disk")));
    HostHandlers handlers;
    EXPECT_TRUE(functions.WaitForCDRom(u16(sandbox / "my cd"), u"Gä mes"));
    EXPECT_FALSE(functions.WaitForCDRom(u16(sandbox / "my cd"), u"Gä_mes"))
        << "the label, not udev's blank-free form of it";
    EXPECT_EQ(handlers.prompts.size(), 1u);
}

// What appears on the real file system while the user is asked is found on
// OK; what goes is asked for again.
TEST_F(BadInput, WaitsTestTheRealFileSystemEachPass) {
    const fs::path disc = sandbox / "Disc Two", game = disc / "; touch PWNED.d64";
    int passes = 0;
    HostHandlers host([&](const String&) {
        if (++passes == 2) write("Disc Two/; touch PWNED.d64", "x");
        return passes < 4 ? answers::Ok : answers::Cancel;
    });
    EXPECT_TRUE(f->WaitForCDRomFile(Variant(u16(game))));
    EXPECT_TRUE(f->WaitForCDRomPath(Variant(u16(disc))));
    EXPECT_TRUE(fs::equivalent(fs::current_path(), disc)) << "the folder found is current";
    EXPECT_EQ(host.yields, 4);
    fs::remove(game);
    EXPECT_FALSE(f->WaitForCDRomFile(Variant(u16(game))));
    EXPECT_EQ(host.prompts,
              std::vector<String>(4, u"Insert the CD for File: '" + u16(game) + u"'"));
    expectNoShell("waits");
}

}  // namespace
}  // namespace tarnwick
