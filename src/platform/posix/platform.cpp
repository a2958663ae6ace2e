#include "platform/posix/posix_platform.h"

namespace tarnwick {

PosixPlatform::PosixPlatform(PosixOptions options) : options_(std::move(options)) {}

Platform& systemPlatform() {
    static PosixPlatform platform;
    return platform;
}

}  // namespace tarnwick
