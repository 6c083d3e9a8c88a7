#include "TmuxSession.h"

#include <unistd.h>

#include <cstdio>
#include <thread>

namespace testsupport {

namespace {

// A single-quoted shell word.
std::string quoted(const std::string& text) {
  std::string out = "'";
  for (const char c : text) {
    out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return out + "'";
}

std::string output(const std::string& command) {
  FILE* pipe = ::popen(command.c_str(), "r");
  std::string text;
  char buffer[4096];
  while (pipe != nullptr && std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
    text += buffer;
  }
  if (pipe != nullptr) {
    ::pclose(pipe);
  }
  return text;
}

}  // namespace

bool TmuxSession::available() { return std::system("command -v tmux >/dev/null 2>&1") == 0; }

TmuxSession::TmuxSession(const std::string& command, int columns, int rows) {
  static int counter = 0;
  socket_ = "vantory-test-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
  tmux("-f /dev/null new-session -d -x " + std::to_string(columns) + " -y " + std::to_string(rows) +
       " " + quoted(command));
  // The session's window keeps the size it was given, whatever client attaches.
  tmux("set-option -g window-size manual");
}

TmuxSession::~TmuxSession() { tmux("kill-server"); }

std::string TmuxSession::tmux(const std::string& arguments) const {
  return output("tmux -L " + socket_ + " " + arguments + " 2>/dev/null");
}

void TmuxSession::press(const std::vector<std::string>& keys) {
  for (const std::string& key : keys) {
    tmux("send-keys " + key);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
  }
}

void TmuxSession::type(const std::string& text) {
  tmux("send-keys -l " + quoted(text));
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
}

void TmuxSession::resize(int columns, int rows) {
  tmux("resize-window -x " + std::to_string(columns) + " -y " + std::to_string(rows));
}

std::string TmuxSession::screen(bool escapes) const {
  return tmux(std::string("capture-pane -p") + (escapes ? " -e" : ""));
}

bool TmuxSession::waitFor(const std::string& text, std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (screen().find(text) != std::string::npos) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return screen().find(text) != std::string::npos;
}

bool TmuxSession::waitForAbsence(const std::string& text, std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (screen().find(text) == std::string::npos) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return screen().find(text) == std::string::npos;
}

}  // namespace testsupport
