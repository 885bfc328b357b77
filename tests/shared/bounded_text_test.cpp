// Fixed-size text fields: every edge of the bounded copy and format.
#include "shared/bounded_text.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace shared;

namespace {

TEST(CopyBounded, ExactFitAndOneOver) {
  char field[6];
  memset(field, 'X', sizeof field);
  copy_bounded(field, sizeof field, "abcde");  // 5 bytes + NUL: exact fit
  EXPECT_STREQ(field, "abcde");
  copy_bounded(field, sizeof field, "abcdef");  // one over: cut to 5
  EXPECT_STREQ(field, "abcde");
}

TEST(CopyBounded, EmptyTextAndTinyFields) {
  char field[4] = {'X', 'X', 'X', 'X'};
  copy_bounded(field, sizeof field, "");
  EXPECT_EQ(field[0], '\0');
  copy_bounded(field, 1, "abc");
  EXPECT_EQ(field[0], '\0');
  EXPECT_EQ(field[1], 'X');
  field[0] = 'Y';
  copy_bounded(field, 0, "abc");  // size 0 writes nothing
  EXPECT_EQ(field[0], 'Y');
}

TEST(CopyBounded, CutsMultiByteTextByBytes) {
  char field[5];
  copy_bounded(field, sizeof field, "日本");  // E6 97 A5 E6 9C AC
  EXPECT_EQ(strlen(field), 4u);
  EXPECT_EQ(std::string(field), std::string("日本").substr(0, 4));
}

TEST(CutText, KeepsAtMostTheGivenBytes) {
  EXPECT_EQ(cut_text("hello", 10), "hello");
  EXPECT_EQ(cut_text("hello", 5), "hello");
  EXPECT_EQ(cut_text("hello", 4), "hell");
  EXPECT_EQ(cut_text("hello", 0), "");
  EXPECT_EQ(cut_text("", 3), "");
}

TEST(FormatBounded, CutsToSizeMinusOne) {
  EXPECT_EQ(format_bounded(16, "%d-%s", 42, "x"), "42-x");
  EXPECT_EQ(format_bounded(5, "%s", "abcdef"), "abcd");
  EXPECT_EQ(format_bounded(5, "%s", "abcd"), "abcd");
  EXPECT_EQ(format_bounded(1, "%s", "abc"), "");
  EXPECT_EQ(format_bounded(0, "%s", "abc"), "");
  EXPECT_EQ(format_bounded(8, "%s", ""), "");
  std::string big(5000, 'z');
  EXPECT_EQ(format_bounded(1024, "550 %s\r\n", big.c_str()).size(), 1023u);
}

TEST(BoundedLength, StopsAtNulOrTheLimit) {
  const char text[8] = {'a', 'b', '\0', 'c', 'd', 'e', 'f', 'g'};
  EXPECT_EQ(bounded_length(text, 8), 2u);
  EXPECT_EQ(bounded_length(text + 3, 5), 5u);
  EXPECT_EQ(bounded_length(text, 1), 1u);
  EXPECT_EQ(bounded_length(text, 0), 0u);
}

}  // namespace
