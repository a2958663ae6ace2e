// Settings in the registry: one value saved or read per call, below one of
// the four standard roots, as text (the registry's string kind) or as a
// 32-bit number (its double-word kind).
#include <algorithm>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "core/names.h"
#include "platform/platform.h"
#include "tarnwick/tw_registry.h"

namespace tarnwick {

namespace {
// What GetSetting hands back for a value that is not there.
const String NotFound = u"--NOT-FOUND--";
}  // namespace

namespace {

// Status of a stored value of a kind other than text or number.
constexpr std::int32_t UnsupportedKind = -1;

// A registry number is four bytes, least significant first, on every system.
std::int32_t numberFromBytes(const unsigned char* bytes) {
    const std::uint32_t n = std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 |
                            std::uint32_t(bytes[2]) << 16 | std::uint32_t(bytes[3]) << 24;
    return static_cast<std::int32_t>(n);
}

std::string bytesOfNumber(std::int32_t value) {
    const auto n = static_cast<std::uint32_t>(value);
    return {static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF),
            static_cast<char>((n >> 16) & 0xFF), static_cast<char>((n >> 24) & 0xFF)};
}

// The root handle value named by name after upper-casing, or 0 for none.
std::uint32_t RootKeyFromName(Platform& platform, const String& name) {
    static constexpr std::pair<std::u16string_view, std::uint32_t> roots[] = {
        {u"HKEY_CLASSES_ROOT", registry_roots::ClassesRoot},
        {u"HKEY_CURRENT_USER", registry_roots::CurrentUser},
        {u"HKEY_LOCAL_MACHINE", registry_roots::LocalMachine},
        {u"HKEY_USERS", registry_roots::Users}};
    // The names are ASCII: the name is compared letter by letter, its ASCII
    // folded as it goes (this is asked on every call). A name with anything
    // else, which may still fold onto one (U+017F is an S), is upper-cased
    // by the platform when that finds none.
    for (const auto& [rootName, root] : roots)
        if (std::equal(name.begin(), name.end(), rootName.begin(), rootName.end(),
                       [](char16_t c, char16_t u) { return asciiUpper(c) == u; }))
            return root;
    if (std::all_of(name.begin(), name.end(), [](char16_t c) { return c < 0x80; })) return 0;
    const String upper = platform.upperCase(name);
    for (const auto& [rootName, root] : roots)
        if (upper == rootName) return root;
    return 0;
}

// A stored value as GetSetting hands it back: text without its terminator,
// or a number of up to four bytes, least significant first (the rest
// zero). False, vValue untouched, for any other kind or a longer number.
bool fromStored(Platform& platform, std::uint32_t kind, std::string_view data, Variant& vValue) {
    if (kind == value_kinds::String) {
        if (!data.empty() && data.back() == '\0') data.remove_suffix(1);
        vValue = platform.fromAnsi(data);
        return true;
    }
    if (kind != value_kinds::Number || data.size() > 4) return false;
    unsigned char bytes[4] = {0, 0, 0, 0};
    std::copy(data.begin(), data.end(), bytes);
    vValue = numberFromBytes(bytes);
    return true;
}

// Reads the value into vValue and returns the registry's status, or
// UnsupportedKind. Never raises: a value that cannot be read leaves vValue as
// it was (a string whose data could not be fetched leaves it Empty).
std::int32_t QueryValue(Platform& platform, RegistryKey key, const String& name, Variant& vValue) {
    std::int32_t status = registry_status::Ok;
    try {
        std::uint32_t kind = 0, size = 0;
        status = platform.queryValueInfo(key, name, kind, size);
        if (status != registry_status::Ok) return status;
        switch (kind) {
            case value_kinds::String: {
                // A string stored with no bytes at all, not even its
                // terminator, holds no text: it reads as the empty string
                // rather than leaving the caller's old value in place behind
                // a report of success.
                if (size == 0) {
                    vValue = String();
                    return status;
                }
                std::string data(size, '\0');
                status = platform.queryValueData(key, name, data.data(), size);
                if (status != registry_status::Ok) {
                    vValue = Variant();
                    return status;
                }
                // The text without its terminator: every byte the registry
                // wrote but the one NUL that ends it.
                data.resize(std::min<std::size_t>(size, data.size()));
                fromStored(platform, kind, data, vValue);
                return status;
            }
            case value_kinds::Number: {
                // More than four bytes answer "more data".
                char bytes[4];
                std::uint32_t room = sizeof bytes;
                status = platform.queryValueData(key, name, bytes, room);
                if (status == registry_status::Ok)
                    fromStored(platform, kind, std::string_view(bytes, room), vValue);
                return status;
            }
            default:
                return UnsupportedKind;
        }
    } catch (const std::bad_alloc&) {
        // No room for the data: never a success, whatever status was held.
        return registry_status::OutOfMemory;
    } catch (const std::exception&) {
        return status == registry_status::Ok ? registry_status::GeneralFailure : status;
    }
}

// Writes value as the kind given (text or number; any other kind writes
// nothing and answers 0) and returns the registry's status. Raises the
// conversion error when value has no text form or is not a 32-bit number.
std::int32_t SetValue(Platform& platform, RegistryKey key, const String& name, std::uint32_t kind,
                      const Variant& value) {
    if (kind == value_kinds::String) {
        // The whole text in the system's encoding and one NUL, its size
        // counted in bytes: in an encoding of more than one byte per
        // character, a count of characters would cut the text short.
        std::string data = platform.toAnsi(value.toString());
        data.push_back('\0');
        return platform.setValue(key, name, kind, data.data(),
                                 static_cast<std::uint32_t>(data.size()));
    }
    if (kind == value_kinds::Number) {
        const std::string data = bytesOfNumber(value.toLong());
        return platform.setValue(key, name, kind, data.data(),
                                 static_cast<std::uint32_t>(data.size()));
    }
    return registry_status::Ok;
}

// The open key of one call, closed on every way out of it (a conversion
// error included).
class OpenKey {
  public:
    OpenKey(Platform& platform, std::uint32_t root, const String& path) : platform_(platform) {
        status_ = platform_.createKey(root, path, key_access::Settings, key_);
    }
    ~OpenKey() {
        if (status_ == registry_status::Ok) platform_.closeKey(key_);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;

    bool isOpen() const { return status_ == registry_status::Ok; }
    RegistryKey key() const { return key_; }

  private:
    Platform& platform_;
    RegistryKey key_ = 0;
    std::int32_t status_;
};

std::uint32_t kindChosenBy(Boolean bStringType) {
    return bStringType.isExactlyTrue() ? value_kinds::String : value_kinds::Number;
}

}  // namespace

Boolean twRegistry::SaveSetting(const String& sRootKey, const String& sKeyName,
                                const String& sValueName, const Variant& vValueSetting,
                                Boolean bStringType) {
    const std::uint32_t root = RootKeyFromName(platform_, sRootKey);
    if (root == 0) return false;
    OpenKey key(platform_, root, sKeyName);
    if (!key.isOpen()) return false;
    const std::int32_t status =
        SetValue(platform_, key.key(), sValueName, kindChosenBy(bStringType), vValueSetting);
    return status == registry_status::Ok;
}

Boolean twRegistry::GetSetting(const String& sRootKey, const String& sKeyName,
                               const String& sValueName, Variant& vValue, Boolean bStringType,
                               const Variant& defaultValue) {
    const std::uint32_t root = RootKeyFromName(platform_, sRootKey);
    if (root == 0) return false;
    // A setting saved before, the common case, in one call where the
    // platform can; anything else the long way, which also makes the key.
    // Neither call touches vValue unless it answers.
    std::uint32_t kind = 0;
    std::string data;
    if (platform_.readExistingValue(root, sKeyName, sValueName, kind, data) &&
        fromStored(platform_, kind, data, vValue))
        return true;
    // The default is a value: the caller may pass the output itself, which
    // a failed read clears before the default is looked at.
    const Variant vDefault = defaultValue;
    OpenKey key(platform_, root, sKeyName);
    if (!key.isOpen()) return false;
    const std::int32_t status = QueryValue(platform_, key.key(), sValueName, vValue);
    if (status == registry_status::Ok) return true;
    // Only a value that is not there, or not of a kind or size this class
    // reads (a number of more than four bytes answers "more data"), is
    // missing. A value that is there but could not be read (an I/O error,
    // access denied, no memory) is a failure: answering "not found", or
    // writing the default over it, would lose the user's setting.
    if (status != registry_status::FileNotFound && status != UnsupportedKind &&
        status != registry_status::MoreData)
        return false;
    // Only the text itself means "no default": a number never equals it.
    if (vDefault.kind() == Variant::Kind::String && vDefault.asString() == DontSet) {
        vValue = NotFound;
        return true;
    }
    // The write's own status does not matter: reading it back tells.
    SetValue(platform_, key.key(), sValueName, kindChosenBy(bStringType), vDefault);
    return QueryValue(platform_, key.key(), sValueName, vValue) == registry_status::Ok;
}

}  // namespace tarnwick
