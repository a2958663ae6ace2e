// Bad input whose exact effect belongs to Windows, played by the fake
// platform: the deletion's list of names, where a NUL inside the one name
// passed would begin a second name for the shell to delete.
#include <gtest/gtest.h>

#include "support/fake_platform.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using testing::FakePlatform;
using namespace std::string_literals;

TEST(DeletePathSilentWithANul, HandsNoNameOverAndStillYields) {
    for (const char16_t separator : {u'\\', u'/'}) {
        FakePlatform w(separator);
        twFunctions f(w);
        for (const String& name : {u"C:\\Games\\Unpacked\0C:\\Windows"s, u"C:\\Games\0\\Unpacked"s,
                                   u"\0"s, u"C:\\Games\\Unpacked\0"s, u"*\0*"s})
            f.DeletePathSilent(name);
        EXPECT_EQ(w.deleted, std::vector<String>{});
        EXPECT_EQ(w.calls, std::vector<std::string>(5, "yield"))
            << "each call still lets the host catch up";
    }
}

TEST(DeletePathSilentWithANul, NamesWithoutOneStillGoOverUnchanged) {
    FakePlatform w;
    twFunctions f(w);
    const std::vector<String> names = {u"C:\\Games\\; del *.*", u"C:\\Games\\\xD800",
                                       u"C:\\Games\\*.d64", String(32768, u'a')};
    for (const String& name : names) f.DeletePathSilent(name);
    EXPECT_EQ(w.deleted, names);
}

}  // namespace
}  // namespace tarnwick
