// The operating system as the classes see it: one interface per area, all
// of them together in Platform. The posix/ and win32/ backends implement it;
// tests hand in scripted fakes.
#pragma once

#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/search.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "platform/volumes.h"
#include "platform/windowing.h"

namespace tarnwick {

class Platform : public ProcessApi,
                 public FileApi,
                 public TextApi,
                 public DialogApi,
                 public SearchApi,
                 public VolumeApi,
                 public WindowApi,
                 public ShellApi,
                 public RegistryApi {
  public:
    ~Platform() override = default;
};

// The call whose system error a backend reads: most read it the general
// way; opening a file, starting a program and changing directory each have
// their own reading, as the runtime's own statements report them. Each
// backend keeps the one table of its system's codes (posix/errors.cpp,
// win32/errors.cpp).
enum class Failed { Call, Open, Start, DirectoryChange };

}  // namespace tarnwick
