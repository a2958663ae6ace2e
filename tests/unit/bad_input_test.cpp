// The deletion's list of names on the scripted platform: a NUL inside the
// one name passed would begin a second name for the shell to delete, so
// such a name goes nowhere; any other name goes over unchanged.
#include <gtest/gtest.h>

#include "support/fake_platform.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using namespace std::string_literals;

TEST(DeletePathSilent, HandsOverEveryNameButOneWithANulAndAlwaysYields) {
    const std::vector<String> withNul = {u"C:\\Games\\Unpacked\0C:\\Windows"s,
                                         u"C:\\Games\0\\Unpacked"s, u"\0"s, u"C:\\x\0"s, u"*\0*"s};
    const std::vector<String> plain = {u"C:\\Games\\; del *.*", u"C:\\Games\\\xD800",
                                       u"C:\\Games\\*.d64", String(32768, u'a')};
    for (const char16_t separator : {u'\\', u'/'}) {
        testing::FakePlatform p(separator);
        twFunctions f(p);
        for (const String& name : withNul) f.DeletePathSilent(name);
        for (const String& name : plain) f.DeletePathSilent(name);
        EXPECT_EQ(p.deleted, plain);
        EXPECT_EQ(p.yields, 9) << "each call lets the host catch up";
    }
}

}  // namespace
}  // namespace tarnwick
