// The Linux start's reading of a command line: any line starts an executable
// file as argv[0] or raises 53 or 70; a line built as the launchers build
// theirs gives back exactly the arguments that were joined.
#include <sys/stat.h>

#include "fuzz_support.h"
#include "platform/posix/posix_platform.h"
#include "shell/launch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string dir = scratchFolder();  // two programs and a file that is none
    static const bool ready = [] {
        for (const char* name : {"data", "emu", "my emu"}) std::ofstream(dir + "/" + name) << "";
        return !chmod((dir + "/emu").c_str(), 0755) && !chmod((dir + "/my emu").c_str(), 0755);
    }() && chdir(dir.c_str()) == 0;
    PROMISE(ready);
    constexpr std::u16string_view special = u" \t\"\\aZ$`;|\n*é/\xD800\xDC80";
    FuzzedDataProvider input(data, size);
    String line;
    if (!input.ConsumeBool()) {
        for (int n = input.ConsumeIntegralInRange(0, 6); n > 0; --n) {
            line += std::array<String, 4>{u"emu", u"my emu",
                                          u"data"}[input.ConsumeIntegralInRange(0, 3)];
            line += consumeText(input, special, 12, true);
        }
        try {
            const StartPlan plan = planStart(line);
            PROMISE(std::filesystem::is_regular_file(plan.program) &&
                    !access(plan.program.c_str(), X_OK) && plan.arguments.at(0) == plan.program);
        } catch (const Error& e) {
            PROMISE(e.number() == errors::FileNotFound || e.number() == errors::PermissionDenied);
        }
        return 0;
    }
    // The program quoted, as launchers quote it, or bare with a blank in its
    // name, as a user may type it; then arguments quoted whole, values that
    // end a quoted piece, values with text after them in a quoted piece.
    const std::pair<String, std::string> programs[] = {
        {u"\"emu\"", "./emu"},
        {u"\"" + fromUtf8(dir) + u"/my emu\"", dir + "/my emu"},
        {u"my emu", "./my emu"},
        {u"\"./my emu\"", "./my emu"}};
    std::string program;
    std::tie(line, program) = programs[input.ConsumeIntegralInRange(0, 3)];
    std::vector<std::string> argv{program};
    for (int n = input.ConsumeIntegralInRange(0, 5); n > 0; --n) {
        const String text = consumeText(input, special, 12);
        const int form = input.ConsumeIntegralInRange(0, 2);
        line += form == 0   ? u" " + quoteArgument(text)
                : form == 1 ? u" \"-flag=" + escapeInQuotes(text, true) + u"\""
                            : u" \"" + escapeInQuotes(text, false) + u".d64\"";
        argv.push_back(toUtf8(form == 0 ? text : form == 1 ? u"-flag=" + text : text + u".d64"));
    }
    const StartPlan plan = planStart(line);
    PROMISE(plan.program == program && plan.arguments == argv);
    return 0;
}
