// The caller's windows: keeping one on top, and letting the caller process
// its pending window messages.
#pragma once

#include <cstdint>

#include "tarnwick/host.h"

namespace tarnwick {

class WindowApi {
  public:
    virtual ~WindowApi() = default;
    // Puts the window into the topmost band (on) or back among the normal
    // windows, activating it and keeping its position and size. Nothing is
    // reported: an unknown window, or no window system, does nothing.
    virtual void keepOnTop(std::int32_t window, bool on) = 0;
    // Lets the calling thread handle the window messages waiting for it.
    virtual void yieldToMessages() = 0;
};

// The yield a caller makes: the host's handler when one is installed (see
// setYieldHandler), else the system's own way.
void yieldToHost(WindowApi& windows);

}  // namespace tarnwick
