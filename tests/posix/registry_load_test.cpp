// The settings store under load and under crashes, with real processes on a
// real database: processes making the store at the same moment, eight
// writers at once losing no update, a writer killed mid-write losing at most
// that write.
#include <gtest/gtest.h>
#include <signal.h>
#include <time.h>

#include "platform/posix/posix_platform.h"
#include "support/child_process.h"
#include "support/temp_folder.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

const String HKCU = u"HKEY_CURRENT_USER";

class RegistryLoad : public ::testing::Test {
  protected:
    testing::TempFolder temp;
    std::string file = (temp / "registry.sqlite").string();
    std::vector<testing::Child> start(const std::vector<std::vector<std::string>>& calls) {
        std::vector<testing::Child> children;
        for (std::vector<std::string> argv : calls) {
            argv.insert(argv.begin(), TARNWICK_REGISTRY_WORKER);
            children.push_back(testing::startChild(argv, {"TARNWICK_REGISTRY=" + file}));
        }
        return children;
    }
    Variant get(const String& key, const String& name) {
        PosixOptions o;
        o.registryFile = file;
        PosixPlatform host(o);
        Variant v;
        EXPECT_TRUE(twRegistry(host).GetSetting(HKCU, key, name, v, false)) << toUtf8(name);
        return v;
    }
};

TEST_F(RegistryLoad, ProcessesMakingTheStoreAtOnceAllSucceed) {
    for (int round = 0; round < 16; ++round) {
        std::filesystem::remove(file);
        timespec now;
        ::clock_gettime(CLOCK_REALTIME, &now);
        const std::string at =
            std::to_string((now.tv_sec * 1000000000LL + now.tv_nsec) + 300000000);
        std::vector<std::vector<std::string>> calls;
        for (int w = 0; w < 12; ++w)
            calls.push_back({"set", "K", "N" + std::to_string(w), "x", at});
        int w = 0;
        for (testing::Child& child : start(calls)) {
            std::string output;
            EXPECT_EQ(testing::finishChild(child, output), 0)
                << "round " << round << " worker " << w++;
        }
    }
}

TEST_F(RegistryLoad, EightProcessesLoseNoUpdateAndNoCallFails) {
    constexpr int Workers = 8, Calls = 1250;
    std::vector<std::vector<std::string>> calls;
    for (int w = 0; w < Workers; ++w)
        calls.push_back({"load", std::to_string(w), std::to_string(Calls)});
    auto children = start(calls);
    for (int w = 0; w < Workers; ++w) {
        std::string output;
        EXPECT_EQ(testing::finishChild(children[w], output), 0)
            << "worker " << w << " saw a call fail";
    }
    // Every value as its last write left it.
    for (int w = 0; w < Workers; ++w)
        for (int j = 0; j < 50; ++j)
            EXPECT_EQ(
                get(u"Software\\Load", fromUtf8("P" + std::to_string(w) + "_" + std::to_string(j))),
                Variant(fromUtf8(std::to_string(Calls - 50 + j))));
    for (int j = 0; j < 10; ++j) {
        const Variant v = get(u"Software\\Load", fromUtf8("S" + std::to_string(j)));
        ASSERT_EQ(v.kind(), Variant::Kind::Long);
        EXPECT_EQ(v.asLong() % 1000000, Calls - 10 + j) << "some worker's last write, whole";
        EXPECT_LT(v.asLong() / 1000000, Workers);
    }
}

TEST_F(RegistryLoad, AWriterKilledMidWriteLosesAtMostThatWrite) {
    for (int round = 0; round < 5; ++round) {
        const String key = fromUtf8("Crash" + std::to_string(round));
        testing::Child child = start({{"crash", toUtf8(key)}})[0];
        // Let it write a while, then kill it wherever it is.
        std::string output;
        char c;
        for (int lines = 0; lines < 50 + 37 * round && ::read(child.output, &c, 1) == 1;)
            if ((output += c).back() == '\n') ++lines;
        ::kill(child.pid, SIGKILL);
        EXPECT_EQ(testing::finishChild(child, output), 128 + SIGKILL);
        const int last = std::stoi(output.substr(output.rfind('\n', output.size() - 2) + 1));
        // Every write reported is there; beyond them at most the one in progress.
        for (int i = 0; i <= last; ++i)
            ASSERT_EQ(get(key, u"V" + fromUtf8(std::to_string(i))), Variant(i));
        EXPECT_EQ(get(key, u"V" + fromUtf8(std::to_string(last + 2))), Variant(u"--NOT-FOUND--"));
        const Variant reached = get(key, u"Last");
        EXPECT_TRUE(reached == Variant(last) || reached == Variant(last + 1)) << round;
    }
}

}  // namespace
}  // namespace tarnwick
