// An environment variable set for one scope and put back as it was after it.
#pragma once

#include <stdlib.h>

#include <optional>
#include <string>

namespace tarnwick::testing {

struct ScopedVariable {
    ScopedVariable(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedVariable() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }
    const char* name_;
    std::optional<std::string> old_;
};

}  // namespace tarnwick::testing
