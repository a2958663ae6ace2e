// A failing registry call: SaveSetting or GetSetting (value: its default) on
// "V" answers false or reads nothing, writes nothing, closes its key.
#include <gtest/gtest.h>

#include "support/fake_platform.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using Fake = testing::FakeRegistry;

TEST(Registry, AFailingCallAnswersFalseAndChangesNothing) {
    using namespace std::string_literals;
    const std::string text = "\1abc\0"s, seven = "\4\7\0\0\0"s, none;
    const struct {
        const char* name;
        bool get;
        Variant value;
        Boolean asText;
        std::string before;
        Fake::Operation failing;
        std::int32_t status;
        Variant read = u"old";  // GetSetting's output ("old" before the call)
    } rows[] = {
        {"key cannot open: save", 0, u"x", true, none, Fake::Create, 5},
        {"value cannot be written", 0, u"x", true, none, Fake::Set, 5},
        {"key cannot open", 1, u"d", true, text, Fake::Create, 5},
        {"default cannot be written", 1, u"d", true, none, Fake::Set, 5},
        {"size unreadable", 1, 9, true, seven, Fake::Info, 5},
        {"number unreadable", 1, 9, false, seven, Fake::Data, 1016},
        {"text unreadable", 1, u"d", true, text, Fake::Data, 1016, Variant()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        testing::FakePlatform windows;
        Fake& store = windows.registry;
        if (!row.before.empty()) store.values[u"V"] = row.before;
        store.failure[row.failing] = row.status;
        twRegistry reg(windows);
        Variant v = u"old";
        const String HKCU = u"HKEY_CURRENT_USER";
        EXPECT_FALSE(row.get ? reg.GetSetting(HKCU, u"K", u"V", v, row.asText, row.value)
                             : reg.SaveSetting(HKCU, u"K", u"V", row.value, row.asText));
        EXPECT_EQ(std::tuple(v, v.kind(), store.values[u"V"], store.open.size()),
                  std::tuple(row.read, row.read.kind(), row.before, 0u));
    }
}

}  // namespace
}  // namespace tarnwick
