// Reading and rewriting files on Windows without ever losing their content.
//
// A rewrite goes to a temporary file in the file's own folder, which is
// flushed to disk and then put in the file's place by ReplaceFileW (which
// keeps the old file's attributes and security): at every moment the file
// holds either its old or its new content.
#include "platform/win32/win32_platform.h"

namespace tarnwick {

namespace {

// A handle that is closed on every path.
class Handle {
  public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() { close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return h_; }
    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
    void close() {
        if (valid()) CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
    }

  private:
    HANDLE h_;
};

// The error of a failed open: a file that may not be opened so is 75, as
// the runtime's own file statements report it.
Error openError(DWORD error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            return Error(errors::PathFileAccessError);
        default:
            return errorFromWin32(error);
    }
}

void writeAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr))
            throw errorFromWin32(GetLastError());
        bytes.remove_prefix(written);
    }
}

// The file a link points to, so that the link stays a link.
std::wstring finalName(const std::wstring& name) {
    Handle file(CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return name;
    std::wstring final(32768, L'\0');
    const DWORD n = GetFinalPathNameByHandleW(
        file.get(), final.data(), static_cast<DWORD>(final.size()), FILE_NAME_NORMALIZED);
    if (n == 0 || n >= final.size()) return name;
    final.resize(n);
    return final;
}

std::wstring folderOf(const std::wstring& name) {
    const std::size_t slash = name.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return L".";
    return name.substr(0, slash + 1);
}

}  // namespace

bool Win32Platform::isReadOnly(const String& path) {
    const DWORD attributes = GetFileAttributesW(toWide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

std::string Win32Platform::readFile(const String& path, std::size_t maxBytes) {
    Handle file(CreateFileW(toWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) throw openError(GetLastError());
    std::string content;
    char buffer[65536];
    while (content.size() < maxBytes) {
        const DWORD want = static_cast<DWORD>(std::min(sizeof buffer, maxBytes - content.size()));
        DWORD got = 0;
        if (!ReadFile(file.get(), buffer, want, &got, nullptr))
            throw errorFromWin32(GetLastError());
        if (got == 0) break;
        content.append(buffer, got);
    }
    return content;
}

void Win32Platform::replaceFile(const String& path, std::string_view content) {
    if (isReadOnly(path)) throw Error(errors::PathFileAccessError);
    const std::wstring target = finalName(toWide(path));
    const DWORD attributes = GetFileAttributesW(target.c_str());
    const bool existed = attributes != INVALID_FILE_ATTRIBUTES;
    wchar_t temporary[MAX_PATH + 1];
    if (!GetTempFileNameW(folderOf(target).c_str(), L"tw", 0, temporary))
        throw openError(GetLastError());
    try {
        {
            Handle file(CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!file.valid()) throw openError(GetLastError());
            writeAll(file.get(), content);
            if (!FlushFileBuffers(file.get())) throw errorFromWin32(GetLastError());
        }
        const BOOL placed = existed
                                ? ReplaceFileW(target.c_str(), temporary, nullptr,
                                               REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)
                                : MoveFileExW(temporary, target.c_str(),
                                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        if (!placed) throw openError(GetLastError());
        // ReplaceFileW is meant to carry the attributes over; not every
        // system does, so they are set again.
        if (existed) SetFileAttributesW(target.c_str(), attributes);
    } catch (...) {
        DeleteFileW(temporary);
        throw;
    }
}

void Win32Platform::patchFile(const String& path, std::uint64_t offset, std::string_view bytes) {
    if (isReadOnly(path)) throw Error(errors::PathFileAccessError);
    Handle file(CreateFileW(toWide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) throw openError(GetLastError());
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file.get(), position, nullptr, FILE_BEGIN))
        throw errorFromWin32(GetLastError());
    writeAll(file.get(), bytes);
    if (!FlushFileBuffers(file.get())) throw errorFromWin32(GetLastError());
}

std::string Win32Platform::toAnsi(const String& text) {
    if (text.empty()) return std::string();
    const std::wstring wide = toWide(text);
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

String Win32Platform::fromAnsi(std::string_view bytes) {
    if (bytes.empty()) return String();
    const int n =
        MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), n);
    return fromWide(out);
}

}  // namespace tarnwick
