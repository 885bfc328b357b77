// The operator's refusals: a line appended to RefuseIP.txt, and an account switched off;
// and the whole list as the page "拒否IP" shows and saves it.
#pragma once
#include <optional>
#include <string>

namespace manager {

// program_dir + "RefuseIP.txt".
std::string refuse_list_path(const std::string& program_dir);
// Appends text as one line to program_dir + "RefuseIP.txt" (after a line end when the file
// lacks its last one), under the settings files' lock; false when it cannot be written
// (or when text holds a line break, which would add a pattern nobody asked for).
bool refuse_address(const std::string& program_dir, const std::string& text);
// Sets [UserInfo] RefuseUser of user_dir + name + ".usr" to value. False for a name that
// is empty, "." or "..", or holds '/' (it would name a file outside the user folder).
bool refuse_user(const std::string& user_dir, const std::string& name, int value);

// The list as one text with CR LF after every line (a missing file gives "").
std::string read_refuse_list(const std::string& program_dir);
// Writes the list as the operator edited it (loaded: the text the page showed first),
// under the settings files' lock. Lines that other writers added since it was loaded are
// kept after the operator's lines; every line ends with CR LF. False when the file cannot
// be written; the old list then stays.
bool write_refuse_list(const std::string& program_dir, const std::string& loaded,
                       const std::string& edited);
// The file text that write_refuse_list writes over current; none when it is already so.
std::optional<std::string> merged_refuse_list(const std::string& loaded, const std::string& edited,
                                              const std::optional<std::string>& current);

}  // namespace manager
