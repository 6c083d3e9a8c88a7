// Where UserDefaults keep their values on Linux: one JSON file, replaced
// atomically and durably on every change.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "UserDefaults.h"

namespace platform {

namespace {

void warn(const std::string& message) { std::cerr << "vantory: " << message << '\n'; }

bool writeAll(int fd, const std::string& text) {
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    written += static_cast<std::size_t>(n);
  }
  return true;
}

void syncDirectory(const std::filesystem::path& directory) {
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

}  // namespace

std::filesystem::path UserDefaults::defaultPath() {
  std::filesystem::path base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
    base = std::filesystem::path(home) / ".config";
  } else {
    base = std::filesystem::temp_directory_path();
  }
  return base / "vantory" / "defaults.json";
}

void UserDefaults::load() {
  std::error_code error;
  if (!std::filesystem::exists(file_, error)) {
    return;  // nothing stored yet
  }
  std::ifstream in(file_, std::ios::binary);
  std::stringstream text;
  if (in) {
    text << in.rdbuf();
  }
  nlohmann::json parsed = nlohmann::json::parse(text.str(), nullptr, false);
  if (in && !parsed.is_discarded() && parsed.is_object()) {
    values_ = std::move(parsed);
    return;
  }
  // Keep the damaged file for whoever wants to look at it, start empty.
  std::filesystem::path aside = file_;
  aside += ".corrupt";
  std::filesystem::rename(file_, aside, error);
  warn("the settings file " + file_.string() + " could not be read" +
       (error ? "" : "; it was moved to " + aside.string()) + " and empty settings are used");
}

void UserDefaults::save() const {
  std::error_code error;
  const std::filesystem::path directory = file_.parent_path();
  if (!directory.empty()) {
    std::filesystem::create_directories(directory, error);
  }
  std::filesystem::path temporary = file_;
  temporary += ".tmp";
  const std::string text =
      values_.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";

  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    warn("could not save settings to " + file_.string() + ": " + std::strerror(errno));
    return;
  }
  const bool written = writeAll(fd, text) && ::fsync(fd) == 0;
  ::close(fd);
  if (!written || ::rename(temporary.c_str(), file_.c_str()) != 0) {
    warn("could not save settings to " + file_.string() + ": " + std::strerror(errno));
    ::unlink(temporary.c_str());
    return;
  }
  syncDirectory(directory.empty() ? std::filesystem::path(".") : directory);
}

}  // namespace platform
