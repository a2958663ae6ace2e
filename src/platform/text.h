// Letter case by the system's rules.
#pragma once

#include "tarnwick/types.h"

namespace tarnwick {

class TextApi {
  public:
    virtual ~TextApi() = default;
    virtual String upperCase(const String& text) = 0;
    virtual String lowerCase(const String& text) = 0;
};

}  // namespace tarnwick
