#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace vantory::service {

// Writes gathered into one transaction: a caller whose write is queued while
// another batch commits waits; the first caller after it takes every waiting
// write, runs them in one transaction and commits once (one sync instead of
// one per write), then acknowledges each. Nothing is acknowledged before its
// commit. When a batch fails, its writes are tried again one by one, so one
// bad write fails alone.
template <typename Connection>
class GroupCommit {
 public:
  // Opens a connection for a batch, runs the work in a transaction on it and
  // commits (throwing, and rolling back, on failure).
  using Transaction = std::function<void(const std::function<void(Connection&)>& work)>;

  explicit GroupCommit(Transaction transaction) : transaction_(std::move(transaction)) {}

  // Runs the work in the next batch; returns (or throws) once that batch has
  // committed (or failed).
  template <typename Work>
  auto run(Work&& work) {
    using Result = decltype(work(std::declval<Connection&>()));
    std::optional<Result> result;
    Pending pending{.work = [&](Connection& connection) { result = work(connection); },
                    .done = false,
                    .failure = nullptr};
    std::unique_lock lock(mutex_);
    queue_.push_back(&pending);
    while (!pending.done) {
      if (leading_) {
        changed_.wait(lock);
        continue;
      }
      leading_ = true;
      std::vector<Pending*> batch(queue_.begin(), queue_.end());
      queue_.clear();
      lock.unlock();
      commit(batch);
      lock.lock();
      leading_ = false;
      changed_.notify_all();
    }
    if (pending.failure) {
      std::rethrow_exception(pending.failure);
    }
    return std::move(*result);
  }

 private:
  struct Pending {
    std::function<void(Connection&)> work;
    bool done = false;
    std::exception_ptr failure;
  };

  void commit(const std::vector<Pending*>& batch) {
    try {
      transaction_([&batch](Connection& connection) {
        for (Pending* pending : batch) {
          pending->work(connection);
        }
      });
    } catch (...) {
      if (batch.size() == 1) {
        batch.front()->failure = std::current_exception();
      } else {
        for (Pending* pending : batch) {
          try {
            transaction_(pending->work);
          } catch (...) {
            pending->failure = std::current_exception();
          }
        }
      }
    }
    std::lock_guard lock(mutex_);
    for (Pending* pending : batch) {
      pending->done = true;
    }
  }

  Transaction transaction_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Pending*> queue_;
  bool leading_ = false;
};

}  // namespace vantory::service
