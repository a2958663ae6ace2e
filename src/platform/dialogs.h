// Modal message boxes.
#pragma once

#include <cstdint>

#include "tarnwick/host.h"
#include "tarnwick/types.h"

namespace tarnwick {

namespace box_styles {
inline constexpr std::int32_t OkCancel = 1;
inline constexpr std::int32_t Exclamation = 48;
}  // namespace box_styles

class DialogApi {
  public:
    virtual ~DialogApi() = default;
    // Shows the box and returns when the user has closed it, with the
    // answer (answers::Ok, answers::Cancel).
    virtual std::int32_t messageBox(const String& prompt, std::int32_t style,
                                    const String& caption) = 0;
};

// The box a caller shows: the host's handler when one is installed (see
// setMessageBoxHandler), else the system's own box. The policy sits here,
// around any platform, so no backend has to remember it.
std::int32_t askUser(DialogApi& dialogs, const String& prompt, std::int32_t style,
                     const String& caption);

}  // namespace tarnwick
