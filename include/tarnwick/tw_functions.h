// twFunctions: path, file, media and window utilities.
#pragma once

#include <cstdint>

#include "tarnwick/host.h"
#include "tarnwick/types.h"

namespace tarnwick {

class twFunctions {
  public:
    explicit twFunctions(Platform& platform = systemPlatform()) : platform_(platform) {}

    // Splits at the last path separator: directory without its trailing
    // separator, and file name. Both out strings are always overwritten.
    void GetFileAndPath(const String& strPathAndFile, String& strPath, String& strFileName);
    // The part after the last path separator.
    String JustFileName(const String& strPathAndFile);
    // A form of the path that stands unquoted on a command line, or "".
    String Long2Short(const String& S);
    // True for a CD-ROM drive and for a drive with no root directory.
    Boolean DriveTypeIsCDRom(const String& RootPathName);
    // Whether the file can be found; tells the user why not when
    // DisplayMsgBox is exactly true.
    Boolean FileExists(const String& FileName, Boolean DisplayMsgBox, const String& MBCaption);
    // On true, strDir has become the current directory.
    Boolean DirExists(const String& strDir);

    // Rewrites every line of the configuration file that begins with a key
    // of the change list (in any letter case) as KEY=VALUE, the first such
    // line for each change, in list order; drops empty lines and ends every
    // line with CR LF. The file is replaced in one step: on any failure it
    // keeps its old content.
    void ChangeConfigFile(const String& ConfigFile, const ConfigFileArray& ChArray);

  private:
    Platform& platform_;
};

}  // namespace tarnwick
