// The volume label and the three waits for a CD-ROM, a folder or a file.
//
// A wait tests first, so nothing is asked when the disc is already there;
// after each OK it tests again at once. Nothing polls on a timer and nothing
// limits the passes: only a test that holds, or Cancel, ends a wait. The
// host's window messages are processed at the start of every pass, so its
// windows stay painted while the user fetches the disc.
#include "platform/platform.h"
#include "tarnwick/tw_functions.h"

namespace tarnwick {

namespace {

constexpr char16_t promptCaption[] = u"ravelstone";

bool userCancelled(Platform& platform, const String& prompt) {
    return askUser(platform, prompt, box_styles::OkCancel, promptCaption) == answers::Cancel;
}

}  // namespace

String twFunctions::GetVolumeName(const String& RootPathName) {
    const String blank(128, u' ');
    String name = blank;
    platform_.volumeInformation(RootPathName + platform_.pathSeparator(), name);
    // A buffer the system left alone: no readable volume there.
    if (name == blank) return String();
    const std::size_t end = name.find(u'\0');
    return end == String::npos ? name : name.substr(0, end);
}

Boolean twFunctions::WaitForCDRom(const String& RootDrive, const String& CDRomName) {
    // "d:" is shown as "D:"; a name that is case-sensitive (a Linux mount
    // point) is shown as given, since in upper case it would name another
    // folder.
    const String drive = platform_.namesIgnoreCase() ? platform_.upperCase(RootDrive) : RootDrive;
    for (;;) {
        yieldToHost(platform_);
        if (GetVolumeName(RootDrive) == CDRomName) return true;
        if (userCancelled(platform_, u"Insert CD: '" + CDRomName + u"' into Drive " + drive))
            return false;
    }
}

Boolean twFunctions::WaitForCDRomPath(const Variant& strPath) {
    for (;;) {
        yieldToHost(platform_);
        const String path = strPath.toString();
        if (DirExists(path)) return true;
        if (userCancelled(platform_, u"Insert the CD for Path: '" + path + u"'")) return false;
    }
}

Boolean twFunctions::WaitForCDRomFile(const Variant& strPath) {
    for (;;) {
        yieldToHost(platform_);
        const String path = strPath.toString();
        if (FileExists(path, false, promptCaption)) return true;
        if (userCancelled(platform_, u"Insert the CD for File: '" + path + u"'")) return false;
    }
}

}  // namespace tarnwick
