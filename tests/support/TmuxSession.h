#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace testsupport {

// A program in a real terminal: a tmux session of its own (its own server
// socket), driven with send-keys and read back with capture-pane, as a
// person at a terminal would use it.
class TmuxSession {
 public:
  // Starts the command in a detached session of the given size.
  TmuxSession(const std::string& command, int columns, int rows);
  ~TmuxSession();
  TmuxSession(const TmuxSession&) = delete;
  TmuxSession& operator=(const TmuxSession&) = delete;

  // Whether tmux is there to run it.
  static bool available();

  // Keys by tmux's names ("Enter", "Tab", "Escape", "BSpace", "C-r", "Down").
  void press(const std::vector<std::string>& keys);
  // Text typed as it is, characters outside ASCII too.
  void type(const std::string& text);
  void resize(int columns, int rows);

  // The screen as text, one line per row (trailing spaces dropped); with
  // `escapes`, the colours and attributes too.
  std::string screen(bool escapes = false) const;
  // Waits until the screen shows the text; false if it did not in time.
  bool waitFor(const std::string& text,
               std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
  bool waitForAbsence(const std::string& text,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

 private:
  std::string tmux(const std::string& arguments) const;

  std::string socket_;
};

}  // namespace testsupport
