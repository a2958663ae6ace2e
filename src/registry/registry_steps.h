// The steps every twRegistry call is made of, on the platform's registry.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "tarnwick/types.h"

namespace tarnwick::registry_steps {

// Status of a stored value of a kind other than text or number.
inline constexpr std::int32_t UnsupportedKind = -1;

// The root handle value named by name after upper-casing, or 0 for none.
std::uint32_t RootKeyFromName(Platform& platform, const String& name);

// Reads the value into vValue and returns the registry's status, or
// UnsupportedKind. Never raises: a value that cannot be read leaves vValue as
// it was (a string whose data could not be fetched leaves it Empty).
std::int32_t QueryValue(Platform& platform, RegistryKey key, const String& name, Variant& vValue);

// Writes value as the kind given (text or number; any other kind writes
// nothing and answers 0) and returns the registry's status. Raises the
// conversion error when value has no text form or is not a 32-bit number.
std::int32_t SetValue(Platform& platform, RegistryKey key, const String& name, std::uint32_t kind,
                      const Variant& value);

}  // namespace tarnwick::registry_steps
