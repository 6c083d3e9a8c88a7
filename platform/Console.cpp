#include "Console.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace platform {

namespace {
std::mutex& consoleMutex() {
  static std::mutex mutex;
  return mutex;
}
Console::Sink& consoleSink() {
  static Console::Sink sink;
  return sink;
}
}  // namespace

void Console::print(std::string_view line) {
  std::lock_guard lock(consoleMutex());
  if (const Sink& sink = consoleSink()) {
    sink(line);
    return;
  }
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void Console::setSink(Sink sink) {
  std::lock_guard lock(consoleMutex());
  consoleSink() = std::move(sink);
}

}  // namespace platform
