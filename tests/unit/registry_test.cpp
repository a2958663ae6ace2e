// twRegistry against an in-memory registry: root names, what each value
// becomes in the registry, the reading and default rules, and failures.
// A stored value is written as its kind (one byte) and its data; "" is none.
#include <gtest/gtest.h>

#include "support/fake_platform.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using Fake = testing::FakeRegistry;
using namespace std::string_literals;

constexpr std::uint32_t HKCU = registry_roots::CurrentUser;
const String Key = u"Software\\Tarnwick";
const Variant NoDefault = u"--DONT-SET--", NotFound = u"--NOT-FOUND--";

template <typename Call>
std::int32_t errorOf(Call call) {
    try {
        call();
    } catch (const Error& e) {
        return e.number();
    }
    return 0;
}

class Registry : public ::testing::Test {
  protected:
    testing::FakePlatform windows;
    Fake& store = windows.registry;
    twRegistry reg{windows};
    std::string stored(std::uint32_t root = HKCU) {
        const auto it = store.values.find({root, Fake::fold(Key), u"V"});
        return it == store.values.end() ? "" : it->second;
    }
    void TearDown() override { EXPECT_EQ(store.openKeys(), 0u) << "every key opened is closed"; }
};

TEST_F(Registry, RootNamesMatchInAnyCaseAgainstExactlyFourNames) {
    const struct {
        String name;
        std::uint32_t root;  // 0: none
    } rows[] = {{u"HKEY_CLASSES_ROOT", 0x80000000u},
                {u"HKEY_CURRENT_USER", 0x80000001u},
                {u"HKEY_LOCAL_MACHINE", 0x80000002u},
                {u"HKEY_USERS", 0x80000003u},
                {u"hkey_current_user", 0x80000001u},
                {u"Hkey_Local_Machine", 0x80000002u},
                {u"HKCU", 0},
                {u"", 0},
                {u" HKEY_CURRENT_USER", 0},
                {u"HKEY_CURRENT_USER\\x", 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(toUtf8(row.name));
        store.values.clear();
        // Not even a conversion is tried for an unknown root.
        EXPECT_EQ(reg.SaveSetting(row.name, Key, u"v", u"7", false), row.root != 0);
        Variant v = u"caller's";
        EXPECT_EQ(reg.GetSetting(row.name, Key, u"v", v, true, u"d"), row.root != 0);
        EXPECT_EQ(v, row.root ? Variant(7) : Variant(u"caller's"));
        EXPECT_EQ(store.values.size(), row.root ? 1u : 0u);
        EXPECT_EQ(stored(row.root), row.root ? "\4\7\0\0\0"s : "");
    }
}

TEST_F(Registry, SaveSettingStoresTextWithOneNulAndNumbersAsFourLittleEndianBytes) {
    const String wide = u"Gr\u00f6\u00dfe \u2603";  // 7 characters, 11 bytes
    const struct {
        const char* name;
        Variant value;
        Boolean text;
        std::string stored;  // "" when the call raises
        std::int32_t error = 0;
    } rows[] = {
        {"text", u"abc", true, "\1abc\0"s},
        {"wide text, sized in bytes", wide, true, '\1' + toUtf8(wide) + '\0'},
        {"empty text", u"", true, "\1\0"s},
        {"42 as text", 42, true, "\00142\0"s},
        {"True as text", Boolean(true), true, "\1True\0"s},
        {"only exactly true chooses text", u"12", Boolean::fromRaw(1), "\4\x0c\0\0\0"s},
        {"-2", -2, false, "\4\xfe\xff\xff\xff"s},
        {"0x12345678", 0x12345678, false, "\4\x78\x56\x34\x12"s},
        {"no number", u"abc", false, "", errors::TypeMismatch},
        {"too large", 3e9, false, "", errors::Overflow},
        {"Null", Variant::null(), false, "", errors::InvalidUseOfNull},
        {"Null as text", Variant::null(), true, "", errors::InvalidUseOfNull},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        store.values.clear();
        Boolean saved = false;
        EXPECT_EQ(errorOf([&] {
                      saved = reg.SaveSetting(u"HKEY_CURRENT_USER", Key, u"v", row.value, row.text);
                  }),
                  row.error);
        EXPECT_EQ(saved, row.error == 0);
        EXPECT_EQ(stored(), row.stored);
    }
}

TEST_F(Registry, GetSettingReadsTextAndNumbersAndWritesOnlyARealDefault) {
    const std::string text = "\1abc\0"s, seven = "\4\7\0\0\0"s, none;
    const struct {
        const char* name;
        std::string before;
        Boolean asText;
        Variant fallback;
        bool result;
        Variant read;  // it was "old" before the call
        std::string after;
        Fake::Operation failing = Fake::Create;
        std::int32_t status = 0;  // of the failing operation; 0: none fails
        std::int32_t error = 0;   // raised
    } rows[] = {
        {"text", text, false, NoDefault, true, u"abc", text},
        {"a number, whatever kind is asked", "\4\xff\xff\xff\xff"s, true, NoDefault, true, -1,
         "\4\xff\xff\xff\xff"s},
        {"missing", none, true, NoDefault, true, NotFound, none},
        {"three letters", none, true, u"abc", true, u"abc", text},
        {"number default", none, false, 7, true, 7, seven},
        {"marker in another case", none, true, u"--dont-set--", true, u"--dont-set--",
         "\1--dont-set--\0"s},
        {"Empty default", none, true, Variant(), true, u"", "\1\0"s},
        {"zero default", none, false, 0, true, 0, "\4\0\0\0\0"s},
        {"present: default ignored", text, true, u"xyz", true, u"abc", text},
        {"empty text", "\1\0"s, true, u"d", true, u"", "\1\0"s},
        {"text of no bytes", "\1", true, u"d", true, u"", "\1"},
        {"text without its NUL", "\1abc", true, NoDefault, true, u"abc", "\1abc"},
        {"inner NUL", "\1a\0b\0"s, true, NoDefault, true, String(u"a\0b", 3), "\1a\0b\0"s},
        {"short number", "\4\x34\x12"s, false, NoDefault, true, 0x1234, "\4\x34\x12"s},
        {"long number", "\004123456", false, NoDefault, true, NotFound, "\004123456"},
        {"long number, default", "\004123456", false, 7, true, 7, seven},
        {"other kind", "\3\1\2"s, true, NoDefault, true, NotFound, "\3\1\2"s},
        {"other kind, default", "\2%P%\0"s, false, 7, true, 7, seven},
        {"kind 0, default", "\0x"s, true, u"abc", true, u"abc", text},
        {"key cannot open", text, true, u"d", false, u"old", text, Fake::Create, 5},
        {"default cannot be written", none, true, u"d", false, u"old", none, Fake::Set, 5},
        {"size unreadable", seven, true, 9, false, u"old", seven, Fake::Info, 5},
        {"number unreadable", seven, false, 9, false, u"old", seven, Fake::Data, 1016},
        {"text unreadable", text, true, u"d", false, Variant(), text, Fake::Data, 1016},
        {"default no number", none, false, u"abc", false, u"old", none, Fake::Set, 0, 13},
        {"default too large", none, false, 1e10, false, u"old", none, Fake::Set, 0, 6},
        {"default Null", none, true, Variant::null(), false, u"old", none, Fake::Set, 0, 94},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        store.values.clear();
        if (!row.before.empty()) store.values[{HKCU, Fake::fold(Key), u"V"}] = row.before;
        if (row.status) store.failure[row.failing] = row.status;
        Variant v = u"old";
        Boolean result = false;
        EXPECT_EQ(errorOf([&] {
                      result = reg.GetSetting(u"HKEY_CURRENT_USER", Key, u"v", v, row.asText,
                                              row.fallback);
                  }),
                  row.error);
        EXPECT_EQ(result, row.result);
        store.failure[row.failing].reset();
        EXPECT_EQ(v, row.read);
        EXPECT_EQ(v.kind(), row.read.kind());
        EXPECT_EQ(stored(), row.after);
    }
}

}  // namespace
}  // namespace tarnwick
