// Filling a notice template: every $NAME$ token of the template replaced by the server's
// current state, written beside the template as the notice file.
#pragma once
#include <string>
#include <string_view>

#include "manager/notify/notice.h"

namespace manager {

// The notice file of a template: the template's path with "sts" appended ("" for "").
std::string notice_file_path(const std::string& template_path);
// The value of one token name ("NOW_CON", "UP_BPS", ...); an unknown name stands for itself.
std::string notice_token_value(std::string_view name, const NoticeSnapshot& values);
// One template line (its line break included) with its tokens replaced. A '$' without a
// closing '$' drops the rest of the line, line break included.
std::string expand_notice_line(std::string_view line, const NoticeSnapshot& values);
// Writes the filled template to notice_path (created or truncated). False, with nothing
// written, when a path is empty or the template cannot be read; false when the notice
// file cannot be written.
bool fill_notice_template(const std::string& template_path, const std::string& notice_path,
                          const NoticeSnapshot& values);

}  // namespace manager
