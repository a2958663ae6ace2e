// Variant conversions and addition on every kind and value: text to number
// (signs, points, exponents, &H and &O literals, blanks), number to text,
// rounding to whole numbers, and the widening of a sum. A conversion gives a
// value or raises 13, 6 or 94; the values must agree with one another.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <limits>

#include "fuzz_support.h"

using namespace tarnwick;
using namespace tarnwick::fuzzing;

namespace {

String consumeNumberText(FuzzedDataProvider& input) {
    static const char16_t alphabet[] = {
        u'0', u'1', u'5', u'9', u'.', u'-', u'+',  u'e',  u'E', u'd', u'&',  u'H',
        u'h', u'O', u'o', u'F', u'a', u' ', u'\t', u'\0', u'7', u'x', 0x0663 /* Arabic three */};
    String text;
    const auto length = input.ConsumeIntegralInRange<std::size_t>(0, 24);
    for (std::size_t i = 0; i < length && input.remaining_bytes() > 0; ++i)
        text += alphabet[input.ConsumeIntegralInRange<std::size_t>(0, std::size(alphabet) - 1)];
    return text;
}

Variant consumeVariant(FuzzedDataProvider& input) {
    switch (input.ConsumeIntegralInRange<int>(0, 7)) {
        case 0:
            return Variant();
        case 1:
            return Variant::null();
        case 2:
            return Variant(Boolean::fromRaw(input.ConsumeIntegral<std::int16_t>()));
        case 3:
            return Variant(input.ConsumeIntegral<std::int16_t>());
        case 4:
            return Variant(input.ConsumeIntegral<std::int32_t>());
        case 5:
            return Variant(input.ConsumeFloatingPoint<double>());
        case 6:
            return Variant(fromUtf8(std::to_string(input.ConsumeFloatingPoint<double>())));
        default:
            return Variant(consumeNumberText(input));
    }
}

template <typename T, typename F>
std::optional<T> attempt(F&& convert, const char* what) {
    try {
        return convert();
    } catch (const Error& e) {
        const auto n = e.number();
        if (n != errors::TypeMismatch && n != errors::Overflow && n != errors::InvalidUseOfNull)
            fail(what);
        return std::nullopt;
    }
}

// Whole-number rounding of the automation runtime: halves go to the even.
bool roundsTo(double d, std::int64_t n) {
    const double diff = d - static_cast<double>(n);
    if (std::fabs(diff) < 0.5) return true;
    return std::fabs(diff) == 0.5 && n % 2 == 0;
}

void checkConversions(const Variant& v) {
    const auto text =
        attempt<String>([&] { return v.toString(); }, "toString raised another error");
    const auto number =
        attempt<double>([&] { return v.toDouble(); }, "toDouble raised another error");
    const auto whole =
        attempt<std::int32_t>([&] { return v.toLong(); }, "toLong raised another error");
    const auto small =
        attempt<std::int16_t>([&] { return v.toInteger(); }, "toInteger raised another error");

    if (v.isNull()) {
        check(!text && !number && !whole && !small, "Null converts to nothing");
        return;
    }
    check(v.kind() == Variant::Kind::String || text.has_value(), "every non-Null value has a text");
    if (small) check(whole && *whole == *small, "toInteger agrees with toLong");
    if (whole && !small)
        check(*whole < -32768 || *whole > 32767, "toInteger refuses only what does not fit");
    if (number && std::isfinite(*number)) {
        const bool fits = *number > -2147483648.5 && *number < 2147483647.5;
        if (fits) check(whole.has_value(), "a number that rounds into range converts to Long");
        if (whole) check(roundsTo(*number, *whole), "toLong rounds halves to even");
    }
    if (v.kind() == Variant::Kind::String) {
        check(number.has_value() == whole.has_value() || (number && !whole),
              "text that is no number is no whole number either");
    }
    // Number to text and back gives the number (15 significant digits; the
    // largest Doubles round up past the range, as the runtime's own do).
    if (text && v.kind() != Variant::Kind::String && v.kind() != Variant::Kind::Boolean &&
        !v.isEmpty() && number && std::fabs(*number) < 1.79769313486231e308) {
        const auto back =
            attempt<double>([&] { return Variant(*text).toDouble(); }, "reading back");
        check(back.has_value(), "the text of a number reads back as a number");
        check(std::fabs(*back - *number) <= std::fabs(*number) * 1e-14,
              "the text keeps the number");
    }
}

void checkAddition(const Variant& a, const Variant& b) {
    using Kind = Variant::Kind;
    Variant sum;
    try {
        sum = a + b;
    } catch (const Error& e) {
        check(e.number() == errors::TypeMismatch || e.number() == errors::Overflow,
              "addition raises only 13 or 6");
        return;
    }
    if (a.isNull() || b.isNull()) {
        check(sum.isNull(), "anything plus Null is Null");
        return;
    }
    const bool aText = a.kind() == Kind::String, bText = b.kind() == Kind::String;
    if ((aText && (bText || b.isEmpty())) || (bText && a.isEmpty())) {
        check(sum.kind() == Kind::String && sum.asString() == a.toString() + b.toString(),
              "text plus text joins them");
        return;
    }
    const auto rank = [](const Variant& v) {
        return v.kind() == Kind::Double || v.kind() == Kind::String ? 2
               : v.kind() == Kind::Long                             ? 1
                                                                    : 0;
    };
    if (std::max(rank(a), rank(b)) == 2) {
        const double expected = a.toDouble() + b.toDouble();
        check(sum.kind() == Kind::Double, "a Double or a text makes the sum a Double");
        check(sum.asDouble() == expected || (std::isnan(expected) && std::isnan(sum.asDouble())),
              "the Double sum");
        return;
    }
    const std::int64_t exact = std::int64_t(a.toLong()) + std::int64_t(b.toLong());
    const Kind expectedKind = exact >= -32768 && exact <= 32767 && std::max(rank(a), rank(b)) == 0
                                  ? Kind::Integer
                              : exact >= std::numeric_limits<std::int32_t>::min() &&
                                      exact <= std::numeric_limits<std::int32_t>::max()
                                  ? Kind::Long
                                  : Kind::Double;
    check(sum.kind() == expectedKind, "the sum widens only as far as it must");
    check(sum.toDouble() == static_cast<double>(exact), "the whole-number sum is exact");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const Variant a = consumeVariant(input);
    const Variant b = consumeVariant(input);
    checkConversions(a);
    checkConversions(b);
    checkAddition(a, b);
    return 0;
}
