// Volume labels on Windows.
#include "platform/win32/win32_platform.h"

namespace tarnwick {

bool Win32Platform::volumeInformation(const String& rootPath, String& nameBuffer) {
    // GetVolumeInformationW: the label as it is, where the ANSI variant would
    // hand substitutes for letters outside the code page. The buffer goes in
    // as the caller filled it, so that an untouched one stays recognisable.
    std::wstring name(nameBuffer.begin(), nameBuffer.end());
    std::wstring fileSystem(128, L' ');
    DWORD serial = 0, maximumLength = 0, flags = 0;
    const bool read = GetVolumeInformationW(
        toWide(rootPath).c_str(), name.data(), static_cast<DWORD>(name.size()), &serial,
        &maximumLength, &flags, fileSystem.data(), static_cast<DWORD>(fileSystem.size()));
    nameBuffer = fromWide(name);
    return read;
}

}  // namespace tarnwick
