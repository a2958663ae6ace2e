// twRegistry and its steps against an in-memory registry: root names, the
// two kinds, the default rules, other kinds, failures and conversions.
#include <gtest/gtest.h>

#include "registry/registry_steps.h"
#include "support/fake_platform.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using testing::FakePlatform;
using testing::FakeRegistry;
using namespace std::string_literals;

constexpr std::uint32_t HKCU = registry_roots::CurrentUser;
const String Key = u"Software\\Tarnwick";

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (const int v : values) out += static_cast<char>(v);
    return out;
}

// The error a call raises, or 0 when it raised none.
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
    FakePlatform windows;
    FakeRegistry& store = windows.registry;
    twRegistry reg{windows};

    const FakeRegistry::Value* stored(const String& name, const String& key = Key) {
        return store.find(HKCU, key, name);
    }
    // Opens the test key directly, for the steps that take an open key.
    RegistryKey openKey() {
        windows.createKey(HKCU, Key, key_access::Settings, lastKey_);
        return lastKey_;
    }
    RegistryKey lastKey_ = 0;
    void TearDown() override { EXPECT_EQ(store.openKeys(), 0u) << "every key opened is closed"; }
};

// ---------------------------------------------------------------- roots

TEST_F(Registry, RootNamesMatchInAnyCaseAgainstExactlyFourNames) {
    using registry_steps::RootKeyFromName;
    EXPECT_EQ(RootKeyFromName(windows, u"HKEY_CLASSES_ROOT"), 0x80000000u);
    EXPECT_EQ(RootKeyFromName(windows, u"HKEY_CURRENT_USER"), 0x80000001u);
    EXPECT_EQ(RootKeyFromName(windows, u"HKEY_LOCAL_MACHINE"), 0x80000002u);
    EXPECT_EQ(RootKeyFromName(windows, u"HKEY_USERS"), 0x80000003u);
    EXPECT_EQ(RootKeyFromName(windows, u"hkey_current_user"), 0x80000001u);
    EXPECT_EQ(RootKeyFromName(windows, u"Hkey_Local_Machine"), 0x80000002u);
    for (const char16_t* none :
         {u"HKCU", u"HKLM", u"", u" HKEY_CURRENT_USER", u"HKEY_CURRENT_USER ",
          u"HKEY_CURRENT_CONFIG", u"HKEY_USER", u"HKEY_CURRENT_USER\\x"})
        EXPECT_EQ(RootKeyFromName(windows, none), 0u) << toUtf8(none);
}

TEST_F(Registry, MixedCaseRootSelectsTheSameRootAsUpperCase) {
    EXPECT_TRUE(static_cast<bool>(reg.SaveSetting(u"hKeY_cUrReNt_UsEr", Key, u"A", u"x", true)));
    EXPECT_TRUE(store.called("createKey 80000001 Software\\Tarnwick 63"));
    ASSERT_NE(stored(u"A"), nullptr);
    Variant v;
    EXPECT_TRUE(static_cast<bool>(reg.GetSetting(u"HKEY_CURRENT_USER", Key, u"A", v, true)));
    EXPECT_EQ(v, Variant(u"x"));
    EXPECT_TRUE(static_cast<bool>(reg.SaveSetting(u"hkey_users", Key, u"A", u"y", true)));
    EXPECT_NE(store.find(registry_roots::Users, Key, u"A"), nullptr);
    EXPECT_EQ(stored(u"A")->data, "x\0"s) << "each root has its own keys";
}

TEST_F(Registry, AnAbbreviatedRootIsRefusedWithoutTouchingTheRegistry) {
    Variant v = u"caller's";
    EXPECT_FALSE(static_cast<bool>(reg.SaveSetting(u"HKCU", Key, u"A", u"x", true)));
    EXPECT_FALSE(static_cast<bool>(reg.GetSetting(u"HKCU", Key, u"A", v, true, u"d")));
    EXPECT_FALSE(static_cast<bool>(reg.GetSetting(u"", Key, u"A", v, true)));
    EXPECT_TRUE(store.calls.empty());
    EXPECT_EQ(v, Variant(u"caller's"));
    // Not even a conversion is attempted for an unknown root.
    EXPECT_FALSE(static_cast<bool>(reg.SaveSetting(u"HKCU", Key, u"A", u"not a number", false)));
}

