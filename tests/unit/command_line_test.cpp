// Reading a Windows-style command line: the program and its arguments.
#include <gtest/gtest.h>

#include "platform/command_line.h"
#include "shell/launch.h"

namespace tarnwick {
namespace {

TEST(CommandLine, SplitsArgumentsByTheRuntimeRules) {
    using V = std::vector<String>;
    EXPECT_EQ(splitArguments(u"a b\tc"), (V{u"a", u"b", u"c"}));
    EXPECT_EQ(splitArguments(u"  \"My Game.d64\"  x "), (V{u"My Game.d64", u"x"}));
    EXPECT_EQ(splitArguments(u"a\\\\b"), (V{u"a\\\\b"}));          // lone backslashes stay
    EXPECT_EQ(splitArguments(u"\"a\\\\\" b"), (V{u"a\\", u"b"}));  // 2n before a quote
    EXPECT_EQ(splitArguments(u"a\\\"b"), (V{u"a\"b"}));            // 2n+1 before a quote
    EXPECT_EQ(splitArguments(u"\"a\"\"b\""), (V{u"a\"b"}));        // doubled inside quotes
    EXPECT_EQ(splitArguments(u"\"\""), (V{u""}));
    EXPECT_EQ(splitArguments(u"x\"y z\"w"), (V{u"xy zw"}));
    EXPECT_EQ(splitArguments(u"   "), V{});
    EXPECT_EQ(splitArguments(u"\"unterminated arg"), (V{u"unterminated arg"}));
}

TEST(CommandLine, ProgramCandidatesFollowTheSystemsOrder) {
    const auto candidates = programCandidates(u"C:\\Emu Dir\\my emu.exe /L x");
    ASSERT_EQ(candidates.size(), 5u);
    EXPECT_EQ(candidates[0].program, u"C:\\Emu");
    EXPECT_EQ(candidates[0].arguments, u"Dir\\my emu.exe /L x");
    EXPECT_EQ(candidates[1].program, u"C:\\Emu Dir\\my");
    EXPECT_EQ(candidates[2].program, u"C:\\Emu Dir\\my emu.exe");
    EXPECT_EQ(candidates[2].arguments, u"/L x");
    EXPECT_EQ(candidates[4].program, u"C:\\Emu Dir\\my emu.exe /L x");
    EXPECT_EQ(candidates[4].arguments, u"");

    const auto quoted = programCandidates(u"  \"C:\\Emu Dir\\emu.exe\" \"a b\"");
    ASSERT_EQ(quoted.size(), 1u);
    EXPECT_EQ(quoted[0].program, u"C:\\Emu Dir\\emu.exe");
    EXPECT_EQ(quoted[0].arguments, u" \"a b\"");

    EXPECT_TRUE(programCandidates(u"   ").empty());
}

TEST(CommandLine, QuotingSurvivesSplittingForAnyText) {
    const std::vector<String> samples = {u"plain",
                                         u"with blank",
                                         u"",
                                         u"A\" -chdir /tmp \"B",
                                         u"trailing\\",
                                         u"two\\\\",
                                         u"back\\\"slash",
                                         u"\\\\server\\share\\x",
                                         u"tab\there",
                                         u"\"\"\""};
    for (const String& s : samples) {
        const auto split = splitArguments(quoteArgument(s));
        ASSERT_EQ(split.size(), 1u) << toUtf8(s);
        EXPECT_EQ(split[0], s) << toUtf8(s);
    }
    // A Windows path is simply put between quotes.
    EXPECT_EQ(quoteArgument(u"C:\\Games\\My Game.t64"), u"\"C:\\Games\\My Game.t64\"");
}

}  // namespace
}  // namespace tarnwick
