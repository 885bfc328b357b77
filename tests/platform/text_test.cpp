// Lexical path canonicalisation and the lead-byte tests.
#include "platform/text.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

TEST(CanonicalizeLexical, FoldsDotsAndRepeatedSeparators) {
  EXPECT_EQ(canonicalize_lexical("/a/./b//c"), "/a/b/c");
  EXPECT_EQ(canonicalize_lexical("/a/b/../c"), "/a/c");
  EXPECT_EQ(canonicalize_lexical("//a///b"), "/a/b");
  EXPECT_EQ(canonicalize_lexical("/a/b/.."), "/a");
  EXPECT_EQ(canonicalize_lexical("/a/b/."), "/a/b");
}

TEST(CanonicalizeLexical, DotDotAtTheRootStaysAtTheRoot) {
  EXPECT_EQ(canonicalize_lexical("/.."), "/");
  EXPECT_EQ(canonicalize_lexical("/../../etc/passwd"), "/etc/passwd");
  EXPECT_EQ(canonicalize_lexical("/srv/ftp/../../../etc"), "/etc");
  EXPECT_EQ(canonicalize_lexical("/"), "/");
  EXPECT_EQ(canonicalize_lexical(""), "/");
}

TEST(CanonicalizeLexical, KeepsATrailingSeparator) {
  EXPECT_EQ(canonicalize_lexical("/srv/ftp/pub/"), "/srv/ftp/pub/");
  EXPECT_EQ(canonicalize_lexical("/srv/ftp/pub/../"), "/srv/ftp/");
  EXPECT_EQ(canonicalize_lexical("/srv//"), "/srv/");
  EXPECT_EQ(canonicalize_lexical("/../"), "/");
}

TEST(CanonicalizeLexical, RelativePathsStartAtTheRoot) {
  EXPECT_EQ(canonicalize_lexical("a/b"), "/a/b");
  EXPECT_EQ(canonicalize_lexical("../a"), "/a");
}

TEST(CanonicalizeLexical, LeavesOtherBytesAlone) {
  EXPECT_EQ(canonicalize_lexical("/a\\..\\b/...x/..."), "/a\\..\\b/...x/...");
  EXPECT_EQ(canonicalize_lexical("/日本/./語/"), "/日本/語/");
}

TEST(LeadByte, Utf8HasNone) {
  for (int b = 0; b < 256; ++b) EXPECT_FALSE(is_lead_byte(static_cast<unsigned char>(b))) << b;
}

TEST(LeadByte, Cp932Ranges) {
  EXPECT_FALSE(is_lead_byte_cp932(0x80));
  EXPECT_TRUE(is_lead_byte_cp932(0x81));
  EXPECT_TRUE(is_lead_byte_cp932(0x9F));
  EXPECT_FALSE(is_lead_byte_cp932(0xA0));
  EXPECT_FALSE(is_lead_byte_cp932(0xDF));
  EXPECT_TRUE(is_lead_byte_cp932(0xE0));
  EXPECT_TRUE(is_lead_byte_cp932(0xFC));
  EXPECT_FALSE(is_lead_byte_cp932(0xFD));
  EXPECT_FALSE(is_lead_byte_cp932('\\'));
  EXPECT_FALSE(is_lead_byte_cp932('/'));
  int count = 0;
  for (int b = 0; b < 256; ++b) count += is_lead_byte_cp932(static_cast<unsigned char>(b));
  EXPECT_EQ(count, (0x9F - 0x81 + 1) + (0xFC - 0xE0 + 1));
}

}  // namespace
