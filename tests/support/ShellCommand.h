#pragma once

#include <string>

namespace testsupport {

struct CommandResult {
  int status = -1;     // the exit status, -1 if the command did not exit
  std::string output;  // standard output and error together
};

// Runs a shell command line with `input` on its standard input.
CommandResult runCommand(const std::string& command, const std::string& input = "");

// The text as one single-quoted shell word.
std::string shellQuoted(const std::string& text);

}  // namespace testsupport
