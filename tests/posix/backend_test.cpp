// The Linux backend against the real system, for plain, hostile and odd names.
#include <sys/mount.h>

#include "platform/posix/system_calls.h"
#include "posix/hostile_input.h"
#include "support/scoped_variable.h"

namespace tarnwick {
namespace {

using namespace testing;

// Existence code and directory change error of each kind of name; each kernel failure mapped.
TEST_F(BadInput, ExistenceCodesDirectoryChangesAndSystemErrors) {
    const fs::path here = sandbox / "exist", game = write("exist/game.d64", "x");
    fs::create_directories(here / "folder");
    fs::create_directory_symlink("folder", here / "link");
    fs::create_symlink("loop", here / "loop");
    ::mkfifo((here / "fifo").c_str(), 0600);
    const std::int32_t gone = errors::PathNotFound;
    const std::tuple<String, std::int32_t, std::int32_t> rows[] = {
        // clang-format off
        {u16(game), 0, gone}, {u16(here / "GAME.D64"), 2, gone}, {u"", 2, gone}, {u16(here) + u"/gone//", 2, gone},
        {u16(here / "missing/x"), 3, gone}, {u16(game / "inside"), 3, gone}, {u16(here / "loop"), 3, gone},
        {u16(here) + u"/" + String(40000, u'n'), 3, gone}, {u16(here / "folder"), 5, 0}, {u16(here / "link"), 5, 0},
        {u16(here / "fifo"), 5, gone}};  // no game file: reading it would block
    // clang-format on
    for (const auto& row : rows) {
        const auto& [name, code, error] = row;  // (lambdas capture row)
        SCOPED_TRACE(toUtf8(name).substr(0, 80));
        EXPECT_EQ(host_->existenceTest(name), code);
        fs::current_path(sandbox);
        EXPECT_EQ(raised([&] { host_->changeDirectory(std::get<0>(row)); }), error);
        EXPECT_TRUE(fs::equivalent(fs::current_path(), error ? sandbox : fs::path(toUtf8(name))));
    }
    SystemCalls& calls = systemCalls();
    calls.faccessat = [](int, const char*, int, int) { return errno = EACCES, -1; };
    EXPECT_EQ(host_->existenceTest(u16(game)), 5);
    static int failure;
    calls.stat = [](const char*, struct stat*) { return errno = failure, -1; };
    calls.fstat = [](int, struct stat*) { return errno = failure, -1; };
    calls.open = [](const char*, int, mode_t) { return errno = failure, -1; };
    // Each errno: the existence code (stat), the error of a read (fstat) and of an open, which
    // reads a file it may not have as 75 (a missing one as a missing folder: stat fails there too).
    const std::int32_t access = 75;
    const std::tuple<int, std::int32_t, std::int32_t, std::int32_t> failures[] = {
        // clang-format off
        {ENOENT, 2, 53, 76}, {ENOTDIR, 3, 76, 76}, {ENAMETOOLONG, 3, 76, 76}, {ELOOP, 3, 76, 76},
        {EACCES, 5, 70, access}, {EPERM, 31, 70, access}, {EROFS, 31, access, access}, {EISDIR, 31, access, access},
        {EBUSY, 31, access, access}, {ETXTBSY, 31, access, access}, {EEXIST, 31, access, access},
        {ENOSPC, 31, 61, 61}, {EDQUOT, 31, 61, 61}, {EFBIG, 31, 61, 61}, {EIO, 31, 57, 57}, {ENXIO, 31, 68, 68},
        {ENODEV, 31, 68, 68}, {ENOMEM, 31, 7, 7}, {EMFILE, 31, 67, 67}, {ENFILE, 31, 67, 67}, {EINVAL, 31, 5, 5}};
    // clang-format on
    for (const auto& [number, code, error, opening] : failures) {
        failure = number;
        EXPECT_EQ(host_->existenceTest(u16(game)), code) << number;
        const auto open = std::exchange(calls.open, realSystemCalls().open);
        EXPECT_EQ(raised([&] { host_->readFile(u16(game), 10); }), error) << number;
        calls.open = open;
        EXPECT_EQ(raised([&] { host_->readFile(u16(game), 10); }), opening) << number;
    }
    calls = realSystemCalls();
}

// The longest mount point holding a path decides its type; only a mount point has a udev label.
TEST_F(BadInput, DriveTypesAndLabelsFollowTheMountTableAndTheDeviceDatabase) {
    write("udev/b11:0",
          "E:ID_FS_TYPE=iso9660\nE:ID_FS_LABEL=Gä_mes\nE:ID_FS_LABEL_ENC=G\\xc3\\xa4\\x20mes\n");
    write("udev/b11:1", "E:ID_FS_TYPE=udf\nE:ID_FS_UUID=1234\n");          // probed: no label
    write("udev/b11:2", "E:ID_FS_LABEL_ENC=\\x20\\x20\\xZZ\\q\\x4\n");     // blanks are a label
    write("udev/b11:3", "E:ID_FS_LABEL=" + std::string(200, 'L') + "\n");  // 127 and a NUL
    write("udev/b11:4", "E:ID_FS_UUID=1234\n");                            // not probed
    // Each folder's file system (if any): device, escaped name, type (and source) as in the
    // kernel's.
    // clang-format off
    const struct { std::string folder, device, escaped, type; std::int32_t code; String label; } rows[] = {
        {"my- cd", "11:0", "my-\\040cd", "iso9660", 5, u"Gä mes"}, {"my- cd2", "", "", "", 3, u""},
        {"dvd\n\\", "11:1", "dvd\\012\\134", "udf", 5, u""}, {"ram", "0:9", "ram", "tmpfs", 6, u""},
        {"share", "0:50", "share", "nfs4 /gone", 4, u""},
        {"blank", "11:2", "blank", "udf", 5, u"  \\xZZ\\q\\x4"}, {"long", "11:3", "long", "udf", 5, String(127, u'L')},
        {"null", "11:4", "null", "udf /dev/null", 5, u""}, {"r", "0:1", "r", "ramfs", 6, u""},
        {"n", "0:2", "n", "nfs", 4, u""}, {"c", "0:3", "c", "cifs", 4, u""}, {"s", "0:4", "s", "smb3", 4, u""},
        {"o", "0:5", "o", "smbfs", 4, u""}, {"9", "0:6", "9", "9p", 4, u""}, {"a", "0:7", "a", "afs", 4, u""},
        {"e", "0:8", "e", "ceph", 4, u""}, {"f", "0:9", "f", "fuse.sshfs", 4, u""}};
    // clang-format on
    std::string table = "garbage\n1 2 3:4 / /x rw\n22 1 8:1 / / rw - ext4 /dev/sda1 rw\n";
    for (const auto& row : rows)
        if (!row.type.empty())
            table += "40 22 " + row.device + " / " + sandbox.string() + "/" + row.escaped +
                     " ro - " + row.type + " x ro\n";
    PosixOptions o;
    o.mountInfo = write("mountinfo", table).string();
    o.udevData = (sandbox / "udev").string();
    PosixPlatform host(o);
    twFunctions functions(host);
    for (const auto& row : rows) {
        fs::create_directories(sandbox / row.folder / "sub");
        EXPECT_EQ(host.driveType(u16(sandbox / row.folder)), row.code) << row.folder;
        EXPECT_EQ(host.driveType(u16(sandbox / row.folder / "sub") + u"//"), row.code);
        EXPECT_EQ(functions.GetVolumeName(u16(sandbox / row.folder)), row.label) << row.folder;
        EXPECT_EQ(functions.GetVolumeName(u16(sandbox / row.folder / "sub")), u"") << row.folder;
    }
    String none;
    EXPECT_FALSE(host.volumeInformation(u16(sandbox / "my- cd"), none)) << "no room for a label";
    for (const String& name :
         {u16(sandbox / "missing"), ofLength(32768), u"\n"s, u16(sandbox) + u"/\xD800"s}) {
        EXPECT_EQ(host.driveType(name), 1) << toUtf8(name).substr(0, 80);
        EXPECT_EQ(functions.GetVolumeName(name), u"") << toUtf8(name).substr(0, 80);
    }
    o.mountInfo = (sandbox / "no table").string();
    EXPECT_EQ(PosixPlatform(o).driveType(u16(sandbox)), 0) << "no file system holds it";
    // Unknown to udev: the label is read from a real loop-mounted file system.
    const fs::path image = temp / "disc.img", mountPoint = temp / "Disc Mnt";
    std::ofstream(image).close();
    fs::resize_file(image, 8 << 20);
    fs::create_directories(mountPoint);
    if (::geteuid() != 0 ||
        runAndWait({"mkfs.ext4", "-q", "-F", "-L", "Gä mes", image.string()}) != 0 ||
        runAndWait({"mount", "-o", "loop", image.string(), mountPoint.string()}) != 0)
        GTEST_SKIP() << "making and loop-mounting a file system needs root and e2fsprogs";
    const std::unique_ptr<const char, int (*)(const char*)> unmount(mountPoint.c_str(), ::umount);
    for (const String& root : {u16(mountPoint), u16(mountPoint) + u"/"})
        EXPECT_EQ(f->GetVolumeName(root), u"Gä mes") << toUtf8(root);
}

// Helpers along the usual PATH when none is set, exit statuses, a current folder past PATH_MAX.
TEST_F(BadInput, HelperProgramsExitStatusesAndALongCurrentFolder) {
    {
        ScopedVariable path("PATH", "");
        ::unsetenv("PATH");
        EXPECT_EQ(programOnPath("sh"), "/usr/bin/sh");
    }
    EXPECT_EQ(programOnPath("/bin/sh"), "") << "a name with a folder is not looked up";
    EXPECT_EQ(runAndWait({"sh", "-c", "exit 3"}), 3);
    EXPECT_EQ(runAndWait({"sh", "-c", "kill -9 $$"}), -1) << "killed: no status";
    EXPECT_EQ(runAndWait({(sandbox / "no such program").string()}), -1);
    fs::current_path(sandbox);
    std::string whole = sandbox.string();
    const std::string part(200, 'd');
    for (; whole.size() <= PATH_MAX + 200; whole += "/" + part)
        fs::create_directory(part), fs::current_path(part);  // relative: each step stays short
    EXPECT_EQ(host_->currentDirectory(), fromUtf8(whole));
    for (; fs::current_path().filename() == part; fs::remove_all(part)) fs::current_path("..");
}

// Case beyond ASCII; Latin-1 settings bytes; short forms that stand unquoted, else "".
TEST_F(BadInput, ShortFormsOfAnyNameStandUnquotedAndNameTheFile) {
    EXPECT_EQ(host_->lowerCase(u"/Home/ÄNN/GAME.D64"), u"/home/änn/game.d64");
    EXPECT_EQ(host_->upperCase(u"$loadpath=é"), u"$LOADPATH=É");
    EXPECT_EQ(host_->lowerCase(u"\U0001F3AE\xD800\xDCFF"), u"\U0001F3AE\xD800\xDCFF");
    EXPECT_EQ(host_->fromFieldText(host_->toFieldText(u"é€\xFF")), u"é?\xFF");
    const fs::path plain = write("games/game.d64", "x");
    fs::current_path(sandbox / "games");
    EXPECT_EQ(f->Long2Short(u"game.d64"), u16(plain)) << "a relative path comes back absolute";
    const fs::path deep = write(std::string(150, 'd') + "/" + std::string(150, 'e') + "/g.d64", "");
    EXPECT_EQ(f->Long2Short(u16(deep)), u16(deep)) << "longer than the first area asked with";
    const fs::path upper = write("Upper Case.T64", "x");  // hostile names: the launch tests
    EXPECT_EQ(fs::path(toUtf8(f->Long2Short(u16(upper)))).extension(), ".t64");
    EXPECT_EQ(fs::status(temp / "aliases").permissions() & fs::perms(0077), fs::perms::none)
        << "the folder of aliases is private";
    fs::create_symlink("nowhere", sandbox / "dangling");
    for (const String& unresolved : {u16(sandbox / "dangling"), u16(sandbox / "missing/x"),
                                     ofLength(32768), String(u" "), String(u"\"")})
        EXPECT_EQ(f->Long2Short(unresolved), u"") << toUtf8(unresolved).substr(0, 80);
    // An alias folder others may write is refused; a relative runtime folder is not taken.
    fs::permissions(temp / "aliases", fs::perms::all);
    EXPECT_EQ(f->Long2Short(u16(upper)), u"");
    fs::create_directory("run");
    ScopedVariable relative("XDG_RUNTIME_DIR", "run");
    PosixPlatform system;
    EXPECT_EQ(twFunctions(system).Long2Short(u16(upper)).substr(0, 1), u"/");
}

}  // namespace
}  // namespace tarnwick
