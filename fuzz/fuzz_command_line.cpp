// The Core's command line splitter: words, quoted stretches, \" inside quotes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/startup.h"
#include "fuzz/fuzz_support.h"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view line(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> words = core::split_command_line(line);

  // Every word costs at least one byte of the line, and the words never hold more
  // bytes than the line.
  size_t total = 0;
  for (const std::string& word : words) total += word.size();
  FUZZ_CHECK(words.size() <= size);
  FUZZ_CHECK(total <= size);

  // A line without quotes splits at blanks exactly.
  if (line.find('"') == std::string_view::npos) {
    std::vector<std::string> expected;
    size_t i = 0;
    while (i < line.size()) {
      while (i < line.size() && is_blank(line[i])) ++i;
      size_t start = i;
      while (i < line.size() && !is_blank(line[i])) ++i;
      if (i > start) expected.emplace_back(line.substr(start, i - start));
    }
    FUZZ_CHECK(words == expected);
  }

  // Quoting a word that holds no quote or blank gives the word back (unless it ends in a
  // backslash, which would escape the closing quote).
  for (const std::string& word : words) {
    if (word.find_first_of("\" \t") != std::string::npos) continue;
    if (!word.empty() && word.back() == '\\') continue;
    std::vector<std::string> again = core::split_command_line("\"" + word + "\"");
    FUZZ_CHECK(again.size() == 1 && again[0] == word);
  }
  return 0;
}
