// Names: what a folder listing holds besides its entries, and the ASCII
// letter case that names are compared in.
#pragma once

namespace tarnwick {

// Whether a listed name is "." or "..", the folder itself or its parent,
// which no walk goes into. For the system's narrow names and for UTF-16 ones.
template <typename Char>
constexpr bool isDotOrDotDot(const Char* name) {
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

// An ASCII letter in upper case; anything else as it is.
constexpr char32_t asciiUpper(char32_t c) {
    return c >= U'a' && c <= U'z' ? c - U'a' + U'A' : c;
}

}  // namespace tarnwick
