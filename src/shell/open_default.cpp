// Opening a document in the program the desktop associates with it: a
// request handed to the desktop and forgotten. No existence test, no
// directory change, no result.
#include "platform/platform.h"
#include "tarnwick/tw_shell.h"

namespace tarnwick {

void twShell::ShellWithDefaultProgram(const String& FileToShell, std::int32_t ParentHwnd) {
    platform_.openWithDefault(FileToShell, ParentHwnd);
}

}  // namespace tarnwick
