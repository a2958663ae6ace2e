// Window, deletion and opening requests against the scripted platform.
#include <gtest/gtest.h>

#include "support/fake_platform.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

// Any non-zero is on, a name with a NUL is no name to delete, each deletion
// yields after it, an opening checks nothing.
TEST(WindowDeletionOpen, RequestsReachThePlatformAsGiven) {
    testing::FakePlatform w;
    twFunctions f(w);
    for (const std::int16_t on : {-32768, 0}) f.SetAlwaysOnTop(Boolean::fromRaw(on), 77);
    f.DeletePathSilent(u"C:\\Temp\\Unpacked");
    f.DeletePathSilent(u"");
    f.DeletePathSilent(String(u"C:\\Temp\0\\x", 11));
    twShell(w).ShellWithDefaultProgram(u"C:\\Docs\\Manual.pdf", 0x10AB);
    EXPECT_EQ(w.calls, (std::vector<std::string>{"keepOnTop 77 on", "keepOnTop 77 off",
                                                 "deleteSilently C:\\Temp\\Unpacked", "yield",
                                                 "deleteSilently ", "yield", "yield",
                                                 "openWithDefault C:\\Docs\\Manual.pdf"}));
    EXPECT_TRUE(w.opened.size() == 1 && w.opened[0].parent == 0x10AB);
}

}  // namespace
}  // namespace tarnwick
