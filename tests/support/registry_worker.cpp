// A separate process using the settings store, for the tests that need more
// than one: it works on the database TARNWICK_REGISTRY names, below
// HKEY_CURRENT_USER.
//
//   registry_worker set KEY NAME TEXT [AT]  SaveSetting as text (at AT, a
//                                           CLOCK_REALTIME time in ns, when
//                                           given); exit 0 on true
//   registry_worker get KEY NAME            GetSetting as text; prints it
//   registry_worker load WORKER CALLS       saves of its own values and of
//                                           shared numbers, each read back
//   registry_worker crash KEY               writes V<i> = i and Last = i for
//                                           i = 0, 1, ...; prints "i" after each
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tarnwick/tarnwick.h"

using namespace tarnwick;

namespace {

const String Root = u"HKEY_CURRENT_USER", Load = u"Software\\Load";

String number(long n) {
    return fromUtf8(std::to_string(n));
}

// Straight to the descriptor: out of this process the moment it is written.
void report(const std::string& line) {
    const std::string text = line + "\n";
    if (::write(1, text.data(), text.size()) != static_cast<ssize_t>(text.size())) std::_Exit(4);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    const auto arg = [&](int i) { return fromUtf8(argv[i]); };
    twRegistry reg;
    Variant v;
    if (mode == "set" && (argc == 5 || argc == 6)) {
        if (argc == 6) {
            const long long at = std::atoll(argv[5]);
            const timespec when{static_cast<time_t>(at / 1000000000),
                                static_cast<long>(at % 1000000000)};
            ::clock_nanosleep(CLOCK_REALTIME, TIMER_ABSTIME, &when, nullptr);
        }
        return reg.SaveSetting(Root, arg(2), arg(3), arg(4), true) ? 0 : 1;
    }
    if (mode == "get" && argc == 4) {
        if (!reg.GetSetting(Root, arg(2), arg(3), v, true)) return 1;
        report(toUtf8(v.toString()));
        return 0;
    }
    if (mode == "load" && argc == 4) {
        // Call i saves this worker's value P<w>_<i % 50> = i and reads it
        // back, then saves the shared number S<i % 10> = w * 1000000 + i and
        // reads a shared number back (names in another letter case).
        const long w = std::atol(argv[2]), calls = std::atol(argv[3]);
        for (long i = 0; i < calls; ++i) {
            const String mine = u"P" + number(w) + u"_" + number(i % 50);
            if (!reg.SaveSetting(Root, Load, mine, number(i), true) ||
                !reg.GetSetting(Root, Load, mine, v, true) || !(v == Variant(number(i))) ||
                !reg.SaveSetting(Root, Load, u"S" + number(i % 10),
                                 static_cast<std::int32_t>(w * 1000000 + i), false) ||
                !reg.GetSetting(Root, u"SOFTWARE\\LOAD", u"s" + number(i % 10), v, false) ||
                v.kind() != Variant::Kind::Long)
                return 1;
        }
        return 0;
    }
    if (mode == "crash" && argc == 3) {
        for (std::int32_t i = 0;; ++i) {
            if (!reg.SaveSetting(Root, arg(2), u"V" + number(i), i, false) ||
                !reg.SaveSetting(Root, arg(2), u"Last", i, false))
                return 1;
            report(std::to_string(i));
        }
    }
    return 2;
}
