// twFunctions: path, file, media and window utilities.
#pragma once

#include <cstdint>

#include "tarnwick/host.h"
#include "tarnwick/types.h"

namespace tarnwick {

class twFunctions {
  public:
    explicit twFunctions(Platform& platform = systemPlatform()) : platform_(platform) {}

    // The header of a PSID tune (its first 118 bytes). None of these raises
    // an error: a failure gives false or "". Reading creates no file. Texts
    // come back as all 32 characters of their field, padding included (the
    // system code page on Windows, Latin-1 on Linux); a file that ends
    // inside the header reads as if zero bytes followed.

    // Name, author, copyright, number of songs and default song. False for a
    // file that does not begin with "PSID", leaving every out value as it
    // was; false also when a song number's high byte is 128 or more, with
    // the values before it already assigned.
    Boolean GetSidInfo(const String& strSidFile, String& strName, String& strAuthor,
                       String& strCopyright, std::int16_t& intTotalSongs,
                       std::int16_t& intDefaultSong);
    // Only the two song numbers, as GetSidInfo reads them.
    Boolean GetSidSongInfo(const String& strSidFile, std::int16_t& intTotalSongs,
                           std::int16_t& intDefaultSong);
    // Stores a new default song (0 to 256) in the file, changing its two
    // start-song bytes and nothing else. False, with the file untouched, on
    // a CD-ROM, for a read-only file, a file that is not a whole PSID
    // header, or a song number outside 0 to 256.
    Boolean SaveDefaultSidSong(const String& strSidFile, std::int16_t intDefaultSong);
    // The author field of any file (no "PSID" test), or "".
    String GetSidAuthor(const String& strSidFile);

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
