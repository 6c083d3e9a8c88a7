#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace platform {

// A FIFO of closures. The main queue has no thread of its own: whoever owns
// the main thread drains it (the GUI front-end, or a test through runUntil).
// Every other queue is serial and runs its closures on a worker thread of its
// own, in the order they were submitted.
class DispatchQueue {
 public:
  using Work = std::function<void()>;

  // A serial queue with its own worker thread.
  explicit DispatchQueue(std::string label);
  ~DispatchQueue();

  DispatchQueue(const DispatchQueue&) = delete;
  DispatchQueue& operator=(const DispatchQueue&) = delete;

  static DispatchQueue& main();

  const std::string& label() const { return label_; }

  // Queues the work; returns at once. Callable from any thread.
  void async(Work work);
  // Queues the work once the delay has passed; returns at once. The queue
  // must outlive the delay (the main queue always does).
  void asyncAfter(std::chrono::milliseconds delay, Work work);

  // --- main queue only ---------------------------------------------------

  // Runs what is queued now (and what that work queues meanwhile) until the
  // queue is empty. Returns how many closures ran.
  std::size_t drain();

  // Runs queued work until the condition holds or the timeout passes. The
  // condition is checked before each closure, so it is never missed.
  // Returns whether the condition held.
  bool runUntil(const std::function<bool()>& condition,
                std::chrono::milliseconds timeout = std::chrono::seconds(5));

  // Runs queued work for the given time (for "nothing more happens" checks).
  void runFor(std::chrono::milliseconds duration);

  // Called (from the submitting thread) every time work is queued on the
  // main queue, so that a GUI can schedule a drain on its own thread.
  void setWakeHandler(std::function<void()> handler);

 private:
  struct MainTag {};
  explicit DispatchQueue(MainTag);

  static void runGuarded(const Work& work, const std::string& label);
  bool popOne(Work& out);
  // Serial queues: how their work runs is the platform's (a thread of
  // their own on Linux, turns of the event loop in a browser).
  void workerLoop();

  std::string label_;
  std::mutex mutex_;
  std::condition_variable condition_;
  std::deque<Work> queue_;
  std::function<void()> wakeHandler_;
  bool stopping_ = false;
  std::thread worker_;
};

}  // namespace platform
