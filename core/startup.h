// The Core's entry point: command line, process and service modes, start and stop order.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace core {

// Splits a command line into words: blanks separate; double quotes start and end a
// quoted stretch; inside one, \" stands for a quote; an empty quoted word is a word.
std::vector<std::string> split_command_line(std::string_view line);

int core_main(const std::vector<std::string>& words);
// The stop sequence: stop the FTP server, then the global-IP lookup.
void run_stop_sequence();

}  // namespace core
