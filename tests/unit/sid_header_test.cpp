// Saving the default song where only a scripted platform can say what the
// drive is or make the write fail. What a header reads and what a save
// writes is tested on real files.
#include <gtest/gtest.h>

#include "support/fake_platform.h"
#include "support/psid_bytes.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

TEST(SidHeader, SavesNothingOnACdRomAReadOnlyTuneOrAFailedWrite) {
    const String tune = u"D:\\Music\\tune.sid";
    const std::string bytes = testing::psidHeader(5, 3, "N", "A", "C");
    struct Row {
        const char* name;
        std::int32_t drive;
        bool readOnly;
        std::optional<Error> writeFailure;
        bool opened;
    } rows[] = {{"CD-ROM", drive_types::CdRom, false, {}, false},
                {"no root directory", drive_types::NoRootDirectory, false, {}, false},
                {"read-only", drive_types::Fixed, true, {}, false},
                {"disk full", drive_types::Fixed, false, Error(61), true}};
    for (const Row& row : rows) {
        testing::FakePlatform windows;
        windows.files[tune] = bytes;
        windows.driveTypes[u"D:\\"] = row.drive;  // the drive of the path's first two characters
        if (row.readOnly) windows.readOnly = {tune};
        windows.writeFailure = row.writeFailure;
        EXPECT_EQ(twFunctions{windows}.SaveDefaultSidSong(tune, 4), Boolean(false)) << row.name;
        EXPECT_EQ(windows.files[tune], bytes) << row.name;
        EXPECT_EQ(windows.called("readFile"), row.opened) << row.name;
    }
}

}  // namespace
}  // namespace tarnwick
