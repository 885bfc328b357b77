// The Manager reads the Core's transfer logs: records field by field, '*' for blanks,
// every user's .flg file of the user folder, and the table of files and their users.
#include "manager/shell/transfer_log.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/harness.h"

namespace {

using manager::TransactionTable;
using manager::TransferRecord;

TransferRecord record(const std::string& path, int direction) {
  return *manager::parse_transfer_record("24/05/01 10:00:00 " + std::to_string(direction) +
                                         " 10 100 0 " + path);
}

TEST(TransferLogRecord, ACoreLineGivesEveryFieldAndKeepsStarsInThePath) {
  const auto parsed = manager::parse_transfer_record(
      "24/05/01 09:08:07 1 1534 4294967295 6000000000 /srv/ftp/my*file.txt\r\n");
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->date, "24/05/01");
  EXPECT_EQ(parsed->time, "09:08:07");
  EXPECT_EQ(parsed->direction, 1);
  EXPECT_EQ(parsed->duration_ms, 1534);
  EXPECT_EQ(parsed->bytes, 4294967295LL);
  EXPECT_EQ(parsed->start_offset, 6000000000LL);
  EXPECT_EQ(parsed->path, "/srv/ftp/my*file.txt");
}

TEST(TransferLogRecord, LinesThatAreNoRecordsAreSkipped) {
  EXPECT_FALSE(manager::parse_transfer_record(""));
  EXPECT_FALSE(manager::parse_transfer_record("24/05/01 09:08:07 1 15 100 0"));
  EXPECT_FALSE(manager::parse_transfer_record("24/05/01 09:08:07 x 15 100 0 /a"));
  EXPECT_FALSE(manager::parse_transfer_record("24/05/01 09:08:07 1 15 1e2 0 /a"));
  EXPECT_FALSE(manager::parse_transfer_record("24/05/01 09:08:07 1 15 100 0 \r\n"));
  const auto records = manager::parse_transfer_log(
      "garbage\r\n24/05/01 09:08:07 0 15 100 0 /a/b.txt\r\n\r\n"
      "24/05/02 10:00:00 1 5 7 0 /a/c.txt\n24/05/03 10:00:00 1 5");
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].path, "/a/b.txt");
  EXPECT_EQ(records[1].path, "/a/c.txt");
  EXPECT_EQ(records[1].date, "24/05/02");
}

TEST(TransferLogRecord, StarsBecomeBlanksAndTheNameIsTheLastPathPart) {
  EXPECT_EQ(manager::stars_to_blanks("/a/my*file*.txt"), "/a/my file .txt");
  EXPECT_EQ(manager::blanks_to_stars("my file.txt"), "my*file.txt");
  EXPECT_EQ(manager::file_name_part("/srv/ftp/sub/my*file.txt"), "my*file.txt");
  EXPECT_EQ(manager::file_name_part("plain.txt"), "plain.txt");
}

TEST(TransferLogFiles, EveryFlgFileOfTheUserFolderIsOneUsersLog) {
  harness::Site site("flg-list");
  const std::string user_dir = site.path("user/");
  site.write_file("user/alice.flg", "24/05/01 09:08:07 0 15 100 0 /a/b.txt\r\n");
  site.write_file("user/bob.flg", "");
  site.write_file("user/bob.usr", "[UserInfo]\r\n");
  site.write_file("user/carol.mlg", "x\r\n");
  site.make_dir("user/folder.flg");
  auto logs = manager::list_transfer_logs(user_dir);
  std::sort(logs.begin(), logs.end(), [](auto& a, auto& b) { return a.user < b.user; });
  ASSERT_EQ(logs.size(), 2u);
  EXPECT_EQ(logs[0].user, "alice");
  EXPECT_EQ(logs[0].file, user_dir + "alice.flg");
  EXPECT_EQ(logs[1].user, "bob");
  EXPECT_EQ(manager::read_transfer_log(logs[0].file).size(), 1u);
  EXPECT_TRUE(manager::read_transfer_log(user_dir + "nobody.flg").empty());
  EXPECT_TRUE(manager::list_transfer_logs(user_dir + "missing/").empty());
}

