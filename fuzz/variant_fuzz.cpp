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

Variant consumeVariant(FuzzedDataProvider& input) {
    static const char16_t alphabet[] = {
        u'0', u'1', u'5', u'9', u'.', u'-', u'+',  u'e',  u'E', u'd', u'&',  u'H',
        u'h', u'O', u'o', u'F', u'a', u' ', u'\t', u'\0', u'7', u'x', 0x0663 /* Arabic three */};
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
    }
    String text;
    const auto length = input.ConsumeIntegralInRange<std::size_t>(0, 24);
    for (std::size_t i = 0; i < length && input.remaining_bytes() > 0; ++i)
        text += alphabet[input.ConsumeIntegralInRange<std::size_t>(0, std::size(alphabet) - 1)];
    return Variant(text);
}

// The conversion's value, or nothing when it raised one of the three errors
// a conversion may raise.
template <typename F>
auto attempt(F&& convert) -> std::optional<decltype(convert())> {
    try {
        return convert();
    } catch (const Error& e) {
        const auto n = e.number();
        check(n == errors::TypeMismatch || n == errors::Overflow || n == errors::InvalidUseOfNull,
              "a conversion raised another error");
        return std::nullopt;
    }
}

void checkConversions(const Variant& v) {
    const auto text = attempt([&] { return v.toString(); });
    const auto number = attempt([&] { return v.toDouble(); });
    const auto whole = attempt([&] { return v.toLong(); });
    const auto small = attempt([&] { return v.toInteger(); });
    if (v.isNull()) return check(!text && !number && !whole && !small, "Null converts to nothing");
    check(v.kind() == Variant::Kind::String || text.has_value(), "every non-Null value has a text");
    if (small) check(whole && *whole == *small, "toInteger agrees with toLong");
    if (whole && !small) check(*whole < -32768 || *whole > 32767, "toInteger refuses what fits");
    if (number && std::isfinite(*number)) {
        if (*number > -2147483648.5 && *number < 2147483647.5)
            check(whole.has_value(), "a number that rounds into range converts to Long");
        // Whole-number rounding of the automation runtime: halves go to the even.
        const double diff = whole ? std::fabs(*number - *whole) : 0;
        if (whole) check(diff < 0.5 || (diff == 0.5 && *whole % 2 == 0), "toLong rounds halves");
    }
    if (v.kind() == Variant::Kind::String)
        check(!whole || number, "text that is no number is no whole number either");
    // Number to text and back gives the number (15 significant digits; the
    // largest Doubles round up past the range, as the runtime's own do).
    const auto kind = v.kind();
    if (text && number && kind != Variant::Kind::String && kind != Variant::Kind::Boolean &&
        !v.isEmpty() && std::fabs(*number) < 1.79769313486231e308) {
        const auto back = attempt([&] { return Variant(*text).toDouble(); });
        check(back && std::fabs(*back - *number) <= std::fabs(*number) * 1e-14,
              "the text of a number reads back as the number");
    }
}

void checkAddition(const Variant& a, const Variant& b) {
    using Kind = Variant::Kind;
    const auto sum = attempt([&] { return a + b; });
    if (!sum) return;
    if (a.isNull() || b.isNull()) return check(sum->isNull(), "anything plus Null is Null");
    const bool aText = a.kind() == Kind::String, bText = b.kind() == Kind::String;
    if ((aText && (bText || b.isEmpty())) || (bText && a.isEmpty()))
        return check(*sum == Variant(a.toString() + b.toString()), "text plus text joins them");
    const auto rank = [](const Variant& v) {
        return v.kind() == Kind::Double || v.kind() == Kind::String ? 2 : v.kind() == Kind::Long;
    };
    if (std::max(rank(a), rank(b)) == 2) {
        const double expected = a.toDouble() + b.toDouble();
        return check(
            sum->kind() == Kind::Double && (sum->asDouble() == expected ||
                                            (std::isnan(expected) && std::isnan(sum->asDouble()))),
            "a Double or a text makes the sum a Double");
    }
    const std::int64_t exact = std::int64_t(a.toLong()) + std::int64_t(b.toLong());
    const Kind expectedKind = exact >= -32768 && exact <= 32767 && std::max(rank(a), rank(b)) == 0
                                  ? Kind::Integer
                              : exact >= std::numeric_limits<std::int32_t>::min() &&
                                      exact <= std::numeric_limits<std::int32_t>::max()
                                  ? Kind::Long
                                  : Kind::Double;
    check(sum->kind() == expectedKind, "the sum widens only as far as it must");
    check(sum->toDouble() == static_cast<double>(exact), "the whole-number sum is exact");
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
