// The operator's refusals: a line appended to RefuseIP.txt, and an account switched off;
// and the whole list as the page "拒否IP" shows and saves it.
#pragma once
#include <string>

namespace manager {

// program_dir + "RefuseIP.txt".
std::string refuse_list_path(const std::string& program_dir);
// Appends text as one line to program_dir + "RefuseIP.txt"; false when it cannot be written
// (or when text holds a line break, which would add a pattern nobody asked for).
bool refuse_address(const std::string& program_dir, const std::string& text);
// Sets [UserInfo] RefuseUser of user_dir + name + ".usr" to value. False for a name that
// is empty, "." or "..", or holds '/' (it would name a file outside the user folder).
bool refuse_user(const std::string& user_dir, const std::string& name, int value);

// The list as one text with CR LF after every line (a missing file gives "").
std::string read_refuse_list(const std::string& program_dir);
// Replaces the list with text (CR LF or LF line breaks; stored with CR LF). False when the
// file cannot be written; the old list then stays.
bool write_refuse_list(const std::string& program_dir, const std::string& text);

}  // namespace manager
