// Splitting command lines and looking command words up.
#include <gtest/gtest.h>

#include <string>

#include "core/commands.h"
#include "core/control.h"

namespace {

using core::lookup_command;
using core::split_line;

TEST(SplitLine, WordAndArgumentAreSeparatedByTheFirstBlank) {
  auto parts = split_line("CWD  a\r\n");
  EXPECT_EQ(parts.word, "CWD");
  EXPECT_EQ(parts.argument, " a");  // later blanks belong to the argument
}

TEST(SplitLine, CarriageReturnEndsTheWordWithoutArgument) {
  auto parts = split_line("PWD\r\n");
  EXPECT_EQ(parts.word, "PWD");
  EXPECT_EQ(parts.argument, "");
}

TEST(SplitLine, LoneLineFeedEndsTheLineLikeCrLf) {
  EXPECT_EQ(split_line("NOOP\n").word, "NOOP");
  auto parts = split_line("PASS pw\n");
  EXPECT_EQ(parts.word, "PASS");
  EXPECT_EQ(parts.argument, "pw");
}

TEST(SplitLine, OverlongWordLosesItsTenthCharacter) {
  auto parts = split_line("ABCDEFGHIJKL\r\n");
  EXPECT_EQ(parts.word, "ABCDEFGHI");
  EXPECT_EQ(parts.argument, "KL");
}

TEST(SplitLine, NineLetterWordEndedByCarriageReturnHasNoArgument) {
  auto parts = split_line("ABCDEFGHI\r\n");
  EXPECT_EQ(parts.word, "ABCDEFGHI");
  EXPECT_EQ(parts.argument, "");
}

TEST(SplitLine, ArgumentIsCutAt501Characters) {
  auto parts = split_line("STOR " + std::string(600, 'x') + "\r\n");
  EXPECT_EQ(parts.argument.size(), 501u);
}

TEST(LookupCommand, NamesAreCaseInsensitive) {
  EXPECT_EQ(lookup_command("user"), 0);
  EXPECT_EQ(lookup_command("Pass"), 1);
  EXPECT_EQ(lookup_command("xMkD"), 37);
  EXPECT_EQ(lookup_command("SIZE"), 40);
  EXPECT_EQ(lookup_command("NOOP"), 32);
}

TEST(LookupCommand, EmptyAndTelnetWordsAre33UnknownWordsAre255) {
  EXPECT_EQ(lookup_command(""), core::kCommandEmpty);
  EXPECT_EQ(lookup_command("\xFF\xF4\xFF\xF2" "ABOR"), core::kCommandEmpty);
  EXPECT_EQ(lookup_command("\xFF" "ABOR"), 21);  // one leading high byte is skipped
  EXPECT_EQ(lookup_command("FOO"), core::kCommandUnknown);
  EXPECT_EQ(lookup_command("USE"), core::kCommandUnknown);
}

}  // namespace
