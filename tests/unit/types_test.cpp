// The value types: UTF conversion, booleans, errors, variant conversions
// and addition, enumerations and the change list.
#include <gtest/gtest.h>

#include <limits>

#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

TEST(Utf, RoundTripsTextAndKeepsInvalidBytes) {
    const std::string text = "Gr\xC3\xBC\xC3\x9F \xF0\x9F\x8E\xAE";  // "Grüß 🎮"
    const String wide = fromUtf8(text);
    EXPECT_EQ(wide, u"Gr\u00FC\u00DF \U0001F3AE");
    EXPECT_EQ(toUtf8(wide), text);

    // A file name that is not UTF-8 comes back byte for byte.
    const std::string raw = "a\xFF\xC0\x80z\xED\xA0\x80";
    const String kept = fromUtf8(raw);
    EXPECT_EQ(kept.size(), 8u);
    EXPECT_EQ(toUtf8(kept), raw);

    // A lone surrogate that stands for no byte becomes U+FFFD.
    EXPECT_EQ(toUtf8(String(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(BooleanValue, KeepsRawValueAndTestsBothWays) {
    EXPECT_EQ(Boolean(true).raw(), -1);
    EXPECT_EQ(Boolean(false).raw(), 0);
    const Boolean one = Boolean::fromRaw(1);
    EXPECT_TRUE(static_cast<bool>(one));
    EXPECT_FALSE(one.isExactlyTrue());
    EXPECT_TRUE(Boolean(true).isExactlyTrue());
    EXPECT_FALSE(static_cast<bool>(Boolean::fromRaw(0)));
}

TEST(ErrorValue, CarriesNumberAndStandardDescription) {
    const Error overflow(6);
    EXPECT_EQ(overflow.number(), 6);
    EXPECT_EQ(overflow.description(), u"Overflow");
    EXPECT_STREQ(overflow.what(), "Overflow");
    EXPECT_EQ(Error(75).description(), u"Path/File access error");
    EXPECT_EQ(Error(94).description(), u"Invalid use of Null");
    EXPECT_EQ(Error(-5, u"own").description(), u"own");
    // The runtime's own texts: they reach the user inside the launchers'
    // "Error <n>: <description>" messages.
    const std::pair<std::int32_t, const char16_t*> texts[] = {
        {5, u"Invalid procedure call or argument"},
        {7, u"Out of memory"},
        {9, u"Subscript out of range"},
        {13, u"Type mismatch"},
        {52, u"Bad file name or number"},
        {53, u"File not found"},
        {57, u"Device I/O error"},
        {61, u"Disk full"},
        {62, u"Input past end of file"},
        {67, u"Too many files"},
        {68, u"Device unavailable"},
        {70, u"Permission denied"},
        {71, u"Disk not ready"},
        {76, u"Path not found"},
        {1000, u"Application-defined or object-defined error"}};
    for (const auto& [number, text] : texts) EXPECT_EQ(Error(number).description(), text) << number;
}

TEST(VariantValue, KindsAndTextForms) {
    EXPECT_EQ(Variant().kind(), Variant::Kind::Empty);
    EXPECT_EQ(Variant::null().kind(), Variant::Kind::Null);
    EXPECT_EQ(Variant(std::int16_t(3)).kind(), Variant::Kind::Integer);
    EXPECT_EQ(Variant(std::int32_t(3)).kind(), Variant::Kind::Long);
    EXPECT_EQ(Variant(u"x").kind(), Variant::Kind::String);

    EXPECT_EQ(Variant().toString(), u"");
    EXPECT_EQ(Variant(Boolean(true)).toString(), u"True");
    EXPECT_EQ(Variant(Boolean(false)).toString(), u"False");
    // Text takes the exponent letters of both number kinds, in either case.
    EXPECT_EQ(Variant(u"1E2").toDouble(), 100.0);
    EXPECT_EQ(Variant(u"1d2").toDouble(), 100.0);
    EXPECT_EQ(Variant(u"25D-1").toDouble(), 2.5);
    EXPECT_EQ(Variant(std::int32_t(-42)).toString(), u"-42");
    EXPECT_EQ(Variant(5000000000.0).toString(), u"5000000000");
    EXPECT_EQ(Variant(2.5).toString(), u"2.5");
    try {
        Variant::null().toString();
        FAIL() << "Null has no text";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 94);
    }
}

int errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.number();
    }
    return 0;
}

TEST(VariantValue, ConvertsToNumbersByTheRuntimeRules) {
    EXPECT_EQ(Variant(u" 42 ").toLong(), 42);
    EXPECT_EQ(Variant(u"-7").toLong(), -7);
    EXPECT_EQ(Variant(u"2.5").toLong(), 2);  // half to even
    EXPECT_EQ(Variant(u"3.5").toLong(), 4);
    EXPECT_EQ(Variant(u"1e3").toLong(), 1000);
    EXPECT_EQ(Variant(u"&HFF").toLong(), 255);
    EXPECT_EQ(Variant(u"&HFFFFFFFF").toLong(), -1);
    EXPECT_EQ(Variant().toLong(), 0);
    EXPECT_EQ(Variant(Boolean(true)).toLong(), -1);
    EXPECT_EQ(Variant(u"2147483647").toLong(), 2147483647);

    EXPECT_EQ(errorOf([] { Variant(u"").toLong(); }), 13);
    EXPECT_EQ(errorOf([] { Variant(u"abc").toLong(); }), 13);
    EXPECT_EQ(errorOf([] { Variant(u"12abc").toLong(); }), 13);
    EXPECT_EQ(errorOf([] { Variant(u"inf").toLong(); }), 13);
    EXPECT_EQ(errorOf([] { Variant(u"0x10").toLong(); }), 13);
    EXPECT_EQ(errorOf([] { Variant(u"1e").toLong(); }), 13);
    EXPECT_EQ(errorOf([] { Variant(u"2147483648").toLong(); }), 6);
    EXPECT_EQ(errorOf([] { Variant(u"1e400").toDouble(); }), 6);
    EXPECT_EQ(errorOf([] { Variant::null().toLong(); }), 94);
    EXPECT_EQ(errorOf([] { Variant(std::int32_t(40000)).toInteger(); }), 6);
    EXPECT_EQ(Variant(std::int32_t(-32768)).toInteger(), -32768);
}

TEST(VariantValue, AdditionWidensAsTheRuntimeDoes) {
    const Variant zero = Variant() + Variant();
    EXPECT_EQ(zero.kind(), Variant::Kind::Integer);
    EXPECT_EQ(zero.asInteger(), 0);

    const Variant small = Variant(std::int16_t(32000)) + Variant(std::int16_t(767));
    EXPECT_EQ(small.kind(), Variant::Kind::Integer);
    const Variant widened = Variant(std::int16_t(32767)) + Variant(std::int16_t(1));
    EXPECT_EQ(widened.kind(), Variant::Kind::Long);
    EXPECT_EQ(widened.asLong(), 32768);

    Variant total;
    total += Variant(std::int32_t(std::numeric_limits<std::int32_t>::max()));
    total += Variant(std::int32_t(1));
    EXPECT_EQ(total.kind(), Variant::Kind::Double);
    EXPECT_EQ(total.asDouble(), 2147483648.0);

    const Variant big = Variant(std::int32_t(2000000000)) + Variant(std::int32_t(2000000000)) +
                        Variant(std::int32_t(1000000000));
    EXPECT_EQ(big.asDouble(), 5000000000.0);

    EXPECT_TRUE((Variant::null() + Variant(std::int16_t(1))).isNull());
    EXPECT_EQ((Variant(u"a") + Variant(u"b")).asString(), u"ab");
    EXPECT_EQ((Variant(u"1") + Variant(std::int16_t(2))).asDouble(), 3.0);
}

TEST(Enumerations, HaveTheInterfaceValues) {
    static_assert(eCCS109_KeySet1 == eCCS109_PCJoystick1);
    static_assert(eCCS109_KeySet2 == eCCS109_PCJoystick2);
    static_assert(eCCS109_KeySet3 == 2);
    static_assert(eCCS20_PCMouse == -1);
    static_assert(eCCS20_KeySet3 == 4);
    static_assert(eVICE_PCJoystick2 == 5);
    static_assert(AnalogueJoystick == 2);
    static_assert(SelectPort2 == 1);
    static_assert(sizeof(CCS64v20ControlModeEnum) == 4);
    // Any 32-bit value may arrive, not only the members.
    const auto odd = static_cast<CB64ControlsEnum>(-123456);
    EXPECT_EQ(static_cast<std::int32_t>(odd), -123456);
}

TEST(ChangeList, ExpressesWhatTheAutomationArrayCan) {
    const ConfigFileArray none;
    EXPECT_FALSE(none.exists());
    EXPECT_TRUE(none.items().empty());

    const ConfigFileArray empty(std::vector<ConfigFileType>{});
    EXPECT_TRUE(empty.exists());
    EXPECT_EQ(empty.lowerBound(), 0);

    const ConfigFileArray shifted({{u"$A", u"1"}}, 1);
    EXPECT_EQ(shifted.lowerBound(), 1);
    EXPECT_EQ(shifted.items().at(0).KeyToChange, u"$A");

    // A change list built element by element comes into being with its
    // first element.
    ConfigFileArray built;
    built.items().push_back({u"$B", u"2"});
    EXPECT_TRUE(built.exists());
    EXPECT_EQ(built.items().size(), 1u);
}

TEST(VariantValue, ReadingAValueAsAnotherKindIsATypeMismatch) {
    const Variant integer(std::int16_t(1)), text(u"1"), empty;
    EXPECT_EQ(errorOf([&] { integer.asString(); }), 13);
    EXPECT_EQ(errorOf([&] { text.asInteger(); }), 13);
    EXPECT_EQ(errorOf([&] { text.asLong(); }), 13);
    EXPECT_EQ(errorOf([&] { text.asDouble(); }), 13);
    EXPECT_EQ(errorOf([&] { empty.asBoolean(); }), 13);
    EXPECT_EQ(integer.asInteger(), 1);
}

}  // namespace
}  // namespace tarnwick
