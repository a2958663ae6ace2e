// On a CD-ROM, a drive with no root or a read-only tune, nothing is saved
// and the tune is not even opened.
#include <gtest/gtest.h>

#include "support/fake_platform.h"
#include "support/psid_bytes.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

TEST(SidHeader, SavesNothingOnACdRomOrAReadOnlyTune) {
    const String tune = u"D:\\Music\\tune.sid";
    const std::string bytes = testing::psidHeader(5, 3, "N", "A", "C");
    const struct {
        const char* name;
        std::int32_t drive;
        bool readOnly;
    } rows[] = {{"CD-ROM", drive_types::CdRom, false},
                {"no root directory", drive_types::NoRootDirectory, false},
                {"read-only", drive_types::Fixed, true}};
    for (const auto& row : rows) {
        testing::FakePlatform windows;
        windows.files[tune] = bytes;
        windows.driveTypes[u"D:\\"] = row.drive;
        if (row.readOnly) windows.readOnly = {tune};
        EXPECT_EQ(twFunctions{windows}.SaveDefaultSidSong(tune, 4), Boolean(false)) << row.name;
        EXPECT_EQ(windows.files[tune], bytes) << row.name;
        EXPECT_FALSE(windows.called("readFile")) << row.name;
    }
}

}  // namespace
}  // namespace tarnwick
