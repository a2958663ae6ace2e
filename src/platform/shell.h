// Requests to the desktop shell: silent deletion and opening a document in
// its associated program.
#pragma once

#include <cstdint>

#include "tarnwick/types.h"

namespace tarnwick {

class ShellApi {
  public:
    virtual ~ShellApi() = default;
    // Deletes the file, or the folder with everything in it, that path names
    // (wildcards in its last name name every match), without asking, without
    // a progress window and without keeping anything for undo. Nothing is
    // reported.
    virtual void deleteSilently(const String& path) = 0;
    // Asks the desktop to open target in the program associated with it,
    // with parentWindow owning whatever it shows; returns at once, never
    // waiting for that program. Nothing is reported.
    virtual void openWithDefault(const String& target, std::int32_t parentWindow) = 0;
};

}  // namespace tarnwick
