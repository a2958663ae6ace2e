// Letter case on Linux: by the Unicode rules of the C.UTF-8 locale, whatever
// locale the host process set, so that results do not depend on it.
#include <clocale>
#include <cwctype>

#include <locale.h>

#include "platform/posix/posix_platform.h"

namespace tarnwick {

namespace {

locale_t caseLocale() {
    static const locale_t locale = [] {
        locale_t l = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
        if (!l) l = ::newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(0));
        return l;
    }();
    return locale;
}

template <typename Convert>
String mapLetters(const String& text, Convert convert) {
    String out = text;
    for (char16_t& c : out) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;  // halves of a pair stay as they are
        const wint_t mapped = convert(static_cast<wint_t>(c), caseLocale());
        if (mapped <= 0xFFFF && !(mapped >= 0xD800 && mapped <= 0xDFFF))
            c = static_cast<char16_t>(mapped);
    }
    return out;
}

}  // namespace

char32_t foldCase(char32_t c) {
    if (c < 0x80) return asciiUpper(c);
    if (c >= 0xD800 && c <= 0xDFFF) return c;  // a byte that is not UTF-8
    return static_cast<char32_t>(::towupper_l(static_cast<wint_t>(c), caseLocale()));
}

String PosixPlatform::upperCase(const String& text) {
    return mapLetters(text, ::towupper_l);
}
String PosixPlatform::lowerCase(const String& text) {
    return mapLetters(text, ::towlower_l);
}

// Latin-1: each byte is the character of the same number. A character
// beyond U+00FF has no byte and becomes "?", as a Windows code page writes
// a character it lacks.
std::string PosixPlatform::toFieldText(const String& text) {
    std::string bytes(text.size(), '?');
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] <= 0xFF) bytes[i] = static_cast<char>(text[i]);
    return bytes;
}

String PosixPlatform::fromFieldText(std::string_view bytes) {
    String text(bytes.size(), u'\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) text[i] = static_cast<unsigned char>(bytes[i]);
    return text;
}

}  // namespace tarnwick
