// The settings store on Linux against bare SQLite in the same run.
//
// GetSetting opens a key, asks for the value's kind and size, reads its data
// and closes the key; its peer is one prepared point read of a row by its
// text key. SaveSetting opens a key and writes the value in its own
// transaction; its peer is one prepared single-row upsert in an IMMEDIATE
// transaction. Both peers use the store's durability settings (WAL,
// synchronous=FULL) on a database in the same folder. At the end the ratios
// of the time per call are printed: how many times slower than the peer
// (wall-clock time, and CPU time, which a busy machine disturbs less).
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/posix/posix_platform.h"
#include "tarnwick/tarnwick.h"

namespace {

using namespace tarnwick;

const String Root = u"HKEY_CURRENT_USER";
const String Key = u"Software\\Tarnwick\\Bench";
const String Name = u"GamesFolder";
const String Value = u"/home/ann/C64/Games/Collection";

// The folder of both databases, removed at the end.
std::filesystem::path& folder() {
    static std::filesystem::path path = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "tarnwick-bench-XXXXXX");
        if (!::mkdtemp(pattern.data())) std::abort();
        return std::filesystem::path(pattern);
    }();
    return path;
}

PosixPlatform& store() {
    static PosixPlatform platform([] {
        PosixOptions o;
        o.registryFile = (folder() / "registry.sqlite").string();
        return o;
    }());
    return platform;
}

// One step of a prepared point read, already bound: the blob in column, or
// "" when no row answers; the statement is made ready again.
std::string stepForBlob(sqlite3_stmt* read, int column) {
    std::string value;
    if (sqlite3_step(read) == SQLITE_ROW)
        value.assign(static_cast<const char*>(sqlite3_column_blob(read, column)),
                     static_cast<std::size_t>(sqlite3_column_bytes(read, column)));
    sqlite3_reset(read);
    return value;
}

// The bare peer: one table of text keys, prepared statements, the same
// journal mode and synchronous setting as the store.
struct Peer {
    sqlite3* db = nullptr;
    sqlite3_stmt *read = nullptr, *upsert = nullptr, *begin = nullptr, *commit = nullptr;
    const std::string key = "HKEY_CURRENT_USER\\SOFTWARE\\TARNWICK\\BENCH\\GAMESFOLDER";

