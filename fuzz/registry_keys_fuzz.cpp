// Settings under any key path and value name read back in any letter case and
// with the key's separators doubled; unknown roots and a leading separator fail.
#include "fuzz_support.h"

FUZZ_TARGET(input) {
    static const bool ready = !setenv("TARNWICK_REGISTRY", (scratchFolder() + "/r.db").c_str(), 1);
    constexpr std::u16string_view alphabet = u"\\aBzßéÉǅı .-*'%\xD83D\xDE00\xDC80";
    static const String roots[] = {u"HKEY_CURRENT_USER", u"hkey_local_machine", u"HKEY_Users",
                                   u"HKEY_CLASSES_ROOT", u"HKEY_CURRENT",       u"HKCU"};
    const String& root = roots[input.ConsumeIntegralInRange(0, 5)];
    const String key = consumeText(input, alphabet, 16), name = consumeText(input, alphabet, 16);
    const String text = consumeText(input, alphabet, 16);
    const bool asText = input.ConsumeBool();
    const Variant value = asText ? Variant(text) : Variant(input.ConsumeIntegral<std::int32_t>());
    const bool saved = twRegistry().SaveSetting(root, key, name, value, asText).isExactlyTrue();
    PROMISE(ready && saved == (&root < roots + 4 && !key.starts_with(u"\\")));
    if (!saved) return;
    String otherKey, otherName;  // ASCII letters in the other case, the key's separators doubled
    for (const char16_t c : key.empty() ? key : key + u"\\")
        otherKey += String(c == u'\\' ? 2 : 1, c < 128 && isalpha(c) ? c ^ 32 : c);
    for (const char16_t c : name) otherName += c < 128 && isalpha(c) ? c ^ 32 : c;
    const Variant expected = asText ? Variant(fromUtf8(toUtf8(text))) : value;  // unpaired: U+FFFD
    Variant got, gotOtherwise;
    twRegistry().GetSetting(root, key, name, got, asText);
    twRegistry().GetSetting(root, otherKey, otherName, gotOtherwise, asText);
    PROMISE(got == expected && gotOtherwise == expected);
}
