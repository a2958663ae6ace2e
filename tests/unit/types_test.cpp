// UTF conversion, errors, the variant's conversions and sums, the change list.
#include <gtest/gtest.h>

#include <limits>
#include <utility>

#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

TEST(Utf, ConvertsEverySequenceLengthBothWaysAndKeepsInvalidBytes) {
    const std::pair<std::string, String> rows[] = {
        // clang-format off
        {"Az~\x7F", u"Az~\u007F"}, {"\xC2\x80", u"\u0080"}, {"\xC3\x9F\xDF\xBF", u"\u00DF\u07FF"},
        {"\xE0\xA0\x80\xEF\xBF\xBF", u"\u0800\uFFFF"}, {"\xF0\x9F\x8E\xAE", u"\U0001F3AE"},
        {"a\xFF\xC0\x80z\xED\xA0\x80", u"a\xDCFF\xDCC0\xDC80z\xDCED\xDCA0\xDC80"}};  // no UTF-8
    // clang-format on
    for (const auto& [utf8, utf16] : rows)
        EXPECT_EQ(std::pair(fromUtf8(utf8), toUtf8(utf16)), std::pair(utf16, utf8)) << utf8;
    EXPECT_EQ(toUtf8(String(1, char16_t(0xD800))), "\xEF\xBF\xBD") << "a lone surrogate";
}

TEST(ErrorValue, CarriesTheRuntimesDescriptions) {
    const std::pair<std::int32_t, const char16_t*> rows[] = {
        // clang-format off
        {5, u"Invalid procedure call or argument"}, {6, u"Overflow"}, {7, u"Out of memory"}, {9, u"Subscript out of range"},
        {13, u"Type mismatch"}, {52, u"Bad file name or number"}, {53, u"File not found"}, {57, u"Device I/O error"},
        {61, u"Disk full"}, {62, u"Input past end of file"}, {67, u"Too many files"}, {68, u"Device unavailable"},
        {70, u"Permission denied"}, {71, u"Disk not ready"}, {75, u"Path/File access error"}, {76, u"Path not found"},
        {94, u"Invalid use of Null"}, {1000, u"Application-defined or object-defined error"}, {-5, u"own"}};  // clang-format on
    for (const auto& [number, text] : rows) {
        const Error e = number < 0 ? Error(number, text) : Error(number);
        EXPECT_EQ(toUtf8(e.description() + u"|") + e.what(), toUtf8(text + (u"|" + String(text))));
    }
}

// What reading a value gives, as text, or "#N" for the error N it raises.
template <typename Read>
std::string outcome(Read read) {
    try {
        return toUtf8(Variant(read()).toString());
    } catch (const Error& e) {
        return "#" + std::to_string(e.number());
    }
}
#define OUTCOME(read) outcome([&] { return read; })

TEST(VariantValue, ConvertsAndAddsByTheRuntimeRules) {
    using V = Variant;
    using I = std::int16_t;
    using L = std::int32_t;
    const std::int32_t most = std::numeric_limits<std::int32_t>::max();
    // Each row: the value as a Long, as an Integer, and (but a text) as text.
    const std::pair<V, const char*> rows[] = {// clang-format off
        {u" 42 ", "42 42"}, {u"-2.5", "-2 -2"}, {u"3.5", "4 4"}, {u"1e3", "1000 1000"}, {u"1d2", "100 100"},
        {u"25D-1", "2 2"}, {u"&HFF", "255 255"}, {u"&o17", "15 15"}, {u"&HFFFFFFFF", "-1 -1"},
        {u"2147483647", "2147483647 #6"}, {u"", "#13 #13"}, {u"12abc", "#13 #13"}, {u"inf", "#13 #13"},
        {u"0x10", "#13 #13"}, {u"1e", "#13 #13"}, {u"&O8", "#13 #13"}, {u"2147483648", "#6 #6"},
        {u"&H100000000", "#6 #6"}, {u"1e400", "#6 #6"}, {V(), "0 0 "}, {Boolean(true), "-1 -1 True"},
        {Boolean(false), "0 0 False"}, {I(-7), "-7 -7 -7"}, {L(-32768), "-32768 -32768 -32768"},
        {L(-32769), "-32769 #6 -32769"}, {L(40000), "40000 #6 40000"}, {5e9, "#6 #6 5000000000"},
        {2.5, "2 2 2.5"}, {V::null(), "#94 #94 #94"}};
    const std::tuple<V, V, V> sums[] = {
        {V(), V(), V(I(0))}, {V(I(32000)), V(I(767)), V(I(32767))}, {V(I(32767)), V(I(1)), V(L(32768))},
        {V(most), V(L(1)), V(2147483648.0)}, {V(-most), V(L(-1)), V(-most - 1)}, {V(u"a"), V(u"b"), V(u"ab")},
        {V(u"a"), V(), V(u"a")}, {V(), V(u"b"), V(u"b")}, {V(u"1"), V(I(2)), V(3.0)}, {V(u"1"), V(L(2)), V(3.0)},
        {V(u"1"), V(Boolean(true)), V(0.0)}, {V::null(), V(I(1)), V::null()}};  // clang-format on
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const V& v = rows[i].first;  // no structured binding: lambdas capture it
        EXPECT_EQ(OUTCOME(v.toLong()) + " " + OUTCOME(v.toInteger()) +
                      (v.kind() == V::Kind::String ? "" : " " + OUTCOME(v.toString())),
                  rows[i].second)
            << "row " << i;
    }
    for (std::size_t i = 0; i < std::size(sums); ++i)
        EXPECT_EQ(std::get<0>(sums[i]) + std::get<1>(sums[i]), std::get<2>(sums[i])) << "sum " << i;
    // The stored value is read only as the kind it is: any other is a type mismatch.
    const V text(u"1"), number(L(1));
    EXPECT_EQ(OUTCOME(number.asBoolean()) + OUTCOME(text.asInteger()) + OUTCOME(text.asLong()) +
                  OUTCOME(text.asDouble()) + OUTCOME(number.asString()) + OUTCOME(number.asLong()) +
                  OUTCOME(text.asString()),
              "#13#13#13#13#1311");
}

// No change list until its first element; then it keeps every one.
TEST(ConfigFileArray, BuiltByElementExistsFromItsFirst) {
    ConfigFileArray built;
    EXPECT_FALSE(built.exists() || !std::as_const(built).items().empty());
    for (const char16_t* key : {u"$B", u"$C"}) built.items().push_back({key, u"2"});
    EXPECT_TRUE(built.exists() && std::as_const(built).items().size() == 2);
}

}  // namespace
}  // namespace tarnwick
