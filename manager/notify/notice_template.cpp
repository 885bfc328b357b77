#include "manager/notify/notice_template.h"

#include <optional>

#include "platform/files.h"
#include "shared/size_text.h"

namespace manager {

std::string notice_file_path(const std::string& template_path) {
  if (template_path.empty()) return "";
  return template_path + "sts";
}

std::string notice_token_value(std::string_view name, const NoticeSnapshot& values) {
  if (name == "NOW_CON") return std::to_string(values.connections);
  if (name == "MAX_CON")
    return values.max_connect == 0 ? "制限無し" : std::to_string(values.max_connect);
  if (name == "IP_ADDR") return values.ip_address;
  if (name == "UP_CON") return std::to_string(values.uploading);
  if (name == "DOWN_CON") return std::to_string(values.downloading);
  if (name == "IDLE_CON" || name == "IDOL_CON")
    return std::to_string(values.connections - values.uploading - values.downloading);
  if (name == "UP_BPS") return shared::rate_text(values.upload_bps);
  if (name == "DOWN_BPS") return shared::rate_text(values.download_bps);
  return std::string(name);
}

std::string expand_notice_line(std::string_view line, const NoticeSnapshot& values) {
  std::string out;
  size_t pos = 0;
  while (pos < line.size()) {
    const size_t open = line.find('$', pos);
    if (open == std::string_view::npos) {
      out.append(line.substr(pos));
      break;
    }
    out.append(line.substr(pos, open - pos));
    const size_t close = line.find('$', open + 1);
    if (close == std::string_view::npos) break;  // the rest of the line is dropped
    out += notice_token_value(line.substr(open + 1, close - open - 1), values);
    pos = close + 1;
  }
  return out;
}

bool fill_notice_template(const std::string& template_path, const std::string& notice_path,
                          const NoticeSnapshot& values) {
  if (template_path.empty() || notice_path.empty()) return false;
  const std::optional<std::string> text = platform::read_whole_file(template_path);
  if (!text) return false;
  std::string filled;
  size_t pos = 0;
  while (pos < text->size()) {
    size_t end = text->find('\n', pos);
    end = end == std::string::npos ? text->size() : end + 1;
    filled += expand_notice_line(std::string_view(*text).substr(pos, end - pos), values);
    pos = end;
  }
  platform::File out = platform::File::open_write(notice_path);
  if (!out.is_open() || !out.truncate_at(0)) return false;
  return out.write_all(filled.data(), filled.size()) == filled.size();
}

}  // namespace manager
