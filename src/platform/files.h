// File names, existence and drives.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "tarnwick/types.h"

namespace tarnwick {

// Drive types as the system reports them.
namespace drive_types {
inline constexpr std::int32_t Unknown = 0;
inline constexpr std::int32_t NoRootDirectory = 1;
inline constexpr std::int32_t Removable = 2;
inline constexpr std::int32_t Fixed = 3;
inline constexpr std::int32_t Remote = 4;
inline constexpr std::int32_t CdRom = 5;
inline constexpr std::int32_t RamDisk = 6;
}  // namespace drive_types

// Codes of the existence test that carry a meaning.
namespace existence {
inline constexpr std::int32_t Found = 0;
inline constexpr std::int32_t FileNotFound = 2;
inline constexpr std::int32_t PathNotFound = 3;
inline constexpr std::int32_t AccessDenied = 5;
inline constexpr std::int32_t GeneralFailure = 31;
}  // namespace existence

class FileApi {
  public:
    virtual ~FileApi() = default;

    // The only path separator of the system's paths.
    virtual char16_t pathSeparator() const = 0;
    // Writes the short form of path into area (whose size is the room
    // offered, terminator included) and returns the number of characters
    // written; returns the size needed when area is too small (writing
    // nothing) and 0 when the path cannot be resolved.
    virtual std::uint32_t shortPathName(const String& path, String& area) = 0;
    // What names the drive of a path when its drive type is asked: on
    // Windows the drive letter and colon (its first two characters); on
    // Linux the path itself, answered for the file system that holds it.
    virtual String driveOf(const String& path) const = 0;
    // One of drive_types for the drive (on Linux: the file system) of path.
    virtual std::int32_t driveType(const String& rootPath) = 0;
    // The system error code of an existence test of the file: see existence.
    virtual std::int32_t existenceTest(const String& fileName) = 0;

    // File content. Each raises Error on failure: 53 missing file, 76
    // missing folder, 75 no access (a read-only file opened for writing),
    // 61 disk full, 57 device error. The file is closed on every path.

    // Whether the file carries the read-only mark (on Linux: its owner may
    // not write it, whoever asks).
    virtual bool isReadOnly(const String& path) = 0;
    // At most maxBytes from the start of an existing regular file; creates
    // nothing. Anything else (a folder, a device, a pipe, a socket) is
    // refused with 75 and never read, so it can neither block nor run on.
    virtual std::string readFile(const String& path, std::size_t maxBytes) = 0;
    // readFile into the caller's room: at most size bytes into buffer, and
    // how many were read, with the same errors. A backend overrides it where
    // it can read without making a string of the content on the way.
    virtual std::size_t readFileInto(const String& path, char* buffer, std::size_t size) {
        return readFile(path, size).copy(buffer, size);
    }
    // Read-modify-write of an existing regular file (following a link to its
    // target) through one open: its content (more than maxBytes: 6) goes to
    // edit, and what edit answers replaces it, so that a failure at any
    // point leaves the old content whole and no temporary file behind. The
    // file keeps its owner, group, permissions, extended attributes and
    // links. Rewrites of one file by several processes follow one another.
    virtual void rewriteFile(const String& path, std::size_t maxBytes,
                             const std::function<std::string(std::string_view)>& edit) = 0;
    // Hands at most maxBytes from the start of an existing regular file to
    // patch and writes what it answers at offset, in place (nothing when it
    // answers nothing), through one open. The file keeps its length unless
    // the bytes reach past its end.
    virtual void patchFile(const String& path, std::size_t maxBytes, std::uint64_t offset,
                           const std::function<std::string(std::string_view)>& patch) = 0;
};

}  // namespace tarnwick
