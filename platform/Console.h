#pragma once

#include <functional>
#include <string_view>

namespace platform {

// Standard output, one whole line per print even when threads print at once.
class Console {
 public:
  using Sink = std::function<void(std::string_view line)>;

  static void print(std::string_view line);

  // Sends lines elsewhere instead of standard output (tests read them);
  // an empty sink restores standard output.
  static void setSink(Sink sink);
};

}  // namespace platform
