// The Windows backend: the Win32 calls behind each area of the platform.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace tarnwick {

class Win32Platform final : public Platform {
  public:
    void changeDrive(const String& text) override;
    void changeDirectory(const String& path) override;
    String currentDirectory() override;
    std::int32_t startProcess(const String& commandLine, std::int32_t windowStyle) override;

    char16_t pathSeparator() const override { return u'\\'; }
    std::uint32_t shortPathName(const String& path, String& area) override;
    std::int32_t driveType(const String& rootPath) override;
    std::int32_t existenceTest(const String& fileName) override;
    String driveOf(const String& path) const override { return path.substr(0, 2); }
    bool isReadOnly(const String& path) override;
    std::string readFile(const String& path, std::size_t maxBytes) override;
    void replaceFile(const String& path, std::string_view content) override;
    void patchFile(const String& path, std::uint64_t offset, std::string_view bytes) override;

    String upperCase(const String& text) override;
    String lowerCase(const String& text) override;
    std::string toAnsi(const String& text) override;
    String fromAnsi(std::string_view bytes) override;

    std::int32_t messageBox(const String& prompt, std::int32_t style,
                            const String& caption) override;
};

// A Win32 error code (GetLastError) as the runtime error it raises. Every
// place that turns a system failure into an Error goes through here, unless
// the operation has answers of its own for particular codes.
Error errorFromWin32(DWORD error);

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the wide API is UTF-16");

// String and the wide strings of the API hold the same UTF-16 code units
// (wchar_t is 16 bits on Windows): the conversion is a copy.
inline std::wstring toWide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}
inline String fromWide(std::wstring_view text) {
    return String(text.begin(), text.end());
}

}  // namespace tarnwick
