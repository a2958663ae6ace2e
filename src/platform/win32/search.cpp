// Folder enumeration and the lookups of the folder searches on Windows.
//
// The wide-character functions throughout: for every name the ANSI variants
// accept they give the same answers, and they deliver the names the ANSI
// code page cannot spell as they are, instead of substitutes that name no
// file.
#include "platform/win32/win32_platform.h"

namespace tarnwick {

namespace {

void fill(const WIN32_FIND_DATAW& found, FindData& data) {
    data.attributes = found.dwFileAttributes;
    data.sizeHigh = found.nFileSizeHigh;
    data.sizeLow = found.nFileSizeLow;
    data.name = fromWide(found.cFileName);
}

FindHandle toFindHandle(HANDLE handle) {
    return reinterpret_cast<FindHandle>(handle);
}
HANDLE fromFindHandle(FindHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}
static_assert(invalidFindHandle == static_cast<FindHandle>(-1),
              "an enumeration that did not start is INVALID_HANDLE_VALUE");

}  // namespace

FindHandle Win32Platform::findFirst(const String& pattern, FindDetail, FindData& data) {
    // The record always carries the size: it costs Windows nothing more.
    // No short name is asked for (none is used), and the listing is read
    // from the file system in large blocks rather than a few entries a call.
    WIN32_FIND_DATAW found;
    const HANDLE handle =
        FindFirstFileExW(toWide(pattern).c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                         nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (handle == INVALID_HANDLE_VALUE) return invalidFindHandle;
    fill(found, data);
    return toFindHandle(handle);
}

bool Win32Platform::findNext(FindHandle handle, FindData& data) {
    WIN32_FIND_DATAW found;
    if (!FindNextFileW(fromFindHandle(handle), &found)) return false;
    fill(found, data);
    return true;
}

void Win32Platform::findClose(FindHandle handle) {
    FindClose(fromFindHandle(handle));
}

std::uint32_t Win32Platform::entryAttributes(const String& path, const FindData&) {
    return GetFileAttributesW(toWide(path).c_str());
}

std::uint32_t Win32Platform::searchPath(const String& folder, const String& fileName,
                                        String& buffer) {
    // The folder is the whole search path, given as a text even when empty,
    // with no default extension.
    std::wstring wide(buffer.size(), L'\0');
    const DWORD n = SearchPathW(toWide(folder).c_str(), toWide(fileName).c_str(), nullptr,
                                static_cast<DWORD>(wide.size()), wide.data(), nullptr);
    if (n == 0 || n >= wide.size()) return n;  // not there, or the room it needs
    buffer.replace(0, n + 1, fromWide(std::wstring_view(wide.data(), n + 1)));
    return n;
}

std::optional<FolderId> Win32Platform::folderId(const String& path) {
    // Opened for nothing but its identity; backup semantics open a folder.
    const std::wstring name = path.empty() ? std::wstring(L".") : toWide(path);
    const HANDLE folder =
        CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info;
    const bool read = GetFileInformationByHandle(folder, &info);
    CloseHandle(folder);
    if (!read || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return std::nullopt;
    return FolderId{info.dwVolumeSerialNumber,
                    (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

std::vector<FolderId> Win32Platform::folderChain(const String& path) {
    const std::wstring name = path.empty() ? std::wstring(L".") : toWide(path);
    const DWORD needed = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
    std::wstring full(needed, L'\0');
    const DWORD n = needed ? GetFullPathNameW(name.c_str(), needed, full.data(), nullptr) : 0;
    std::vector<FolderId> chain;
    if (n == 0 || n >= needed) return chain;
    full.resize(n);
    // The root: "C:\", or "\\server\share\" (its fourth backslash).
    std::size_t root = 0;
    if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') {
        root = 3;
    } else if (full.rfind(L"\\\\", 0) == 0) {
        std::size_t slashes = 0;
        for (root = 0; root < full.size() && slashes < 4; ++root)
            if (full[root] == L'\\') ++slashes;
        if (slashes < 4) full += L'\\', root = full.size();
    }
    if (root == 0) return chain;
    const auto add = [&](const std::wstring& prefix) {
        if (auto id = folderId(fromWide(prefix))) chain.push_back(*id);
    };
    add(full.substr(0, root));
    for (std::size_t i = root + 1; i <= full.size(); ++i)
        if ((i == full.size() || full[i] == L'\\') && full[i - 1] != L'\\') add(full.substr(0, i));
    return chain;
}

}  // namespace tarnwick
