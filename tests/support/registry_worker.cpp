// A separate process using the settings store, for the tests that need more
// than one: it works on the database TARNWICK_REGISTRY names.
//
//   registry_worker set KEY NAME TEXT       SaveSetting as text; exit 0 on true
//   registry_worker get KEY NAME            GetSetting as text; prints the value
//   registry_worker fill KEY COUNT          COUNT text values V0.. of 200 bytes
//   registry_worker probe KEY               prints "save=1 get=1" (or 0s)
//   registry_worker load WORKER CALLS       interleaved calls (see below)
//   registry_worker crash FIRST             writes without end (see below)
//
// Every key is below HKEY_CURRENT_USER.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/registry_load.h"
#include "tarnwick/tarnwick.h"

using namespace tarnwick;

namespace {

const String Root = u"HKEY_CURRENT_USER";

String arg(char** argv, int i) {
    return fromUtf8(argv[i]);
}

// Writes a line straight to the descriptor, so that it is out of this
// process the moment the call returns, whatever kills it next.
void report(const std::string& line) {
    const std::string text = line + "\n";
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(1, text.data() + done, text.size() - done);
        if (n <= 0) std::_Exit(4);
        done += static_cast<std::size_t>(n);
    }
}

// The load: each call i of this worker is, by i % 4, a save of one of its
// private values, a read of that value back, a save of a shared number, or
// a read of a shared number (with its names in another letter case). Any
// call answering false or reading something it should not fails the run.
int load(int worker, int calls) {
    using namespace testing::load;
    twRegistry reg;
    int failures = 0;
    const auto fail = [&](int i, const std::string& what) {
        if (++failures <= 10)
            std::fprintf(stderr, "worker %d call %d: %s\n", worker, i, what.c_str());
    };
    for (int i = 0; i < calls; ++i) {
        Variant v;
        switch (i % 4) {
            case 0:
                if (!reg.SaveSetting(Root, LoadKey, privateName(worker, i), privateValue(worker, i),
                                     true))
                    fail(i, "private save");
                break;
            case 1:
                if (!reg.GetSetting(Root, LoadKey, privateName(worker, i), v, true))
                    fail(i, "private read");
                else if (!(v == Variant(privateValue(worker, i - 1))))
                    fail(i, "private read gave " + toUtf8(v.toString()));
                break;
            case 2:
                if (!reg.SaveSetting(Root, LoadKey, sharedName(i), sharedValue(worker, i), false))
                    fail(i, "shared save");
                break;
            case 3:
                if (!reg.GetSetting(Root, upperAscii(LoadKey), upperAscii(sharedName(i)), v, false))
                    fail(i, "shared read");
                else if (v.kind() != Variant::Kind::Long || !isSharedValue(v.asLong()))
                    fail(i, "shared read gave " + toUtf8(v.toString()));
                break;
        }
    }
    return failures == 0 ? 0 : 1;
}

// Writes V<i> = i and then Last = i for i from first on, reporting each
// write that returned true as "V i" or "L i" on stdout.
int crash(int first) {
    twRegistry reg;
    for (int i = first;; ++i) {
        const String name = u"V" + fromUtf8(std::to_string(i));
        if (!reg.SaveSetting(Root, u"Software\\Tarnwick\\Crash", name, std::int32_t{i}, false))
            return 1;
        report("V " + std::to_string(i));
        if (!reg.SaveSetting(Root, u"Software\\Tarnwick\\Crash", u"Last", std::int32_t{i}, false))
            return 1;
        report("L " + std::to_string(i));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const std::string mode = argv[1];
    twRegistry reg;
    if (mode == "set" && argc == 5)
        return reg.SaveSetting(Root, arg(argv, 2), arg(argv, 3), arg(argv, 4), true) ? 0 : 1;
    if (mode == "get" && argc == 4) {
        Variant v;
        if (!reg.GetSetting(Root, arg(argv, 2), arg(argv, 3), v, true)) return 1;
        report(toUtf8(v.toString()));
        return 0;
    }
    if (mode == "fill" && argc == 4) {
        const int count = std::atoi(argv[3]);
        for (int i = 0; i < count; ++i) {
            const String name = u"V" + fromUtf8(std::to_string(i));
            if (!reg.SaveSetting(Root, arg(argv, 2), name, String(200, u'a' + i % 26), true))
                return 1;
        }
        return 0;
    }
    if (mode == "probe" && argc == 3) {
        const bool saved = static_cast<bool>(reg.SaveSetting(Root, arg(argv, 2), u"P", u"x", true));
        Variant v;
        const bool got = static_cast<bool>(reg.GetSetting(Root, arg(argv, 2), u"P", v, true));
        report(std::string("save=") + (saved ? "1" : "0") + " get=" + (got ? "1" : "0"));
        return 0;
    }
    if (mode == "load" && argc == 4) return load(std::atoi(argv[2]), std::atoi(argv[3]));
    if (mode == "crash" && argc == 3) return crash(std::atoi(argv[2]));
    return 2;
}
