// Keeping a window on top, and silent deletion.
#include "platform/platform.h"
#include "tarnwick/tw_functions.h"

namespace tarnwick {

void twFunctions::SetAlwaysOnTop(Boolean SetOn, std::int32_t WindowHwnd) {
    // Any non-zero value means on, not only the automation true.
    platform_.keepOnTop(WindowHwnd, static_cast<bool>(SetOn));
}

void twFunctions::DeletePathSilent(const String& strDestPath) {
    // The system takes a name up to its first NUL, and the deletion's list
    // of names on Windows takes a NUL as the start of a further name: what
    // is left of such a name, or begun by it, could be a folder holding the
    // target, or anything else. A name with a NUL is no name to delete.
    if (strDestPath.find(u'\0') == String::npos) platform_.deleteSilently(strDestPath);
    // A large tree takes a while: the host catches up on its window
    // messages before the call returns.
    yieldToHost(platform_);
}

}  // namespace tarnwick
