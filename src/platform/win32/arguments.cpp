#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include "platform/win32/win32_platform.h"
#include "tarnwick/host.h"

namespace tarnwick {

std::vector<String> programArguments(int, char**) {
    std::vector<String> words;
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments) return words;
    for (int i = 0; i < count; ++i)
        words.emplace_back(reinterpret_cast<const char16_t*>(arguments[i]));
    LocalFree(arguments);
    // The command prints UTF-8; tell the console so.
    SetConsoleOutputCP(CP_UTF8);
    return words;
}

String findProgram(const String& name) {
    std::wstring found(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = SearchPathW(nullptr, toWide(name).c_str(), L".exe",
                                    static_cast<DWORD>(found.size()), found.data(), nullptr);
        if (n == 0) return String();
        if (n < found.size()) return fromWide(std::wstring_view(found).substr(0, n));
        found.resize(n);  // n is the room needed, terminator included
    }
}

}  // namespace tarnwick
