#include "manager/shell/transfer_log.h"

#include <QString>
#include <algorithm>
#include <charconv>

#include "platform/files.h"

namespace manager {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// The next run of non-blank characters of line from pos; empty at the end of the line.
std::string_view next_word(std::string_view line, size_t& pos) {
  while (pos < line.size() && is_blank(line[pos])) ++pos;
  const size_t start = pos;
  while (pos < line.size() && !is_blank(line[pos])) ++pos;
  return line.substr(start, pos - start);
}

std::optional<long long> whole_integer(std::string_view word) {
  if (!word.empty() && word.front() == '+') word.remove_prefix(1);
  long long value = 0;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
  if (word.empty() || error != std::errc() || end != word.data() + word.size()) return {};
  return value;
}

std::string_view without_line_end(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  return line;
}

std::string case_folded(const std::string& text) {
  return QString::fromStdString(text).toCaseFolded().toStdString();
}

}  // namespace

std::optional<TransferRecord> parse_transfer_record(std::string_view line) {
  line = without_line_end(line);
  size_t pos = 0;
  TransferRecord record;
  record.date = std::string(next_word(line, pos));
  record.time = std::string(next_word(line, pos));
  long long* numbers[] = {&record.direction, &record.duration_ms, &record.bytes,
                          &record.start_offset};
  for (long long* number : numbers) {
    const std::optional<long long> value = whole_integer(next_word(line, pos));
    if (!value) return {};
    *number = *value;
  }
  while (pos < line.size() && is_blank(line[pos])) ++pos;
  record.path = std::string(line.substr(pos));
  if (record.time.empty() || record.path.empty()) return {};
  return record;
}

std::vector<TransferRecord> parse_transfer_log(std::string_view text) {
  std::vector<TransferRecord> records;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    if (auto record = parse_transfer_record(text.substr(start, end - start))) {
      records.push_back(std::move(*record));
    }
    start = end + 1;
  }
  return records;
}

std::string stars_to_blanks(std::string text) {
  std::replace(text.begin(), text.end(), '*', ' ');
  return text;
}

std::string blanks_to_stars(std::string text) {
  std::replace(text.begin(), text.end(), ' ', '*');
  return text;
}

std::string file_name_part(std::string_view path) {
  const size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::vector<UserLog> list_transfer_logs(const std::string& user_dir) {
  std::vector<platform::DirEntry> entries;
  std::vector<UserLog> logs;
  if (!platform::scan_directory(user_dir + "*.flg", entries)) return logs;
  for (const platform::DirEntry& entry : entries) {
    if (entry.info.is_directory) continue;
    const std::string user = entry.name.substr(0, entry.name.size() - 4);
    logs.push_back({user, user_dir + entry.name});
  }
  return logs;
}

std::vector<TransferRecord> read_transfer_log(const std::string& file) {
  const std::optional<std::string> text = platform::read_whole_file(file);
  if (!text) return {};
  return parse_transfer_log(*text);
}

std::string TransactionRow::download_text() const {
  return downloads == 0 ? std::string() : std::to_string(downloads);
}

// The list is names each followed by one blank: a name counts as listed only as a whole
// word ("al" is not listed by "alice ").
void add_user_name(std::string& list, const std::string& name) {
  const std::string word = name + " ";
  for (size_t at = list.find(word); at != std::string::npos; at = list.find(word, at + 1)) {
    if (at == 0 || list[at - 1] == ' ') return;
  }
  list += word;
}

size_t TransactionTable::add(const std::string& user, const TransferRecord& record) {
  const std::string name = stars_to_blanks(file_name_part(record.path));
  const auto [found, created] = index_.try_emplace(case_folded(name), rows_.size());
  if (created) rows_.push_back({name, "", 0, "", record.path});
  TransactionRow& row = rows_[found->second];
  if (record.direction == 0) {
    add_user_name(row.up_users, user);
  } else {
    add_user_name(row.down_users, user);
    ++row.downloads;
  }
  return found->second;
}

void TransactionTable::clear() {
  rows_.clear();
  index_.clear();
}

std::vector<SearchHit> find_transfers(const std::string& user,
                                      const std::vector<TransferRecord>& records,
                                      const std::string& wanted) {
  std::vector<SearchHit> hits;
  for (const TransferRecord& record : records) {
    if (file_name_part(record.path) != wanted) continue;
    hits.push_back({user, record.direction == 0,
                    "      " + record.date + " " + record.time + "  " + record.path});
  }
  return hits;
}

}  // namespace manager
