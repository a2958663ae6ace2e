// twRegistry: settings under the four standard registry roots.
#pragma once

#include "tarnwick/host.h"
#include "tarnwick/types.h"

namespace tarnwick {

class twRegistry {
  public:
    explicit twRegistry(Platform& platform = systemPlatform()) : platform_(platform) {}

  private:
    [[maybe_unused]] Platform& platform_;
};

}  // namespace tarnwick
