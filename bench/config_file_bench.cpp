// ChangeConfigFile against copying the same file with cp, in the same run,
// on a typical emulator configuration; and its scaling on the largest file
// it accepts.
//
//   build/linux/bench/tarnwick_bench_config [--benchmark_filter=...]
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "tarnwick/tarnwick.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

fs::path benchFolder() {
    static const fs::path folder = [] {
        const fs::path p = fs::temp_directory_path() /
                           ("tarnwick-bench-" + std::to_string(std::random_device{}()));
        fs::create_directories(p);
        return p;
    }();
    return folder;
}

// A c64.cfg of the usual shape: 200 lines of settings, the keys the
// launchers change spread among them.
std::string typicalConfig() {
    std::string text;
    const char* keys[] = {"$JOYSTICK1PC", "$JOYSTICK2PC", "$JOYSTICK1KEY", "$JOYSTICK2KEY",
                          "$LOADPATH"};
    for (int i = 0; i < 200; ++i) {
        if (i % 40 == 7)
            text += std::string(keys[i / 40]) + "=0\r\n";
        else
            text += "$SETTING" + std::to_string(i) + "=" + std::to_string(i * 37 % 1000) + "\r\n";
    }
    return text;
}

void ChangeConfigFile_Typical(benchmark::State& state) {
    const fs::path file = benchFolder() / "c64.cfg";
    std::ofstream(file, std::ios::binary) << typicalConfig();
    tarnwick::twFunctions f;
    const tarnwick::String name = tarnwick::fromUtf8(file.string());
    const tarnwick::ConfigFileArray changes({{u"$JOYSTICK1PC", u"1"},
                                             {u"$JOYSTICK2PC", u"0"},
                                             {u"$JOYSTICK1KEY", u"2"},
                                             {u"$JOYSTICK2KEY", u"1"},
                                             {u"$LOADPATH", u"/games/"}});
    for (auto _ : state) f.ChangeConfigFile(name, changes);
}
BENCHMARK(ChangeConfigFile_Typical)->Unit(benchmark::kMicrosecond);

void CopyWithCp_Typical(benchmark::State& state) {
    const fs::path file = benchFolder() / "c64-source.cfg";
    const std::string target = (benchFolder() / "c64-copy.cfg").string();
    std::ofstream(file, std::ios::binary) << typicalConfig();
    const std::string source = file.string();
    for (auto _ : state) {
        const char* argv[] = {"cp", source.c_str(), target.c_str(), nullptr};
        pid_t pid;
        if (posix_spawnp(&pid, "cp", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
            state.SkipWithError("cp could not be started");
            break;
        }
        int status;
        waitpid(pid, &status, 0);
    }
}
BENCHMARK(CopyWithCp_Typical)->Unit(benchmark::kMicrosecond);

// 32,766 lines and 1,000 changes whose keys stand at the end of the file:
// the worst case the editor accepts, every change scanning nearly all lines.
void ChangeConfigFile_Largest(benchmark::State& state) {
    const fs::path file = benchFolder() / "large.cfg";
    std::string text;
    for (int i = 0; i < 32766; ++i) text += "$KEY" + std::to_string(i) + "=value\r\n";
    std::vector<tarnwick::ConfigFileType> list;
    for (int i = 0; i < 1000; ++i)
        list.push_back({tarnwick::fromUtf8("$KEY" + std::to_string(32765 - i) + "="), u"new"});
    const tarnwick::ConfigFileArray changes(list);
    tarnwick::twFunctions f;
    const tarnwick::String name = tarnwick::fromUtf8(file.string());
    for (auto _ : state) {
        state.PauseTiming();
        std::ofstream(file, std::ios::binary) << text;
        state.ResumeTiming();
        f.ChangeConfigFile(name, changes);
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
    state.counters["lines_scanned"] = 1000.0 * 32766.0;
}
BENCHMARK(ChangeConfigFile_Largest)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    fs::remove_all(benchFolder(), ignored);
    return 0;
}
