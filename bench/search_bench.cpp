// FindFiles with "*.sid" and the total size over a tree shaped like a large
// tune collection (60,000 files in 3,000 folders: collections, letters,
// composers, the tunes in the composers' folders), against its peers on the
// same tree in the same run: find (with sizes), fdfind with one thread and
// with all cores (without sizes), and a bare C walk (getdents64 and an
// fstatat per match). Each runs warm (the tree cached) and cold (the
// caches dropped before each run: root only, else those rows are skipped
// with a message); the ratios of the medians close the report.
//
//   build/linux/bench/tarnwick_bench_search [--benchmark_filter=...]
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <thread>

#include "tarnwick/tarnwick.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kFolders = 3000;
constexpr int kFiles = 60000;

const fs::path& collection() {
    static const fs::path root = [] {
        const fs::path base = fs::temp_directory_path() /
                              ("tarnwick-bench-search-" + std::to_string(std::random_device{}()));
        const fs::path top = base / "C64Music";
        std::mt19937 random(64);
        // 3 collections x 26 letters, then composers under the letters up to
        // 3,000 folders in all; the tunes are spread over the composers.
        std::vector<fs::path> composers;
        int folders = 1;
        std::vector<fs::path> letters;
        for (const char* group : {"MUSICIANS", "GAMES", "DEMOS"}) {
            fs::create_directories(top / group);
            ++folders;
            for (char letter = 'A'; letter <= 'Z'; ++letter) {
                letters.push_back(top / group / std::string(1, letter));
                fs::create_directories(letters.back());
                ++folders;
            }
        }
        for (int i = 0; folders < kFolders; ++i, ++folders) {
            composers.push_back(letters[i % letters.size()] / ("Composer_" + std::to_string(i)));
            fs::create_directories(composers.back());
        }
        for (int i = 0; i < kFiles; ++i) {
            const fs::path& folder = composers[i % composers.size()];
            // Mostly tunes, with the odd text file and an upper-case name.
            std::string name = "Tune_" + std::to_string(i);
            name += i % 20 == 0 ? ".txt" : (i % 97 == 0 ? ".SID" : ".sid");
            const fs::path file = folder / name;
            std::ofstream(file).close();
            fs::resize_file(file, 1000 + random() % 20000);  // sparse: sizes without disk
        }
        return base;
    }();
    return root;
}

// Runs a program with its output thrown away and waits for it.
bool run(const std::vector<std::string>& argv) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid;
    const bool started = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (!started) return false;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Empties the page, inode and directory caches; false when not allowed.
bool dropCaches() {
    ::sync();
    const int fd = ::open("/proc/sys/vm/drop_caches", O_WRONLY | O_CLOEXEC);
    const bool dropped = fd >= 0 && ::write(fd, "3", 1) == 1;
    if (fd >= 0) ::close(fd);
    return dropped;
}

// The least a search with sizes can do: the listing, and a stat per match.
void bareWalk(int parent, const char* name, long& matches, double& total) {
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    alignas(8) static thread_local char block[64 * 1024];
    std::vector<std::string> subfolders;
    for (ssize_t n; (n = ::getdents64(fd, block, sizeof block)) > 0;)
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const dirent64*>(block + at);
            at += e->d_reclen;
            if (e->d_name[0] == '.') continue;
            if (e->d_type == DT_DIR) subfolders.emplace_back(e->d_name);
            struct stat st;
            if (::fnmatch("*.sid", e->d_name, FNM_CASEFOLD) == 0 &&
                ::fstatat(fd, e->d_name, &st, 0) == 0) {
                ++matches;
                total += static_cast<double>(st.st_size);
            }
        }
    for (const std::string& sub : subfolders) bareWalk(fd, sub.c_str(), matches, total);
    ::close(fd);
}

const std::string& root() {
    static const std::string path = (collection() / "C64Music").string();
    return path;
}

// One run of each program per repetition; cold runs drop the caches first.
void timed(benchmark::State& state, bool cold, const std::function<bool()>& run) {
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            const bool dropped = dropCaches();
            state.ResumeTiming();
            if (!dropped) {
                state.SkipWithError("cold runs need root, to drop the caches: skipped");
                return;
            }
        }
        if (!run()) {
            state.SkipWithError("the program could not be run");
            return;
        }
    }
}

void registerAll() {
    const std::string cores = std::to_string(std::max(1u, std::thread::hardware_concurrency()));
    const std::vector<std::pair<std::string, std::function<bool()>>> peers = {
        {"FindFiles",
         [] {
             tarnwick::twFunctions f;
             long found = 0;
             f.addFoundFileHandler([&](const tarnwick::String&) { ++found; });
             tarnwick::String path = tarnwick::fromUtf8(root());
             f.FindFiles(path, u"*.sid");
             return found > 0;
         }},
        {"find",
         [] {
             return run({"find", root(), "-iname", "*.sid", "-printf", "%s\n"});
         }},
        {"fdfind-j1",
         [] {
             return run({"fdfind", "-j1", "-i", "-g", "*.sid", root()});
         }},
        {"fdfind-all",
         [cores] {
             return run({"fdfind", "-j" + cores, "-i", "-g", "*.sid", root()});
         }},
        {"bare-walk",
         [] {
             long matches = 0;
             double total = 0;
             bareWalk(AT_FDCWD, root().c_str(), matches, total);
             return matches > 0;
         }},
    };
    for (const bool cold : {false, true})
        for (const auto& [name, body] : peers)
            benchmark::RegisterBenchmark(
                (std::string(cold ? "cold/" : "warm/") + name).c_str(),
                [cold, body = body](benchmark::State& s) { timed(s, cold, body); })
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime()
                ->Iterations(1)
                ->Repetitions(cold ? 3 : 7);
}

// The console report, keeping each run's time for the medians.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && !r.error_occurred)
                times[r.run_name.function_name].push_back(r.GetAdjustedRealTime());
    }
    double median(const std::string& name) {
        std::vector<double>& t = times[name];
        if (t.empty()) return 0;
        std::sort(t.begin(), t.end());
        return t[t.size() / 2];
    }
    std::map<std::string, std::vector<double>> times;
};

}  // namespace

int main(int argc, char** argv) {
    // The repetitions interleaved at random, so that a change in the
    // machine's load falls on every program alike; later options override.
    std::string interleave = "--benchmark_enable_random_interleaving=true";
    std::vector<char*> args{argv[0], interleave.data()};
    for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    const fs::path& base = collection();
    // A warm cache for the warm rows: the whole tree read once beforehand.
    run({"find", base.string(), "-printf", "%s\n"});
    registerAll();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nRatios of medians (below 1: FindFiles is faster)\n");
    for (const char* cache : {"warm", "cold"}) {
        const double ours = reporter.median(std::string(cache) + "/FindFiles");
        for (const char* peer : {"find", "fdfind-j1", "fdfind-all", "bare-walk"}) {
            const double theirs = reporter.median(std::string(cache) + "/" + peer);
            if (ours > 0 && theirs > 0)
                std::printf("%s: FindFiles %.0f ms / %s %.0f ms = %.2f\n", cache, ours, peer,
                            theirs, ours / theirs);
        }
    }
    benchmark::Shutdown();
    std::error_code ignored;
    fs::remove_all(base, ignored);
    return 0;
}
