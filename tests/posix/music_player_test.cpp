// The music player launch on Linux: the recorder program standing in for a
// player shows what a player receives, and the real sidplayfp shows that
// the song it is asked for is the one it plays.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>
#include <thread>

#include "platform/posix/posix_platform.h"
#include "posix/path_text.h"
#include "support/recorder_reader.h"
#include "support/scoped_variable.h"
#include "support/temp_folder.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using testing::contentOf;
using testing::Recording;
using testing::ScopedVariable;
using testing::TempFolder;
using testing::u16;
using testing::waitForRecording;
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

class PosixMusicPlayer : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = fs::current_path();
        record_ = temp / "record.txt";
        ::setenv("TARNWICK_RECORDER_OUT", record_.c_str(), 1);
        PosixOptions o;
        o.aliasFolder = (temp / "aliases").string();
        host_ = std::make_unique<PosixPlatform>(o);
        // The tunes in a folder whose name needs a short alias.
        fs::create_directories(tunes_);
        for (const char* name : {"sampler.sid", "ode-to-joy.sid"})
            fs::copy_file(fs::path(TARNWICK_TUNES) / name, tunes_ / name);
    }
    void TearDown() override {
        fs::current_path(saved_);
        ::unsetenv("TARNWICK_RECORDER_OUT");
    }
    fs::path player(const std::string& name) {
        const fs::path p = temp / name;
        fs::create_directories(p.parent_path());
        fs::copy_file(TARNWICK_RECORDER, p);
        return p;
    }
    Recording recorded() {
        Recording r;
        EXPECT_TRUE(waitForRecording(record_, r)) << "the player did not run";
        return r;
    }
    TempFolder temp;
    std::unique_ptr<PosixPlatform> host_;
    fs::path record_;
    const fs::path tunes_ = temp / "My Tunes";

  private:
    fs::path saved_;
};

TEST_F(PosixMusicPlayer, PlayMusicSongHandsThePlayerTheOptionAndATuneThatOpens) {
    const fs::path p = player("Sid Player/sidplayer");
    twShell shell(*host_);
    shell.PlayMusicSong(u16(p), u16(tunes_), u"sampler.sid", 4);
    const Recording r = recorded();
    ASSERT_EQ(r.arguments.size(), 2u);
    EXPECT_EQ(r.arguments[0], "-o4");
    EXPECT_EQ(contentOf(r.arguments[1]), contentOf(tunes_ / "sampler.sid"));
    EXPECT_EQ(fs::path(r.directory), temp / "Sid Player") << "started in its own folder";
    EXPECT_EQ(fs::canonical(fs::current_path()), fs::canonical(temp / "Sid Player"));

    shell.PlayMusicSong(u16(p), u16(tunes_), u"ode-to-joy.sid", -1);
    EXPECT_EQ(recorded().arguments.at(0), "-o-1");
}

TEST_F(PosixMusicPlayer, PlayMusicHandsThePlayerTheTuneAlone) {
    const fs::path p = player("bin/player");
    twShell shell(*host_);
    shell.PlayMusic(u16(p), u16(tunes_), u"ode-to-joy.sid", u"Tunes", false);
    const Recording r = recorded();
    ASSERT_EQ(r.arguments.size(), 1u);
    EXPECT_EQ(contentOf(r.arguments[0]), contentOf(tunes_ / "ode-to-joy.sid"));
}

TEST_F(PosixMusicPlayer, PlayMusicWithAMissingTuneShowsOneBoxAndStartsNothing) {
    const fs::path p = player("bin/player");
    std::vector<String> prompts;
    setMessageBoxHandler([&](const String& prompt, std::int32_t, const String& caption) {
        prompts.push_back(caption + u": " + prompt);
        return answers::Ok;
    });
    twShell shell(*host_);
    shell.PlayMusic(u16(p), u16(tunes_), u"gone.sid", u"Tunes", true);
    shell.PlayMusic(u16(temp / "bin/gone"), u16(tunes_), u"gone.sid", u"Tunes", true);
    setMessageBoxHandler({});
    EXPECT_EQ(prompts, (std::vector<String>{u"Tunes: FILE NOT FOUND: " + u16(tunes_ / "gone.sid"),
                                            u"Tunes: FILE NOT FOUND: " + u16(temp / "bin/gone")}));
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(fs::exists(record_)) << "nothing was started";
}

TEST_F(PosixMusicPlayer, AFailedStartIsSilent) {
    const fs::path notAProgram = temp.write("bin/player", "just text");
    twShell shell(*host_);
    EXPECT_NO_THROW(shell.PlayMusicSong(u16(notAProgram), u16(tunes_), u"sampler.sid", 1));
    EXPECT_NO_THROW(shell.PlayMusicSong(u16(temp / "none/player"), u16(tunes_), u"x.sid", 1));
    EXPECT_NO_THROW(shell.PlayMusicSong(u"player", u16(tunes_), u"x.sid", 1));
}

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

class RealSidplayfp : public PosixMusicPlayer {
  protected:
    void SetUp() override {
        PosixMusicPlayer::SetUp();
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
        PosixMusicPlayer::TearDown();
    }
    std::string sidplayfp_;
    std::optional<ScopedVariable> config_, alsa_, pulse_;
};

TEST_F(RealSidplayfp, PlaysTheSongItIsAskedFor) {
    const fs::path log = temp / "sidplayfp.log";
    twShell shell(*host_);
    {
        ScopedOutput output(log);
        shell.PlayMusicSong(fromUtf8(sidplayfp_), u16(tunes_), u"sampler.sid", 4);
    }
    const std::optional<int> tune = waitForSidplayfp(log, 5);
    ASSERT_TRUE(tune.has_value()) << "sidplayfp said:\n" << contentOf(log);
    EXPECT_EQ(*tune, 4);
}

TEST_F(RealSidplayfp, PlaysTheDefaultSongWithoutTheOptionAndAfterASave) {
    const fs::path log = temp / "sidplayfp.log";
    twShell shell(*host_);
    {
        ScopedOutput output(log);
        shell.PlayMusic(fromUtf8(sidplayfp_), u16(tunes_), u"sampler.sid", u"", false);
    }
    std::optional<int> tune = waitForSidplayfp(log, 5);
    ASSERT_TRUE(tune.has_value()) << "sidplayfp said:\n" << contentOf(log);
    EXPECT_EQ(*tune, 3) << "the tune's own default";

    // A new default song saved in the file is the one the player starts.
    twFunctions functions(*host_);
    ASSERT_TRUE(functions.SaveDefaultSidSong(u16(tunes_ / "sampler.sid"), 2));
    {
        ScopedOutput output(log);
        shell.PlayMusic(fromUtf8(sidplayfp_), u16(tunes_), u"sampler.sid", u"", false);
    }
    tune = waitForSidplayfp(log, 5);
    ASSERT_TRUE(tune.has_value()) << "sidplayfp said:\n" << contentOf(log);
    EXPECT_EQ(*tune, 2);
}

}  // namespace
}  // namespace tarnwick
