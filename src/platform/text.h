// Letter case by the system's rules.
#pragma once

#include <string>
#include <string_view>

#include "tarnwick/types.h"

namespace tarnwick {

class TextApi {
  public:
    virtual ~TextApi() = default;
    virtual String upperCase(const String& text) = 0;
    virtual String lowerCase(const String& text) = 0;
    // Text to and from the system's 8-bit encoding of text files (the ANSI
    // code page on Windows, UTF-8 on Linux, where bytes that are not UTF-8
    // survive the round trip unchanged).
    virtual std::string toAnsi(const String& text) = 0;
    virtual String fromAnsi(std::string_view bytes) = 0;
    // The fixed-width text fields of binary files (the texts of a tune's
    // header): the ANSI code page on Windows, which is what this default
    // gives; Latin-1 on Linux, where every byte is one character and each
    // character up to U+00FF one byte again, so that no byte is lost.
    virtual std::string toFieldText(const String& text) { return toAnsi(text); }
    virtual String fromFieldText(std::string_view bytes) { return fromAnsi(bytes); }
};

}  // namespace tarnwick
