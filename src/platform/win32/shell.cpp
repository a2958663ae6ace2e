// Silent deletion and opening with the associated program, through the
// Windows shell.
#include "platform/win32/win32_platform.h"

// After windows.h, which it builds on.
#include <shellapi.h>

namespace tarnwick {

namespace {

// Whether path names something a deletion must never take: nothing at all,
// "." or ".." (the current folder or one that holds it), or the root of a
// volume, however it is written ("C:\", "C:\Games\..", "\\server\share").
bool untouchable(const std::wstring& path) {
    if (path.empty()) return true;
    std::wstring trimmed = path;
    while (!trimmed.empty() && (trimmed.back() == L'\\' || trimmed.back() == L'/'))
        trimmed.pop_back();
    const std::size_t cut = trimmed.find_last_of(L"\\/:");
    const std::wstring last = cut == std::wstring::npos ? trimmed : trimmed.substr(cut + 1);
    if (trimmed.empty() || last.empty() || last == L"." || last == L"..") return true;
    if (last.find_first_of(L"*?") != std::wstring::npos) return false;  // matches, never a root
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return true;
    std::wstring full(needed, L'\0');
    const DWORD n = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (n == 0 || n >= needed) return true;
    full.resize(n);
    std::wstring volume(n + 2, L'\0');
    if (!GetVolumePathNameW(full.c_str(), volume.data(), static_cast<DWORD>(volume.size())))
        return false;
    volume.resize(wcslen(volume.c_str()));
    if (!full.empty() && full.back() != L'\\') full += L'\\';
    return CompareStringOrdinal(full.c_str(), static_cast<int>(full.size()), volume.c_str(),
                                static_cast<int>(volume.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

void Win32Platform::deleteSilently(const String& path) {
    const std::wstring name = toWide(path);
    if (untouchable(name)) return;
    // A list of names, each ended by a NUL, the list by one more.
    std::wstring list = name;
    list.push_back(L'\0');
    list.push_back(L'\0');
    SHFILEOPSTRUCTW operation{};
    operation.hwnd = nullptr;
    operation.wFunc = FO_DELETE;
    operation.pFrom = list.c_str();
    operation.pTo = nullptr;
    // No progress, yes to every question, no undo (FOF_ALLOWUNDO is not
    // set, so nothing goes to the recycle bin), and no error box either: a
    // deletion that fails is as silent as one that works.
    operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
    SHFileOperationW(&operation);
}

void Win32Platform::openWithDefault(const String& target, std::int32_t parentWindow) {
    // ShellExecuteW: the same request as the ANSI variant for every name
    // that one accepts, and for the names outside the code page. Parameters
    // and directory go as empty texts; the result is not looked at.
    ShellExecuteW(windowFromInteger(parentWindow), L"Open", toWide(target).c_str(), L"", L"",
                  SW_SHOWNORMAL);
}

}  // namespace tarnwick
