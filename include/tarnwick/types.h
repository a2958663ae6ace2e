// Value types of the Tarnwick interface: the automation string, boolean,
// variant and error, the port-choice enumerations and the change record of
// the configuration-file editor.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "tarnwick/api.h"

TARNWICK_PUBLIC_BEGIN
namespace tarnwick {

// The automation string: UTF-16 code units. Every character count of the
// interface (first n characters, 16-bit limits, fixed text fields) counts
// these units.
using String = std::u16string;

// UTF-8 <-> UTF-16 at the edges (files and names on Linux, terminals).
// Bytes that are not valid UTF-8 become lone surrogates U+DC80..U+DCFF and
// turn back into the same bytes, so any file name survives the round trip.
String fromUtf8(std::string_view text);
std::string toUtf8(std::u16string_view text);

// The 16-bit automation boolean: true is -1, false is 0. Callers pass bool;
// an automation client may hand over any 16-bit value, which raw() keeps.
class Boolean {
  public:
    constexpr Boolean() = default;
    constexpr Boolean(bool value) : raw_(value ? -1 : 0) {}  // NOLINT: implicit by design
    Boolean(int) = delete;  // a number is not a boolean: say Boolean::fromRaw()

    static constexpr Boolean fromRaw(std::int16_t raw) {
        Boolean b;
        b.raw_ = raw;
        return b;
    }
    constexpr std::int16_t raw() const { return raw_; }
    // Any non-zero value is true, as the automation runtime's If does.
    constexpr explicit operator bool() const { return raw_ != 0; }
    // Only the exact automation value true (-1).
    constexpr bool isExactlyTrue() const { return raw_ == -1; }

    friend constexpr bool operator==(Boolean a, Boolean b) { return a.raw_ == b.raw_; }

  private:
    std::int16_t raw_ = 0;
};

// An error of the automation runtime: number and description. Thrown as a
// C++ exception; a method that traps turns it into its documented result.
class Error : public std::runtime_error {
  public:
    Error(std::int32_t number, String description);
    // The runtime's own description for a standard number ("Overflow" for 6).
    explicit Error(std::int32_t number);

    std::int32_t number() const { return number_; }
    const String& description() const { return description_; }

    // The runtime's description of a standard error number, or
    // "Application-defined or object-defined error" for any other.
    static String standardDescription(std::int32_t number);

  private:
    std::int32_t number_;
    String description_;
};

// Standard error numbers the library raises.
namespace errors {
inline constexpr std::int32_t InvalidProcedureCall = 5;
inline constexpr std::int32_t Overflow = 6;
inline constexpr std::int32_t OutOfMemory = 7;
inline constexpr std::int32_t SubscriptOutOfRange = 9;
inline constexpr std::int32_t TypeMismatch = 13;
inline constexpr std::int32_t BadFileNameOrNumber = 52;
inline constexpr std::int32_t FileNotFound = 53;
inline constexpr std::int32_t DeviceIOError = 57;
inline constexpr std::int32_t DiskFull = 61;
inline constexpr std::int32_t DeviceUnavailable = 68;
inline constexpr std::int32_t PermissionDenied = 70;
inline constexpr std::int32_t DiskNotReady = 71;
inline constexpr std::int32_t PathFileAccessError = 75;
inline constexpr std::int32_t PathNotFound = 76;
inline constexpr std::int32_t InvalidUseOfNull = 94;
}  // namespace errors

// The automation variant, for the values the front end passes and receives.
class Variant {
  public:
    enum class Kind { Empty, Null, Boolean, Integer, Long, Double, String };

    Variant() = default;  // Empty
    static Variant null();
    Variant(Boolean value);
    Variant(std::int16_t value);
    Variant(std::int32_t value);
    Variant(double value);
    Variant(String value);
    Variant(const char16_t* value);

    Kind kind() const;
    bool isEmpty() const { return kind() == Kind::Empty; }
    bool isNull() const { return kind() == Kind::Null; }

    // The stored value of the kind it holds (undefined access throws 13).
    Boolean asBoolean() const;
    std::int16_t asInteger() const;
    std::int32_t asLong() const;
    double asDouble() const;
    const String& asString() const;

    // Conversions by the automation rules. Null raises 94, text that is not
    // a number raises 13, a number out of range raises 6.
    String toString() const;
    std::int32_t toLong() const;
    std::int16_t toInteger() const;
    double toDouble() const;

    // Numeric addition by the automation rules: Empty counts as Integer 0,
    // the result widens from Integer to Long to Double as it overflows.
    friend Variant operator+(const Variant& a, const Variant& b);
    Variant& operator+=(const Variant& other) { return *this = *this + other; }

    friend bool operator==(const Variant& a, const Variant& b);

  private:
    struct NullTag {
        friend bool operator==(NullTag, NullTag) { return true; }
    };
    using Storage =
        std::variant<std::monostate, NullTag, Boolean, std::int16_t, std::int32_t, double, String>;
    Storage value_;
};

// Port-choice codes of the emulators. Unscoped with a fixed 32-bit base so
// that every value an automation client may send can be held.
enum CCS64v109ControlsEnum : std::int32_t {
    eCCS109_PCJoystick1 = 0,
    eCCS109_PCJoystick2 = 1,
    eCCS109_KeySet1 = 0,
    eCCS109_KeySet2 = 1,
    eCCS109_KeySet3 = 2,
};

enum CCS64v20ControlEnum : std::int32_t {
    eCCS20_None = 0,
    eCCS20_Joystick = 1,
    eCCS20_MouseC1351 = 2,
};

enum CCS64v20ControlModeEnum : std::int32_t {
    eCCS20_PCJoystick1 = 0,
    eCCS20_PCJoystick2 = 1,
    eCCS20_KeySet1 = 2,
    eCCS20_KeySet2 = 3,
    eCCS20_KeySet3 = 4,
    eCCS20_PCMouse = -1,
};

enum VICEControlsEnum : std::int32_t {
    eVICE_None = 0,
    eVICE_NumpadRCtrl = 1,
    eVICE_KeysetA = 2,
    eVICE_KeysetB = 3,
    eVICE_PCJoystick1 = 4,
    eVICE_PCJoystick2 = 5,
};

enum C64SControlsEnum : std::int32_t {
    Disable = 0,
    Keyboard = 1,
    AnalogueJoystick = 2,
};

enum CB64ControlsEnum : std::int32_t {
    SelectPort1 = 0,
    SelectPort2 = 1,
};

// One edit of an emulator configuration file.
struct ConfigFileType {
    String KeyToChange;
    String ValueToSet;

    friend bool operator==(const ConfigFileType&, const ConfigFileType&) = default;
};

// The change list of the configuration editor: whatever an automation array
// of ConfigFileType can be, including no array at all and a lower bound
// other than 0.
class ConfigFileArray {
  public:
    ConfigFileArray() = default;  // no array at all
    ConfigFileArray(std::vector<ConfigFileType> items, std::int32_t lowerBound = 0)
        : items_(std::move(items)), lowerBound_(lowerBound) {}
    ConfigFileArray(std::initializer_list<ConfigFileType> items, std::int32_t lowerBound = 0)
        : items_(items), lowerBound_(lowerBound) {}

    bool exists() const { return items_.has_value(); }
    std::int32_t lowerBound() const { return lowerBound_; }
    // Elements in index order; empty when there is no array.
    const std::vector<ConfigFileType>& items() const;
    std::vector<ConfigFileType>& items();

  private:
    std::optional<std::vector<ConfigFileType>> items_;
    std::int32_t lowerBound_ = 0;
};

}  // namespace tarnwick
TARNWICK_PUBLIC_END
