// Keeping a window on top, and silent deletion.
#include "platform/platform.h"
#include "tarnwick/tw_functions.h"

namespace tarnwick {

void twFunctions::SetAlwaysOnTop(Boolean SetOn, std::int32_t WindowHwnd) {
    // Any non-zero value means on, not only the automation true.
    platform_.keepOnTop(WindowHwnd, static_cast<bool>(SetOn));
}

void twFunctions::DeletePathSilent(const String& strDestPath) {
    platform_.deleteSilently(strDestPath);
    // A large tree takes a while: the host catches up on its window
    // messages before the call returns.
    platform_.yieldToMessages();
}

}  // namespace tarnwick
