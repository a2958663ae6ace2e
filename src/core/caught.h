// An exception in flight, read as the runtime error it stands for. The launch
// frame and the automation server both report escaping errors through this
// one reading, so a failure reads alike whichever way the front end called.
#pragma once

#include "tarnwick/types.h"

namespace tarnwick {

namespace errors {
inline constexpr std::int32_t InternalError = 51;
inline constexpr std::int32_t TooManyFiles = 67;
}  // namespace errors

// Only inside a catch block. An Error stays itself; running out of memory is
// error 7; any other exception is internal error 51 with its text.
Error caughtError();

}  // namespace tarnwick
