#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/startup.h"

namespace {

using Words = std::vector<std::string>;

TEST(CommandLine, BlanksSeparateWords) {
  EXPECT_EQ(core::split_command_line("quorsrv -ns"), (Words{"quorsrv", "-ns"}));
}

TEST(CommandLine, RunsOfBlanksAndTabsCountAsOneSeparator) {
  EXPECT_EQ(core::split_command_line("  quorsrv \t  -ns   -as  "),
            (Words{"quorsrv", "-ns", "-as"}));
}

TEST(CommandLine, EmptyOrBlankLineHasNoWords) {
  EXPECT_TRUE(core::split_command_line("").empty());
  EXPECT_TRUE(core::split_command_line("   \t ").empty());
}

TEST(CommandLine, QuotedStretchKeepsBlanks) {
  EXPECT_EQ(core::split_command_line("\"/opt/velmora ftpd/quorsrv\" -ns"),
            (Words{"/opt/velmora ftpd/quorsrv", "-ns"}));
}

TEST(CommandLine, QuotedStretchInsideAWordJoinsIt) {
  EXPECT_EQ(core::split_command_line("ab\"c d\"e f"), (Words{"abc de", "f"}));
}

TEST(CommandLine, BackslashQuoteInsideQuotesIsAQuote) {
  EXPECT_EQ(core::split_command_line("x \"say \\\"hi\\\" now\" y"),
            (Words{"x", "say \"hi\" now", "y"}));
}

TEST(CommandLine, BackslashOutsideQuotesIsAnOrdinaryByte) {
  EXPECT_EQ(core::split_command_line("a\\b c\\"), (Words{"a\\b", "c\\"}));
}

TEST(CommandLine, EmptyQuotedWordIsAWord) {
  EXPECT_EQ(core::split_command_line("quorsrv \"\" -ns"), (Words{"quorsrv", "", "-ns"}));
  EXPECT_EQ(core::split_command_line("quorsrv \"\""), (Words{"quorsrv", ""}));
}

TEST(CommandLine, UnclosedQuoteRunsToTheEnd) {
  EXPECT_EQ(core::split_command_line("quorsrv \"-ns  -as"), (Words{"quorsrv", "-ns  -as"}));
}

}  // namespace
