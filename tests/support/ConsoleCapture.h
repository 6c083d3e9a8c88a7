#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/Console.h"

namespace testsupport {

// Collects what the code prints while it is alive.
class ConsoleCapture {
 public:
  ConsoleCapture() : state_(std::make_shared<State>()) {
    platform::Console::setSink([state = state_](std::string_view line) {
      std::lock_guard lock(state->mutex);
      state->text.append(line);
      state->text += '\n';
    });
  }
  ~ConsoleCapture() { platform::Console::setSink({}); }
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;

  std::string text() const {
    std::lock_guard lock(state_->mutex);
    return state_->text;
  }

 private:
  struct State {
    std::mutex mutex;
    std::string text;
  };
  std::shared_ptr<State> state_;
};

}  // namespace testsupport
