#pragma once

#include <chrono>
#include <thread>

namespace testsupport {

// Polls `holds` until it is true or `timeout` has passed; whether it became
// true. What a test waits for, instead of a fixed sleep that a busy machine
// outlasts.
template <typename Condition>
bool waitUntil(Condition holds, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!holds()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace testsupport
