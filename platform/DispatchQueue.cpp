#include "DispatchQueue.h"

#include <cstdio>
#include <utility>

namespace platform {

namespace {

// The last-resort catch of every queue: a closure that throws is reported and
// the queue goes on with the next one.
void runGuarded(const DispatchQueue::Work& work, const std::string& label) {
  try {
    work();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vantory: work on the %s queue failed: %s\n", label.c_str(), error.what());
  } catch (...) {
    std::fprintf(stderr, "vantory: work on the %s queue failed\n", label.c_str());
  }
}

}  // namespace

DispatchQueue::DispatchQueue(std::string label) : label_(std::move(label)) {
  worker_ = std::thread([this] { workerLoop(); });
}

DispatchQueue::DispatchQueue(MainTag) : label_("main") {}

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
