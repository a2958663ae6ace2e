// Letter case on Windows, by the system's own rules for the user's locale:
// the letters beyond ASCII ("é", "Ä", "Ω") change case as the system changes
// them everywhere else, and the length never changes.
#include <algorithm>

#include "platform/win32/win32_platform.h"

namespace tarnwick {

namespace {

// CharUpperBuffW / CharLowerBuffW on a copy. The wide variants map every
// character the ANSI ones map, the same way, and also those outside the
// ANSI code page. They examine every character of the count, NULs included,
// which have no case.
template <typename Convert>
String mapLetters(const String& text, Convert convert) {
    std::wstring out = toWide(text);
    constexpr std::size_t piece = 0x7FFFFFFF;  // the count is a DWORD
    for (std::size_t at = 0; at < out.size(); at += piece)
        convert(out.data() + at, static_cast<DWORD>(std::min(piece, out.size() - at)));
    return fromWide(out);
}

}  // namespace

String Win32Platform::upperCase(const String& text) {
    return mapLetters(text, CharUpperBuffW);
}
String Win32Platform::lowerCase(const String& text) {
    return mapLetters(text, CharLowerBuffW);
}

}  // namespace tarnwick
