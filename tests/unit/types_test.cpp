// The value types: UTF conversion, errors, the variant's conversions and
// addition by the automation runtime's rules, the change list.
#include <gtest/gtest.h>

#include <limits>

#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

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
    EXPECT_EQ(toUtf8(String(1, char16_t(0xD800))), "\xEF\xBF\xBD") << "a lone surrogate";
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
        EXPECT_EQ(Error(number).description(), text) << number;
        EXPECT_EQ(Error(number).what(), toUtf8(text)) << number;
    }
    EXPECT_EQ(Error(-5, u"own").description(), u"own");
}

// A conversion's result as text, or "error N" for the error it raises.
template <typename Convert>
std::string outcome(Convert convert) {
    try {
        return toUtf8(Variant(convert()).toString());
    } catch (const Error& e) {
        return "error " + std::to_string(e.number());
    }
}

TEST(VariantValue, ConvertsAndAddsByTheRuntimeRules) {
    using V = Variant;
    using I = std::int16_t;
    // Each row: the value as a Long, and (where given) as text.
    const std::tuple<V, const char*, const char*> rows[] = {// clang-format off
        {u" 42 ", "42", 0}, {u"-2.5", "-2", 0}, {u"3.5", "4", 0}, {u"1e3", "1000", 0}, {u"1d2", "100", 0},
        {u"25D-1", "2", 0}, {u"&HFF", "255", 0}, {u"&HFFFFFFFF", "-1", 0}, {u"&o17", "15", 0},
        {u"2147483647", "2147483647", 0}, {u"", "error 13", 0}, {u"12abc", "error 13", 0},
        {u"inf", "error 13", 0}, {u"0x10", "error 13", 0}, {u"1e", "error 13", 0}, {u"&O8", "error 13", 0},
        {u"2147483648", "error 6", 0}, {u"&H100000000", "error 6", 0}, {u"1e400", "error 6", 0},
        {V(), "0", ""}, {Boolean(true), "-1", "True"}, {Boolean(false), "0", "False"},
        {std::int32_t(-42), "-42", "-42"}, {5000000000.0, "error 6", "5000000000"}, {2.5, "2", "2.5"},
        {V::null(), "error 94", "error 94"}};
    const std::int32_t most = std::numeric_limits<std::int32_t>::max();
    const std::tuple<V, V, V> sums[] = {
        {V(), V(), V(I(0))}, {V(I(32000)), V(I(767)), V(I(32767))},
        {V(I(32767)), V(I(1)), V(std::int32_t(32768))}, {V(most), V(std::int32_t(1)), V(2147483648.0)}, {V(-most), V(std::int32_t(-1)), V(-most - 1)},
        {V(u"a"), V(u"b"), V(u"ab")}, {V(u"a"), V(), V(u"a")}, {V(), V(u"b"), V(u"b")},
        {V(u"1"), V(I(2)), V(3.0)}, {V::null(), V(I(1)), V::null()}};
    // clang-format on
    for (const auto& row : rows) {
        const V& v = std::get<0>(row);
        const char *asLong = std::get<1>(row), *text = std::get<2>(row);
        EXPECT_EQ(outcome([&] { return v.toLong(); }), asLong) << asLong;
        EXPECT_TRUE(!text || outcome([&] { return v.toString(); }) == text) << text;
    }
    EXPECT_EQ(outcome([] { return V(std::int32_t(-32768)).toInteger(); }), "-32768");
    EXPECT_EQ(outcome([] { return V(std::int32_t(40000)).toInteger(); }), "error 6");
    // The stored value is read only as the kind it is: any other is a type mismatch.
    const V text(u"1"), number(std::int32_t(1));
    for (const std::string& read :
         {outcome([&] { return number.asBoolean(); }), outcome([&] { return text.asInteger(); }),
          outcome([&] { return text.asLong(); }), outcome([&] { return text.asDouble(); }),
          outcome([&] { return number.asString(); })})
        EXPECT_EQ(read, "error 13");
    EXPECT_EQ(outcome([&] { return number.asLong(); }) + outcome([&] { return text.asString(); }),
              "11");
    for (std::size_t i = 0; i < std::size(sums); ++i)
        EXPECT_EQ(std::get<0>(sums[i]) + std::get<1>(sums[i]), std::get<2>(sums[i])) << "sum " << i;
}

// A change list built element by element comes into being with its first.
TEST(ConfigFileArray, BuiltByElementExistsFromItsFirst) {
    ConfigFileArray built;
    built.items().push_back({u"$B", u"2"});
    EXPECT_TRUE(built.exists());
}

}  // namespace
}  // namespace tarnwick
