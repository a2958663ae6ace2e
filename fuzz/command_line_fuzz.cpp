// Command lines of the Linux process start: how a line is read as program and
// arguments. Two kinds of input:
// - any line at all: the start finds an executable file or refuses with 53 or
//   70, and the arguments are those of one reading of the line;
// - the lines the launchers build (a quoted program, arguments quoted by the
//   command-line rules, values escaped inside quoted pieces): splitting gives
//   back exactly the arguments that were joined, no more and no fewer.
#include <fuzzer/FuzzedDataProvider.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fuzz_support.h"
#include "platform/command_line.h"
#include "platform/posix/posix_platform.h"
#include "shell/launch.h"

using namespace tarnwick;
using namespace tarnwick::fuzzing;

namespace {

// Characters that matter to a command line, a shell or a conversion, and any
// other UTF-16 unit now and then.
String consumeText(FuzzedDataProvider& input, bool allowNul) {
    static const char16_t special[] = {u' ', u'\t', u'"',  u'\\', u'a', u'Z', u'$',   u'`',
                                       u';', u'|',  u'\n', u'*',  u'é', u'/', 0xD800, 0xDC80};
    String text;
    const auto length = input.ConsumeIntegralInRange<std::size_t>(0, 12);
    for (std::size_t i = 0; i < length && input.remaining_bytes() > 0; ++i) {
        const auto pick = input.ConsumeIntegralInRange<std::size_t>(0, std::size(special));
        const char16_t c =
            pick < std::size(special) ? special[pick] : input.ConsumeIntegral<char16_t>();
        if (c == u'\0' && !allowNul) continue;
        text += c;
    }
    return text;
}

void makeFile(const std::string& name, mode_t mode) {
    writeFile(scratchFolder() + "/" + name, "#!/bin/sh\n");
    if (::chmod((scratchFolder() + "/" + name).c_str(), mode) != 0) fail("chmod");
}

// The folder the lines are started from: programs with and without blanks in
// their names, and a file that is no program.
void prepareFolder() {
    static const bool prepared = [] {
        makeFile("emu", 0755);
        makeFile("my emu", 0755);
        makeFile("data", 0644);
        if (::chdir(scratchFolder().c_str()) != 0) fail("chdir");
        return true;
    }();
    (void)prepared;
}

bool isProgram(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

std::vector<std::string> inUtf8(const std::vector<String>& texts) {
    std::vector<std::string> out;
    for (const String& t : texts) out.push_back(toUtf8(t));
    return out;
}

void anyLine(FuzzedDataProvider& input) {
    String line;
    const auto pieces = input.ConsumeIntegralInRange<int>(0, 6);
    for (int i = 0; i < pieces; ++i) {
        const auto kind = input.ConsumeIntegralInRange<int>(0, 3);
        if (kind == 0) line += u"emu";
        if (kind == 1) line += u"my emu";
        if (kind == 2) line += u"data";
        line += consumeText(input, true);
    }
    try {
        const StartPlan plan = planStart(line);
        check(isProgram(plan.program), "the start runs an executable file");
        check(!plan.arguments.empty() && plan.arguments[0] == plan.program,
              "argv[0] is the program");
        const String read = line.substr(0, line.find(u'\0'));
        bool oneReading = false;
        for (const ProgramCandidate& c : programCandidates(read)) {
            std::vector<std::string> expected{plan.program};
            for (const std::string& a : inUtf8(splitArguments(c.arguments))) expected.push_back(a);
            oneReading = oneReading || expected == plan.arguments;
        }
        check(oneReading, "the arguments are those of one reading of the line");
        for (const std::string& a : plan.arguments)
            check(a.find('\0') == std::string::npos, "no argument holds a NUL");
    } catch (const Error& e) {
        check(e.number() == errors::FileNotFound || e.number() == errors::PermissionDenied,
              "a line that names no program is refused with 53 or 70");
    }
}

void launcherLine(FuzzedDataProvider& input) {
    // The program, quoted as every launcher quotes the emulator's path, or
    // bare with a blank in its name as a user may type it.
    const auto form = input.ConsumeIntegralInRange<int>(0, 3);
    const std::string folder = scratchFolder();
    String line;
    std::string program;
    switch (form) {
        case 0:
            line = u"\"emu\"", program = "./emu";
            break;
        case 1:
            line = u"\"" + fromUtf8(folder) + u"/my emu\"", program = folder + "/my emu";
            break;
        case 2:
            line = u"my emu", program = "./my emu";
            break;
        default:
            line = u"\"./my emu\"", program = "./my emu";
            break;
    }
    std::vector<String> arguments;
    const auto count = input.ConsumeIntegralInRange<int>(0, 5);
    for (int i = 0; i < count; ++i) {
        const String text = consumeText(input, false);
        switch (input.ConsumeIntegralInRange<int>(0, 2)) {
            case 0:  // a whole argument, quoted
                line += u" " + quoteArgument(text);
                arguments.push_back(text);
                break;
            case 1:  // a value at the end of a quoted piece: "-flag=value"
                line += u" \"-flag=" + escapeInQuotes(text, true) + u"\"";
                arguments.push_back(u"-flag=" + text);
                break;
            default:  // a value inside a quoted piece, text after it: "value.d64"
                line += u" \"" + escapeInQuotes(text, false) + u".d64\"";
                arguments.push_back(text + u".d64");
                break;
        }
    }
    const StartPlan plan = planStart(line);
    check(plan.program == program, "the program named by the line is started");
    std::vector<std::string> expected{program};
    for (const std::string& a : inUtf8(arguments)) expected.push_back(a);
    check(plan.arguments == expected, "joining and splitting agree");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    prepareFolder();
    FuzzedDataProvider input(data, size);
    if (input.ConsumeBool())
        launcherLine(input);
    else
        anyLine(input);
    return 0;
}
