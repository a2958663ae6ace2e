// Window, deletion and opening requests against the scripted platform.
#include <gtest/gtest.h>

#include "support/fake_platform.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

// Non-zero is on; a name holding a NUL deletes nothing; each deletion yields; opens check nothing.
TEST(WindowDeletionOpen, RequestsReachThePlatformAsGiven) {
    testing::FakePlatform w;
    twFunctions f(w);
    for (const std::int16_t on : {-32768, 0}) f.SetAlwaysOnTop(Boolean::fromRaw(on), 77);
    for (const String& path : {String(u"C:\\Unpacked"), String(), String(u"C:\\T\0\\x", 7)})
        f.DeletePathSilent(path);
    twShell(w).ShellWithDefaultProgram(u"C:\\Docs\\Manual.pdf", 0x10AB);
    EXPECT_EQ(w.calls,
              (std::vector<std::string>{"keepOnTop 77 on", "keepOnTop 77 off",
                                        "deleteSilently C:\\Unpacked", "yield", "deleteSilently ",
                                        "yield", "yield", "openWithDefault C:\\Docs\\Manual.pdf"}));
    EXPECT_TRUE(w.opened.size() == 1 && w.opened[0].parent == 0x10AB);
}

}  // namespace
}  // namespace tarnwick
