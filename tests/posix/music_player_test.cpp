// The music player launch on Linux with the real sidplayfp: the song it is
// asked for is the one it plays.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>
#include <thread>

#include "posix/launch_fixture.h"
#include "support/scoped_variable.h"

namespace tarnwick {
namespace {

using testing::contentOf;
using testing::ScopedVariable;
using testing::u16;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Sends this process's standard output and error to a file for the scope:
// a program started meanwhile keeps writing there.
class ScopedOutput {
  public:
    explicit ScopedOutput(const fs::path& file) {
        std::fflush(stdout);
        std::fflush(stderr);
        out_ = ::dup(1);
        err_ = ::dup(2);
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ::dup2(fd, 1);
        ::dup2(fd, 2);
        ::close(fd);
    }
    ~ScopedOutput() {
        std::fflush(stdout);
        std::fflush(stderr);
        ::dup2(out_, 1);
        ::dup2(err_, 2);
        ::close(out_);
        ::close(err_);
    }

  private:
    int out_, err_;
};

// The first song sidplayfp says it plays, from its status box: the line
// "Playlist : 1/5 (tune 4/5[3])" names tune 4 of 5, default 3.
std::optional<int> firstTunePlayed(const fs::path& log) {
    static const std::regex playlist(R"(Playlist\s*:\s*1/\d+ \(tune (\d+)/\d+\[\d+\]\))");
    std::smatch m;
    const std::string text = contentOf(log);
    if (!std::regex_search(text, m, playlist)) return std::nullopt;
    return std::stoi(m[1]);
}

// Waits until sidplayfp has said what it plays and has gone through the
// whole playlist (each song lasts a second here), so that it is gone
// before its folder is.
std::optional<int> waitForSidplayfp(const fs::path& log, int songs) {
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string text = contentOf(log);
        std::size_t boxes = 0;
        for (std::size_t at = text.find("Playlist"); at != std::string::npos;
             at = text.find("Playlist", at + 1))
            ++boxes;
        if (boxes >= static_cast<std::size_t>(songs) || text.find("ERROR") != std::string::npos)
            break;
        std::this_thread::sleep_for(50ms);
    }
    std::this_thread::sleep_for(1500ms);  // the last song's second
    return firstTunePlayed(log);
}

class RealSidplayfp : public testing::PosixLaunch {
  protected:
    void SetUp() override {
        PosixLaunch::SetUp();
        // The tunes in a folder whose name needs a short alias.
        fs::create_directories(tunes_);
        fs::copy_file(fs::path(TARNWICK_TUNES) / "sampler.sid", tunes_ / "sampler.sid");
        for (const char* dir : {"/usr/bin", "/usr/local/bin", "/bin"})
            if (::access((std::string(dir) + "/sidplayfp").c_str(), X_OK) == 0) {
                sidplayfp_ = std::string(dir) + "/sidplayfp";
                break;
            }
        ASSERT_FALSE(sidplayfp_.empty()) << "sidplayfp is not installed (scripts/install-deps.sh)";
        // A configuration of its own: every song lasts one second. Sound
        // goes to ALSA's null device, whatever this machine has.
        const fs::path ini =
            temp.write("config/sidplayfp/sidplayfp.ini", "[SIDPlayfp]\nDefault Play Length=0:01\n");
        const fs::path alsa =
            temp.write("asound.conf", "</usr/share/alsa/alsa.conf>\npcm.!default { type null }\n");
        config_.emplace("XDG_CONFIG_HOME", (temp / "config").string());
        alsa_.emplace("ALSA_CONFIG_PATH", alsa.string());
        pulse_.emplace("PULSE_SERVER", "unix:" + (temp / "no-pulse").string());
    }
    void TearDown() override {
        pulse_.reset();
        alsa_.reset();
        config_.reset();
        PosixLaunch::TearDown();
    }
    const fs::path tunes_ = temp / "My Tunes";
    std::string sidplayfp_;
    std::optional<ScopedVariable> config_, alsa_, pulse_;
};

// The song asked for; without one, the tune's own default, also after a new
// default was saved in the file.
TEST_F(RealSidplayfp, PlaysTheSongItIsAskedFor) {
    struct Row {
        const char* name;
        std::int16_t song;  // 0: PlayMusic, with no song option
        std::int16_t saveFirst;
        int played;
    };
    const fs::path log = temp / "sidplayfp.log";
    twShell shell(*host_);
    twFunctions functions(*host_);
    for (const Row& row : {Row{"song 4", 4, 0, 4}, Row{"the tune's default", 0, 0, 3},
                           Row{"a saved default", 0, 2, 2}}) {
        if (row.saveFirst) {
            ASSERT_TRUE(functions.SaveDefaultSidSong(u16(tunes_ / "sampler.sid"), row.saveFirst));
        }
        {
            ScopedOutput output(log);
            if (row.song) {
                shell.PlayMusicSong(fromUtf8(sidplayfp_), u16(tunes_), u"sampler.sid", row.song);
            } else {
                shell.PlayMusic(fromUtf8(sidplayfp_), u16(tunes_), u"sampler.sid", u"", false);
            }
        }
        const std::optional<int> tune = waitForSidplayfp(log, 5);
        ASSERT_TRUE(tune.has_value()) << row.name << ": sidplayfp said:\n" << contentOf(log);
        EXPECT_EQ(*tune, row.played) << row.name;
    }
}

}  // namespace
}  // namespace tarnwick
