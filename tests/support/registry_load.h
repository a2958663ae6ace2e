// The load that registry_worker puts on the settings store, shared with the
// test that checks its outcome.
#pragma once

#include <cstdint>
#include <string>

#include "tarnwick/types.h"

namespace tarnwick::testing::load {

inline const String LoadKey = u"Software\\Tarnwick\\Load";
inline constexpr int PrivateNames = 50;  // per worker
inline constexpr int SharedNames = 10;   // for all workers
inline constexpr int MaxWorkers = 100;

inline String number(int n) {
    return fromUtf8(std::to_string(n));
}
inline String upperAscii(String text) {
    for (char16_t& c : text)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    return text;
}

// Calls i = 4k and 4k + 1 save and read the same private value.
inline String privateName(int worker, int i) {
    return u"Private" + number(worker) + u"_" + number(i / 4 % PrivateNames);
}
inline String privateValue(int worker, int i) {
    return u"w" + number(worker) + u"-" + number(i);
}
inline String sharedName(int i) {
    return u"Shared" + number(i / 4 % SharedNames);
}
inline std::int32_t sharedValue(int worker, int i) {
    return worker * 1000000 + i;
}
inline bool isSharedValue(std::int32_t v) {
    return v >= 0 && v / 1000000 < MaxWorkers && v % 1000000 % 4 == 2;
}

// The call that last saved private value j (or shared value j) in a run of
// the given number of calls; -1 when none did.
inline int lastPrivateSave(int j, int calls) {
    int last = -1;
    for (int i = 0; i < calls; i += 4)
        if (i / 4 % PrivateNames == j) last = i;
    return last;
}
inline int lastSharedSave(int j, int calls) {
    int last = -1;
    for (int i = 2; i < calls; i += 4)
        if (i / 4 % SharedNames == j) last = i;
    return last;
}

}  // namespace tarnwick::testing::load
