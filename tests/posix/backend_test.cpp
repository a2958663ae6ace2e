// The Linux backend against the real system: existence codes, directory
// changes, short forms, drive types and letter case, for plain, hostile and
// odd names.
#include <sys/socket.h>
#include <sys/un.h>

#include "platform/posix/system_calls.h"
#include "posix/hostile_input.h"
#include "support/scoped_variable.h"

namespace tarnwick {
namespace {

using namespace testing;

TEST_F(BadInput, ExistenceCodesAndFileExistsForEveryKindOfName) {
    const fs::path here = sandbox / "exist";
    write("exist/game.d64", "x");
    fs::create_directories(here / "folder");
    fs::create_symlink("loop-b", here / "loop-a");
    fs::create_symlink("loop-a", here / "loop-b");
    ::mkfifo((here / "fifo").c_str(), 0600);
    fs::create_symlink("fifo", here / "to-fifo");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{AF_UNIX, {}};
    (here / "socket").string().copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const String longName = u16(here) + u"/" + String(40000, u'n');
    const struct {
        String name;
        std::int32_t code;
        String prompt;  // what FileExists tells, "" for a file that exists
    } rows[] = {
        {u16(here / "game.d64"), 0, u""},
        {u16(here / "GAME.D64"), 2, u"FILE NOT FOUND: "},
        {u16(here / "missing/x"), 3, u"PATH NOT FOUND: "},
        {u16(here / "game.d64/inside"), 3, u"PATH NOT FOUND: "},  // a file on the way
        {u16(here / "loop-a"), 3, u"PATH NOT FOUND: "},
        {longName, 3, u"PATH NOT FOUND: "},
        {u16(here / std::string(300, 'y') / "z"), 3, u"PATH NOT FOUND: "},
        {u16(here / "folder"), 5, u"Device Not Ready for "},
        // No game file: reading one would block, or never end.
        {u16(here / "fifo"), 5, u"Device Not Ready for "},
        {u16(here / "to-fifo"), 5, u"Device Not Ready for "},
        {u16(here / "socket"), 5, u"Device Not Ready for "},
        {u"/dev/null", 5, u"Device Not Ready for "},
    };
    HostHandlers host([](const String&) { return answers::Ok; });
    for (const auto& row : rows) {
        const std::string name = toUtf8(row.name).substr(0, 80);
        EXPECT_EQ(host_->existenceTest(row.name), row.code) << name;
        host.prompts.clear();
        EXPECT_EQ(f->FileExists(row.name, true, u"c"), Boolean(row.code == 0)) << name;
        EXPECT_EQ(host.prompts,
                  row.prompt.empty() ? std::vector<String>{} : std::vector{row.prompt + row.name})
            << name;
    }
    ::close(sock);
    // An error that says nothing of the file (an I/O error) is no proof that
    // it is missing.
    SystemCalls& calls = systemCalls();
    calls.stat = [](const char*, struct stat*) { return errno = EIO, -1; };
    EXPECT_EQ(host_->existenceTest(u16(here / "game.d64")), 31);
    calls = realSystemCalls();
}

TEST_F(BadInput, ARealFileOfAnyNameExistsAndItsFolderBecomesCurrent) {
    for (const Hostile& h : hostileNames) {
        const fs::path file = write("exist/" + h.name + "/" + h.name, "x");
        EXPECT_TRUE(f->FileExists(u16(file), true, u"c")) << h.name;
        EXPECT_TRUE(f->DirExists(u16(file.parent_path()))) << h.name;
        EXPECT_TRUE(fs::equivalent(fs::current_path(), file.parent_path())) << h.name;
    }
    if (::geteuid() != 0) {  // root may read any file
        const fs::path secret = write("secret.d64", "x");
        fs::permissions(secret, fs::perms::none);
        EXPECT_EQ(host_->existenceTest(u16(secret)), 5);
    }
    // Entered through a link; anything else leaves the current folder alone.
    fs::create_directory_symlink(sandbox / "exist", sandbox / "link");
    EXPECT_TRUE(f->DirExists(u16(sandbox / "link")));
    EXPECT_TRUE(fs::equivalent(fs::current_path(), sandbox / "exist"));
    fs::create_directory_symlink(sandbox / "loop", sandbox / "loop");
    const fs::path file = write("file.d64", "x");
    for (const String& name : {u16(file), u16(file / "sub"), u16(sandbox / "loop/sub"),
                               u16(sandbox / "Exist"), String(), ofLength(32768)}) {
        EXPECT_FALSE(f->DirExists(name)) << toUtf8(name).substr(0, 80);
        EXPECT_THROW(host_->changeDirectory(name), Error);
        EXPECT_TRUE(fs::equivalent(fs::current_path(), sandbox / "exist"));
    }
    try {
        host_->changeDirectory(u16(sandbox / "missing"));
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), errors::PathNotFound);
    }
}

