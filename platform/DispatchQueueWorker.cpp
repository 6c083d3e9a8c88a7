// Serial queues on Linux: a worker thread each.
#include "DispatchQueue.h"

namespace platform {

DispatchQueue::DispatchQueue(std::string label) : label_(std::move(label)) {
  worker_ = std::thread([this] { workerLoop(); });
}

DispatchQueue::~DispatchQueue() {
  if (!worker_.joinable()) {
    return;
  }
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  condition_.notify_all();
  worker_.join();
}

void DispatchQueue::workerLoop() {
  while (true) {
    Work work;
    {
      std::unique_lock lock(mutex_);
      condition_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) {
        return;  // stopping, and everything queued has run
      }
      work = std::move(queue_.front());
      queue_.pop_front();
    }
    runGuarded(work, label_);
  }
}

}  // namespace platform
