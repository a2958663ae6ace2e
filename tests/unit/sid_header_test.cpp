// The start song against the scripted platform: drive answers decide.
#include <gtest/gtest.h>

#include "support/fake_platform.h"
#include "support/psid_bytes.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

// On a CD-ROM or a drive with no root, nothing is saved, the tune not even opened.
TEST(SidHeader, SavesNothingOnACdRomOrADriveWithNoRoot) {
    const String tune = u"D:\\Music\\tune.sid";
    const std::string bytes = testing::psidHeader(5, 3, "N", "A", "C");
    for (const std::int32_t drive : {drive_types::CdRom, drive_types::NoRootDirectory}) {
        testing::FakePlatform windows;
        windows.files[tune] = bytes;
        windows.driveTypes[u"D:\\"] = drive;
        EXPECT_EQ(twFunctions{windows}.SaveDefaultSidSong(tune, 4), Boolean(false)) << drive;
        EXPECT_EQ(windows.files[tune], bytes) << drive;
        EXPECT_FALSE(windows.called("readFile")) << drive;
    }
}

}  // namespace
}  // namespace tarnwick
