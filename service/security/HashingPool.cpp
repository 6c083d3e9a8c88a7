#include "HashingPool.h"

#include <algorithm>

namespace vantory::service {

HashingPool::HashingPool(std::size_t threads, std::size_t queueLimit) : queueLimit_(queueLimit) {
  threads_.reserve(threads);
  for (std::size_t i = 0; i < std::max<std::size_t>(threads, 1); ++i) {
    threads_.emplace_back([this] { serve(); });
  }
}

HashingPool::~HashingPool() {
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
  }
  ready_.notify_all();
  for (auto& thread : threads_) {
    thread.join();
  }
}

bool HashingPool::trySubmit(std::function<void()> work) {
  {
    std::lock_guard lock(mutex_);
    if (ending_ || queue_.size() >= queueLimit_) {
      return false;
    }
    queue_.push_back(std::move(work));
  }
  ready_.notify_one();
  return true;
}

void HashingPool::serve() {
  while (true) {
    std::function<void()> work;
    {
      std::unique_lock lock(mutex_);
      ready_.wait(lock, [this] { return ending_ || !queue_.empty(); });
      if (queue_.empty()) {
        return;
      }
      work = std::move(queue_.front());
      queue_.pop_front();
    }
    work();  // the work catches its own failures: nothing may end this thread
  }
}

}  // namespace vantory::service
