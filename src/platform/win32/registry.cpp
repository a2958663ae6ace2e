// The registry on Windows: advapi32's own calls, answering with their own
// statuses.
//
// The wide variants (RegCreateKeyExW, RegQueryValueExW, RegSetValueExW) are
// used rather than the ANSI ones. A key path or value name is then never
// narrowed to the ANSI code page, where a character outside it would turn
// into '?' and name another key; every name the ANSI variants accept means
// the same key and value. The data of the text kinds still crosses this edge
// in the ANSI code page, converted here exactly as the ANSI variants convert
// it (the registry keeps such text as UTF-16 either way), so the settings
// class and every program reading with the ANSI variants see the same bytes
// and sizes.
#include <algorithm>
#include <vector>

#include "platform/win32/win32_platform.h"

namespace tarnwick {

namespace {

// The predefined roots are 32-bit values sign-extended to a handle.
HKEY rootHandle(std::uint32_t root) {
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(root)));
}

HKEY handleOf(RegistryKey key) {
    return reinterpret_cast<HKEY>(key);
}

// The kinds whose data the ANSI variants convert.
bool isText(DWORD kind) {
    return kind == REG_SZ || kind == REG_EXPAND_SZ || kind == REG_MULTI_SZ;
}

// The value's kind and its data as stored (UTF-16 for the text kinds).
LSTATUS readStored(HKEY key, const std::wstring& name, DWORD& kind, std::vector<BYTE>& data) {
    DWORD size = 0;
    LSTATUS status = RegQueryValueExW(key, name.c_str(), nullptr, &kind, nullptr, &size);
    // The value may grow between asking its size and reading it.
    for (int attempt = 0; status == ERROR_SUCCESS && attempt < 8; ++attempt) {
        data.resize(size);
        DWORD got = size;
        status = RegQueryValueExW(key, name.c_str(), nullptr, &kind, data.data(), &got);
        if (status == ERROR_MORE_DATA) {
            size = got;
            status = ERROR_SUCCESS;
            continue;
        }
        if (status == ERROR_SUCCESS) data.resize(got);
        return status;
    }
    return status == ERROR_SUCCESS ? ERROR_MORE_DATA : status;
}

}  // namespace

std::int32_t Win32Platform::createKey(std::uint32_t root, const String& subKey,
                                      std::uint32_t access, RegistryKey& key) {
    HKEY opened = nullptr;
    const LSTATUS status =
        RegCreateKeyExW(rootHandle(root), toWide(subKey).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, access, nullptr, &opened, nullptr);
    if (status == ERROR_SUCCESS) key = reinterpret_cast<RegistryKey>(opened);
    return status;
}

std::int32_t Win32Platform::queryValueInfo(RegistryKey key, const String& name, std::uint32_t& kind,
                                           std::uint32_t& size) {
    const std::wstring wideName = toWide(name);
    DWORD storedKind = 0, storedSize = 0;
    LSTATUS status = RegQueryValueExW(handleOf(key), wideName.c_str(), nullptr, &storedKind,
                                      nullptr, &storedSize);
    if (status != ERROR_SUCCESS) return status;
    if (isText(storedKind)) {
        // The size the ANSI variant reports: that of the converted text.
        std::vector<BYTE> data;
        status = readStored(handleOf(key), wideName, storedKind, data);
        if (status != ERROR_SUCCESS) return status;
        const std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / 2);
        storedSize = static_cast<DWORD>(toAnsi(fromWide(text)).size());
    }
    kind = storedKind;
    size = storedSize;
    return ERROR_SUCCESS;
}

std::int32_t Win32Platform::queryValueData(RegistryKey key, const String& name, char* data,
                                           std::uint32_t& size) {
    const std::wstring wideName = toWide(name);
    DWORD kind = 0;
    std::vector<BYTE> stored;
    const LSTATUS status = readStored(handleOf(key), wideName, kind, stored);
    if (status != ERROR_SUCCESS) return status;
    std::string bytes;
    if (isText(kind)) {
        const std::wstring text(reinterpret_cast<const wchar_t*>(stored.data()), stored.size() / 2);
        bytes = toAnsi(fromWide(text));
    } else {
        bytes.assign(stored.begin(), stored.end());
    }
    if (bytes.size() > size) {
        size = static_cast<std::uint32_t>(bytes.size());
        return ERROR_MORE_DATA;
    }
    std::copy(bytes.begin(), bytes.end(), data);
    size = static_cast<std::uint32_t>(bytes.size());
    return ERROR_SUCCESS;
}

std::int32_t Win32Platform::setValue(RegistryKey key, const String& name, std::uint32_t kind,
                                     const char* data, std::uint32_t size) {
    if (isText(kind)) {
        const std::wstring text = toWide(fromAnsi(std::string_view(data, size)));
        return RegSetValueExW(handleOf(key), toWide(name).c_str(), 0, kind,
                              reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>(text.size() * sizeof(wchar_t)));
    }
    static const char none = 0;
    return RegSetValueExW(handleOf(key), toWide(name).c_str(), 0, kind,
                          reinterpret_cast<const BYTE*>(size ? data : &none), size);
}

std::int32_t Win32Platform::closeKey(RegistryKey key) {
    return RegCloseKey(handleOf(key));
}

std::int32_t Win32Platform::listKey(std::uint32_t root, const String& subKey,
                                    std::vector<String>& subKeys, std::vector<String>& valueNames) {
    subKeys.clear();
    valueNames.clear();
    // Opened, never created: a missing key answers ERROR_FILE_NOT_FOUND.
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExW(rootHandle(root), toWide(subKey).c_str(), 0,
                                   KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS, &key);
    if (status != ERROR_SUCCESS) return status;
    // The longest key name is 255 characters, the longest value name 16383.
    std::vector<wchar_t> name(16384);
    for (DWORD i = 0; status == ERROR_SUCCESS; ++i) {
        DWORD length = static_cast<DWORD>(name.size());
        status = RegEnumKeyExW(key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_SUCCESS) subKeys.push_back(fromWide(std::wstring(name.data(), length)));
    }
    if (status == ERROR_NO_MORE_ITEMS) status = ERROR_SUCCESS;
    for (DWORD i = 0; status == ERROR_SUCCESS; ++i) {
        DWORD length = static_cast<DWORD>(name.size());
        status = RegEnumValueW(key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_SUCCESS)
            valueNames.push_back(fromWide(std::wstring(name.data(), length)));
    }
    if (status == ERROR_NO_MORE_ITEMS) status = ERROR_SUCCESS;
    RegCloseKey(key);
    return status;
}

std::int32_t Win32Platform::deleteValue(std::uint32_t root, const String& subKey,
                                        const String& name) {
    HKEY key = nullptr;
    const LSTATUS status =
        RegOpenKeyExW(rootHandle(root), toWide(subKey).c_str(), 0, KEY_SET_VALUE, &key);
    if (status != ERROR_SUCCESS) return status;
    const LSTATUS deleted = RegDeleteValueW(key, toWide(name).c_str());
    RegCloseKey(key);
    return deleted;
}

std::int32_t Win32Platform::deleteKey(std::uint32_t root, const String& subKey) {
    // An empty path would have RegDeleteTreeW empty the root itself.
    if (subKey.find_first_not_of(u'\\') == String::npos) return ERROR_ACCESS_DENIED;
    return RegDeleteTreeW(rootHandle(root), toWide(subKey).c_str());
}

}  // namespace tarnwick
