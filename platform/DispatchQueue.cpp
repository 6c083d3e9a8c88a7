#include "DispatchQueue.h"

#include <cstdio>
#include <utility>

namespace platform {

// The last-resort catch of every queue: a closure that throws is reported and
// the queue goes on with the next one.
void DispatchQueue::runGuarded(const Work& work, const std::string& label) {
  try {
    work();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vantory: work on the %s queue failed: %s\n", label.c_str(), error.what());
  } catch (...) {
    std::fprintf(stderr, "vantory: work on the %s queue failed\n", label.c_str());
  }
}

DispatchQueue::DispatchQueue(MainTag) : label_("main") {}

DispatchQueue& DispatchQueue::main() {
  // Never destroyed: work may still be queued from other threads at exit.
  static auto* queue = new DispatchQueue(MainTag{});
  return *queue;
}

void DispatchQueue::async(Work work) {
  std::function<void()> wake;
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(work));
    wake = wakeHandler_;
  }
  condition_.notify_one();
  if (wake) {
    wake();
  }
}

bool DispatchQueue::popOne(Work& out) {
  std::lock_guard lock(mutex_);
  if (queue_.empty()) {
    return false;
  }
  out = std::move(queue_.front());
  queue_.pop_front();
  return true;
}

std::size_t DispatchQueue::drain() {
  std::size_t ran = 0;
  Work work;
  while (popOne(work)) {
    runGuarded(work, label_);
    work = nullptr;
    ++ran;
  }
  return ran;
}

bool DispatchQueue::runUntil(const std::function<bool()>& condition,
                             std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    if (condition()) {
      return true;
    }
    Work work;
    {
      std::unique_lock lock(mutex_);
      if (!condition_.wait_until(lock, deadline, [this] { return !queue_.empty(); })) {
        break;
      }
      work = std::move(queue_.front());
      queue_.pop_front();
    }
    runGuarded(work, label_);
  }
  return condition();
}

void DispatchQueue::runFor(std::chrono::milliseconds duration) {
  runUntil([] { return false; }, duration);
}

void DispatchQueue::setWakeHandler(std::function<void()> handler) {
  std::lock_guard lock(mutex_);
  wakeHandler_ = std::move(handler);
}

}  // namespace platform
