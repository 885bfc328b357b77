// Settings (INI) files: parsing, a cache of parsed files, and locked atomic rewrites.
#include "platform/profile.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <map>
#include <memory>
#include <mutex>

#include "platform/files.h"

namespace platform {
namespace {

// ---- line rules ----

std::string_view trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

enum class LineKind { Other, Section, Key };

struct Line {
  LineKind kind = LineKind::Other;
  std::string_view name;   // section or key name, trimmed
  std::string_view value;  // key value, trimmed, quotes removed
};

Line classify(std::string_view raw) {
  Line line;
  std::string_view text = trim(raw);
  if (text.empty() || text[0] == ';') return line;
  if (text[0] == '[') {
    size_t close = text.find(']');
    line.kind = LineKind::Section;
    line.name = trim(text.substr(1, close == std::string_view::npos ? std::string_view::npos
                                                                       : close - 1));
    return line;
  }
  size_t equals = text.find('=');
  if (equals == std::string_view::npos) return line;
  line.kind = LineKind::Key;
  line.name = trim(text.substr(0, equals));
  std::string_view value = trim(text.substr(equals + 1));
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
    value = value.substr(1, value.size() - 2);
  line.value = value;
  return line;
}

// Lines without their ends; LF and CR LF both end a line. A UTF-8 byte-order mark at the
// start is kept in the text but not taken as part of the first line's meaning.
std::vector<std::string> split_lines(std::string_view content) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find('\n', start);
    size_t stop = end == std::string_view::npos ? content.size() : end;
    std::string_view line = content.substr(start, stop - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return lines;
}

std::string_view meaning_of(const std::vector<std::string>& lines, size_t index) {
  std::string_view line = lines[index];
  if (index == 0 && line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
  return line;
}

// ---- parsed files ----

struct Section {
  std::string name;
  std::vector<std::pair<std::string, std::string>> keys;
};

struct Parsed {
  std::vector<Section> sections;
};

std::shared_ptr<const Parsed> parse(std::string_view content) {
  auto parsed = std::make_shared<Parsed>();
  std::vector<std::string> lines = split_lines(content);
  Section* current = nullptr;
  for (size_t i = 0; i < lines.size(); ++i) {
    Line line = classify(meaning_of(lines, i));
    if (line.kind == LineKind::Section) {
      parsed->sections.push_back(Section{std::string(line.name), {}});
      current = &parsed->sections.back();
    } else if (line.kind == LineKind::Key && current) {
      current->keys.emplace_back(std::string(line.name), std::string(line.value));
    }
  }
  return parsed;
}

// The first section of that name answers (as the classic functions do).
const Section* find_section(const Parsed& parsed, std::string_view name) {
  for (const auto& s : parsed.sections)
    if (same_name(s.name, name)) return &s;
  return nullptr;
}

const std::string* find_value(const Parsed& parsed, std::string_view section,
                              std::string_view key) {
  const Section* s = find_section(parsed, section);
  if (!s) return nullptr;
  for (const auto& [name, value] : s->keys)
    if (same_name(name, key)) return &value;
  return nullptr;
}

// ---- the cache ----

struct Stamp {
  int64_t modified_ns = 0;
  int64_t changed_ns = 0;
  uint64_t size = 0;
  uint64_t inode = 0;
  uint64_t device = 0;
  bool operator==(const Stamp&) const = default;
};

struct CacheEntry {
  Stamp stamp;
  int64_t read_at_ns = 0;  // wall clock when the content was read
  std::shared_ptr<const Parsed> parsed;
};

std::mutex cache_mutex;
std::map<std::string, CacheEntry> cache;
constexpr size_t kCacheLimit = 512;
// File systems stamp times with a coarse clock: a file changed within this margin of our
// read may change again with the same stamp, so such an entry is read again.
constexpr int64_t kRacyMarginNs = 2'000'000'000;

int64_t wall_clock_ns() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

std::optional<Stamp> stamp_of(const std::string& file) {
  struct stat st {};
  if (stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  Stamp s;
  s.modified_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
  s.changed_ns = static_cast<int64_t>(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec;
  s.size = static_cast<uint64_t>(st.st_size);
  s.inode = static_cast<uint64_t>(st.st_ino);
  s.device = static_cast<uint64_t>(st.st_dev);
  return s;
}

void forget_cached(const std::string& file) {
  std::lock_guard<std::mutex> lock(cache_mutex);
  cache.erase(file);
}

// The file's keys; none when it is missing. A file that exists but cannot be read (no
// descriptor free, no permission) has none either and sets *read_failed.
std::shared_ptr<const Parsed> load(const std::string& file, bool* read_failed = nullptr) {
  static const auto empty = std::make_shared<const Parsed>();
  std::optional<Stamp> before = stamp_of(file);
  if (!before) return empty;
  {
    std::lock_guard<std::mutex> lock(cache_mutex);
    auto found = cache.find(file);
    if (found != cache.end() && found->second.stamp == *before &&
        found->second.read_at_ns - before->modified_ns > kRacyMarginNs)
      return found->second.parsed;
  }
  int64_t read_at = wall_clock_ns();
  std::optional<std::string> content = read_whole_file(file);
  if (!content) {
    if (read_failed != nullptr) *read_failed = true;
    return empty;
  }
  std::shared_ptr<const Parsed> parsed = parse(*content);
  // Cache only when the file did not change while it was read.
  std::optional<Stamp> after = stamp_of(file);
  if (after && *after == *before) {
    std::lock_guard<std::mutex> lock(cache_mutex);
    if (cache.size() >= kCacheLimit) cache.clear();
    cache[file] = CacheEntry{*before, read_at, parsed};
  }
  return parsed;
}

// ---- locked rewrites ----

std::string lock_path_of(const std::string& file) {
  size_t slash = file.rfind('/');
  if (slash == std::string::npos) return "." + file + ".lock";
  return file.substr(0, slash + 1) + "." + file.substr(slash + 1) + ".lock";
}

// Holds an exclusive flock on the hidden lock file beside the settings file.
class FileLock {
 public:
  explicit FileLock(const std::string& file) {
    fd_ = ::open(lock_path_of(file).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0) return;
    int r;
    do {
      r = flock(fd_, LOCK_EX);
    } while (r != 0 && errno == EINTR);
    if (r != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~FileLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Texts that would break the line structure of the file are never written.
bool safe_text(std::string_view text) {
  return text.find_first_of("\r\n") == std::string_view::npos &&
         text.find('\0') == std::string_view::npos;
}

bool safe_section(std::string_view section) {
  return safe_text(section) && section.find(']') == std::string_view::npos &&
         !trim(section).empty();
}

bool safe_key(std::string_view key) {
  std::string_view t = trim(key);
  return safe_text(key) && key.find('=') == std::string_view::npos && !t.empty() &&
         t[0] != ';' && t[0] != '[';
}

std::string join_lines(const std::vector<std::string>& lines) {
  std::string content;
  for (const auto& line : lines) {
    content += line;
    content += "\r\n";
  }
  return content;
}

// [begin, end) lines of the first section of that name: begin is its header line.
bool section_range(const std::vector<std::string>& lines, std::string_view section,
                   size_t& begin, size_t& end) {
  size_t i = 0;
  for (; i < lines.size(); ++i) {
    Line line = classify(meaning_of(lines, i));
    if (line.kind == LineKind::Section && same_name(line.name, section)) break;
  }
  if (i == lines.size()) return false;
  begin = i;
  for (end = i + 1; end < lines.size(); ++end)
    if (classify(meaning_of(lines, end)).kind == LineKind::Section) break;
  return true;
}

// Changes lines; false when nothing changed.
using Edit = bool (*)(std::vector<std::string>& lines, std::string_view section,
                      std::string_view key, std::optional<std::string_view> value);

// A value the reader would change (blanks at its ends trimmed, a pair of enclosing quotes
// removed) is written inside quotes, so that it reads back byte for byte.
std::string stored_form(std::string_view value) {
  if (value.empty()) return std::string();
  const bool blank_end = value.front() == ' ' || value.front() == '\t' || value.back() == ' ' ||
                         value.back() == '\t';
  const bool quoted = value.size() >= 2 && value.front() == '"' && value.back() == '"';
  if (!blank_end && !quoted) return std::string(value);
  return "\"" + std::string(value) + "\"";
}

bool edit_key(std::vector<std::string>& lines, std::string_view section, std::string_view key,
              std::optional<std::string_view> value) {
  size_t begin = 0, end = 0;
  if (!section_range(lines, section, begin, end)) {
    if (!value) return false;
    if (!lines.empty() && !trim(lines.back()).empty()) lines.emplace_back();
    lines.push_back("[" + std::string(section) + "]");
    lines.push_back(std::string(key) + "=" + stored_form(*value));
    return true;
  }
  bool changed = false;
  for (size_t i = begin + 1; i < end; ++i) {
    Line line = classify(meaning_of(lines, i));
    if (line.kind != LineKind::Key || !same_name(line.name, key)) continue;
    if (!value) {  // a deleted key is gone, duplicates too
      lines.erase(lines.begin() + static_cast<long>(i));
      --i;
      --end;
      changed = true;
      continue;
    }
    std::string updated = std::string(line.name) + "=" + stored_form(*value);
    if (lines[i] == updated) return false;  // already so: the file is left alone
    lines[i] = std::move(updated);
    return true;
  }
  if (!value) return changed;
  // A new key goes after the section's last line that is not blank.
  size_t at = end;
  while (at > begin + 1 && trim(lines[at - 1]).empty()) --at;
  lines.insert(lines.begin() + static_cast<long>(at), std::string(key) + "=" + stored_form(*value));
  return true;
}

bool edit_remove_section(std::vector<std::string>& lines, std::string_view section,
                         std::string_view, std::optional<std::string_view>) {
  bool changed = false;
  size_t begin = 0, end = 0;
  while (section_range(lines, section, begin, end)) {
    lines.erase(lines.begin() + static_cast<long>(begin), lines.begin() + static_cast<long>(end));
    changed = true;
  }
  return changed;
}

bool rewrite(const std::string& file, Edit edit, std::string_view section, std::string_view key,
             std::optional<std::string_view> value) {
  FileLock lock(file);
  if (!lock.held()) return false;
  std::optional<std::string> content = read_whole_file(file);
  if (!content && path_exists(file)) return false;  // there but unreadable: keep it
  std::vector<std::string> lines = split_lines(content ? *content : "");
  if (!edit(lines, section, key, value)) return true;
  bool ok = write_file_atomically(file, join_lines(lines));
  forget_cached(file);
  return ok;
}

}  // namespace

int parse_profile_int(std::string_view text, int fallback) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i >= text.size() || text[i] < '0' || text[i] > '9') return fallback;
  long long magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > static_cast<long long>(INT_MAX) + 1) magnitude = static_cast<long long>(INT_MAX) + 1;
  }
  long long v = negative ? -magnitude : magnitude;
  if (v > INT_MAX) v = INT_MAX;
  return static_cast<int>(v);
}

std::string profile_read_string(const std::string& file, std::string_view section,
                                std::string_view key, std::string_view fallback) {
  auto parsed = load(file);
  const std::string* value = find_value(*parsed, section, key);
  return value ? *value : std::string(fallback);
}

int profile_read_int(const std::string& file, std::string_view section, std::string_view key,
                     int fallback) {
  auto parsed = load(file);
  const std::string* value = find_value(*parsed, section, key);
  return value ? parse_profile_int(*value, fallback) : fallback;
}

bool profile_has_key(const std::string& file, std::string_view section, std::string_view key) {
  auto parsed = load(file);
  return find_value(*parsed, section, key) != nullptr;
}

struct ProfileSnapshot::Content {
  std::shared_ptr<const Parsed> parsed;
  bool read_failed = false;
};

ProfileSnapshot::ProfileSnapshot(const std::string& file) {
  Content content;
  content.parsed = load(file, &content.read_failed);
  content_ = std::make_shared<const Content>(std::move(content));
}

bool ProfileSnapshot::read_failed() const { return content_->read_failed; }

std::optional<std::string> ProfileSnapshot::value(std::string_view section,
                                                  std::string_view key) const {
  const std::string* found = find_value(*content_->parsed, section, key);
  if (found == nullptr) return std::nullopt;
  return *found;
}

bool profile_write_string(const std::string& file, std::string_view section,
                          std::string_view key, std::optional<std::string_view> value) {
  if (!safe_section(section) || !safe_key(key) || (value && !safe_text(*value))) return false;
  return rewrite(file, edit_key, trim(section), trim(key), value);
}

namespace {

// True when the file (as cached) already holds every value of changes and none of the
// keys that changes delete.
bool already_holds(const std::string& file, std::string_view section,
                   const std::vector<ProfileChange>& changes) {
  auto parsed = load(file);
  for (const ProfileChange& change : changes) {
    const std::string* current = find_value(*parsed, section, change.key);
    if (change.value ? (!current || *current != *change.value) : current != nullptr) return false;
  }
  return true;
}

}  // namespace

bool profile_write_strings(const std::string& file, std::string_view section,
                           const std::vector<ProfileChange>& changes) {
  return profile_write_sections(file, {{std::string(section), changes}});
}

bool profile_write_sections(const std::string& file, const std::vector<ProfileSectionChanges>& all) {
  bool unchanged = true;
  for (const ProfileSectionChanges& s : all) {
    if (!safe_section(s.section)) return false;
    for (const ProfileChange& change : s.changes) {
      if (!safe_key(change.key) || (change.value && !safe_text(*change.value))) return false;
    }
    unchanged = unchanged && already_holds(file, s.section, s.changes);
  }
  if (unchanged) return true;  // no lock, no write
  FileLock lock(file);
  if (!lock.held()) return false;
  std::optional<std::string> content = read_whole_file(file);
  if (!content && path_exists(file)) return false;
  std::vector<std::string> lines = split_lines(content ? *content : "");
  bool changed = false;
  for (const ProfileSectionChanges& s : all) {
    for (const ProfileChange& change : s.changes) {
      std::optional<std::string_view> value;
      if (change.value) value = *change.value;
      changed = edit_key(lines, trim(s.section), trim(change.key), value) || changed;
    }
  }
  if (!changed) return true;
  bool ok = write_file_atomically(file, join_lines(lines));
  forget_cached(file);
  return ok;
}

bool rewrite_file_locked(const std::string& file, const FileRewrite& change) {
  FileLock lock(file);
  if (!lock.held()) return false;
  std::optional<std::string> content = read_whole_file(file);
  if (!content && path_exists(file)) return false;
  std::optional<std::string> replacement = change(content);
  if (!replacement) return true;
  bool ok = write_file_atomically(file, *replacement);
  forget_cached(file);
  return ok;
}

bool remove_profile_file(const std::string& file) {
  const bool removed = ::unlink(file.c_str()) == 0 || errno == ENOENT;
  ::unlink(lock_path_of(file).c_str());
  forget_cached(file);
  return removed;
}

bool profile_delete_section(const std::string& file, std::string_view section) {
  if (!safe_section(section)) return false;
  return rewrite(file, edit_remove_section, trim(section), "", std::nullopt);
}

std::vector<std::string> profile_section_names(const std::string& file) {
  auto parsed = load(file);
  std::vector<std::string> names;
  for (const auto& s : parsed->sections) {
    bool seen = false;
    for (const auto& n : names) seen = seen || same_name(n, s.name);
    if (!seen) names.push_back(s.name);
  }
  return names;
}

std::vector<std::string> profile_key_names(const std::string& file, std::string_view section) {
  auto parsed = load(file);
  std::vector<std::string> names;
  const Section* s = find_section(*parsed, section);
  if (!s) return names;
  for (const auto& [name, value] : s->keys) {
    bool seen = false;
    for (const auto& n : names) seen = seen || same_name(n, name);
    if (!seen) names.push_back(name);
  }
  return names;
}

}  // namespace platform
