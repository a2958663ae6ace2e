// Scanning a collection of PSID tunes: twFunctions.GetSidInfo against the
// least any reader can do (open, read 118 bytes, close, in plain C), against
// that loop with the fstat that refuses anything but a regular file, and
// against libsidplayfp's tune loader, over the same files in the same run.
//
//   tarnwick_bench_sid [--files N] [--dir FOLDER] [benchmark options]
//
// The collection (50,000 files unless --files says otherwise) is made in a
// fresh folder under FOLDER (default: the system's temporary folder) from
// the tunes shipped in examples/tunes/, each with a name of its own, a
// thousand to a subfolder, and removed at the end. The target: GetSidInfo
// within 1.10 times the bare loop.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sidplayfp/SidTune.h>
#include <sidplayfp/SidTuneInfo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "tarnwick/tarnwick.h"

namespace {

namespace fs = std::filesystem;

struct Collection {
    fs::path root;
    std::vector<std::string> paths;       // for the C loop and libsidplayfp
    std::vector<tarnwick::String> names;  // as the front end hands them over
};

Collection& collection() {
    static Collection c;
    return c;
}

std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void makeCollection(const fs::path& parent, std::size_t count) {
    std::vector<std::string> tunes;
    for (const char* name : {"sampler.sid", "ode-to-joy.sid", "twinkle.sid"})
        tunes.push_back(readAll(fs::path(TARNWICK_TUNES) / name));
    std::random_device random;
    Collection& c = collection();
    c.root = parent / ("tarnwick-bench-" + std::to_string(random()));
    for (std::size_t i = 0; i < count; ++i) {
        const fs::path folder = c.root / ("group" + std::to_string(i / 1000));
        if (i % 1000 == 0) fs::create_directories(folder);
        std::string bytes = tunes[i % tunes.size()];
        // A name of its own, NUL-padded in the 32-byte field.
        const std::string name = "Tune " + std::to_string(i);
        std::fill(bytes.begin() + 22, bytes.begin() + 54, '\0');
        std::copy(name.begin(), name.end(), bytes.begin() + 22);
        const fs::path p = folder / ("tune-" + std::to_string(i) + ".sid");
        std::ofstream(p, std::ios::binary) << bytes;
        c.paths.push_back(p.string());
        c.names.push_back(tarnwick::fromUtf8(p.string()));
    }
}

void GetSidInfoScan(benchmark::State& state) {
    tarnwick::twFunctions functions;
    std::size_t found = 0;
    for (auto _ : state) {
        for (const tarnwick::String& name : collection().names) {
            tarnwick::String title, author, copyright;
            std::int16_t songs = 0, start = 0;
            if (functions.GetSidInfo(name, title, author, copyright, songs, start)) ++found;
            benchmark::DoNotOptimize(songs);
        }
    }
    if (found != collection().names.size() * state.iterations()) state.SkipWithError("unread");
    state.SetItemsProcessed(static_cast<std::int64_t>(found));
}

// The bare loop, and the same loop with the one check a reader in a shared
// folder cannot do without: that what it opened is a regular file (a
// device or a pipe put in a tune's place could block, or read for ever).
template <bool TypeChecked>
void BareLoop(benchmark::State& state) {
    std::size_t found = 0;
    for (auto _ : state) {
        for (const std::string& path : collection().paths) {
            unsigned char header[118];
            const int fd = ::open(path.c_str(), O_RDONLY);
            if (fd < 0) continue;
            struct stat st;
            if (TypeChecked && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
                ::close(fd);
                continue;
            }
            const ssize_t n = ::read(fd, header, sizeof header);
            ::close(fd);
            if (n == sizeof header && std::memcmp(header, "PSID", 4) == 0) ++found;
            benchmark::DoNotOptimize(header[15]);
        }
    }
    if (found != collection().paths.size() * state.iterations()) state.SkipWithError("unread");
    state.SetItemsProcessed(static_cast<std::int64_t>(found));
}

void LibsidplayfpLoader(benchmark::State& state) {
    std::size_t found = 0;
    for (auto _ : state) {
        for (const std::string& path : collection().paths) {
            SidTune tune(path.c_str());
            if (tune.getStatus() && tune.getInfo()->songs() > 0) ++found;
        }
    }
    if (found != collection().paths.size() * state.iterations()) state.SkipWithError("unread");
    state.SetItemsProcessed(static_cast<std::int64_t>(found));
}

void BareCLoop(benchmark::State& state) {
    BareLoop<false>(state);
}
void TypeCheckedCLoop(benchmark::State& state) {
    BareLoop<true>(state);
}

BENCHMARK(BareCLoop)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(TypeCheckedCLoop)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(GetSidInfoScan)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(LibsidplayfpLoader)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Prints as usual and keeps each benchmark's times per scan for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    using ConsoleReporter::ConsoleReporter;
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.error_occurred || r.run_type != Run::RT_Iteration) continue;
            real[r.run_name.function_name].push_back(r.GetAdjustedRealTime());
            cpu[r.run_name.function_name].push_back(r.GetAdjustedCPUTime());
        }
    }
    // The median of the repetitions.
    static double median(const std::map<std::string, std::vector<double>>& times,
                         const std::string& name) {
        const auto it = times.find(name);
        if (it == times.end() || it->second.empty()) return 0;
        std::vector<double> v = it->second;
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    }
    std::map<std::string, std::vector<double>> real, cpu;
};

void printRatio(const char* what, double ours, double peer, const char* target) {
    if (ours > 0 && peer > 0) std::printf("  %-52s %.2fx%s\n", what, ours / peer, target);
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t count = 50000;
    fs::path parent = fs::temp_directory_path();
    // Five repetitions of each, interleaved at random, so that a change in
    // the machine's load falls on all three alike; later options override.
    std::string repetitions = "--benchmark_repetitions=5";
    std::string interleave = "--benchmark_enable_random_interleaving=true";
    std::vector<char*> rest{argv[0], repetitions.data(), interleave.data()};
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--files" && i + 1 < argc)
            count = std::stoul(argv[++i]);
        else if (a == "--dir" && i + 1 < argc)
            parent = argv[++i];
        else
            rest.push_back(argv[i]);
    }
    int restCount = static_cast<int>(rest.size());
    benchmark::Initialize(&restCount, rest.data());

    std::printf("Making %zu PSID files under %s ...\n", count, parent.string().c_str());
    makeCollection(parent, count);
    RatioReporter reporter(::isatty(1) ? benchmark::ConsoleReporter::OO_Defaults
                                       : benchmark::ConsoleReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::error_code ignored;
    fs::remove_all(collection().root, ignored);

    for (const auto& [kind, times] :
         {std::pair{"wall-clock", &reporter.real}, std::pair{"CPU", &reporter.cpu}}) {
        std::printf("Medians by %s time:\n", kind);
        const double ours = RatioReporter::median(*times, "GetSidInfoScan");
        printRatio("GetSidInfo / bare C loop (open, read 118, close):", ours,
                   RatioReporter::median(*times, "BareCLoop"), "  (target: 1.10x or less)");
        printRatio("GetSidInfo / the C loop with its type check (fstat):", ours,
                   RatioReporter::median(*times, "TypeCheckedCLoop"), "");
        printRatio("GetSidInfo / libsidplayfp tune loader:", ours,
                   RatioReporter::median(*times, "LibsidplayfpLoader"), "");
    }
    benchmark::Shutdown();
    return 0;
}
