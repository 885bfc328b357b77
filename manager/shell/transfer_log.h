// Reading the per-user transfer logs (user folder + name + ".flg"). Each line is
// "date time direction duration bytes offset path"; the Core writes every blank of the
// path as '*'. Shared by the transaction window and the user search.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace manager {

struct TransferRecord {
  std::string date;
  std::string time;
  long long direction = 0;  // 0: uploaded by the user; any other value: downloaded
  long long duration_ms = 0;
  long long bytes = 0;
  long long start_offset = 0;
  std::string path;  // as stored: blanks written as '*'
};

// One line of a transfer log (its line end, CR LF or LF, may be present). The path is
// the rest of the line after the sixth field. None for a line that is not a record.
std::optional<TransferRecord> parse_transfer_record(std::string_view line);
// Every record of the text, in order; lines that are not records are skipped.
std::vector<TransferRecord> parse_transfer_log(std::string_view text);

// '*' back to blanks, and blanks to '*'.
std::string stars_to_blanks(std::string text);
std::string blanks_to_stars(std::string text);
// The part after the last '/' (the file name and extension).
std::string file_name_part(std::string_view path);

struct UserLog {
  std::string user;  // the log's file name without ".flg"
  std::string file;  // full path
};
// Every "*.flg" file of the user folder (ends with '/'), in the listing's order.
std::vector<UserLog> list_transfer_logs(const std::string& user_dir);
// The records of one log file; empty when it cannot be read.
std::vector<TransferRecord> read_transfer_log(const std::string& file);

// One row of the transaction table: a file name with the users who uploaded it, the
// number of downloads and the users who downloaded it.
struct TransactionRow {
  std::string name;        // file name and extension, blanks restored; the row's key
  std::string up_users;    // each name followed by one blank
  int downloads = 0;
  std::string down_users;  // each name followed by one blank
  std::string path;        // the stored path of the record that created the row
  std::string download_text() const;  // "" while nothing was downloaded
};

// Gathers records of every user's log into rows keyed by file name, letter case ignored.
class TransactionTable {
 public:
  // Adds one record of user's log; returns the index of the row it created or changed.
  size_t add(const std::string& user, const TransferRecord& record);
  const std::vector<TransactionRow>& rows() const { return rows_; }
  void clear();

 private:
  std::vector<TransactionRow> rows_;
  std::unordered_map<std::string, size_t> index_;  // case-folded name -> row
};

// Adds name + " " to list unless the list already holds that name as a whole word.
void add_user_name(std::string& list, const std::string& name);

// One match of the user search.
struct SearchHit {
  std::string user;
  bool upload = false;  // direction 0
  std::string detail;   // six blanks, date, blank, time, two blanks, stored path
};
// The records whose file name part equals wanted (blanks written as '*').
std::vector<SearchHit> find_transfers(const std::string& user,
                                      const std::vector<TransferRecord>& records,
                                      const std::string& wanted);

}  // namespace manager
