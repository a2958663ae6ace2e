// Volume labels.
#pragma once

#include "tarnwick/types.h"

namespace tarnwick {

class VolumeApi {
  public:
    virtual ~VolumeApi() = default;
    // Writes the label of the volume at rootPath (a drive's root; on Linux a
    // mount point) into nameBuffer, ended by a NUL, and leaves the buffer
    // untouched when no readable volume is there. Returns whether the volume
    // was read.
    virtual bool volumeInformation(const String& rootPath, String& nameBuffer) = 0;
    // Whether names of drives and files ignore letter case, so that a drive
    // can be shown in upper case and still name the same drive.
    virtual bool namesIgnoreCase() const = 0;
};

}  // namespace tarnwick
