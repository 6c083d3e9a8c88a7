#pragma once

#include <atomic>

namespace vantory::qt {

// Runs the main queue on the GUI thread: work queued from any thread is
// drained there promptly, in order.
class MainQueueBridge {
 public:
  MainQueueBridge();
  ~MainQueueBridge();
  MainQueueBridge(const MainQueueBridge&) = delete;
  MainQueueBridge& operator=(const MainQueueBridge&) = delete;

 private:
  std::atomic<bool> drainPosted_{false};
};

}  // namespace vantory::qt
