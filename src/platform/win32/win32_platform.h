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
    void rewriteFile(const String& path, std::size_t maxBytes,
                     const std::function<std::string(std::string_view)>& edit) override;
    void patchFile(const String& path, std::size_t maxBytes, std::uint64_t offset,
                   const std::function<std::string(std::string_view)>& patch) override;

    String upperCase(const String& text) override;
    String lowerCase(const String& text) override;
    std::string toAnsi(const String& text) override;
    String fromAnsi(std::string_view bytes) override;

    std::int32_t messageBox(const String& prompt, std::int32_t style,
                            const String& caption) override;

    std::int32_t createKey(std::uint32_t root, const String& subKey, std::uint32_t access,
                           RegistryKey& key) override;
    std::int32_t queryValueInfo(RegistryKey key, const String& name, std::uint32_t& kind,
                                std::uint32_t& size) override;
    std::int32_t queryValueData(RegistryKey key, const String& name, char* data,
                                std::uint32_t& size) override;
    std::int32_t setValue(RegistryKey key, const String& name, std::uint32_t kind, const char* data,
                          std::uint32_t size) override;
    std::int32_t closeKey(RegistryKey key) override;
    std::int32_t listKey(std::uint32_t root, const String& subKey, std::vector<String>& subKeys,
                         std::vector<String>& valueNames) override;
    std::int32_t deleteValue(std::uint32_t root, const String& subKey, const String& name) override;
    std::int32_t deleteKey(std::uint32_t root, const String& subKey) override;
    FindHandle findFirst(const String& pattern, FindDetail detail, FindData& data) override;
    bool findNext(FindHandle handle, FindData& data) override;
    void findClose(FindHandle handle) override;
    std::uint32_t entryAttributes(const String& path, const FindData& found) override;
    std::uint32_t searchPath(const String& folder, const String& fileName, String& buffer) override;
    std::optional<FolderId> folderId(const String& path) override;
    std::vector<FolderId> folderChain(const String& path) override;

    bool volumeInformation(const String& rootPath, String& nameBuffer) override;
    bool namesIgnoreCase() const override { return true; }

    void keepOnTop(std::int32_t window, bool on) override;
    void yieldToMessages() override;

    void deleteSilently(const String& path) override;
    void openWithDefault(const String& target, std::int32_t parentWindow) override;
};

// A window handle carried as a 32-bit integer: handles are 32 bits wide in
// substance on 64-bit Windows too, and sign-extended.
inline HWND windowFromInteger(std::int32_t window) {
    return reinterpret_cast<HWND>(static_cast<LONG_PTR>(window));
}

// A Win32 error code (GetLastError) as the runtime error it raises. Every
// place that turns a system failure into an Error goes through here, unless
// the operation has answers of its own for particular codes.
Error errorFromWin32(DWORD error, Failed call = Failed::Call);
// The error of a failed open as the existence code a test reports.
std::int32_t existenceFromWin32(DWORD error);

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
