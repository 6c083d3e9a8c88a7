#include "TmuxSession.h"

#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "support/ShellCommand.h"

namespace testsupport {

bool TmuxSession::available() { return std::system("command -v tmux >/dev/null 2>&1") == 0; }

TmuxSession::TmuxSession(const std::string& command, int columns, int rows) {
  static int counter = 0;
  socket_ = "vantory-test-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
  tmux("-f /dev/null new-session -d -x " + std::to_string(columns) + " -y " + std::to_string(rows) +
       " " + shellQuoted(command));
  // The session's window keeps the size it was given, whatever client attaches.
  tmux("set-option -g window-size manual");
}

TmuxSession::~TmuxSession() { tmux("kill-server"); }

std::string TmuxSession::tmux(const std::string& arguments) const {
  return runCommand("tmux -L " + socket_ + " " + arguments + " 2>/dev/null").output;
}

void TmuxSession::press(const std::vector<std::string>& keys) {
  for (const std::string& key : keys) {
    tmux("send-keys " + key);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
  }
}

void TmuxSession::type(const std::string& text) {
  tmux("send-keys -l " + shellQuoted(text));
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
