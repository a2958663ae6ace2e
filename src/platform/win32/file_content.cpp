// Reading and rewriting files on Windows without ever losing their content.
//
// Each operation opens the file once and reads, checks and writes through
// that handle, holding an exclusive lock on the whole file (LockFileEx) for
// the read-modify-write, so that a name swapped meanwhile changes nothing
// and two rewrites by this library follow one another. The file is
// rewritten in place, so it keeps its attributes, security, streams and
// hard links; the room for the new content is reserved first (a full disk
// cannot cut it short) and the old content is put back should a step fail.
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
    Handle(Handle&& other) noexcept : h_(other.h_) { other.h_ = INVALID_HANDLE_VALUE; }
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) {
            close();
            h_ = other.h_;
            other.h_ = INVALID_HANDLE_VALUE;
        }
        return *this;
    }
    HANDLE get() const { return h_; }
    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
    void close() {
        if (valid()) CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
    }

  private:
    HANDLE h_;
};

void writeAll(HANDLE file, std::string_view bytes, std::uint64_t offset) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file, position, nullptr, FILE_BEGIN))
        throw errorFromWin32(GetLastError());
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr))
            throw errorFromWin32(GetLastError());
        bytes.remove_prefix(written);
    }
}

void setLength(HANDLE file, std::uint64_t length) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(length);
    if (!SetFilePointerEx(file, position, nullptr, FILE_BEGIN) || !SetEndOfFile(file))
        throw errorFromWin32(GetLastError());
}

std::string readUpTo(HANDLE file, std::size_t maxBytes) {
    std::string content;
    char buffer[65536];
    while (content.size() < maxBytes) {
        const DWORD want = static_cast<DWORD>(std::min(sizeof buffer, maxBytes - content.size()));
        DWORD got = 0;
        if (!ReadFile(file, buffer, want, &got, nullptr)) throw errorFromWin32(GetLastError());
        if (got == 0) break;
        content.append(buffer, got);
    }
    return content;
}

// Opens an existing disk file for reading, and for writing too when
// forWriting and allowed (the answer, in writable). A device, pipe or
// console is refused before a byte is read, as a folder is.
Handle openDiskFile(const String& path, bool forWriting, bool& writable) {
    const std::wstring name = toWide(path);
    constexpr DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    writable = forWriting;
    Handle file(CreateFileW(name.c_str(), GENERIC_READ | (forWriting ? GENERIC_WRITE : 0), share,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid() && forWriting && GetLastError() == ERROR_ACCESS_DENIED) {
        writable = false;
        file = Handle(CreateFileW(name.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    if (!file.valid()) throw errorFromWin32(GetLastError(), Failed::Open);
    if (GetFileType(file.get()) != FILE_TYPE_DISK) throw Error(errors::PathFileAccessError);
    return file;
}

// The whole file, locked against every other rewrite until the handle
// closes.
void lockWhole(HANDLE file) {
    OVERLAPPED whole{};
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole))
        throw errorFromWin32(GetLastError());
}

bool readOnlyByHandle(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info;
    return GetFileInformationByHandle(file, &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY);
}

}  // namespace

bool Win32Platform::isReadOnly(const String& path) {
    const DWORD attributes = GetFileAttributesW(toWide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

std::string Win32Platform::readFile(const String& path, std::size_t maxBytes) {
    bool writable = false;
    Handle file = openDiskFile(path, false, writable);
    return readUpTo(file.get(), maxBytes);
}

void Win32Platform::rewriteFile(const String& path, std::size_t maxBytes,
                                const std::function<std::string(std::string_view)>& edit) {
    bool writable = false;
    Handle file = openDiskFile(path, true, writable);
    lockWhole(file.get());
    const std::string old = readUpTo(file.get(), maxBytes + 1);
    if (old.size() > maxBytes) throw Error(errors::Overflow);
    const std::string content = edit(old);
    if (!writable || readOnlyByHandle(file.get())) throw Error(errors::PathFileAccessError);
    try {
        // Reserve the room first, so a full disk fails before a byte changes.
        if (content.size() > old.size()) setLength(file.get(), content.size());
        writeAll(file.get(), content, 0);
        setLength(file.get(), content.size());
        if (!FlushFileBuffers(file.get())) throw errorFromWin32(GetLastError());
    } catch (...) {
        try {
            writeAll(file.get(), old, 0);
            setLength(file.get(), old.size());
            FlushFileBuffers(file.get());
        } catch (const Error&) {
            // The first failure is the one reported.
        }
        throw;
    }
}

void Win32Platform::patchFile(const String& path, std::size_t maxBytes, std::uint64_t offset,
                              const std::function<std::string(std::string_view)>& patch) {
    bool writable = false;
    Handle file = openDiskFile(path, true, writable);
    lockWhole(file.get());
    const std::string bytes = patch(readUpTo(file.get(), maxBytes));
    if (bytes.empty()) return;
    if (!writable || readOnlyByHandle(file.get())) throw Error(errors::PathFileAccessError);
    writeAll(file.get(), bytes, offset);
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
