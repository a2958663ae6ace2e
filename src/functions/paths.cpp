// Path splitting, short forms and existence tests.
#include "platform/platform.h"
#include "tarnwick/tw_functions.h"

namespace tarnwick {

namespace {

// The runtime's position counters are 16-bit: a longer text overflows them.
std::int16_t length16(const String& text) {
    if (text.size() > 32767) throw Error(errors::Overflow);
    return static_cast<std::int16_t>(text.size());
}

}  // namespace

void twFunctions::GetFileAndPath(const String& pathAndFile, String& strPath, String& strFileName) {
    // The input is a value: a caller may pass the same string as an output,
    // which is cleared below before the input has been read.
    const String strPathAndFile = pathAndFile;
    const char16_t separator = platform_.pathSeparator();
    if (strPathAndFile.find(separator) == String::npos) {
        strPath.clear();
        strFileName = strPathAndFile;
        return;
    }
    strPath.clear();
    strFileName.clear();
    const std::int16_t n = length16(strPathAndFile);
    std::int16_t i = n;
    while (i >= 1 && strPathAndFile[i - 1] != separator) --i;
    strPath = strPathAndFile.substr(0, i - 1);
    strFileName = strPathAndFile.substr(i);
}

String twFunctions::JustFileName(const String& strPathAndFile) {
    const std::int16_t n = length16(strPathAndFile);
    const char16_t separator = platform_.pathSeparator();
    if (strPathAndFile.find(separator) == String::npos) return strPathAndFile;
    std::int16_t i = n;
    while (i >= 1 && strPathAndFile[i - 1] != separator) --i;
    return strPathAndFile.substr(i);
}

String twFunctions::Long2Short(const String& S) {
    if (S.empty()) return String();
    String area(256, u' ');
    std::uint32_t k = platform_.shortPathName(S, area);
    // When the short form does not fit, the system names the room it needs:
    // ask again with that much (a path may grow between the two calls).
    for (int attempt = 0; k > area.size() && attempt < 3; ++attempt) {
        area.assign(k, u' ');
        k = platform_.shortPathName(S, area);
    }
    if (k > area.size()) return String();
    return area.substr(0, k);
}

Boolean twFunctions::DriveTypeIsCDRom(const String& RootPathName) {
    const std::int32_t type = platform_.driveType(RootPathName + platform_.pathSeparator());
    return type == drive_types::CdRom || type == drive_types::NoRootDirectory;
}

Boolean twFunctions::FileExists(const String& FileName, Boolean DisplayMsgBox,
                                const String& MBCaption) {
    const auto tell = [&](const String& prompt) {
        if (DisplayMsgBox.isExactlyTrue())
            askUser(platform_, prompt, box_styles::Exclamation, MBCaption);
        return false;
    };
    if (FileName.empty()) return tell(u"FILE NOT FOUND: NO FILENAME PASSED!");
    switch (platform_.existenceTest(FileName)) {
        case existence::FileNotFound:
            return tell(u"FILE NOT FOUND: " + FileName);
        case existence::PathNotFound:
            return tell(u"PATH NOT FOUND: " + FileName);
        case existence::AccessDenied:
            return tell(u"Device Not Ready for " + FileName);
        default:
            return true;
    }
}

Boolean twFunctions::DirExists(const String& strDir) {
    try {
        platform_.changeDirectory(strDir);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace tarnwick
