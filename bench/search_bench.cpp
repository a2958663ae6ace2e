// FindFiles with "*.sid" over a tree shaped like a large tune collection
// (60,000 files in 3,000 folders: collections, letters, composers, the
// tunes in the composers' folders), against find and fd doing the same
// search on the same tree in the same run, with a warm cache. Reports
// the time of each and the two ratios.
//
//   build/linux/bench/tarnwick_bench_search [--benchmark_filter=...]
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

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

// How many lines a program prints: the matches it found.
long countLines(const std::string& command) {
    long lines = 0;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        for (int c; (c = std::fgetc(pipe)) != EOF;)
            if (c == '\n') ++lines;
        pclose(pipe);
    }
    return lines;
}

void FindFiles_Tarnwick(benchmark::State& state) {
    tarnwick::twFunctions f;
    long found = 0;
    f.addFoundFileHandler([&](const tarnwick::String&) { ++found; });
    const tarnwick::String root = tarnwick::fromUtf8((collection() / "C64Music").string());
    double total = 0;
    for (auto _ : state) {
        found = 0;
        tarnwick::String path = root;
        total = f.FindFiles(path, u"*.sid").toDouble();
    }
    state.counters["matches"] = static_cast<double>(found);
    state.counters["total_MB"] = total / 1e6;
}
BENCHMARK(FindFiles_Tarnwick)->Unit(benchmark::kMillisecond)->UseRealTime();

void Find_Iname(benchmark::State& state) {
    const std::string root = (collection() / "C64Music").string();
    for (auto _ : state)
        if (!run({"find", root, "-iname", "*.sid", "-printf", "%s\n"})) {
            state.SkipWithError("find could not be run");
            return;
        }
    state.counters["matches"] =
        static_cast<double>(countLines("find '" + root + "' -iname '*.sid' -printf '%s\\n'"));
}
BENCHMARK(Find_Iname)->Unit(benchmark::kMillisecond)->UseRealTime();

void Fdfind_OneThread(benchmark::State& state) {
    const std::string root = (collection() / "C64Music").string();
    for (auto _ : state)
        if (!run({"fdfind", "-j1", "-i", "-g", "*.sid", root})) {
            state.SkipWithError("fdfind (fd-find) could not be run");
            return;
        }
    state.counters["matches"] =
        static_cast<double>(countLines("fdfind -j1 -i -g '*.sid' '" + root + "'"));
}
BENCHMARK(Fdfind_OneThread)->Unit(benchmark::kMillisecond)->UseRealTime();

// The console report, keeping each benchmark's time for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && !r.error_occurred)
                times[r.benchmark_name()] = r.GetAdjustedRealTime();
    }
    std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const fs::path& root = collection();
    // A warm cache for everyone: the whole tree read once beforehand.
    run({"find", root.string(), "-printf", "%s\n"});
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto time = [&](const std::string& name) {
        const auto it = reporter.times.find(name);
        return it == reporter.times.end() ? 0.0 : it->second;
    };
    const double ours = time("FindFiles_Tarnwick/real_time");
    const double find = time("Find_Iname/real_time");
    const double fd = time("Fdfind_OneThread/real_time");
    if (ours > 0 && find > 0)
        std::printf("FindFiles / find -iname: %.2f (below 1: faster than find)\n", ours / find);
    if (ours > 0 && fd > 0)
        std::printf("FindFiles / fdfind -j1:  %.2f (below 1: faster than fd)\n", ours / fd);
    benchmark::Shutdown();
    std::error_code ignored;
    fs::remove_all(root, ignored);
    return 0;
}
