#include <gtest/gtest.h>

#include <string>

#include "core/config.h"
#include "platform/files.h"
#include "tests/support/harness.h"

namespace {

// A program folder whose RefuseIP.txt holds the given bytes.
class RefuseList : public ::testing::Test {
 protected:
  std::string folder_ = harness::make_temp_dir("refuse");
  std::string config_ = folder_ + "velmoraFTPd.ini";

  void write_list(const std::string& bytes) {
    ASSERT_TRUE(platform::write_file_atomically(folder_ + "RefuseIP.txt", bytes));
  }
  bool refused(const std::string& subject) { return core::refused_by_list(config_, subject); }
};

TEST_F(RefuseList, MissingListRefusesNobody) {
  EXPECT_FALSE(refused("192.168.0.1"));
  EXPECT_FALSE(refused(""));
}

TEST_F(RefuseList, PrefixPatternRefusesTheWholeNetwork) {
  write_list("192.168.*\n");
  EXPECT_TRUE(refused("192.168.0.1"));
  EXPECT_TRUE(refused("192.168.254.17"));
  EXPECT_FALSE(refused("192.169.0.1"));
  EXPECT_FALSE(refused("10.192.168.1"));
}

TEST_F(RefuseList, QuestionMarkStandsForExactlyOneCharacter) {
  write_list("10.0.0.?\n");
  EXPECT_TRUE(refused("10.0.0.1"));
  EXPECT_TRUE(refused("10.0.0.9"));
  EXPECT_FALSE(refused("10.0.0.10"));
  EXPECT_FALSE(refused("10.0.0."));
}

TEST_F(RefuseList, PatternsAreCaseSensitive) {
  write_list("HOST*\n");
  EXPECT_FALSE(refused("host1"));
  EXPECT_TRUE(refused("HOST1"));
}

TEST_F(RefuseList, PatternMustMatchTheWholeSubject) {
  write_list("10.0.0.1\n");
  EXPECT_TRUE(refused("10.0.0.1"));
  EXPECT_FALSE(refused("10.0.0.11"));
  EXPECT_FALSE(refused("110.0.0.1"));
}

TEST_F(RefuseList, AnyLineOfTheListCanRefuse) {
  write_list("172.16.*\n*.example\n*@spam.example\n10.1.1.1");
  EXPECT_TRUE(refused("172.16.3.4"));
  EXPECT_TRUE(refused("dialup.example"));
  EXPECT_TRUE(refused("someone@spam.example"));
  EXPECT_TRUE(refused("10.1.1.1"));  // last line without a line end
  EXPECT_FALSE(refused("10.1.1.2"));
}

TEST_F(RefuseList, CrLfLineEndsAreNotPartOfThePattern) {
  write_list("10.0.0.1\r\n10.0.0.2\r\n");
  EXPECT_TRUE(refused("10.0.0.1"));
  EXPECT_TRUE(refused("10.0.0.2"));
  EXPECT_FALSE(refused("10.0.0.1\r"));
}

TEST_F(RefuseList, EmptyLinesRefuseNobody) {
  write_list("\n\r\n\n10.0.0.1\n\n");
  EXPECT_FALSE(refused(""));
  EXPECT_TRUE(refused("10.0.0.1"));
}

TEST_F(RefuseList, ListBesideAnotherConfigurationFileIsNotConsulted) {
  write_list("*\n");
  const std::string other = harness::make_temp_dir("refuse-other") + "velmoraFTPd.ini";
  EXPECT_FALSE(core::refused_by_list(other, "10.0.0.1"));
  EXPECT_TRUE(refused("10.0.0.1"));
}

// A line is read 255 bytes at a time, so a 300-byte line is two patterns: the first
// 255 bytes and the remaining 45.
TEST_F(RefuseList, LineLongerThan255BytesIsReadAsTwoPatterns) {
  const std::string first = std::string(254, '*') + "Z";       // ends in Z
  const std::string second = "10.0.0.7" + std::string(37, '*');  // starts with 10.0.0.7
  ASSERT_EQ(first.size() + second.size(), 300u);
  write_list(first + second + "\n");
  EXPECT_TRUE(refused("anything ending in Z"));
  EXPECT_TRUE(refused("10.0.0.7"));
  EXPECT_TRUE(refused("10.0.0.77"));
  // The whole line as one pattern would match this; neither piece does.
  EXPECT_FALSE(refused("Z10.0.0.7"));
}

TEST_F(RefuseList, LineOfExactly255BytesIsOnePatternAndTheNextLineStillCounts) {
  const std::string exact = std::string(250, '?') + "1.2.3";
  ASSERT_EQ(exact.size(), 255u);
  write_list(exact + "\n10.0.0.9\n");
  EXPECT_TRUE(refused(std::string(250, 'x') + "1.2.3"));
  EXPECT_FALSE(refused(std::string(249, 'x') + "1.2.3"));
  EXPECT_TRUE(refused("10.0.0.9"));
}

}  // namespace
