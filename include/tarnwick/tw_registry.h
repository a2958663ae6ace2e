// twRegistry: settings under the four standard registry roots.
#pragma once

#include "tarnwick/api.h"
#include "tarnwick/host.h"
#include "tarnwick/types.h"

TARNWICK_PUBLIC_BEGIN
namespace tarnwick {

// Each call opens the key, works on it and closes it again; the object keeps
// nothing between calls. Root names are HKEY_CLASSES_ROOT,
// HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE and HKEY_USERS in any letter case.
// On Linux the registry is a per-user settings store (see the README).
class twRegistry {
  public:
    explicit twRegistry(Platform& platform = systemPlatform()) : platform_(platform) {}

    // GetSetting's default that asks for no default at all.
    static constexpr const char16_t* DontSet = u"--DONT-SET--";

    // Writes vValueSetting as value sValueName of key sKeyName (created with
    // every missing part) below root sRootKey: as text when bStringType is
    // exactly true, else as a 32-bit number. True only when it was written.
    // A value that cannot become a 32-bit number raises Error 13 or 6 (94 for
    // Null) and nothing is written.
    Boolean SaveSetting(const String& sRootKey, const String& sKeyName, const String& sValueName,
                        const Variant& vValueSetting, Boolean bStringType);

    // Reads the value into vValue (a String or a Long) and answers true. A
    // missing value (or one of a kind other than text or number) gives
    // "--NOT-FOUND--" when vDefault is "--DONT-SET--"; any other vDefault is
    // written first, of the kind bStringType chooses, and read back. False
    // when the root is unknown or the key cannot be opened.
    Boolean GetSetting(const String& sRootKey, const String& sKeyName, const String& sValueName,
                       Variant& vValue, Boolean bStringType,
                       const Variant& vDefault = Variant(DontSet));

  private:
    Platform& platform_;
};

}  // namespace tarnwick
TARNWICK_PUBLIC_END
