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

}  // namespace tarnwick
