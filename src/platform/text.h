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
};

}  // namespace tarnwick
