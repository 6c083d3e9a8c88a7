#include "ShellCommand.h"

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace testsupport {

CommandResult runCommand(const std::string& command, const std::string& input) {
  static std::atomic<int> counter{0};
  const auto inputFile =
      input.empty()
          ? std::filesystem::path("/dev/null")
          : std::filesystem::temp_directory_path() /
                ("vantory-input-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
  if (!input.empty()) {
    std::ofstream(inputFile) << input;
  }
  CommandResult result;
  // A group, so that the input and the joined streams apply to the whole
  // line (a pipeline too) and the line's own redirections still win.
  const std::string line = "{ " + command + "\n} <" + shellQuoted(inputFile) + " 2>&1";
  FILE* pipe = ::popen(line.c_str(), "r");
  if (pipe != nullptr) {
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
      result.output += buffer;
    }
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  if (!input.empty()) {
    std::filesystem::remove(inputFile);
  }
  return result;
}

std::string shellQuoted(const std::string& text) {
  std::string out = "'";
  for (const char c : text) {
    out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return out + "'";
}

}  // namespace testsupport
