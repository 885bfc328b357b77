// Help pages: one HTML file per topic in the program's help folder, opened in the
// desktop's browser.
#pragma once
#include <string>

namespace manager {

// The page of a topic: help_dir + topic + ".html".
std::string help_page_path(const std::string& help_dir, const std::string& topic);
// Opens the page; false when the desktop could not open it. An empty topic does nothing.
bool open_help(const std::string& topic);

}  // namespace manager
