// Help pages: one HTML file per topic in the program's help folder, opened in the
// desktop's browser. A page that is missing or cannot be opened is said in a message box.
#pragma once
#include <functional>
#include <string>
#include <vector>

namespace manager {

// The page of a topic: help_dir + topic + ".html".
std::string help_page_path(const std::string& help_dir, const std::string& topic);
// Opens the topic's page of the program's help folder; false (after a message box) when
// there is no page or the desktop could not open it.
bool open_help(const std::string& topic);
// The same with the help folder given.
bool open_help_page(const std::string& help_dir, const std::string& topic);
// Every topic the Manager opens (the main window's and each dialog's).
const std::vector<std::string>& help_topics();
// Replaces the desktop's opening of a page (tests); empty restores it.
void set_help_opener(std::function<bool(const std::string& page)> opener);

}  // namespace manager
