#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vantory::service {

// A few threads of their own for the deliberately slow password hashes, so
// that strangers' sign-ins never occupy the threads serving everyone else,
// and a bounded queue in front of them, so a crowd of them is turned away
// instead of piling up.
class HashingPool {
 public:
  HashingPool(std::size_t threads, std::size_t queueLimit);
  // Runs what is queued, then joins the threads.
  ~HashingPool();
  HashingPool(const HashingPool&) = delete;
  HashingPool& operator=(const HashingPool&) = delete;

  // Queues the work; false (and nothing queued) when the queue is full.
  bool trySubmit(std::function<void()> work);

 private:
  void serve();

  const std::size_t queueLimit_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> queue_;
  bool ending_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace vantory::service