// Long2Short gives, for a file of any name, a form that names the same
// file, holds no blank, control character or quote, and is its own lower
// case; the path itself when that qualifies; "" for what does not resolve.
TEST_F(BadInput, ShortFormsOfAnyNameStandUnquotedAndNameTheFile) {
    const auto standsUnquoted = [&](const String& form) {
        for (const char16_t c : form)
            if (c <= 0x20 || c == u'"' || c == 0x7F) return false;
        return form == host_->lowerCase(form) && form[0] == u'/';
    };
    const fs::path plain = write("games/game.d64", "x");
    EXPECT_EQ(f->Long2Short(u16(plain)), u16(plain));
    fs::current_path(sandbox / "games");
    EXPECT_EQ(f->Long2Short(u"game.d64"), u16(plain)) << "a relative path comes back absolute";
    for (const Hostile& h : hostileNames) {
        const fs::path file = write("short/" + h.name + "/" + h.name + ".T64", "tape");
        for (const fs::path& p : {file, file.parent_path()}) {
            const String form = f->Long2Short(u16(p));
            EXPECT_TRUE(standsUnquoted(form)) << toUtf8(form);
            EXPECT_TRUE(opens(toUtf8(form), p)) << toUtf8(form);
            EXPECT_EQ(f->Long2Short(u16(p)), form) << "stable";
        }
        EXPECT_EQ(fs::path(toUtf8(f->Long2Short(u16(file)))).extension(), ".t64");
        // Only in another letter case: Linux names are exact.
        EXPECT_EQ(f->Long2Short(u16(sandbox / "short" / h.lower / "NONE.T64")), u"") << h.name;
    }
    struct stat st;
    ASSERT_EQ(::stat((temp / "aliases").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0077, 0u) << "the folder of aliases is private";
    fs::create_symlink("nowhere", sandbox / "dangling");
    const Tree before = snapshot(sandbox);
    for (const String& unresolved : {u16(sandbox / "dangling"), u16(sandbox / "missing/x"),
                                     ofLength(32768), String(u" "), String(u"\"")})
        EXPECT_EQ(f->Long2Short(unresolved), u"") << toUtf8(unresolved).substr(0, 80);
    EXPECT_EQ(differences(before, snapshot(sandbox)), nothingChanged);
    // An alias folder others may write is refused; a runtime folder that
    // would move with the current directory is not taken.
    const fs::path upper = write("Upper Case.d64", "x");
    fs::permissions(temp / "aliases", fs::perms::all);
    EXPECT_EQ(f->Long2Short(u16(upper)), u"");
    ScopedVariable relative("XDG_RUNTIME_DIR", "run");
    PosixPlatform system;
    EXPECT_EQ(twFunctions(system).Long2Short(u16(upper)).substr(0, 1), u"/");
}

TEST_F(BadInput, DriveTypeFollowsTheMountTable) {
    const struct {
        std::string folder, type;  // the file system mounted there, "" for none
        std::int32_t code;
    } rows[] = {{"cd", "iso9660", 5},
                {"dvd disc", "udf", 5},
                {"ram", "tmpfs", 6},
                {"share", "nfs4", 4},
                {"disk", "", 3}};
    std::string table = "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n";
    for (const auto& row : rows) {
        std::string mountPoint = (sandbox / row.folder).string();
        if (const auto blank = mountPoint.find(' '); blank != std::string::npos)
            mountPoint.replace(blank, 1, "\\040");
        if (!row.type.empty())
            table += "40 22 0:9 / " + mountPoint + " ro - " + row.type + " x ro\n";
    }
    PosixOptions o;
    o.mountInfo = write("mountinfo", table).string();
    PosixPlatform host(o);
    for (const auto& row : rows) {
        fs::create_directories(sandbox / row.folder / "sub");
        EXPECT_EQ(host.driveType(u16(sandbox / row.folder)), row.code) << row.folder;
        EXPECT_EQ(host.driveType(u16(sandbox / row.folder / "sub") + u"//"), row.code);
    }
    for (const String& name :
         {u16(sandbox / "missing"), ofLength(32768), u"\n"s, u16(sandbox) + u"/\xD800"s}) {
        EXPECT_EQ(host.driveType(name), 1) << toUtf8(name).substr(0, 80);
        EXPECT_TRUE(twFunctions(host).DriveTypeIsCDRom(name));
    }
    for (const Hostile& h : hostileNames) {
        fs::create_directories(sandbox / "drives" / h.name);
        EXPECT_FALSE(f->DriveTypeIsCDRom(u16(sandbox / "drives" / h.name))) << h.name;
    }
}

TEST_F(BadInput, LetterCaseCoversMoreThanAscii) {
    EXPECT_EQ(host_->lowerCase(u"/Home/ÄNN/GAME.D64"), u"/home/änn/game.d64");
    EXPECT_EQ(host_->upperCase(u"$loadpath=é"), u"$LOADPATH=É");
    const String kept = u"\U0001F3AE\xD800\xDCFF";
    EXPECT_EQ(host_->lowerCase(kept), kept);
}

// Helper programs the library runs itself (dialogs, openers) are looked
// for only along PATH, never in the current folder, whatever an empty PATH
// entry says; no PATH at all is the usual one.
TEST_F(BadInput, HelperProgramsAreLookedUpAlongPathOnly) {
    const fs::path program = write("bin/emu", "#!/bin/sh\n");
    fs::permissions(program, fs::perms::owner_all);
    write("bin/data", "");
    fs::current_path(sandbox / "bin");
    {
        ScopedVariable path("PATH", ":/nowhere");
        EXPECT_EQ(programOnPath("emu"), "");
        EXPECT_EQ(programOnPath("bin/emu"), "") << "a name with a slash is no name to look up";
    }
    {
        ScopedVariable path("PATH", (sandbox / "bin").string());
        EXPECT_EQ(programOnPath("emu"), program.string());
        EXPECT_EQ(programOnPath("data"), "") << "not executable";
        ::unsetenv("PATH");
        EXPECT_EQ(programOnPath("sh"), "/usr/bin/sh");
    }
    EXPECT_EQ(runAndWait({"sh", "-c", "exit 3"}), 3);
    EXPECT_EQ(runAndWait({"sh", "-c", "kill -9 $$"}), -1) << "killed: no status";
    EXPECT_EQ(runAndWait({(sandbox / "no such program").string()}), -1);
}

// A folder deeper than the system's path limit is still the current one,
// named whole.
TEST_F(BadInput, TheCurrentDirectoryMayBeLongerThanThePathLimit) {
    fs::current_path(sandbox);
    std::string whole = sandbox.string();
    const std::string part(200, 'd');
    while (whole.size() <= PATH_MAX + 200) {
        fs::create_directory(part);
        fs::current_path(part);  // relative: each step stays short
        whole += "/" + part;
    }
    EXPECT_EQ(host_->currentDirectory(), fromUtf8(whole));
    for (fs::current_path(sandbox); fs::exists(part); fs::current_path(part)) {
    }
    while (fs::current_path() != sandbox) {  // too long to remove whole
        fs::current_path("..");
        fs::remove(part);
    }
}

}  // namespace
}  // namespace tarnwick
