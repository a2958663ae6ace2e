// The Linux start's reading of a command line: of any line, an executable file
// as argv[0] or 53 or 70; of the launchers' lines, the arguments they joined.
#include "fuzz_support.h"

FUZZ_TARGET(input) {
    static const std::string dir = scratchFolder();  // two programs, and a file that is none
    static const bool ready = std::ofstream(dir + "/data") && std::ofstream(dir + "/emu") &&
                              std::ofstream(dir + "/my emu") && !chdir(dir.c_str()) &&
                              !chmod("emu", 0755) && !chmod("my emu", 0755);
    PROMISE(ready);
    constexpr std::u16string_view special = u" \t\"\\aZ$`;|\n*é/\xD800\xDC80";
    String line;
    if (!input.ConsumeBool()) {
        for (int n = input.ConsumeIntegralInRange(0, 6); n > 0; --n) {
            line += std::array<String, 4>{u"emu", u"my emu",
                                          u"data"}[input.ConsumeIntegralInRange(0, 3)];
            line += consumeText(input, special, 12, true);
        }
        try {
            const StartPlan plan = planStart(line);
            return PROMISE(std::filesystem::is_regular_file(plan.program) &&
                           !access(plan.program.c_str(), X_OK) &&
                           plan.arguments.at(0) == plan.program);
        } catch (const Error& e) {
            return PROMISE(e.number() == 53 || e.number() == 70);
        }
    }
    // The program as the launchers quote it, or bare with a blank in its name;
    // arguments quoted whole, values ending a quoted piece, values with text after them.
    const std::string programs[] = {"./emu", dir + "/my emu", "./my emu", "./my emu"};
    const int which = input.ConsumeIntegralInRange(0, 3);
    line = std::array<String, 4>{u"\"emu\"", u"\"" + fromUtf8(programs[1]) + u"\"", u"my emu",
                                 u"\"./my emu\""}[which];
    std::vector<std::string> argv{programs[which]};
    for (int n = input.ConsumeIntegralInRange(0, 5); n > 0; --n) {
        const String text = consumeText(input, special, 12);
        const int form = input.ConsumeIntegralInRange(0, 2);
        line += form == 0   ? u" " + quoteArgument(text)
                : form == 1 ? u" \"-flag=" + escapeInQuotes(text, true) + u"\""
                            : u" \"" + escapeInQuotes(text, false) + u".d64\"";
        argv.push_back(toUtf8(form == 0 ? text : form == 1 ? u"-flag=" + text : text + u".d64"));
    }
    const StartPlan plan = planStart(line);
    PROMISE(plan.program == argv[0] && plan.arguments == argv);
}
