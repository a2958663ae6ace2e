// Key paths and value names of the settings store: a value reads back under
// its name, in any letter case and with the key's separators doubled, and a
// second value leaves it alone; unknown roots are refused.
#include "fuzz_support.h"
#include "tarnwick/tw_registry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready =
        !setenv("TARNWICK_REGISTRY", (scratchFolder() + "/r.sqlite").c_str(), 1);
    PROMISE(ready);
    constexpr std::u16string_view alphabet = u"\\aBzßéÉǅı .-*'%\xD83D\xDE00\xDC80";
    static const String roots[] = {u"HKEY_CURRENT_USER", u"hkey_local_machine", u"HKEY_Users",
                                   u"HKEY_CLASSES_ROOT", u"HKEY_CURRENT",       u"HKCU"};
    FuzzedDataProvider input(data, size);
    const int known = input.ConsumeIntegralInRange(0, 5);
    const String root = roots[known], key = consumeText(input, alphabet, 16),
                 name = consumeText(input, alphabet, 16);
    const bool asText = input.ConsumeBool();
    const String text = consumeText(input, alphabet, 16);
    const Variant value = asText ? Variant(text) : Variant(input.ConsumeIntegral<std::int32_t>());
    twRegistry registry;
    const bool saved = registry.SaveSetting(root, key, name, value, asText).isExactlyTrue();
    PROMISE(saved == (known < 4 && !key.starts_with(u"\\")));  // nor a key path from its separator
    if (!saved) return 0;
    const auto read = [&](const String& k, const String& n) {
        Variant got;
        PROMISE(registry.GetSetting(root, k, n, got, asText).isExactlyTrue());
        return got;
    };
    // ASCII letters in the other case; in a key path, separators doubled and one more at its end.
    const auto other = [](const String& text, bool path) {
        String out;
        for (const char16_t c : text) {
            out += static_cast<char16_t>(c < 128 && std::isalpha(c) ? c ^ 32 : c);
            if (path && c == u'\\') out += c;
        }
        return path && !out.empty() ? out + u"\\" : out;
    };
    // A UTF-16 unit that pairs with nothing has no UTF-8 form: it reads back as U+FFFD.
    const Variant expected = asText ? Variant(fromUtf8(toUtf8(text))) : value;
    PROMISE(read(key, name) == expected && read(other(key, true), other(name, false)) == expected);
    PROMISE(registry.SaveSetting(root, key, name + u"~", Variant(u"2"), true).isExactlyTrue() &&
            read(key, name) == expected);
    PROMISE(read(key + (key.empty() ? u"" : u"\\") + u"unwritten", name) ==
            Variant(u"--NOT-FOUND--"));
    return 0;
}
