#include "platform/win32/win32_platform.h"

namespace tarnwick {

Platform& systemPlatform() {
    static Win32Platform platform;
    return platform;
}

}  // namespace tarnwick
