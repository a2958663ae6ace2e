// The Linux start reads a launcher's line (the program quoted or bare, arguments
// quoted whole, values ending a quoted piece or followed by text) as it was joined.
#include "fuzz_support.h"

FUZZ_TARGET(input) {
    static const std::string dir = scratchFolder();
    static const bool ready = std::ofstream(dir + "/emu") && std::ofstream(dir + "/my emu") &&
                              !chdir(dir.c_str()) && !chmod("emu", 0755) && !chmod("my emu", 0755);
    const std::string programs[] = {"./emu", dir + "/my emu", "./my emu", "./my emu"};
    const int which = input.ConsumeIntegralInRange(0, 3);
    String line = std::array<String, 4>{u"\"emu\"", u"\"" + fromUtf8(programs[1]) + u"\"",
                                        u"my emu", u"\"./my emu\""}[which];
    std::vector<std::string> argv{programs[which]};
    for (int n = input.ConsumeIntegralInRange(0, 5); n > 0; --n) {
        const String text = consumeText(input, u" \t\"\\aZ$`;|\n*é/\xD800\xDC80", 12);
        const int form = input.ConsumeIntegralInRange(0, 2);
        line += form == 0   ? u" " + quoteArgument(text)
                : form == 1 ? u" \"-flag=" + escapeInQuotes(text, true) + u"\""
                            : u" \"" + escapeInQuotes(text, false) + u".d64\"";
        argv.push_back(toUtf8(form == 0 ? text : form == 1 ? u"-flag=" + text : text + u".d64"));
    }
    const StartPlan plan = planStart(line);
    PROMISE(ready && plan.program == argv[0] && plan.arguments == argv);
}
