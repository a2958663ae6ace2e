// Short names, drive types and existence tests on Windows.
#include "platform/win32/win32_platform.h"

namespace tarnwick {

std::uint32_t Win32Platform::shortPathName(const String& path, String& area) {
    // GetShortPathNameW rather than GetShortPathNameA: for every name the
    // ANSI variant accepts it gives the same short form, and it also finds
    // the files whose names the ANSI code page cannot spell.
    std::wstring buffer(area.size(), L'\0');
    const DWORD n =
        GetShortPathNameW(toWide(path).c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return 0;  // the path does not resolve
    // Too small an area: n is the room needed, terminator included, and the
    // system has written nothing.
    if (n >= area.size()) return n;
    area.replace(0, n + 1, fromWide(std::wstring_view(buffer.data(), n + 1)));
    return n;
}

std::int32_t Win32Platform::driveType(const String& rootPath) {
    // The wide variant answers as the ANSI one does for every root it
    // accepts, and for the mount folders whose names the code page lacks.
    return static_cast<std::int32_t>(GetDriveTypeW(toWide(rootPath).c_str()));
}

namespace {

// A name whose full path is past the classic limit (MAX_PATH, terminator
// included) as a "\\?\" path, which the system takes at any length: the
// long name then gets the real answer (found, missing, missing folder)
// instead of a refusal for its length. A short relative name can be long in
// full, so the full path decides; it is also what a "\\?\" path must be,
// since the system takes that as written. Names within the limit, and names
// of devices, go as given.
std::wstring openableName(const std::wstring& name) {
    if (name.empty() || name.rfind(L"\\\\?\\", 0) == 0 || name.rfind(L"\\\\.\\", 0) == 0)
        return name;
    const DWORD needed = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
    if (needed == 0 || needed <= MAX_PATH) return name;
    std::wstring full(needed, L'\0');
    const DWORD n = GetFullPathNameW(name.c_str(), needed, full.data(), nullptr);
    if (n == 0 || n >= needed || n < MAX_PATH) return name;
    full.resize(n);
    if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') return L"\\\\?\\" + full;
    if (full.rfind(L"\\\\", 0) == 0 && full.rfind(L"\\\\.\\", 0) != 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return name;
}

}  // namespace

std::int32_t Win32Platform::existenceTest(const String& fileName) {
    // The file is opened for reading as it is, to learn whether it exists
    // and, if not, what is missing: GetLastError tells a missing file (2)
    // from a missing folder on the way (3). Without backup semantics a
    // directory cannot be opened this way and answers "access denied" (5).
    // Every kind of sharing is allowed, so that a file another program has
    // open still counts as present.
    //
    // CreateFileW, not OpenFile: OpenFile takes names of at most 128
    // characters and reports a longer name that does not exist as present.
    // And the wide variant, because it answers as the ANSI one does for
    // every name that one accepts, and for all other names too.
    const HANDLE file = CreateFileW(openableName(toWide(fileName)).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return existence::Found;
    }
    return existenceFromWin32(GetLastError());
}

}  // namespace tarnwick
