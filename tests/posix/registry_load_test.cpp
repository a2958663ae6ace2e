// The settings store under load and under crashes, with real processes on a
// real database: eight writers at once lose no update and see no failure; a
// writer killed mid-write loses at most that write.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>

#include <algorithm>
#include <random>
#include <set>
#include <sstream>

#include "platform/posix/posix_platform.h"
#include "support/child_process.h"
#include "support/registry_load.h"
#include "support/temp_folder.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using testing::TempFolder;
namespace load = testing::load;

const String HKCU = u"HKEY_CURRENT_USER";

std::string integrity(const std::filesystem::path& file) {
    sqlite3* db = nullptr;
    std::string answer = "cannot open";
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &s, nullptr) == SQLITE_OK &&
            sqlite3_step(s) == SQLITE_ROW)
            answer = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return answer;
}

PosixOptions storeAt(const std::filesystem::path& file) {
    PosixOptions o;
    o.registryFile = file.string();
    return o;
}

TEST(RegistryLoad, EightProcessesLoseNoUpdateAndNoCallFails) {
    constexpr int Workers = 8, Calls = 5000;
    TempFolder temp;
    const auto file = temp / "registry.sqlite";
    std::vector<testing::Child> children;
    for (int w = 0; w < Workers; ++w)
        children.push_back(testing::startChild(
            {TARNWICK_REGISTRY_WORKER, "load", std::to_string(w), std::to_string(Calls)},
            {"TARNWICK_REGISTRY=" + file.string()}));
    for (int w = 0; w < Workers; ++w) {
        std::string output;
        EXPECT_EQ(testing::finishChild(children[w], output), 0)
            << "worker " << w << " saw a call fail (see its messages above)";
    }

    // Every value as its last write left it.
    PosixPlatform host(storeAt(file));
    twRegistry reg(host);
    for (int w = 0; w < Workers; ++w) {
        for (int j = 0; j < load::PrivateNames; ++j) {
            const int last = load::lastPrivateSave(j, Calls);
            Variant v;
            ASSERT_TRUE(static_cast<bool>(
                reg.GetSetting(HKCU, load::LoadKey, load::privateName(w, last), v, true)));
            EXPECT_EQ(v, Variant(load::privateValue(w, last))) << "worker " << w << " value " << j;
        }
    }
    for (int j = 0; j < load::SharedNames; ++j) {
        const int last = load::lastSharedSave(j, Calls);
        Variant v;
        ASSERT_TRUE(static_cast<bool>(
            reg.GetSetting(HKCU, load::LoadKey, load::sharedName(last), v, false)));
        ASSERT_EQ(v.kind(), Variant::Kind::Long);
        // Some worker's last write of it, whole.
        EXPECT_EQ(v.asLong() % 1000000, last) << "shared value " << j;
        EXPECT_LT(v.asLong() / 1000000, Workers);
    }
    EXPECT_EQ(integrity(file), "ok");
}

// What a crashing writer reported before it died.
struct Reports {
    std::set<int> values;  // V<i> written
    int last = -1;         // the highest Last written
};

void parse(const std::string& output, Reports& reports) {
    std::istringstream in(output);
    std::string kind;
    int i;
    while (in >> kind >> i) {
        if (kind == "V") reports.values.insert(i);
        if (kind == "L") reports.last = std::max(reports.last, i);
    }
}

TEST(RegistryCrash, AWriterKilledMidWriteLosesAtMostThatWrite) {
    TempFolder temp;
    const auto file = temp / "registry.sqlite";
    PosixPlatform host(storeAt(file));
    twRegistry reg(host);
    std::mt19937 random(std::random_device{}());
    Reports reports;
    for (int round = 0; round < 5; ++round) {
        const int first = reports.values.empty() ? 0 : *reports.values.rbegin() + 1;
        testing::Child child =
            testing::startChild({TARNWICK_REGISTRY_WORKER, "crash", std::to_string(first)},
                                {"TARNWICK_REGISTRY=" + file.string()});
        ASSERT_GT(child.pid, 0);
        // Let it write a while, then kill it wherever it is.
        const int lines = 50 + static_cast<int>(random() % 250);
        std::string output;
        char c;
        for (int seen = 0; seen < lines && ::read(child.output, &c, 1) == 1;)
            if ((output += c).back() == '\n') ++seen;
        ::kill(child.pid, SIGKILL);
        EXPECT_EQ(testing::finishChild(child, output), 128 + SIGKILL);
        parse(output, reports);
        ASSERT_FALSE(reports.values.empty());

        // The database opens cleanly and holds every write that was reported.
        EXPECT_EQ(integrity(file), "ok") << "round " << round;
        for (const int i : reports.values) {
            Variant v;
            ASSERT_TRUE(static_cast<bool>(reg.GetSetting(HKCU, u"Software\\Tarnwick\\Crash",
                                                         u"V" + load::number(i), v, false)));
            ASSERT_EQ(v, Variant(std::int32_t{i})) << "round " << round;
        }
        // Beyond them at most the one write in progress.
        const int highest = *reports.values.rbegin();
        Variant v;
        reg.GetSetting(HKCU, u"Software\\Tarnwick\\Crash", u"V" + load::number(highest + 2), v,
                       false);
        EXPECT_EQ(v, Variant(u"--NOT-FOUND--"));
        reg.GetSetting(HKCU, u"Software\\Tarnwick\\Crash", u"Last", v, false);
        ASSERT_EQ(v.kind(), Variant::Kind::Long);
        EXPECT_GE(v.asLong(), reports.last);
        EXPECT_LE(v.asLong(), reports.last + 1);
        EXPECT_LE(v.asLong(), highest);
    }
}

}  // namespace
}  // namespace tarnwick
