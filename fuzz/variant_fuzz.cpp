// Variant conversions and addition on every kind and value: each gives a value
// or raises 13, 6 or 94, and the conversions agree with one another.
#include "fuzz_support.h"

Variant consumeVariant(FuzzedDataProvider& input) {
    constexpr std::u16string_view alphabet(u"0159.-+eEd&HhOoFa \t\u00007x\u0663", 23);
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

template <typename F>  // the value, or nothing after one of a conversion's errors
auto attempt(F&& convert) -> std::optional<decltype(convert())> {
    try {
        return convert();
    } catch (const Error& e) {
        PROMISE(e.number() == 13 || e.number() == 6 || e.number() == 94);
        return std::nullopt;
    }
}

FUZZ_TARGET(input) {
    const Variant a = consumeVariant(input), b = consumeVariant(input);
    using Kind = Variant::Kind;
    for (const Variant& v : {a, b}) {
        const auto number = attempt([&] { return v.toDouble(); });
        const auto whole = attempt([&] { return v.toLong(); });
        const auto small = attempt([&] { return v.toInteger(); });
        PROMISE(small ? whole == *small : !whole || *whole < -32768 || *whole > 32767);
        if (!number || !std::isfinite(*number)) continue;
        // The nearest whole number, halves to the even one; a number's text
        // reads back as it (15 digits; the largest Doubles round past the range).
        const double off = whole ? std::fabs(*number - *whole) : 0;
        PROMISE(off < 0.5 || (off == 0.5 && *whole % 2 == 0));
        const auto back = attempt([&] { return Variant(v.toString()).toDouble(); });
        const bool numeric =
            v.kind() == Kind::Integer || v.kind() == Kind::Long || v.kind() == Kind::Double;
        PROMISE(!numeric || std::fabs(*number) >= 1.79769313486231e308 ||
                (back && std::fabs(*back - *number) <= std::fabs(*number) * 1e-14));
    }
    attempt([&] { return a + b; });
}
