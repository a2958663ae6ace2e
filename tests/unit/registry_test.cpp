// twRegistry against an in-memory registry, one call per row: root names,
// what each value becomes in the registry, the reading and default rules,
// and failures. A stored value is its kind (one byte) and its data.
#include <gtest/gtest.h>

#include "support/fake_platform.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using Fake = testing::FakeRegistry;
using namespace std::string_literals;
const Variant NoDefault = u"--DONT-SET--", NotFound = u"--NOT-FOUND--";
const std::string text = "\1abc\0"s, seven = "\4\7\0\0\0"s, none;
const String wide = u"Gr\u00f6\u00dfe \u2603";  // 7 characters, 11 bytes

// SaveSetting of value, or GetSetting with value as its default (the
// omitted one for NoDefault), on value "v" of key "K".
struct Row {
    const char* name;
    bool get;
    Variant value;
    Boolean asText;
    std::string before, after;  // stored as "V" of "K" ("": none)
    bool result;
    Variant read = u"old";   // GetSetting's output ("old" before the call)
    std::int32_t error = 0;  // raised
    Fake::Operation failing = Fake::Create;
    std::int32_t status = 0;  // of the failing operation (0: none fails)
};
const Row rows[] = {
    {"text", 0, u"abc", true, none, text, 1},
    {"replaced", 0, u"abc", true, seven, text, 1},
    {"wide text, sized in bytes", 0, wide, true, none, '\1' + toUtf8(wide) + '\0', 1},
    {"empty text", 0, u"", true, none, "\1\0"s, 1},
    {"42 as text", 0, 42, true, none, "\00142\0"s, 1},
    {"True as text", 0, Boolean(true), true, none, "\1True\0"s, 1},
    {"only exactly true chooses text", 0, u"12", Boolean::fromRaw(1), none, "\4\x0c\0\0\0"s, 1},
    {"-2", 0, -2, false, none, "\4\xfe\xff\xff\xff"s, 1},
    {"0x12345678", 0, 0x12345678, false, none, "\4\x78\x56\x34\x12"s, 1},
    {"no number", 0, u"abc", false, none, none, 0, u"old", errors::TypeMismatch},
    {"too large", 0, 3e9, false, none, none, 0, u"old", errors::Overflow},
    {"Null", 0, Variant::null(), false, none, none, 0, u"old", errors::InvalidUseOfNull},
    {"Null as text", 0, Variant::null(), true, none, none, 0, u"old", errors::InvalidUseOfNull},
    {"key cannot open: save", 0, u"x", true, none, none, 0, u"old", 0, Fake::Create, 5},
    {"value cannot be written", 0, u"x", true, none, none, 0, u"old", 0, Fake::Set, 5},
    {"read text", 1, NoDefault, false, text, text, 1, u"abc"},
    {"a number, whatever kind is asked", 1, NoDefault, true, "\4\xff\xff\xff\xff"s,
     "\4\xff\xff\xff\xff"s, 1, -1},
    {"missing", 1, NoDefault, true, none, none, 1, NotFound},
    {"three letters", 1, u"abc", true, none, text, 1, u"abc"},
    {"number default", 1, 7, false, none, seven, 1, 7},
    {"marker in another case", 1, u"--dont-set--", true, none, "\1--dont-set--\0"s, 1,
     u"--dont-set--"},
    {"Empty default", 1, Variant(), true, none, "\1\0"s, 1, u""},
    {"zero default", 1, 0, false, none, "\4\0\0\0\0"s, 1, 0},
    {"present: default ignored", 1, u"xyz", true, text, text, 1, u"abc"},
    {"empty text", 1, u"d", true, "\1\0"s, "\1\0"s, 1, u""},
    {"text of no bytes", 1, u"d", true, "\1", "\1", 1, u""},
    {"text without its NUL", 1, NoDefault, true, "\1abc", "\1abc", 1, u"abc"},
    {"inner NUL", 1, NoDefault, true, "\1a\0b\0"s, "\1a\0b\0"s, 1, String(u"a\0b", 3)},
    {"short number", 1, NoDefault, false, "\4\x34\x12"s, "\4\x34\x12"s, 1, 0x1234},
    {"long number", 1, NoDefault, false, "\004123456", "\004123456", 1, NotFound},
    {"long number, default", 1, 7, false, "\004123456", seven, 1, 7},
    {"other kind", 1, NoDefault, true, "\3\1\2"s, "\3\1\2"s, 1, NotFound},
    {"other kind, default", 1, 7, false, "\2%P%\0"s, seven, 1, 7},
    {"kind 0, default", 1, u"abc", true, "\0x"s, text, 1, u"abc"},
    {"key cannot open", 1, u"d", true, text, text, 0, u"old", 0, Fake::Create, 5},
    {"default cannot be written", 1, u"d", true, none, none, 0, u"old", 0, Fake::Set, 5},
    {"size unreadable", 1, 9, true, seven, seven, 0, u"old", 0, Fake::Info, 5},
    {"number unreadable", 1, 9, false, seven, seven, 0, u"old", 0, Fake::Data, 1016},
    {"text unreadable", 1, u"d", true, text, text, 0, Variant(), 0, Fake::Data, 1016},
    {"default no number", 1, u"abc", false, none, none, 0, u"old", errors::TypeMismatch},
    {"default too large", 1, 1e10, false, none, none, 0, u"old", errors::Overflow},
    {"default Null", 1, Variant::null(), true, none, none, 0, u"old", errors::InvalidUseOfNull},
};

