// Wildcard patterns of the refusal lists and per-user host lists.
#include "shared/pattern.h"

#include <gtest/gtest.h>

#include <string>

using shared::pattern_match;

namespace {

// The plain backtracking recursion the lists were first matched with: the reference for
// every answer.
bool reference_match(std::string_view p, std::string_view s) {
  if (p.empty()) return s.empty();
  if (p[0] == '*') return reference_match(p.substr(1), s) || (!s.empty() && reference_match(p, s.substr(1)));
  if (s.empty()) return false;
  return (p[0] == '?' || p[0] == s[0]) && reference_match(p.substr(1), s.substr(1));
}

TEST(PatternMatch, RefusalListExamples) {
  EXPECT_TRUE(pattern_match("192.168.*", "192.168.1.20"));
  EXPECT_TRUE(pattern_match("192.168.*", "192.168."));
  EXPECT_FALSE(pattern_match("192.168.*", "10.192.168.1"));
  EXPECT_FALSE(pattern_match("192.168.*", "192.168"));
  EXPECT_TRUE(pattern_match("*.example", "host.example"));
  EXPECT_FALSE(pattern_match("*.example", "host.example.org"));
}

TEST(PatternMatch, QuestionMarkIsExactlyOneCharacter) {
  for (int i = 1; i <= 9; ++i) EXPECT_TRUE(pattern_match("10.0.0.?", "10.0.0." + std::to_string(i)));
  EXPECT_FALSE(pattern_match("10.0.0.?", "10.0.0.10"));
  EXPECT_FALSE(pattern_match("10.0.0.?", "10.0.0."));
}

TEST(PatternMatch, IsCaseSensitive) {
  EXPECT_FALSE(pattern_match("HOST*", "host1"));
  EXPECT_TRUE(pattern_match("HOST*", "HOST1"));
}

TEST(PatternMatch, EmptyPatternMatchesOnlyEmptyText) {
  EXPECT_TRUE(pattern_match("", ""));
  EXPECT_FALSE(pattern_match("", "a"));
  EXPECT_TRUE(pattern_match("*", ""));
  EXPECT_TRUE(pattern_match("**", ""));
  EXPECT_TRUE(pattern_match("**", "anything"));
  EXPECT_FALSE(pattern_match("?", ""));
  EXPECT_FALSE(pattern_match("a", ""));
}

TEST(PatternMatch, WholeTextMustMatch) {
  EXPECT_FALSE(pattern_match("abc", "abcd"));
  EXPECT_FALSE(pattern_match("bcd", "abcd"));
  EXPECT_TRUE(pattern_match("a*d", "abcd"));
  EXPECT_TRUE(pattern_match("a*c*", "abcd"));
  EXPECT_FALSE(pattern_match("a*c", "abcd"));
}

TEST(PatternMatch, BytesOfMultiByteCharactersMatchOneByOne) {
  std::string japanese = "日本";  // six bytes
  EXPECT_TRUE(pattern_match("??????", japanese));
  EXPECT_FALSE(pattern_match("??", japanese));
  EXPECT_TRUE(pattern_match("日*", japanese));
}

TEST(PatternMatch, AgreesWithTheBacktrackingRecursionOnEverySmallCase) {
  const char alphabet[] = {'a', 'b', '*', '?'};
  std::vector<std::string> patterns{""}, subjects{""};
  for (int length = 1; length <= 5; ++length) {
    std::vector<std::string> longer;
    for (const auto& p : patterns)
      if (p.size() == static_cast<size_t>(length - 1))
        for (char c : alphabet) longer.push_back(p + c);
    patterns.insert(patterns.end(), longer.begin(), longer.end());
  }
  for (int length = 1; length <= 6; ++length) {
    std::vector<std::string> longer;
    for (const auto& s : subjects)
      if (s.size() == static_cast<size_t>(length - 1))
        for (char c : {'a', 'b'}) longer.push_back(s + c);
    subjects.insert(subjects.end(), longer.begin(), longer.end());
  }
  subjects.push_back("a*b");
  subjects.push_back("?");
  for (const auto& p : patterns)
    for (const auto& s : subjects)
      ASSERT_EQ(pattern_match(p, s), reference_match(p, s)) << "pattern " << p << " text " << s;
}

TEST(PatternMatch, PathologicalPatternAgainstALongTextFinishes) {
  // Exponential for the plain recursion; quadratic at worst here.
  std::string text(10000, 'a');
  EXPECT_FALSE(pattern_match("*a*a*a*a*a*b", text));
  EXPECT_TRUE(pattern_match("*a*a*a*a*a*", text));
  text.back() = 'b';
  EXPECT_TRUE(pattern_match("*a*a*a*a*a*b", text));
}

}  // namespace
