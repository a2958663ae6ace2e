// Names that a folder listing holds besides its entries.
#pragma once

namespace tarnwick {

// Whether a listed name is "." or "..", the folder itself or its parent,
// which no walk goes into. For the system's narrow names and for UTF-16 ones.
template <typename Char>
constexpr bool isDotOrDotDot(const Char* name) {
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

}  // namespace tarnwick
