// Key paths and value names of the settings store: a value reads back in any
// letter case and with the key's separators doubled, a second value leaves it
// alone, unknown roots are refused.
#include "fuzz_support.h"
#include "tarnwick/tw_registry.h"

// ASCII letters in the other case; in a key path, separators doubled and one more at its end.
String otherSpelling(const String& text, bool path) {
    String out;
    for (const char16_t c : text)
        out += String(1 + (path && c == u'\\'), c < 128 && std::isalpha(c) ? c ^ 32 : c);
    return path && !out.empty() ? out + u"\\" : out;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = !setenv("TARNWICK_REGISTRY", (scratchFolder() + "/r.db").c_str(), 1);
    PROMISE(ready);
    constexpr std::u16string_view alphabet = u"\\aBzßéÉǅı .-*'%\xD83D\xDE00\xDC80";
    static const String roots[] = {u"HKEY_CURRENT_USER", u"hkey_local_machine", u"HKEY_Users",
                                   u"HKEY_CLASSES_ROOT", u"HKEY_CURRENT",       u"HKCU"};
    FuzzedDataProvider input(data, size);
    const int root = input.ConsumeIntegralInRange(0, 5);
    const String key = consumeText(input, alphabet, 16), name = consumeText(input, alphabet, 16);
    const bool asText = input.ConsumeBool();
    const String text = consumeText(input, alphabet, 16);
    const Variant value = asText ? Variant(text) : Variant(input.ConsumeIntegral<std::int32_t>());
    twRegistry registry;
    const auto read = [&](const String& k, const String& n) {
        Variant got;
        PROMISE(registry.GetSetting(roots[root], k, n, got, asText).isExactlyTrue());
        return got;
    };
    const bool saved = registry.SaveSetting(roots[root], key, name, value, asText).isExactlyTrue();
    PROMISE(saved == (root < 4 && !key.starts_with(u"\\")));  // nor a key path from its separator
    // A UTF-16 unit that pairs with nothing has no UTF-8 form: it reads back as U+FFFD.
    const Variant expected = asText ? Variant(fromUtf8(toUtf8(text))) : value;
    PROMISE(
        !saved ||
        (read(key, name) == expected &&
         read(otherSpelling(key, true), otherSpelling(name, false)) == expected &&
         registry.SaveSetting(roots[root], key, name + u"~", Variant(u"2"), true).isExactlyTrue() &&
         read(key, name) == expected));
    return 0;
}
