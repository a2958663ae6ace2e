// A failing registry call: SaveSetting or GetSetting (value: its default) on
// "V" answers false or reads nothing, writes nothing, closes its key. A root
// name that names no root fails before anything is asked of the system.
#include <gtest/gtest.h>

#include "support/fake_platform.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using Fake = testing::FakePlatform;

TEST(Registry, AFailingCallAnswersFalseAndChangesNothing) {
    using namespace std::string_literals;
    const std::string text = "\1abc\0"s, seven = "\4\7\0\0\0"s, none;
    const Variant Old = u"old";
    const char16_t* const CU = u"HKEY_CURRENT_USER";
    // name, root, get, value, asText, stored before, failing operation, its status, output
    // clang-format off
    const std::tuple<const char*, const char16_t*, bool, Variant, Boolean, std::string, Fake::Operation, std::int32_t, Variant> rows[] = {
        {"key cannot open: save", CU, 0, u"x", true, none, Fake::Create, 5, Old},
        {"value cannot be written", CU, 0, u"x", true, none, Fake::Set, 5, Old},
        {"key cannot open", CU, 1, u"d", true, text, Fake::Create, 5, Old},
        {"default cannot be written", CU, 1, u"d", true, none, Fake::Set, 5, Old},
        {"size unreadable", CU, 1, 9, true, seven, Fake::Info, 5, Old},
        {"number unreadable", CU, 1, 9, false, seven, Fake::Data, 1016, Old},
        {"text unreadable", CU, 1, u"d", true, text, Fake::Data, 1016, Variant()},
        // No root: the failing operation is one that would come after a write.
        {"no such root: save", u"HKCU", 0, u"x", true, none, Fake::Info, 5, Old},
        {"no such root, not in ASCII", u"HKEY_\u00dcSERS", 1, u"d", true, none, Fake::Data, 5, Old}};  // clang-format on
    for (const auto& [row, root, get, value, asText, before, failing, status, read] : rows) {
        Fake windows;
        if (!before.empty()) windows.values[u"V"] = before;
        windows.registryFailure[failing] = status;
        twRegistry reg(windows);
        Variant v = Old;
        const Boolean ok = get ? reg.GetSetting(root, u"K", u"V", v, asText, value)
                               : reg.SaveSetting(root, u"K", u"V", value, asText);
        EXPECT_EQ(std::tuple(ok, v, v.kind(), windows.values[u"V"], windows.openKeys.size()),
                  std::tuple(Boolean(false), read, read.kind(), before, 0u))
            << row;
    }
}

}  // namespace
}  // namespace tarnwick