TEST(TransactionTable, AFileDownloadedTwiceBySameUserCountsTwoAndListsTheUserOnce) {
  TransactionTable table;
  table.add("bob", record("/srv/a.txt", 1));
  table.add("bob", record("/srv/a.txt", 1));
  ASSERT_EQ(table.rows().size(), 1u);
  EXPECT_EQ(table.rows()[0].download_text(), "2");
  EXPECT_EQ(table.rows()[0].down_users, "bob ");
  EXPECT_EQ(table.rows()[0].up_users, "");
}

TEST(TransactionTable, SameNameInTwoFoldersSharesOneRowKeepingTheFirstPath) {
  TransactionTable table;
  EXPECT_EQ(table.add("alice", record("/srv/one/My*File.txt", 0)), 0u);
  EXPECT_EQ(table.add("bob", record("/srv/two/my*file.TXT", 1)), 0u);
  EXPECT_EQ(table.add("bob", record("/srv/two/other.txt", 1)), 1u);
  ASSERT_EQ(table.rows().size(), 2u);
  const auto& row = table.rows()[0];
  EXPECT_EQ(row.name, "My File.txt");
  EXPECT_EQ(row.path, "/srv/one/My*File.txt");
  EXPECT_EQ(row.up_users, "alice ");
  EXPECT_EQ(row.down_users, "bob ");
  EXPECT_EQ(row.download_text(), "1");
}

TEST(TransactionTable, AnUploadOnlyRowShowsNoDownloadCount) {
  TransactionTable table;
  table.add("alice", record("/srv/a.txt", 0));
  table.add("carol", record("/srv/a.txt", 0));
  EXPECT_EQ(table.rows()[0].download_text(), "");
  EXPECT_EQ(table.rows()[0].up_users, "alice carol ");
}

TEST(TransactionTable, ANamePartOfAnotherNameIsStillListedForItsOwnFiles) {
  TransactionTable table;
  table.add("alice", record("/srv/a.txt", 1));
  table.add("al", record("/srv/a.txt", 1));
  table.add("al", record("/srv/a.txt", 1));
  table.add("lice", record("/srv/a.txt", 0));
  table.add("al", record("/srv/b.txt", 1));
  table.add("alice", record("/srv/b.txt", 1));
  table.add("ice", record("/srv/b.txt", 0));
  table.add("alice", record("/srv/b.txt", 0));
  EXPECT_EQ(table.rows()[0].down_users, "alice al ");
  EXPECT_EQ(table.rows()[0].download_text(), "3");
  EXPECT_EQ(table.rows()[0].up_users, "lice ");
  EXPECT_EQ(table.rows()[1].down_users, "al alice ");
  EXPECT_EQ(table.rows()[1].up_users, "ice alice ");
}

TEST(TransferSearch, ANameWithBlanksMatchesTheStoredPathsWithStars) {
  const std::vector<TransferRecord> records = {record("/srv/my*file.txt", 0),
                                               record("/srv/sub/my*file.txt", 2),
                                               record("/srv/my*file.txt.bak", 1),
                                               record("/srv/My*file.txt", 1)};
  const auto hits = manager::find_transfers("alice", records, manager::blanks_to_stars("my file.txt"));
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_TRUE(hits[0].upload);
  EXPECT_EQ(hits[0].user, "alice");
  EXPECT_EQ(hits[0].detail, "      24/05/01 10:00:00  /srv/my*file.txt");
  EXPECT_FALSE(hits[1].upload);
  EXPECT_EQ(hits[1].detail, "      24/05/01 10:00:00  /srv/sub/my*file.txt");
}

}  // namespace