// ---------------------------------------------------------------- saving

TEST_F(Registry, SaveSettingWritesTextWithItsTerminatorAndSizeInBytes) {
    EXPECT_TRUE(
        static_cast<bool>(reg.SaveSetting(u"HKEY_CURRENT_USER", Key, u"Name", u"abc", true)));
    ASSERT_NE(stored(u"Name"), nullptr);
    EXPECT_EQ(stored(u"Name")->kind, 1u);
    EXPECT_EQ(stored(u"Name")->data, "abc\0"s);
    EXPECT_EQ(store.calls, (std::vector<std::string>{"createKey 80000001 Software\\Tarnwick 63",
                                                     "setValue Name kind 1 size 4", "closeKey"}));

    // Text whose encoded form is longer than its characters is stored whole.
    const String wide = u"Gr\u00f6\u00dfe \u2603";  // 7 characters, 11 bytes in UTF-8
    EXPECT_TRUE(static_cast<bool>(reg.SaveSetting(u"HKEY_CURRENT_USER", Key, u"Wide", wide, true)));
    EXPECT_EQ(stored(u"Wide")->data, windows.toAnsi(wide) + '\0');
    EXPECT_EQ(stored(u"Wide")->data.size(), 12u);
    Variant back;
    EXPECT_TRUE(static_cast<bool>(reg.GetSetting(u"HKEY_CURRENT_USER", Key, u"Wide", back, true)));
    EXPECT_EQ(back, Variant(wide));
}

