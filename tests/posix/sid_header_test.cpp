// The PSID header methods on real files: what is not a regular file never
// blocks a scan, and a save writes to the very tune it checked.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fcntl.h>
#include <unistd.h>
#include <cstdio>

#include "platform/posix/posix_platform.h"
#include "platform/posix/system_calls.h"
#include "posix/path_text.h"
#include "support/psid_bytes.h"
#include "support/temp_folder.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using testing::contentOf;
using testing::TempFolder;
using testing::u16;
namespace fs = std::filesystem;
const std::string Tune = testing::psidHeader(5, 3, "N", "A", "C") + "music";

TEST(RealSidHeader, OnlyRegularFilesAreReadAndNothingIsCreated) {
    TempFolder temp;
    const fs::path fifo = temp / "fifo.sid", readOnly = temp.write("read-only.sid", Tune);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    fs::create_symlink("/dev/zero", temp / "zero.sid");
    fs::create_directory(temp / "folder.sid");
    fs::permissions(readOnly, fs::perms::owner_read);
    struct Row {
        const char* name;
        fs::path file;
        bool reads;
    } rows[] = {{"fifo", fifo, false},
                {"device", temp / "zero.sid", false},
                {"folder", temp / "folder.sid", false},
                {"missing", temp / "none.sid", false},
                {"read-only", readOnly, true}};
    // A header waits in the pipe, so a reader that took the pipe for a file
    // would read it at once instead of blocking.
    const int writer = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    const std::string three = Tune + Tune + Tune;  // for the three methods
    ASSERT_EQ(::write(writer, three.data(), three.size()), ssize_t(three.size()));
    PosixPlatform host;
    twFunctions f{host};
    for (const Row& row : rows) {
        std::int16_t songs = 0, song = 0;
        EXPECT_EQ(f.GetSidSongInfo(u16(row.file), songs, song), Boolean(row.reads)) << row.name;
        EXPECT_EQ(f.GetSidAuthor(u16(row.file)).size(), row.reads ? 32u : 0u) << row.name;
        EXPECT_EQ(f.SaveDefaultSidSong(u16(row.file), 1), Boolean(false)) << row.name;
    }
    EXPECT_FALSE(fs::exists(temp / "none.sid"));
    EXPECT_EQ(contentOf(readOnly), Tune);
    ::close(writer);
}

// What another program does to the tune's name between the save's read and
// its write, at the read's return.
std::function<void()> meanwhile;
const SystemCalls withMeanwhile = [] {
    SystemCalls calls = realSystemCalls();
    calls.read = [](int fd, void* buffer, size_t size) {
        const ssize_t n = realSystemCalls().read(fd, buffer, size);
        if (meanwhile) std::exchange(meanwhile, nullptr)();
        return n;
    };
    return calls;
}();

TEST(RealSidHeader, SavingWritesTheTuneItCheckedOrNothing) {
    TempFolder temp;
    const fs::path tune = temp / "tune.sid", moved = temp / "moved.sid";
    std::string saved = Tune;
    saved[17] = 7;
    struct Row {
        const char* name;
        std::function<void()> act;
        bool result;
        std::string atName, atMoved;
    } rows[] = {
        {"renamed, another file put in its place",
         [&] {
             fs::rename(tune, moved);
             temp.write("tune.sid", "other");
         },
         true, "other", saved},
        {"cut short", [&] { fs::resize_file(tune, 0); }, false, "", ""},
        {"left alone", [] {}, true, saved, ""},
    };
    for (const Row& row : rows) {
        temp.write("tune.sid", Tune);
        fs::remove(moved);
        PosixPlatform host;
        meanwhile = row.act;
        systemCalls() = withMeanwhile;
        const Boolean result = twFunctions{host}.SaveDefaultSidSong(u16(tune), 7);
        systemCalls() = realSystemCalls();
        EXPECT_EQ(result, Boolean(row.result)) << row.name;
        EXPECT_EQ(contentOf(tune), row.atName) << row.name;
        EXPECT_EQ(fs::exists(moved) ? contentOf(moved) : "", row.atMoved) << row.name;
    }
}

}  // namespace
}  // namespace tarnwick
