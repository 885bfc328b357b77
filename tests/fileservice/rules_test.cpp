// Directory rule lookup: first match in account-file order, case rules, folder-only rules.
#include <gtest/gtest.h>

#include "core/session.h"
#include "fileservice/paths.h"

namespace {

using fileservice::rule_lookup;

// Sessions are not copyable: each test fills one in place.
struct Rules {
  core::Session s;
  explicit Rules(std::vector<core::DirRule> rules) { s.dir_rules = std::move(rules); }
};

TEST(RuleLookup, NoMatchingRuleGivesAllBits) {
  Rules s_rules({{0x20, "/srv/ftp/pub/"}});
  core::Session& s = s_rules.s;
  EXPECT_EQ(rule_lookup(s, "/srv/ftp/"), 0xFFFFFFFFu);
  EXPECT_EQ(rule_lookup(s, "/srv/other/pub/"), 0xFFFFFFFFu);
  EXPECT_FALSE(fileservice::find_rule(s, "/srv/ftp/").has_value());
}

TEST(RuleLookup, EarlierRuleWinsEvenWhenALaterOneIsLonger) {
  Rules s_rules({{0x20, "/srv/ftp/"}, {0x10, "/srv/ftp/pub/"}});
  core::Session& s = s_rules.s;
  EXPECT_EQ(rule_lookup(s, "/srv/ftp/pub/x/"), 0x20u);
  Rules t_rules({{0x10, "/srv/ftp/pub/"}, {0x20, "/srv/ftp/"}});
  core::Session& t = t_rules.s;
  EXPECT_EQ(rule_lookup(t, "/srv/ftp/pub/x/"), 0x10u);
  EXPECT_EQ(rule_lookup(t, "/srv/ftp/other/"), 0x20u);
}

TEST(RuleLookup, PrefixNeedNotEndAtASeparator) {
  Rules s_rules({{0x40, "/srv/ftp/pub"}});
  core::Session& s = s_rules.s;
  EXPECT_EQ(rule_lookup(s, "/srv/ftp/public/"), 0x40u);
  EXPECT_EQ(rule_lookup(s, "/srv/ftp/pu/"), 0xFFFFFFFFu);
}

TEST(RuleLookup, RulePathInAnotherLetterCaseMatchesOnlyTheFolderItself) {
  Rules s_rules({{0x100, "/SRV/FTP/Pub/"}});
  core::Session& s = s_rules.s;
  EXPECT_EQ(rule_lookup(s, "/srv/ftp/pub/"), 0x100u);
  EXPECT_EQ(rule_lookup(s, "/srv/ftp/pub/sub/"), 0xFFFFFFFFu);
}

TEST(RuleLookup, ThisFolderOnlyRuleDoesNotCoverSubfolders) {
  Rules s_rules({{0x1000 | 0x20, "/srv/ftp/pub/"}});
  core::Session& s = s_rules.s;
  EXPECT_EQ(rule_lookup(s, "/srv/ftp/pub/"), 0x1020u);
  EXPECT_EQ(rule_lookup(s, "/srv/ftp/PUB/"), 0x1020u);
  EXPECT_EQ(rule_lookup(s, "/srv/ftp/pub/sub/"), 0xFFFFFFFFu);
}

TEST(RuleLookup, RuleLongerThanThePathNeverMatchesAsPrefix) {
  Rules s_rules({{0x8, "/srv/ftp/pub/"}});
  core::Session& s = s_rules.s;
  EXPECT_EQ(rule_lookup(s, "/srv/ftp/"), 0xFFFFFFFFu);
  EXPECT_EQ(rule_lookup(s, "/srv/ftp/pu"), 0xFFFFFFFFu);
}

TEST(RuleLookup, RuleWithEveryBitIsStillARule) {
  Rules s_rules({{0xFFFFFFFFu, "/srv/ftp/"}});
  core::Session& s = s_rules.s;
  ASSERT_TRUE(fileservice::find_rule(s, "/srv/ftp/").has_value());
  EXPECT_EQ(*fileservice::find_rule(s, "/srv/ftp/"), 0xFFFFFFFFu);
  // Every bit includes the folder-only bit.
  EXPECT_FALSE(fileservice::find_rule(s, "/srv/ftp/a/").has_value());
}

}  // namespace
