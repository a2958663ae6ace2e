// What the tests of the Windows backend share: Windows paths of the test
// folders, the recorder program, and fixtures that restore what they change.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "platform/win32/win32_platform.h"
#include "support/recorder_reader.h"
#include "support/temp_folder.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick::testing {

namespace fs = std::filesystem;

// Paths as Windows writes them: a backslash is the only separator the
// library splits at, so the forward slashes of the names below are turned.
inline fs::path win(fs::path p) {
    return p.make_preferred();
}
inline String u16(const fs::path& p) {
    return fromWide(win(p).wstring());
}
inline std::string utf8(const fs::path& p) {
    return toUtf8(u16(p));
}
inline fs::path pathOf(const String& s) {
    return fs::path(toWide(s));
}

// Whether two names denote the same file: the long form of each, compared
// without regard to case, as the file system compares names.
inline bool sameFile(const String& a, const String& b) {
    const auto longForm = [](const String& s) {
        std::wstring buffer(32768, L'\0');
        const DWORD n =
            GetLongPathNameW(toWide(s).c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        buffer.resize(n < buffer.size() ? n : 0);
        return buffer;
    };
    const std::wstring la = longForm(a), lb = longForm(b);
    return !la.empty() && CompareStringOrdinal(la.c_str(), static_cast<int>(la.size()), lb.c_str(),
                                               static_cast<int>(lb.size()), TRUE) == CSTR_EQUAL;
}

// A drive letter with nothing behind it, found from the drives the system
// reports, the later letters first.
inline char16_t unusedDriveLetter() {
    const DWORD drives = GetLogicalDrives();
    for (int i = 25; i >= 3; --i)
        if (!(drives & (1u << i))) return static_cast<char16_t>(u'A' + i);
    return 0;
}

// A drive that is there, other than C:.
inline char16_t otherDriveLetter() {
    const DWORD drives = GetLogicalDrives();
    for (int i = 25; i >= 0; --i)
        if (i != 2 && (drives & (1u << i))) return static_cast<char16_t>(u'A' + i);
    return 0;
}

// The build runs on Linux and names the recorder by its Unix path; under
// Wine the Unix root is drive Z:. A Windows path stays as it is.
inline fs::path recorderProgram() {
    std::string path = TARNWICK_RECORDER;
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return fs::u8path(path);
}

// Restores the current directory a test changes, before the temporary
// folder (which cannot be removed while it is current) goes.
class Win32Backend : public ::testing::Test {
  protected:
    void SetUp() override { saved_ = host.currentDirectory(); }
    void TearDown() override {
        SetCurrentDirectoryW(toWide(saved_).c_str());
        setMessageBoxHandler(nullptr);
    }
    Error errorOf(const std::function<void()>& action) {
        try {
            action();
        } catch (const Error& e) {
            return e;
        }
        return Error(0, u"no error");
    }

    TempFolder temp;
    Win32Platform host;

  private:
    String saved_;
};

class Win32Launch : public Win32Backend {
  protected:
    void SetUp() override {
        Win32Backend::SetUp();
        record_ = temp / "record.txt";
        SetEnvironmentVariableW(L"TARNWICK_RECORDER_OUT", record_.wstring().c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"TARNWICK_RECORDER_OUT", nullptr);
        Win32Backend::TearDown();
    }
    // The recorder, copied to name inside the temporary folder.
    fs::path emulator(const std::string& name) {
        const fs::path p = win(temp / name);
        fs::create_directories(p.parent_path());
        fs::copy_file(recorderProgram(), p);
        return p;
    }
    Recording recorded() {
        Recording r;
        EXPECT_TRUE(waitForRecording(record_, r)) << "the program did not run";
        return r;
    }
    bool nothingRecorded() {
        Sleep(500);
        return !fs::exists(record_);
    }

    fs::path record_;
};

}  // namespace tarnwick::testing
