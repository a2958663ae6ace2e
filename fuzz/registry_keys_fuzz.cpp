// Key paths and value names of the settings store: separators anywhere,
// letter case, characters beyond ASCII and UTF-16 units that pair with
// nothing. What is written under a name reads back under that name, in any
// letter case and with the key's separators doubled, and leaves the other
// values of the key alone.
#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>

#include "fuzz_support.h"
#include "tarnwick/tw_registry.h"

using namespace tarnwick;
using namespace tarnwick::fuzzing;

namespace {

String consumeName(FuzzedDataProvider& input, bool allowNul) {
    static const char16_t alphabet[] = {
        u'\\', u'a', u'B',  u'z', u'ß', u'é',   u'É',   u'ǅ',  0x0131 /* dotless i */, u' ', u'.',
        u'-',  u'*', u'\'', u'%', u'_', 0xD83D, 0xDE00, 0xDC80};
    String text;
    const auto length = input.ConsumeIntegralInRange<std::size_t>(0, 16);
    for (std::size_t i = 0; i < length && input.remaining_bytes() > 0; ++i) {
        const auto pick = input.ConsumeIntegralInRange<std::size_t>(0, std::size(alphabet));
        const char16_t c =
            pick < std::size(alphabet) ? alphabet[pick] : input.ConsumeIntegral<char16_t>();
        if (c == u'\0' && !allowNul) continue;
        text += c;
    }
    return text;
}

// ASCII letters in the other case: a change every store must see through.
String otherCase(String text) {
    for (char16_t& c : text) {
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - u'a' + u'A');
        else if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
    }
    return text;
}

String doubledSeparators(const String& key) {
    String out;
    for (char16_t c : key) {
        out += c;
        if (c == u'\\') out += u'\\';
    }
    return key.empty() ? out : out + u"\\";
}

void prepareStore() {
    static const bool prepared = [] {
        const std::string path = scratchFolder() + "/registry.sqlite";
        return ::setenv("TARNWICK_REGISTRY", path.c_str(), 1) == 0;
    }();
    if (!prepared) fail("setenv");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    prepareStore();
    FuzzedDataProvider input(data, size);
    static const String roots[] = {u"HKEY_CURRENT_USER", u"hkey_local_machine", u"HKEY_Users",
                                   u"HKEY_CLASSES_ROOT", u"HKEY_CURRENT",       u"HKCU"};
    const auto rootIndex = input.ConsumeIntegralInRange<std::size_t>(0, std::size(roots) - 1);
    const String root = roots[rootIndex];
    const bool knownRoot = rootIndex < 4;
    const String key = consumeName(input, false);
    const String name = consumeName(input, false);
    const String otherName = name + u"~";
    const bool asText = input.ConsumeBool();
    const String textValue = consumeName(input, false);
    const auto numberValue = input.ConsumeIntegral<std::int32_t>();
    const Variant value = asText ? Variant(textValue) : Variant(numberValue);

    twRegistry registry;
    const bool saved = static_cast<bool>(registry.SaveSetting(root, key, name, value, asText));
    if (!knownRoot) {
        check(!saved, "an unknown root is refused");
        return 0;
    }
    if (!saved) {
        // Only a key path the registry refuses: one that begins with its
        // separator.
        check(key.starts_with(u"\\"), "a value under any other key path is written");
        return 0;
    }

    const auto readBack = [&](const String& k, const String& n) {
        Variant read;
        check(static_cast<bool>(registry.GetSetting(root, k, n, read, asText)),
              "a written key opens");
        return read;
    };
    // Text is kept as UTF-8, which carries every character; a UTF-16 unit
    // that pairs with nothing has no UTF-8 form and reads back as U+FFFD
    // (the system code page's conversion replaces it too).
    const Variant expected = asText ? Variant(fromUtf8(toUtf8(textValue))) : Variant(numberValue);
    check(readBack(key, name) == expected, "the value reads back as written");
    check(readBack(otherCase(key), otherCase(name)) == expected, "letter case does not matter");
    check(readBack(doubledSeparators(key), name) == expected,
          "doubled separators name the same key");

    // Another value of the same key leaves this one alone.
    check(static_cast<bool>(registry.SaveSetting(root, key, otherName, Variant(u"other"), true)),
          "a second value is written");
    check(readBack(key, name) == expected, "a second value leaves the first alone");

    // A key path nobody wrote has no values (the read creates the key).
    Variant missing;
    check(
        static_cast<bool>(registry.GetSetting(
            root, key.empty() ? u"never written" : key + u"\\never written", name, missing, true)),
        "a new key opens");
    check(missing == Variant(u"--NOT-FOUND--"), "a value never written is not found");
    return 0;
}
