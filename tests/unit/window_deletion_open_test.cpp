// SetAlwaysOnTop, DeletePathSilent and ShellWithDefaultProgram hand their
// requests to the platform unchanged.
#include <gtest/gtest.h>

#include "support/fake_platform.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using testing::FakePlatform;

TEST(SetAlwaysOnTop, AnyNonZeroValueMeansOn) {
    FakePlatform w;
    twFunctions f(w);
    f.SetAlwaysOnTop(true, 0x1234);
    f.SetAlwaysOnTop(Boolean::fromRaw(1), 77);
    f.SetAlwaysOnTop(Boolean::fromRaw(-32768), 77);
    f.SetAlwaysOnTop(false, 0x1234);
    f.SetAlwaysOnTop(Boolean::fromRaw(0), -1);
    EXPECT_EQ(w.calls,
              (std::vector<std::string>{"keepOnTop 4660 on", "keepOnTop 77 on", "keepOnTop 77 on",
                                        "keepOnTop 4660 off", "keepOnTop -1 off"}));
}

TEST(DeletePathSilent, HandsThePathOverAndThenYieldsOnce) {
    FakePlatform w;
    twFunctions f(w);
    f.DeletePathSilent(u"C:\\Temp\\Unpacked");
    f.DeletePathSilent(u"");
    EXPECT_EQ(w.calls, (std::vector<std::string>{"deleteSilently C:\\Temp\\Unpacked", "yield",
                                                 "deleteSilently ", "yield"}));
}

TEST(ShellWithDefaultProgram, HandsTheTargetAndOwnerOverAndNothingElse) {
    FakePlatform w;
    twShell shell(w);
    shell.ShellWithDefaultProgram(u"C:\\Docs\\Manual.pdf", 0x10AB);
    shell.ShellWithDefaultProgram(u"C:\\Missing.txt", 0);
    ASSERT_EQ(w.opened.size(), 2u);
    EXPECT_EQ(w.opened[0].target, u"C:\\Docs\\Manual.pdf");
    EXPECT_EQ(w.opened[0].parent, 0x10AB);
    EXPECT_EQ(w.opened[1].target, u"C:\\Missing.txt");
    EXPECT_EQ(w.opened[1].parent, 0);
    EXPECT_EQ(w.calls.size(), 2u) << "no existence test, no directory change";
}

}  // namespace
}  // namespace tarnwick