// The call of the row below the root named, whose handle value is at.
void run(const Row& row, const String& root, std::uint32_t at) {
    SCOPED_TRACE(row.name + (" below " + toUtf8(root)));
    testing::FakePlatform windows;
    Fake& store = windows.registry;
    const String where = Fake::where(at, u"K", u"V");
    if (!row.before.empty()) store.values[where] = row.before;
    if (row.status) store.failure[row.failing] = row.status;
    twRegistry reg(windows);
    Variant v = u"old";
    Boolean result = false;
    std::int32_t error = 0;
    try {
        if (!row.get)
            result = reg.SaveSetting(root, u"K", u"v", row.value, row.asText);
        else if (row.value == NoDefault)
            result = reg.GetSetting(root, u"K", u"v", v, row.asText);
        else
            result = reg.GetSetting(root, u"K", u"v", v, row.asText, row.value);
    } catch (const Error& e) {
        error = e.number();
    }
    EXPECT_EQ(error, row.error);
    EXPECT_EQ(result, row.result);
    EXPECT_EQ(v, row.read);
    EXPECT_EQ(v.kind(), row.read.kind());
    EXPECT_EQ(store.values.count(where) ? store.values[where] : none, row.after);
    EXPECT_EQ(store.values.size(), row.after.empty() ? 0u : 1u);
    EXPECT_TRUE(store.open.empty()) << "every key opened is closed";
}

TEST(Registry, EachCallAsTheRegistryKeepsIt) {
    for (const Row& row : rows) run(row, u"HKEY_CURRENT_USER", registry_roots::CurrentUser);
    // Root names match in any case, and only the four names do.
    const std::pair<String, std::uint32_t> roots[] = {{u"HKEY_CLASSES_ROOT", 0x80000000},
                                                      {u"hkey_current_user", 0x80000001},
                                                      {u"Hkey_Local_Machine", 0x80000002},
                                                      {u"HKEY_USERS", 0x80000003},
                                                      {u"HKCU", 0},
                                                      {u"", 0},
                                                      {u" HKEY_CURRENT_USER", 0},
                                                      {u"HKEY_CURRENT_USER\\K", 0}};
    for (const auto& [root, at] : roots) {
        run({"save", false, 7, false, none, at ? seven : none, at != 0}, root, at);
        run({"get", true, 7, false, none, at ? seven : none, at != 0, at ? 7 : Variant(u"old")},
            root, at);
    }
}

}  // namespace
}  // namespace tarnwick
