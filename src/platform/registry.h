// The registry: a tree of keys below four standard roots, each key holding
// named values of a numbered kind. Key paths separate their parts with a
// backslash; key and value names are compared without regard to case.
//
// Every operation answers with the status the Windows registry gives (0 for
// success, else a system error code), never by raising an error, so that the
// settings class can follow the registry's own rules on every system.
#pragma once

#include <cstdint>
#include <vector>

#include "tarnwick/types.h"

namespace tarnwick {

// The four standard roots, as their predefined handle values.
namespace registry_roots {
inline constexpr std::uint32_t ClassesRoot = 0x80000000u;
inline constexpr std::uint32_t CurrentUser = 0x80000001u;
inline constexpr std::uint32_t LocalMachine = 0x80000002u;
inline constexpr std::uint32_t Users = 0x80000003u;
}  // namespace registry_roots

// Value kinds the library meets (any other 32-bit number may be stored).
namespace value_kinds {
inline constexpr std::uint32_t String = 1;        // text and one NUL
inline constexpr std::uint32_t ExpandString = 2;  // text with %VARIABLES%
inline constexpr std::uint32_t Binary = 3;
inline constexpr std::uint32_t Number = 4;  // 32-bit, little-endian
inline constexpr std::uint32_t MultiString = 7;
}  // namespace value_kinds

// Access rights asked for when a key is opened.
namespace key_access {
inline constexpr std::uint32_t QueryValue = 0x01;
inline constexpr std::uint32_t SetValue = 0x02;
inline constexpr std::uint32_t CreateSubKey = 0x04;
inline constexpr std::uint32_t EnumerateSubKeys = 0x08;
inline constexpr std::uint32_t Notify = 0x10;
inline constexpr std::uint32_t CreateLink = 0x20;
// All six: what the settings class asks for on every open.
inline constexpr std::uint32_t Settings = 0x3F;
}  // namespace key_access

// The statuses the operations answer with.
namespace registry_status {
inline constexpr std::int32_t Ok = 0;            // (not "Success": X11 makes that a macro)
inline constexpr std::int32_t FileNotFound = 2;  // no such value
inline constexpr std::int32_t AccessDenied = 5;  // may not be written (or read)
inline constexpr std::int32_t InvalidHandle = 6;
inline constexpr std::int32_t OutOfMemory = 14;
inline constexpr std::int32_t GeneralFailure = 31;
inline constexpr std::int32_t InvalidParameter = 87;
inline constexpr std::int32_t DiskFull = 112;
inline constexpr std::int32_t BadPathname = 161;   // a key path starting with a backslash
inline constexpr std::int32_t Busy = 170;          // still locked by another program
inline constexpr std::int32_t MoreData = 234;      // the room offered is too small
inline constexpr std::int32_t BadDatabase = 1009;  // the store is damaged or not a store
inline constexpr std::int32_t IoFailed = 1016;     // the store could not be read or written
}  // namespace registry_status

// An open key, as the system names it. 0 is never an open key.
using RegistryKey = std::uintptr_t;

class RegistryApi {
  public:
    virtual ~RegistryApi() = default;

    // Opens the key subKey below root with the access asked for, creating
    // every missing part of the path. On 0, key names the open key, which
    // closeKey must release; an empty path opens the root itself.
    virtual std::int32_t createKey(std::uint32_t root, const String& subKey, std::uint32_t access,
                                   RegistryKey& key) = 0;
    // The kind of the value and the size of its data in bytes (a string's
    // terminator included).
    virtual std::int32_t queryValueInfo(RegistryKey key, const String& name, std::uint32_t& kind,
                                        std::uint32_t& size) = 0;
    // Copies the value's data into data, whose room is size bytes; size then
    // says how many were written. When the room is too small nothing is
    // copied, size says the room needed and the status is MoreData.
    virtual std::int32_t queryValueData(RegistryKey key, const String& name, char* data,
                                        std::uint32_t& size) = 0;
    // Stores size bytes of data as the value, of the kind given, replacing
    // any value of that name (whose name keeps the case it was first given).
    virtual std::int32_t setValue(RegistryKey key, const String& name, std::uint32_t kind,
                                  const char* data, std::uint32_t size) = 0;
    virtual std::int32_t closeKey(RegistryKey key) = 0;
    // A value of a key that is there already, read in one call: its kind and
    // data. False, with nothing read, where anything is less simple (a key
    // that opening would make, a value missing, an error) or where the
    // platform has no such shortcut (the default): the calls above then give
    // the whole answer. Saved settings are read thousands of times a run.
    virtual bool readExistingValue(std::uint32_t /*root*/, const String& /*subKey*/,
                                   const String& /*name*/, std::uint32_t& /*kind*/,
                                   std::string& /*data*/) {
        return false;
    }

    // The names of the key's subkeys and of its values, as first written.
    // A missing key answers FileNotFound and is not made. (A system whose
    // store cannot list, delete or be asked answers GeneralFailure.)
    virtual std::int32_t listKey(std::uint32_t /*root*/, const String& /*subKey*/,
                                 std::vector<String>& /*subKeys*/,
                                 std::vector<String>& /*valueNames*/) {
        return registry_status::GeneralFailure;
    }
    // Deletes one value of the key: FileNotFound when the key or the value
    // is not there.
    virtual std::int32_t deleteValue(std::uint32_t /*root*/, const String& /*subKey*/,
                                     const String& /*name*/) {
        return registry_status::GeneralFailure;
    }
    // Deletes the key with every key and value below it: FileNotFound when
    // it is not there. The root itself (an empty path) is never deleted.
    virtual std::int32_t deleteKey(std::uint32_t /*root*/, const String& /*subKey*/) {
        return registry_status::GeneralFailure;
    }
};

}  // namespace tarnwick
