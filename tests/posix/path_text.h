// A path as the library takes it on Linux: its bytes as they are, which
// fromUtf8 keeps even where they are no UTF-8.
#pragma once

#include <filesystem>

#include "tarnwick/types.h"

namespace tarnwick::testing {

inline String u16(const std::filesystem::path& p) {
    return fromUtf8(p.string());
}

}  // namespace tarnwick::testing
