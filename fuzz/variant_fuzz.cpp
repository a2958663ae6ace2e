// Variant conversions and addition on every kind and value: a conversion
// gives a value or raises 13, 6 or 94, and the values agree with one another.
#include <cmath>
#include <optional>

#include "fuzz_support.h"

using Kind = Variant::Kind;

Variant consumeVariant(FuzzedDataProvider& input) {
    constexpr std::u16string_view alphabet(
        u"0159.-+eEd&HhOoFa \t\0"
        u"7x\u0663",
        23);
    const int kind = input.ConsumeIntegralInRange(0, 7);
    if (kind < 2) return kind ? Variant::null() : Variant();
    if (kind == 2) return Variant(Boolean::fromRaw(input.ConsumeIntegral<std::int16_t>()));
    if (kind == 3) return Variant(input.ConsumeIntegral<std::int16_t>());
    if (kind == 4) return Variant(input.ConsumeIntegral<std::int32_t>());
    if (kind == 5) return Variant(input.ConsumeFloatingPoint<double>());
    if (kind == 6) return Variant(fromUtf8(std::to_string(input.ConsumeFloatingPoint<double>())));
    String text;
    for (auto n = input.ConsumeIntegralInRange(0, 24); n > 0 && input.remaining_bytes(); --n)
        text += alphabet[input.ConsumeIntegralInRange<std::size_t>(0, alphabet.size() - 1)];
    return Variant(text);
}

template <typename F>  // the value, or nothing when one of a conversion's errors was raised
auto attempt(F&& convert) -> std::optional<decltype(convert())> {
    try {
        return convert();
    } catch (const Error& e) {
        PROMISE(e.number() == 13 || e.number() == 6 || e.number() == 94);
        return std::nullopt;
    }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const Variant a = consumeVariant(input), b = consumeVariant(input);
    for (const Variant& v : {a, b}) {
        const auto text = attempt([&] { return v.toString(); });
        const auto number = attempt([&] { return v.toDouble(); });
        const auto whole = attempt([&] { return v.toLong(); });
        const auto small = attempt([&] { return v.toInteger(); });
        const bool numeric =
            v.kind() == Kind::Integer || v.kind() == Kind::Long || v.kind() == Kind::Double;
        PROMISE(v.isNull() ? !text && !number && !whole && !small
                           : text || v.kind() == Kind::String);
        PROMISE(small ? whole == *small : !whole || *whole < -32768 || *whole > 32767);
        PROMISE(v.kind() != Kind::String || !whole || number);  // text that is no number is no Long
        if (!number || !std::isfinite(*number)) continue;
        // The nearest whole number, halves to the even one; a number's text reads back
        // as the number (15 digits; the largest Doubles round up past the range).
        PROMISE(whole || std::fabs(*number) >= 2147483647.5);
        const double off = whole ? std::fabs(*number - *whole) : 0;
        PROMISE(off < 0.5 || (off == 0.5 && *whole % 2 == 0));
        const auto back = attempt([&] { return Variant(*text).toDouble(); });
        PROMISE(!numeric || std::fabs(*number) >= 1.79769313486231e308 ||
                (back && std::fabs(*back - *number) <= std::fabs(*number) * 1e-14));
    }
    // A sum widens only as far as it must: Integer, Long, then Double; a text
    // makes it a Double, but text and text (or Empty) join.
    const auto sum = attempt([&] { return a + b; });
    const auto rank = [](const Variant& v) {
        return v.kind() == Kind::Double || v.kind() == Kind::String ? 2 : v.kind() == Kind::Long;
    };
    const bool joins = (a.kind() == Kind::String || b.kind() == Kind::String) &&
                       (a.kind() == b.kind() || a.isEmpty() || b.isEmpty());
    if (!sum || a.isNull() || b.isNull()) return PROMISE(!sum || sum->isNull()), 0;
    if (joins) return PROMISE(*sum == Variant(a.toString() + b.toString())), 0;
    if (std::max(rank(a), rank(b)) == 2) {
        const double expected = a.toDouble() + b.toDouble();
        return PROMISE(sum->kind() == Kind::Double &&
                       (sum->asDouble() == expected ||
                        (std::isnan(expected) && std::isnan(sum->asDouble())))),
               0;
    }
    const std::int64_t exact = std::int64_t(a.toLong()) + b.toLong();
    const Kind kind = std::max(rank(a), rank(b)) == 0 && exact == std::int16_t(exact)
                          ? Kind::Integer
                      : exact == std::int32_t(exact) ? Kind::Long
                                                     : Kind::Double;
    PROMISE(sum->kind() == kind && sum->toDouble() == double(exact));
    return 0;
}
