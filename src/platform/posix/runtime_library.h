// A shared library of the desktop loaded when first needed, so that
// Tarnwick loads and works on a machine without it: the calls that need it
// then do nothing.
#pragma once

#include <dlfcn.h>

namespace tarnwick {

class RuntimeLibrary {
  public:
    explicit RuntimeLibrary(const char* soname)
        : handle_(::dlopen(soname, RTLD_LAZY | RTLD_LOCAL)) {}
    // Kept loaded for the life of the process: function pointers taken from
    // it may be held anywhere.
    ~RuntimeLibrary() = default;
    RuntimeLibrary(const RuntimeLibrary&) = delete;
    RuntimeLibrary& operator=(const RuntimeLibrary&) = delete;

    bool loaded() const { return handle_ != nullptr; }

    // Sets function to the named symbol; false when the library or the
    // symbol is missing. The pointer's type comes from the library's own
    // header, so a call through it is checked as a direct call would be.
    template <typename Function>
    bool bind(Function*& function, const char* name) const {
        function = reinterpret_cast<Function*>(symbol(name));
        return function != nullptr;
    }
    // The named symbol, or null when the library or the symbol is missing.
    void* symbol(const char* name) const { return handle_ ? ::dlsym(handle_, name) : nullptr; }

  private:
    void* handle_;
};

}  // namespace tarnwick
