// The command's standard streams while it starts a program, on Windows:
// nothing to do. The library starts programs without handle inheritance
// (CreateProcessW with bInheritHandles FALSE), so a started program never
// holds the caller's pipes.
#include "cli.h"

namespace tarnwick::cli {

void detachStandardStreams() {}
void reattachStandardStreams() {}

}  // namespace tarnwick::cli
