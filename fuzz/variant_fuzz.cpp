// Variant conversions and addition on every kind and value: each gives a value
// or raises 13, 6 or 94, and a number's text reads back as the number.
#include "fuzz_support.h"

template <typename F>  // the value, or nothing after one of a conversion's errors
auto attempt(F&& convert) -> std::optional<decltype(convert())> {
    try {
        return convert();
    } catch (const Error& e) {
        PROMISE(e.number() == 13 || e.number() == 6 || e.number() == 94);
        return std::nullopt;
    }
}

Variant consumeVariant(FuzzedDataProvider& input) {
    const int kind = input.ConsumeIntegralInRange(0, 7);
    if (kind < 2) return kind ? Variant::null() : Variant();
    if (kind == 2) return Variant(Boolean::fromRaw(input.ConsumeIntegral<std::int16_t>()));
    if (kind == 3) return Variant(input.ConsumeIntegral<std::int16_t>());
    if (kind == 4) return Variant(input.ConsumeIntegral<std::int32_t>());
    if (kind == 5) return Variant(input.ConsumeFloatingPoint<double>());
    if (kind == 6) return Variant(fromUtf8(std::to_string(input.ConsumeFloatingPoint<double>())));
    return Variant(
        consumeText(input, std::u16string_view(u"0159.-+eEd&HhOoFa \t\u00007x\u0663", 23), 24));
}

FUZZ_TARGET(input) {
    const Variant a = consumeVariant(input), b = consumeVariant(input);
    attempt([&] { return a + b; });
    for (const Variant& v : {a, b}) {
        const auto number = attempt([&] { return v.toDouble(); });
        const auto whole = attempt([&] { return v.toLong(); });
        if (!number || !std::isfinite(*number)) continue;
        PROMISE(!whole || std::fabs(*number - *whole) <= 0.5);  // the nearest whole number
        // 15 digits; the largest Doubles round up past the range, as the runtime's own do.
        const auto back = attempt([&] { return Variant(v.toString()).toDouble(); });
        PROMISE(v.kind() == Variant::Kind::String || v.kind() == Variant::Kind::Boolean ||
                v.isEmpty() || std::fabs(*number) >= 1.79769313486231e308 ||
                (back && std::fabs(*back - *number) <= std::fabs(*number) * 1e-14));
    }
}
