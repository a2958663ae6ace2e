// Key paths and value names of the settings store: separators anywhere,
// letter case, characters beyond ASCII and UTF-16 units that pair with
// nothing. What is written under a name reads back under that name, in any
// letter case and with the key's separators doubled, and leaves the other
// values of the key alone; unknown roots are refused.
#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>

#include "fuzz_support.h"
#include "tarnwick/tw_registry.h"

using namespace tarnwick;
using namespace tarnwick::fuzzing;

namespace {

String consumeName(FuzzedDataProvider& input) {
    static const char16_t alphabet[] = {u'\\', u'a',  u'B',   u'z',   u'ß',   u'é',
                                        u'É',  u'ǅ',  0x0131, u' ',   u'.',   u'-',
                                        u'*',  u'\'', u'%',   0xD83D, 0xDE00, 0xDC80};
    String text;
    const auto length = input.ConsumeIntegralInRange<std::size_t>(0, 16);
    for (std::size_t i = 0; i < length && input.remaining_bytes() > 0; ++i) {
        const auto pick = input.ConsumeIntegralInRange<std::size_t>(0, std::size(alphabet));
        const char16_t c =
            pick < std::size(alphabet) ? alphabet[pick] : input.ConsumeIntegral<char16_t>();
        if (c != u'\0') text += c;
    }
    return text;
}

// ASCII letters in the other case, and for a key path every separator
// doubled and one more at the end.
String otherSpelling(const String& text, bool keyPath) {
    String out;
    for (char16_t c : text) {
        const bool lower = c >= u'a' && c <= u'z', upper = c >= u'A' && c <= u'Z';
        out += static_cast<char16_t>(lower ? c - 32 : upper ? c + 32 : c);
        if (keyPath && c == u'\\') out += c;
    }
    return keyPath && !out.empty() ? out + u"\\" : out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool prepared =
        ::setenv("TARNWICK_REGISTRY", (scratchFolder() + "/registry.sqlite").c_str(), 1) == 0;
    check(prepared, "setenv");
    FuzzedDataProvider input(data, size);
    static const String roots[] = {u"HKEY_CURRENT_USER", u"hkey_local_machine", u"HKEY_Users",
                                   u"HKEY_CLASSES_ROOT", u"HKEY_CURRENT",       u"HKCU"};
    const auto rootIndex = input.ConsumeIntegralInRange<std::size_t>(0, std::size(roots) - 1);
    const String root = roots[rootIndex], key = consumeName(input), name = consumeName(input);
    const bool asText = input.ConsumeBool();
    const String text = consumeName(input);
    const Variant value = asText ? Variant(text) : Variant(input.ConsumeIntegral<std::int32_t>());

    twRegistry registry;
    const bool saved = registry.SaveSetting(root, key, name, value, asText).isExactlyTrue();
    // Refused only under an unknown root or a key path that begins with its separator.
    check(saved == (rootIndex < 4 && !key.starts_with(u"\\")), "a value is written");
    if (!saved) return 0;
    const auto readBack = [&](const String& k, const String& n) {
        Variant read;
        check(registry.GetSetting(root, k, n, read, asText).isExactlyTrue(), "a written key opens");
        return read;
    };
    // A UTF-16 unit that pairs with nothing has no UTF-8 form: it reads back as U+FFFD.
    const Variant expected = asText ? Variant(fromUtf8(toUtf8(text))) : value;
    check(readBack(key, name) == expected, "the value reads back as written");
    check(readBack(otherSpelling(key, true), otherSpelling(name, false)) == expected,
          "letter case and doubled separators do not matter");
    check(registry.SaveSetting(root, key, name + u"~", Variant(u"other"), true).isExactlyTrue(),
          "a second value");
    check(readBack(key, name) == expected, "a second value leaves the first alone");
    check(readBack(key.empty() ? u"never written" : key + u"\\never written", name) ==
              Variant(u"--NOT-FOUND--"),
          "a value never written is not found");
    return 0;
}
