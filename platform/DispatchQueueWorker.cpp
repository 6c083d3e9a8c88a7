// Serial queues on Linux: a worker thread each; delayed work waits on one
// timer thread for the whole process.
#include <map>

#include "DispatchQueue.h"

namespace platform {

namespace {

class DelayedWork {
 public:
  using Clock = std::chrono::steady_clock;

  DelayedWork() : thread_([this] { run(); }) {}
  ~DelayedWork() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  DelayedWork(const DelayedWork&) = delete;
  DelayedWork& operator=(const DelayedWork&) = delete;

  void add(Clock::time_point due, DispatchQueue& queue, DispatchQueue::Work work) {
    {
      std::lock_guard lock(mutex_);
      waiting_.emplace(due, std::pair{&queue, std::move(work)});
    }
    changed_.notify_all();
  }

 private:
  void run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
      if (waiting_.empty()) {
        changed_.wait(lock);
        continue;
      }
      const auto first = waiting_.begin();
      if (first->first > Clock::now()) {
        changed_.wait_until(lock, first->first);
        continue;
      }
      auto [queue, work] = std::move(first->second);
      waiting_.erase(first);
      lock.unlock();
      queue->async(std::move(work));
      lock.lock();
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::multimap<Clock::time_point, std::pair<DispatchQueue*, DispatchQueue::Work>> waiting_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace

void DispatchQueue::asyncAfter(std::chrono::milliseconds delay, Work work) {
  static DelayedWork delayed;
  delayed.add(DelayedWork::Clock::now() + delay, *this, std::move(work));
}

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