    Peer() {
        const std::string file = (folder() / "peer.sqlite").string();
        if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            nullptr) != SQLITE_OK)
            std::abort();
        sqlite3_busy_timeout(db, 60000);
        sqlite3_exec(db,
                     "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;"
                     "CREATE TABLE IF NOT EXISTS kv(k TEXT PRIMARY KEY, v BLOB) WITHOUT ROWID;",
                     nullptr, nullptr, nullptr);
        prepare(read, "SELECT v FROM kv WHERE k=?1");
        prepare(upsert,
                "INSERT INTO kv(k,v) VALUES(?1,?2) ON CONFLICT(k) DO UPDATE SET v=excluded.v");
        prepare(begin, "BEGIN IMMEDIATE");
        prepare(commit, "COMMIT");
        write(toUtf8(Value));
    }
    ~Peer() {
        for (sqlite3_stmt* s : {read, upsert, begin, commit}) sqlite3_finalize(s);
        sqlite3_close(db);
    }
    void prepare(sqlite3_stmt*& s, const char* sql) {
        if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr) != SQLITE_OK)
            std::abort();
    }
    std::string get() {
        sqlite3_bind_text(read, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
        return stepForBlob(read, 0);
    }
    bool write(const std::string& value) {
        bool ok = sqlite3_step(begin) == SQLITE_DONE;
        sqlite3_reset(begin);
        sqlite3_bind_text(upsert, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
        sqlite3_bind_blob(upsert, 2, value.data(), static_cast<int>(value.size()), SQLITE_STATIC);
        ok = ok && sqlite3_step(upsert) == SQLITE_DONE;
        sqlite3_reset(upsert);
        ok = ok && sqlite3_step(commit) == SQLITE_DONE;
        sqlite3_reset(commit);
        return ok;
    }
};

Peer& peer() {
    static Peer p;
    return p;
}

void GetSetting(benchmark::State& state) {
    twRegistry reg(store());
    reg.SaveSetting(Root, Key, Name, Value, true);
    Variant v;
    for (auto _ : state) {
        if (!reg.GetSetting(Root, Key, Name, v, true)) state.SkipWithError("GetSetting failed");
        benchmark::DoNotOptimize(v);
    }
    state.SetItemsProcessed(state.iterations());
}

void PeerPointRead(benchmark::State& state) {
    Peer& p = peer();
    for (auto _ : state) {
        std::string value = p.get();
        if (value.empty()) state.SkipWithError("the row is missing");
        benchmark::DoNotOptimize(value);
    }
    state.SetItemsProcessed(state.iterations());
}

// The store's own point read, bare: the statement GetSetting runs, prepared
// on a connection of its own to the store's file. What GetSetting costs
// beyond it is the settings layer; what this costs beyond PeerPointRead is
// the store's table (a key of three columns, two columns read).
void StoreRowRead(benchmark::State& state) {
    twRegistry(store()).SaveSetting(Root, Key, Name, Value, true);
    sqlite3* db = nullptr;
    sqlite3_stmt* read = nullptr;
    const std::string file = (folder() / "registry.sqlite").string();
    const std::string key = "SOFTWARE\\TARNWICK\\BENCH", name = "GAMESFOLDER";
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v3(db,
                           "SELECT kind,data FROM registry_values WHERE root=?1 AND key=?2 AND "
                           "fold=?3",
                           -1, SQLITE_PREPARE_PERSISTENT, &read, nullptr) != SQLITE_OK)
        state.SkipWithError("the store cannot be read bare");
    for (auto _ : state) {
        if (!read) break;
        sqlite3_bind_int64(read, 1, registry_roots::CurrentUser);
        sqlite3_bind_text(read, 2, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
        sqlite3_bind_text(read, 3, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
        std::string value = stepForBlob(read, 1);
        if (value.empty()) state.SkipWithError("the row is missing");
        benchmark::DoNotOptimize(value);
    }
    sqlite3_finalize(read);
    sqlite3_close(db);
    state.SetItemsProcessed(state.iterations());
}

void SaveSetting(benchmark::State& state) {
    twRegistry reg(store());
    std::int32_t i = 0;
    for (auto _ : state) {
        if (!reg.SaveSetting(Root, Key, Name, Value + fromUtf8(std::to_string(++i % 10)), true))
            state.SkipWithError("SaveSetting failed");
    }
    state.SetItemsProcessed(state.iterations());
}

void PeerUpsert(benchmark::State& state) {
    Peer& p = peer();
    const std::string value = toUtf8(Value);
    std::int32_t i = 0;
    for (auto _ : state) {
        if (!p.write(value + std::to_string(++i % 10))) state.SkipWithError("the upsert failed");
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(GetSetting);
BENCHMARK(PeerPointRead);
BENCHMARK(StoreRowRead);
BENCHMARK(SaveSetting)->MinTime(0.5);
BENCHMARK(PeerUpsert)->MinTime(0.5);

// The console's report, keeping each repetition's time per call.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (!run.error_occurred && run.run_type == Run::RT_Iteration) {
                const auto n = static_cast<double>(run.iterations);
                seconds[run.run_name.function_name].push_back(run.real_accumulated_time / n);
                cpuSeconds[run.run_name.function_name].push_back(run.cpu_accumulated_time / n);
            }
    }
    static double median(std::map<std::string, std::vector<double>>& times, const char* name) {
        std::vector<double>& t = times[name];
        if (t.empty()) return 0;
        std::sort(t.begin(), t.end());
        return t[t.size() / 2];
    }
    std::map<std::string, std::vector<double>> seconds, cpuSeconds;
};

}  // namespace

int main(int argc, char** argv) {
    // Five repetitions of each, interleaved at random, so that a change in
    // the machine's load (the disk's above all) falls on both alike; later
    // options override.
    std::string repetitions = "--benchmark_repetitions=5";
    std::string interleave = "--benchmark_enable_random_interleaving=true";
    std::vector<char*> args{argv[0], repetitions.data(), interleave.data()};
    for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto ratio = [&](const char* ours, const char* theirs) {
        const double a = RatioReporter::median(reporter.seconds, ours),
                     b = RatioReporter::median(reporter.seconds, theirs);
        if (a <= 0 || b <= 0) return;
        std::printf(
            "%-12s %8.0f calls/s, %-14s %8.0f calls/s: %.2fx the peer's time (%.2fx its "
            "CPU time), medians\n",
            ours, 1 / a, theirs, 1 / b, a / b,
            RatioReporter::median(reporter.cpuSeconds, ours) /
                RatioReporter::median(reporter.cpuSeconds, theirs));
    };
    std::printf("\nDatabases in %s (WAL, synchronous=FULL)\n", folder().c_str());
    ratio("GetSetting", "PeerPointRead");
    ratio("GetSetting", "StoreRowRead");
    ratio("StoreRowRead", "PeerPointRead");
    ratio("SaveSetting", "PeerUpsert");
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(folder(), ignored);
    return 0;
}
