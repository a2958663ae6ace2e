// twFunctions: path, file, media and window utilities.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "tarnwick/api.h"
#include "tarnwick/host.h"
#include "tarnwick/types.h"

TARNWICK_PUBLIC_BEGIN
namespace tarnwick {

class twFunctions {
  public:
    explicit twFunctions(Platform& platform = systemPlatform()) : platform_(platform) {}
    // A copy works on the same platform and carries its own copies of the
    // FoundFile handlers (and their tokens).
    twFunctions(const twFunctions& other);
    twFunctions(twFunctions&&) = default;

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

    // ---- Folder search
    // The full path of the first file named FileName in the folder path, as
    // passed, or else in its subfolders: depth first, each subfolder with
    // all of its own before the next, hidden and system ones skipped; "" when
    // there is none.
    String FindFile(const String& FileName, const String& path);
    // Raises FoundFile for every entry of the tree at path whose name matches
    // SearchStr (subfolders included), a folder's matches before anything in
    // its subfolders; path gains its trailing separator. Returns the total
    // size of the reported entries by the automation addition rules: Empty
    // when nothing was reported in a folder without subfolders, Integer 0
    // when there are subfolders but no match, then Long, then Double.
    Variant FindFiles(String& path, const String& SearchStr);

    // The event FoundFile(strPathAndFile): every handler is called, in the
    // order they were added, before the search goes on. A handler may call
    // this object again, a new search included, and may add or remove
    // handlers: one added during an event is first called for the next one,
    // one removed is not called again.
    using FoundFileHandler = std::function<void(const String& strPathAndFile)>;
    // Adds a handler; returns the token that removes it.
    std::uint64_t addFoundFileHandler(FoundFileHandler handler);
    void removeFoundFileHandler(std::uint64_t token);

    // ---- CD-ROM and volume waits
    // The label of the volume at RootPathName (a drive without its trailing
    // separator; on Linux a mount point), or "" when no readable volume is
    // there.
    String GetVolumeName(const String& RootPathName);
    // Each wait tests first and returns true once its test holds; otherwise
    // it asks the user (OK and Cancel, caption "ravelstone") and tests again
    // after OK. Cancel, or closing the box, returns false. The host's window
    // messages are processed at the start of every pass.
    // Waits until the volume at RootDrive carries exactly the label CDRomName.
    Boolean WaitForCDRom(const String& RootDrive, const String& CDRomName);
    // Waits until the folder exists (it is then the current directory).
    Boolean WaitForCDRomPath(const Variant& strPath);
    // Waits until the file exists.
    Boolean WaitForCDRomFile(const Variant& strPath);

    // ---- Window and deletion helpers
    // Keeps the window above all normal windows (SetOn non-zero) or returns
    // it among them, activating it without moving or resizing it.
    void SetAlwaysOnTop(Boolean SetOn, std::int32_t WindowHwnd);
    // Deletes the file, or the folder with everything in it, without asking
    // and for good; nothing is reported.
    void DeletePathSilent(const String& strDestPath);

  private:
    struct FoundFileSink {
        std::uint64_t token;
        std::shared_ptr<const FoundFileHandler> handler;
    };
    void raiseFoundFile(const String& strPathAndFile);

    Platform& platform_;
    // The event's subscribers: the only thing an object keeps, and no state
    // of any call.
    std::vector<FoundFileSink> foundFileSinks_;
    std::uint64_t nextFoundFileToken_ = 1;
};

}  // namespace tarnwick
TARNWICK_PUBLIC_END