TEST_F(Registry, SaveSettingWritesNumbersAsFourLittleEndianBytes) {
    const auto save = [&](const Variant& v) {
        return static_cast<bool>(reg.SaveSetting(u"HKEY_CURRENT_USER", Key, u"N", v, false));
    };
    EXPECT_TRUE(save(std::int32_t{7}));
    EXPECT_EQ(stored(u"N")->kind, 4u);
    EXPECT_EQ(stored(u"N")->data, bytes({7, 0, 0, 0}));
    EXPECT_TRUE(save(std::int32_t{-2}));
    EXPECT_EQ(stored(u"N")->data, bytes({0xFE, 0xFF, 0xFF, 0xFF}));
    EXPECT_TRUE(save(std::int32_t{0x12345678}));
    EXPECT_EQ(stored(u"N")->data, bytes({0x78, 0x56, 0x34, 0x12}));
    // Every kind of variant goes through the runtime's conversion.
    EXPECT_TRUE(save(u" 42 "));
    EXPECT_EQ(stored(u"N")->data, bytes({42, 0, 0, 0}));
    EXPECT_TRUE(save(u"&H100"));
    EXPECT_EQ(stored(u"N")->data, bytes({0, 1, 0, 0}));
    EXPECT_TRUE(save(2.5));  // half to even
    EXPECT_EQ(stored(u"N")->data, bytes({2, 0, 0, 0}));
    EXPECT_TRUE(save(Boolean(true)));
    EXPECT_EQ(stored(u"N")->data, bytes({0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_TRUE(save(Variant()));
    EXPECT_EQ(stored(u"N")->data, bytes({0, 0, 0, 0}));
    EXPECT_TRUE(save(std::int16_t{-1}));
    EXPECT_EQ(stored(u"N")->data, bytes({0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST_F(Registry, OnlyExactlyTrueChoosesText) {
    EXPECT_TRUE(static_cast<bool>(
        reg.SaveSetting(u"HKEY_CURRENT_USER", Key, u"N", u"12", Boolean::fromRaw(1))));
    EXPECT_EQ(stored(u"N")->kind, 4u);
    EXPECT_EQ(stored(u"N")->data, bytes({12, 0, 0, 0}));
    EXPECT_TRUE(static_cast<bool>(
        reg.SaveSetting(u"HKEY_CURRENT_USER", Key, u"N", u"12", Boolean::fromRaw(-1))));
    EXPECT_EQ(stored(u"N")->kind, 1u);
}

TEST_F(Registry, NumberFortyTwoSavedAsTextReadsBackAsText) {
    EXPECT_TRUE(static_cast<bool>(
        reg.SaveSetting(u"HKEY_CURRENT_USER", Key, u"N", std::int32_t{42}, true)));
    EXPECT_EQ(stored(u"N")->data, "42\0"s);
    Variant v;
    EXPECT_TRUE(static_cast<bool>(reg.GetSetting(u"HKEY_CURRENT_USER", Key, u"N", v, false)));
    EXPECT_EQ(v.kind(), Variant::Kind::String);
    EXPECT_EQ(v, Variant(u"42"));
    // The other variants' text forms.
    reg.SaveSetting(u"HKEY_CURRENT_USER", Key, u"T", Boolean(true), true);
    EXPECT_EQ(stored(u"T")->data, "True\0"s);
    reg.SaveSetting(u"HKEY_CURRENT_USER", Key, u"T", 1.5, true);
    EXPECT_EQ(stored(u"T")->data, "1.5\0"s);
    reg.SaveSetting(u"HKEY_CURRENT_USER", Key, u"T", Variant(), true);
    EXPECT_EQ(stored(u"T")->data, "\0"s);
}

TEST_F(Registry, ValuesThatAreNoNumberRaiseAndWriteNothing) {
    const auto save = [&](const Variant& v) {
        return errorOf([&] { reg.SaveSetting(u"HKEY_CURRENT_USER", Key, u"N", v, false); });
    };
    EXPECT_EQ(save(u"abc"), 13);
    EXPECT_EQ(save(u""), 13);
    EXPECT_EQ(save(3e9), 6);
    EXPECT_EQ(save(u"2147483648"), 6);
    EXPECT_EQ(save(Variant::null()), 94);
    EXPECT_EQ(
        errorOf([&] { reg.SaveSetting(u"HKEY_CURRENT_USER", Key, u"N", Variant::null(), true); }),
        94);
    EXPECT_EQ(stored(u"N"), nullptr);
    EXPECT_FALSE(store.called("setValue"));
    // The limits themselves are numbers.
    EXPECT_EQ(save(u"2147483647"), 0);
    EXPECT_EQ(stored(u"N")->data, bytes({0xFF, 0xFF, 0xFF, 0x7F}));
    EXPECT_EQ(save(-2147483648.0), 0);
    EXPECT_EQ(stored(u"N")->data, bytes({0, 0, 0, 0x80}));
}

TEST_F(Registry, SaveSettingFailsWhenTheKeyOrTheWriteFails) {
    store.createFailure = registry_status::AccessDenied;
    EXPECT_FALSE(static_cast<bool>(reg.SaveSetting(u"HKEY_LOCAL_MACHINE", Key, u"A", u"x", true)));
    EXPECT_FALSE(store.called("setValue"));
    EXPECT_FALSE(store.called("closeKey")) << "a key that did not open is not closed";
    store.createFailure.reset();

    store.setFailure = registry_status::AccessDenied;
    EXPECT_FALSE(static_cast<bool>(reg.SaveSetting(u"HKEY_CURRENT_USER", Key, u"A", u"x", true)));
    EXPECT_EQ(store.calls.back(), "closeKey");
    store.setFailure.reset();

    // A key path the registry refuses.
    EXPECT_FALSE(
        static_cast<bool>(reg.SaveSetting(u"HKEY_CURRENT_USER", u"\\Software", u"A", u"x", true)));
}

TEST_F(Registry, SaveSettingCreatesEveryMissingPartOfTheKeyPath) {
    EXPECT_TRUE(static_cast<bool>(
        reg.SaveSetting(u"HKEY_CURRENT_USER", u"Software\\Tarnwick\\Deep\\Er", u"A", u"x", true)));
    EXPECT_TRUE(store.keyExists(HKCU, u"Software"));
    EXPECT_TRUE(store.keyExists(HKCU, u"Software\\Tarnwick"));
    EXPECT_TRUE(store.keyExists(HKCU, u"Software\\Tarnwick\\Deep"));
    EXPECT_TRUE(store.keyExists(HKCU, u"SOFTWARE\\TARNWICK\\DEEP\\ER"));
    // An empty key path names the root itself.
    EXPECT_TRUE(static_cast<bool>(reg.SaveSetting(u"HKEY_CURRENT_USER", u"", u"A", u"top", true)));
    EXPECT_EQ(store.find(HKCU, u"", u"A")->data, "top\0"s);
}

// ---------------------------------------------------------------- reading

TEST_F(Registry, GetSettingReadsTextAndNumbers) {
    store.store(HKCU, Key, u"Path", 1, "C:\\Games\0"s);
    store.store(HKCU, Key, u"Count", 4, bytes({0xFF, 0xFF, 0xFF, 0xFF}));
    Variant v;
    EXPECT_TRUE(static_cast<bool>(reg.GetSetting(u"HKEY_CURRENT_USER", Key, u"Path", v, true)));
    EXPECT_EQ(v, Variant(u"C:\\Games"));
    EXPECT_EQ(store.calls, (std::vector<std::string>{"createKey 80000001 Software\\Tarnwick 63",
                                                     "queryValueInfo Path",
                                                     "queryValueData Path room 9", "closeKey"}));
    // The kind stored decides, not bStringType.
    EXPECT_TRUE(static_cast<bool>(reg.GetSetting(u"HKEY_CURRENT_USER", Key, u"Count", v, true)));
    EXPECT_EQ(v, Variant(std::int32_t{-1}));
    EXPECT_EQ(v.kind(), Variant::Kind::Long);
    EXPECT_TRUE(static_cast<bool>(reg.GetSetting(u"HKEY_CURRENT_USER", Key, u"Path", v, false)));
    EXPECT_EQ(v, Variant(u"C:\\Games"));
    EXPECT_FALSE(store.called("setValue"));
}

TEST_F(Registry, KeyAndValueNamesIgnoreCaseAndKeepTheirFirstCase) {
    reg.SaveSetting(u"HKEY_CURRENT_USER", u"Software\\Tarnwick", u"Volume", u"1", true);
    reg.SaveSetting(u"HKEY_CURRENT_USER", u"SOFTWARE\\TARNWICK\\Sub", u"VOLUME", u"2", true);
    reg.SaveSetting(u"HKEY_CURRENT_USER", u"software\\tarnwick", u"VOLUME", u"3", true);
    Variant v;
    EXPECT_TRUE(static_cast<bool>(
        reg.GetSetting(u"HKEY_CURRENT_USER", u"sOfTwArE\\TarnWick", u"volume", v, true)));
    EXPECT_EQ(v, Variant(u"3"));
    EXPECT_EQ(stored(u"volume")->name, u"Volume");
    EXPECT_EQ(store.keyName(HKCU, u"software\\tarnwick\\sub"), u"Software\\Tarnwick\\Sub");
}

TEST_F(Registry, StoredEmptyStringReadsBackAsEmpty) {
    EXPECT_TRUE(static_cast<bool>(reg.SaveSetting(u"HKEY_CURRENT_USER", Key, u"E", u"", true)));
    EXPECT_EQ(stored(u"E")->data, "\0"s);
    Variant v = u"old";
    EXPECT_TRUE(static_cast<bool>(reg.GetSetting(u"HKEY_CURRENT_USER", Key, u"E", v, true, u"d")));
    EXPECT_EQ(v, Variant(u""));
    EXPECT_EQ(v.kind(), Variant::Kind::String);
}

TEST_F(Registry, StringOfNoBytesAtAllReadsAsEmptyNotAsTheCallersOldValue) {
    store.store(HKCU, Key, u"Z", 1, "");
    Variant v = u"caller's old value";
    EXPECT_TRUE(static_cast<bool>(reg.GetSetting(u"HKEY_CURRENT_USER", Key, u"Z", v, true, u"d")));
    EXPECT_EQ(v, Variant(u""));
    EXPECT_EQ(stored(u"Z")->data, "") << "the default is not written over it";
    EXPECT_EQ(registry_steps::QueryValue(windows, 0, u"Z", v), registry_status::InvalidHandle);
}

TEST_F(Registry, StringsAreTheirBytesWithoutOneTerminator) {
    store.store(HKCU, Key, u"Bare", 1, "abc");  // written by another program, no terminator
    store.store(HKCU, Key, u"Inner", 1, "a\0b\0"s);
    store.store(HKCU, Key, u"Two", 1, "ab\0\0"s);
    Variant v;
    reg.GetSetting(u"HKEY_CURRENT_USER", Key, u"Bare", v, true);
    EXPECT_EQ(v, Variant(u"abc"));
    reg.GetSetting(u"HKEY_CURRENT_USER", Key, u"Inner", v, true);
    EXPECT_EQ(v, Variant(String(u"a\0b", 3)));
    reg.GetSetting(u"HKEY_CURRENT_USER", Key, u"Two", v, true);
    EXPECT_EQ(v, Variant(String(u"ab\0", 3)));
}

TEST_F(Registry, ShortAndLongNumbers) {
    // Fewer than four bytes fill the low ones; more than four do not fit.
    store.store(HKCU, Key, u"Short", 4, bytes({0x34, 0x12}));
    store.store(HKCU, Key, u"Long", 4, bytes({1, 2, 3, 4, 5, 6}));
    Variant v;
    EXPECT_EQ(registry_steps::QueryValue(windows, openKey(), u"Short", v), 0);
    EXPECT_EQ(v, Variant(std::int32_t{0x1234}));
    v = u"before";
    EXPECT_EQ(registry_steps::QueryValue(windows, lastKey_, u"Long", v), registry_status::MoreData);
    EXPECT_EQ(v, Variant(u"before"));
    windows.closeKey(lastKey_);
    // So GetSetting treats it as missing.
    EXPECT_TRUE(static_cast<bool>(reg.GetSetting(u"HKEY_CURRENT_USER", Key, u"Long", v, false)));
    EXPECT_EQ(v, Variant(u"--NOT-FOUND--"));
}

// ---------------------------------------------------------------- defaults

TEST_F(Registry, MissingValueWithoutDefaultIsNotFoundAndWritesNothing) {
    Variant v = u"old";
    EXPECT_TRUE(static_cast<bool>(
        reg.GetSetting(u"HKEY_CURRENT_USER", u"Software\\New\\Path", u"Gone", v, true)));
    EXPECT_EQ(v, Variant(u"--NOT-FOUND--"));
    EXPECT_TRUE(store.keyExists(HKCU, u"Software\\New\\Path")) << "the key path is created";
    EXPECT_FALSE(store.called("setValue"));
    // The marker given explicitly, as a number-kind request too.
    v = Variant();
    EXPECT_TRUE(static_cast<bool>(
        reg.GetSetting(u"HKEY_CURRENT_USER", Key, u"Gone", v, false, u"--DONT-SET--")));
    EXPECT_EQ(v, Variant(u"--NOT-FOUND--"));
    EXPECT_FALSE(store.called("setValue"));
}

TEST_F(Registry, ThreeLetterDefaultIsWrittenWithFourBytesAndReadBack) {
    Variant v;
    EXPECT_TRUE(
        static_cast<bool>(reg.GetSetting(u"HKEY_CURRENT_USER", Key, u"D", v, true, u"abc")));
    EXPECT_EQ(v, Variant(u"abc"));
    EXPECT_EQ(stored(u"D")->kind, 1u);
    EXPECT_EQ(stored(u"D")->data, "abc\0"s);
    EXPECT_EQ(store.calls, (std::vector<std::string>{"createKey 80000001 Software\\Tarnwick 63",
                                                     "queryValueInfo D", "setValue D kind 1 size 4",
                                                     "queryValueInfo D", "queryValueData D room 4",
                                                     "closeKey"}));
    // Once there, the default no longer matters.
    EXPECT_TRUE(
        static_cast<bool>(reg.GetSetting(u"HKEY_CURRENT_USER", Key, u"D", v, true, u"xyz")));
    EXPECT_EQ(v, Variant(u"abc"));
}

TEST_F(Registry, NumberDefaultIsWrittenAsANumber) {
    Variant v;
    EXPECT_TRUE(static_cast<bool>(
        reg.GetSetting(u"HKEY_CURRENT_USER", Key, u"Seven", v, false, std::int32_t{7})));
    EXPECT_EQ(v, Variant(std::int32_t{7}));
    EXPECT_EQ(v.kind(), Variant::Kind::Long);
    EXPECT_EQ(stored(u"Seven")->data, bytes({7, 0, 0, 0}));
    // A numeric default as text; a numeric default with bStringType true.
    EXPECT_TRUE(static_cast<bool>(reg.GetSetting(u"HKEY_CURRENT_USER", Key, u"T", v, false, u"9")));
    EXPECT_EQ(v, Variant(std::int32_t{9}));
    EXPECT_TRUE(static_cast<bool>(
        reg.GetSetting(u"HKEY_CURRENT_USER", Key, u"U", v, true, std::int16_t{5})));
    EXPECT_EQ(v, Variant(u"5"));
}

TEST_F(Registry, OnlyTheExactMarkerTextMeansNoDefault) {
    Variant v;
    // Different case is an ordinary default and is written.
    EXPECT_TRUE(static_cast<bool>(
        reg.GetSetting(u"HKEY_CURRENT_USER", Key, u"A", v, true, u"--dont-set--")));
    EXPECT_EQ(v, Variant(u"--dont-set--"));
    // Empty is a default too: the empty string.
    EXPECT_TRUE(
        static_cast<bool>(reg.GetSetting(u"HKEY_CURRENT_USER", Key, u"B", v, true, Variant())));
    EXPECT_EQ(v, Variant(u""));
    EXPECT_EQ(stored(u"B")->data, "\0"s);
    // A number default is never the marker.
    EXPECT_TRUE(static_cast<bool>(
        reg.GetSetting(u"HKEY_CURRENT_USER", Key, u"C", v, false, std::int32_t{0})));
    EXPECT_EQ(v, Variant(std::int32_t{0}));
}

TEST_F(Registry, DefaultThatIsNoNumberRaisesAndWritesNothing) {
    Variant v = u"old";
    EXPECT_EQ(errorOf([&] { reg.GetSetting(u"HKEY_CURRENT_USER", Key, u"N", v, false, u"abc"); }),
              13);
    EXPECT_EQ(errorOf([&] { reg.GetSetting(u"HKEY_CURRENT_USER", Key, u"N", v, false, 1e10); }), 6);
    EXPECT_EQ(
        errorOf([&] { reg.GetSetting(u"HKEY_CURRENT_USER", Key, u"N", v, true, Variant::null()); }),
        94);
    EXPECT_EQ(stored(u"N"), nullptr);
    EXPECT_FALSE(store.called("setValue"));
    EXPECT_EQ(v, Variant(u"old"));
}

TEST_F(Registry, OtherKindsAreReplacedByADefaultAndLeftAloneWithout) {
    for (const std::uint32_t kind : {value_kinds::ExpandString, value_kinds::Binary,
                                     value_kinds::MultiString, 0u, 11u, 0x12345u}) {
        store.store(HKCU, Key, u"Other", kind, "%PATH%\0"s);
        Variant v = u"old";
        EXPECT_EQ(registry_steps::QueryValue(windows, openKey(), u"Other", v), -1) << kind;
        windows.closeKey(lastKey_);
        EXPECT_EQ(v, Variant(u"old"));

        EXPECT_TRUE(
            static_cast<bool>(reg.GetSetting(u"HKEY_CURRENT_USER", Key, u"Other", v, true)));
        EXPECT_EQ(v, Variant(u"--NOT-FOUND--"));
        EXPECT_EQ(stored(u"Other")->kind, kind) << "left alone without a default";

        EXPECT_TRUE(static_cast<bool>(
            reg.GetSetting(u"HKEY_CURRENT_USER", Key, u"Other", v, false, std::int32_t{3})));
        EXPECT_EQ(v, Variant(std::int32_t{3}));
        EXPECT_EQ(stored(u"Other")->kind, 4u);
        EXPECT_EQ(stored(u"Other")->data, bytes({3, 0, 0, 0}));
    }
}

// ---------------------------------------------------------------- failures

TEST_F(Registry, GetSettingFailsWhenTheKeyCannotBeOpened) {
    store.createFailure = registry_status::AccessDenied;
    Variant v = u"old";
    EXPECT_FALSE(
        static_cast<bool>(reg.GetSetting(u"HKEY_LOCAL_MACHINE", Key, u"A", v, true, u"d")));
    EXPECT_EQ(v, Variant(u"old"));
    EXPECT_FALSE(store.called("queryValue"));
}

TEST_F(Registry, FailedDefaultWriteShowsInTheReadBack) {
    store.setFailure = registry_status::AccessDenied;
    Variant v = u"old";
    EXPECT_FALSE(static_cast<bool>(reg.GetSetting(u"HKEY_CURRENT_USER", Key, u"A", v, true, u"d")));
    EXPECT_EQ(v, Variant(u"old"));
    EXPECT_EQ(store.calls.back(), "closeKey");
}

TEST_F(Registry, FailedReadsAreTrappedAsStatuses) {
    store.store(HKCU, Key, u"S", 1, "text\0"s);
    store.store(HKCU, Key, u"N", 4, bytes({1, 0, 0, 0}));
    // The size query fails: status back, value untouched.
    store.infoFailure = registry_status::AccessDenied;
    Variant v = u"old";
    EXPECT_EQ(registry_steps::QueryValue(windows, openKey(), u"S", v), 5);
    EXPECT_EQ(v, Variant(u"old"));
    store.infoFailure.reset();
    // The data query fails: a string becomes Empty, a number stays.
    store.dataFailure = registry_status::IoFailed;
    EXPECT_EQ(registry_steps::QueryValue(windows, lastKey_, u"S", v), 1016);
    EXPECT_TRUE(v.isEmpty());
    v = u"old";
    EXPECT_EQ(registry_steps::QueryValue(windows, lastKey_, u"N", v), 1016);
    EXPECT_EQ(v, Variant(u"old"));
    windows.closeKey(lastKey_);
    // Through GetSetting a value that is there but cannot be read is a
    // failure, never "not found", and a default is not written over it.
    v = u"old";
    EXPECT_FALSE(static_cast<bool>(reg.GetSetting(u"HKEY_CURRENT_USER", Key, u"N", v, true)));
    EXPECT_EQ(v, Variant(u"old"));
    EXPECT_FALSE(static_cast<bool>(reg.GetSetting(u"HKEY_CURRENT_USER", Key, u"N", v, false, 7)));
    EXPECT_FALSE(store.called("setValue"));
    store.dataFailure.reset();
    ASSERT_TRUE(static_cast<bool>(reg.GetSetting(u"HKEY_CURRENT_USER", Key, u"N", v, false, 7)));
    EXPECT_EQ(v, Variant(1)) << "the stored number survived";
}

TEST_F(Registry, SetValueStepWritesOnlyTheTwoKinds) {
    const RegistryKey key = openKey();
    EXPECT_EQ(registry_steps::SetValue(windows, key, u"X", 3, u"abc"), 0);
    EXPECT_EQ(registry_steps::SetValue(windows, key, u"X", 7, u"abc"), 0);
    EXPECT_FALSE(store.called("setValue"));
    EXPECT_EQ(registry_steps::SetValue(windows, key, u"X", 1, u"abc"), 0);
    EXPECT_EQ(registry_steps::SetValue(windows, 9999, u"X", 1, u"abc"), 6);
    windows.closeKey(key);
}

}  // namespace
}  // namespace tarnwick
