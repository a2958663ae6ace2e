// What a host program (the front end) may hand the library once for the
// whole process: how to show a message box, and how to let its window
// messages be processed while the library waits. Without a handler the
// system's own way is used.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "tarnwick/api.h"
#include "tarnwick/types.h"

namespace tarnwick {
// The system seam, declared outside the public region: its type is the
// library's own and is not exported.
class Platform;
}  // namespace tarnwick

TARNWICK_PUBLIC_BEGIN
namespace tarnwick {

// The platform of the running system, used by every object made without an
// explicit one.
Platform& systemPlatform();

// Message-box answers, as the system reports them.
namespace answers {
inline constexpr std::int32_t Ok = 1;
inline constexpr std::int32_t Cancel = 2;
}  // namespace answers

// Shows prompt under caption with the given style (48: exclamation and OK;
// 1: OK and Cancel) and returns the answer (answers::Ok, answers::Cancel).
using MessageBoxHandler =
    std::function<std::int32_t(const String& prompt, std::int32_t style, const String& caption)>;

// Installs the process-wide message-box handler; an empty function restores
// the system's own boxes.
void setMessageBoxHandler(MessageBoxHandler handler);

// Lets the host process the window messages waiting for it (repaints, the
// user's clicks). The library calls it where a long call would otherwise
// leave the host's windows unserviced: at the start of every pass of the
// CD-ROM waits and after a silent deletion. It may call back into the
// library.
using YieldHandler = std::function<void()>;

// Installs the process-wide yield handler; an empty function restores the
// system's own way (on Windows the thread's message queue is pumped; on
// Linux nothing is done).
void setYieldHandler(YieldHandler handler);

// The arguments this program was started with, program name first, as the
// system gave them (on Windows the wide command line, so that no name is
// lost to the ANSI code page).
std::vector<String> programArguments(int argc, char** argv);

// The full path of the program of that name as the system finds a program
// to start (along PATH; on Windows with ".exe" added when the name has no
// extension), or "" when there is none.
String findProgram(const String& name);

}  // namespace tarnwick
TARNWICK_PUBLIC_END
