// Current drive, current directory and process start on Windows.
//
// The wide-character functions are used throughout: for every name the ANSI
// variants accept they give the same answer, and they also take the names
// that the ANSI code page cannot spell.
#include "platform/win32/win32_platform.h"

namespace tarnwick {

namespace {

bool isDriveLetter(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

}  // namespace

void Win32Platform::changeDrive(const String& text) {
    if (text.empty()) return;  // no drive named: the current one stays
    // Only the first character names the drive.
    if (!isDriveLetter(text[0])) throw Error(errors::DeviceUnavailable);
    // "X:" without a separator makes drive X current at the directory it
    // last had, as a change of drive does; a drive that is not there fails.
    const wchar_t drive[] = {static_cast<wchar_t>(text[0]), L':', L'\0'};
    if (!SetCurrentDirectoryW(drive)) throw Error(errors::DeviceUnavailable);
}

void Win32Platform::changeDirectory(const String& path) {
    if (SetCurrentDirectoryW(toWide(path).c_str())) return;
    throw errorFromWin32(GetLastError(), Failed::DirectoryChange);
}

String Win32Platform::currentDirectory() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
        if (n == 0) throw errorFromWin32(GetLastError());
        if (n < buffer.size()) {
            buffer.resize(n);
            return fromWide(buffer);
        }
        buffer.resize(n);  // n is the room needed, terminator included
    }
}

std::int32_t Win32Platform::startProcess(const String& commandLine, std::int32_t windowStyle) {
    // The system finds the program at the front of the line itself, as it
    // does for every command line (quotes, or the blank-delimited prefixes
    // of an unquoted path with blanks, ".exe" added to a bare name); it may
    // write into the line while it does, so it gets a copy of its own.
    std::wstring line = toWide(commandLine);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(windowStyle);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        throw errorFromWin32(GetLastError(), Failed::Start);
    // Nobody waits for the program: its handles are of no further use.
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<std::int32_t>(process.dwProcessId);
}

}  // namespace tarnwick
