// The value types: UTF conversion, booleans, errors, the variant's
// conversions and addition, enumerations and the change list.
#include <gtest/gtest.h>

#include <functional>
#include <limits>

#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

// The error number a call raises, 0 when it raises none.
int errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.number();
    }
    return 0;
}

TEST(Utf, ConvertsEverySequenceLengthBothWaysAndKeepsInvalidBytes) {
    // clang-format off
    const std::pair<std::string, String> rows[] = {
        {"Az~\x7F", u"Az~\u007F"}, {"\xC2\x80", u"\u0080"}, {"\xC3\x9F\xDF\xBF", u"\u00DF\u07FF"},
        {"\xE0\xA0\x80\xEF\xBF\xBF", u"\u0800\uFFFF"}, {"\xF0\x9F\x8E\xAE", u"\U0001F3AE"},
        {"a\xFF\xC0\x80z\xED\xA0\x80", u"a\xDCFF\xDCC0\xDC80z\xDCED\xDCA0\xDC80"}};  // no UTF-8
    // clang-format on
    for (const auto& [utf8, utf16] : rows) {
        EXPECT_EQ(fromUtf8(utf8), utf16) << utf8;
        EXPECT_EQ(toUtf8(utf16), utf8);
    }
    // A lone surrogate that stands for no byte becomes U+FFFD.
    EXPECT_EQ(toUtf8(String(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(ErrorValue, CarriesTheRuntimesDescriptions) {
    // clang-format off
    const std::pair<std::int32_t, const char16_t*> rows[] = {
        {5, u"Invalid procedure call or argument"}, {6, u"Overflow"}, {7, u"Out of memory"},
        {9, u"Subscript out of range"}, {13, u"Type mismatch"}, {52, u"Bad file name or number"},
        {53, u"File not found"}, {57, u"Device I/O error"}, {61, u"Disk full"},
        {62, u"Input past end of file"}, {67, u"Too many files"}, {68, u"Device unavailable"},
        {70, u"Permission denied"}, {71, u"Disk not ready"}, {75, u"Path/File access error"},
        {76, u"Path not found"}, {94, u"Invalid use of Null"},
        {1000, u"Application-defined or object-defined error"}};
    // clang-format on
    for (const auto& [number, text] : rows) {
        EXPECT_EQ(Error(number).number(), number);
        EXPECT_EQ(Error(number).description(), text) << number;
        EXPECT_EQ(Error(number).what(), toUtf8(text)) << number;
    }
    EXPECT_EQ(Error(-5, u"own").description(), u"own");
}

TEST(VariantValue, ConvertsByTheRuntimeRules) {
    // To a Long: its value, or the error the conversion raises.
    const struct {
        Variant v;
        std::int32_t value;
        int error;
    } rows[] = {// clang-format off
        {u" 42 ", 42, 0}, {u"-2.5", -2, 0}, {u"3.5", 4, 0}, {u"1e3", 1000, 0}, {u"1d2", 100, 0},
        {u"&HFF", 255, 0}, {u"&HFFFFFFFF", -1, 0}, {u"&o17", 15, 0}, {Variant(), 0, 0},
        {Boolean(true), -1, 0}, {u"2147483647", 2147483647, 0}, {u"", 0, 13}, {u"12abc", 0, 13},
        {u"inf", 0, 13}, {u"0x10", 0, 13}, {u"1e", 0, 13}, {u"&O8", 0, 13},
        {u"2147483648", 0, 6}, {u"&H100000000", 0, 6}, {Variant::null(), 0, 94}};
    // clang-format on
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        std::int32_t value = 0;
        EXPECT_EQ(errorOf([&] { value = rows[i].v.toLong(); }), rows[i].error) << "row " << i;
        EXPECT_EQ(value, rows[i].value) << "row " << i;
    }
    EXPECT_EQ(Variant(u"25D-1").toDouble(), 2.5);
    EXPECT_EQ(errorOf([] { Variant(u"1e400").toDouble(); }), 6);
    EXPECT_EQ(Variant(std::int32_t(-32768)).toInteger(), -32768);
    EXPECT_EQ(errorOf([] { Variant(std::int32_t(40000)).toInteger(); }), 6);
    EXPECT_EQ(errorOf([] { Variant::null().toString(); }), 94);
    EXPECT_EQ(errorOf([] { Variant(u"1").asInteger(); }), 13);
    // clang-format off
    const std::pair<Variant, const char16_t*> texts[] = {
        {Variant(), u""}, {Boolean(true), u"True"}, {Boolean(false), u"False"},
        {std::int32_t(-42), u"-42"}, {5000000000.0, u"5000000000"}, {2.5, u"2.5"}};
    // clang-format on
    for (const auto& [value, text] : texts) EXPECT_EQ(value.toString(), text);
}

TEST(VariantValue, AdditionWidensAsTheRuntimeDoes) {
    using V = Variant;
    using I = std::int16_t;
    const std::int32_t most = std::numeric_limits<std::int32_t>::max();
    // clang-format off
    const std::tuple<V, V, V> rows[] = {
        {V(), V(), V(I(0))}, {V(I(32000)), V(I(767)), V(I(32767))},
        {V(I(32767)), V(I(1)), V(std::int32_t(32768))}, {V(most), V(std::int32_t(1)), V(2147483648.0)},
        {V(u"a"), V(u"b"), V(u"ab")}, {V(u"a"), V(), V(u"a")}, {V(), V(u"b"), V(u"b")},
        {V(u"1"), V(I(2)), V(3.0)}, {V::null(), V(I(1)), V::null()}};
    // clang-format on
    for (std::size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ(std::get<0>(rows[i]) + std::get<1>(rows[i]), std::get<2>(rows[i])) << "row " << i;
}

TEST(Interface, BooleansEnumerationsAndTheChangeList) {
    EXPECT_EQ(Boolean(true).raw(), -1);
    EXPECT_TRUE(Boolean::fromRaw(1));
    EXPECT_FALSE(Boolean::fromRaw(1).isExactlyTrue());
    static_assert(eCCS109_KeySet1 == eCCS109_PCJoystick1 && eCCS109_KeySet3 == 2 &&
                  eCCS20_PCMouse == -1 && eCCS20_KeySet3 == 4 && eVICE_PCJoystick2 == 5 &&
                  AnalogueJoystick == 2 && SelectPort2 == 1 && sizeof(CB64ControlsEnum) == 4);
    EXPECT_FALSE(ConfigFileArray().exists());
    EXPECT_TRUE(ConfigFileArray(std::vector<ConfigFileType>{}).exists());
    EXPECT_EQ(ConfigFileArray({{u"$A", u"1"}}, 1).lowerBound(), 1);
    // A change list built element by element comes into being with its first.
    ConfigFileArray built;
    built.items().push_back({u"$B", u"2"});
    EXPECT_TRUE(built.exists());
}

}  // namespace
}  // namespace tarnwick
