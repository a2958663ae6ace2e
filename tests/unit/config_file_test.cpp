// The configuration editor against the scripted platform: its rules, line by line.
#include <gtest/gtest.h>

#include "support/fake_platform.h"
#include "tarnwick/tarnwick.h"

namespace tarnwick {
namespace {

using Changes = std::vector<ConfigFileType>;

TEST(ConfigEditor, EditsAsTheRulesSay) {
    std::string lines;
    for (int i = 0; i < 32766; ++i) lines += "L" + std::to_string(i) + "\r\n";
    Changes most(32767, {u"A", u"3"}), tooMany(32768, {u"A", u"4"});
    struct Row {
        const char* name;
        std::optional<std::string> before;  // none: no such file
        ConfigFileArray changes;
        std::string after;  // the file afterwards: unchanged on an error
        int error = 0;
        std::optional<Error> writeFailure = {};
    } rows[] = {
        // clang-format off
        {"replaces, drops empty lines", "A=1\r\n\r\n$JOYSTICK1PC=3\r\nB=2\r\n", Changes{{u"$JOYSTICK1PC", u"0"}}, "A=1\r\n$JOYSTICK1PC=0\r\nB=2\r\n"},
        {"any case", "$loadpath = C:\\\r\n", Changes{{u"$LOADPATH", u"D:\\"}}, "$LOADPATH=D:\\\r\n"},
        {"not after blanks", " $LOAD=C\r\n", Changes{{u"$LOAD", u"D"}}, " $LOAD=C\r\n"},
        {"caller's spelling", "JOY1=No\r\n", Changes{{u"Joy1", u"Key"}}, "Joy1=Key\r\n"},
        {"prefix, first line", "$CP1MODE=4\r\n$CP1=1\r\n", Changes{{u"$CP1", u"2"}}, "$CP1=2\r\n$CP1=1\r\n"},
        {"first match only", "K=1\r\nK=2\r\n", Changes{{u"K", u"9"}}, "K=9\r\nK=2\r\n"},
        {"later change wins", "K=1\r\n", Changes{{u"K", u"8"}, {u"K", u"9"}}, "K=9\r\n"},
        {"sees earlier changes", "X=1\r\n", Changes{{u"X", u"N"}, {u"X=N", u"d"}}, "X=N=d\r\n"},
        {"missing key adds nothing", "A=1\n\nB=2", Changes{{u"$NO", u"1"}}, "A=1\r\nB=2\r\n"},
        {"empty file, key", "", Changes{{u"$KEY", u"1"}}, ""},
        {"empty key, first line", "A=1\r\nB=2\r\n", Changes{{u"", u"v"}}, "=v\r\nB=2\r\n"},
        {"empty key, empty file", "", Changes{{u"", u"v"}}, "=v\r\n"},
        {"negative indexes unseen", "A=1\r\n", ConfigFileArray({{u"A", u"-"}, {u"A", u"0"}}, -1), "A=0\r\n"},
        {"no array", "A=1\r\n\r\n", ConfigFileArray(), "A=1\r\n\r\n", 9},
        {"lower bound 1", "A=1\r\n\r\n", ConfigFileArray({{u"A", u"2"}}, 1), "A=1\r\n\r\n", 9},
        {"32,767 changes", "A=1\r\n", most, "A=3\r\n"}, {"32,768 changes", "A=1\r\n", tooMany, "A=1\r\n", 6},
        {"32,766 lines", lines, Changes{{u"L0", u"x"}}, "L0=x\r\n" + lines.substr(4)},
        {"32,767 lines", lines + "L", Changes{{u"L0", u"x"}}, lines + "L", 6},
        {"32,767 ended lines", lines + "L\n", Changes{{u"L0", u"x"}}, lines + "L\n", 6},
        {"missing", std::nullopt, Changes{{u"A", u"2"}}, "", 53},
        {"disk full", "A=1\r\n\r\n", Changes{{u"A", u"2"}}, "A=1\r\n\r\n", 61, Error(61)}};
    // clang-format on
    for (const Row& row : rows) {
        testing::FakePlatform windows;
        const String file = u"C:\\CCS64\\c64.cfg";
        if (row.before) windows.files[file] = *row.before;
        windows.writeFailure = row.writeFailure;
        int error = 0;
        try {
            twFunctions{windows}.ChangeConfigFile(file, row.changes);
        } catch (const Error& e) {
            error = e.number();
        }
        EXPECT_EQ(error, row.error) << row.name;
        EXPECT_TRUE(windows.files[file] == row.after) << row.name;
    }
}

}  // namespace
}  // namespace tarnwick
