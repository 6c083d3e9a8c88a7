#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>

#include "storage/Storage.h"

namespace vantory::service {

// Tells the clients that follow changes (GET .../events) what changed, as
// Server-Sent Events text. A thread of its own watches the storage's data
// version and, when it moves, reads the changes committed since, by this
// server or any other on the same storage, and hands every subscriber the
// same text. Subscribers are capped in all and per client.
class ChangeFeed {
 public:
  using Text = std::shared_ptr<const std::string>;
  // Called on the feed's thread: must only hand the text on, never block.
  using Deliver = std::function<void(const Text&)>;

  struct Options {
    std::size_t maxSubscribers = 512;
    std::size_t maxSubscribersPerClient = 16;
    std::chrono::milliseconds interval{100};  // between looks at the storage
  };

  // Leaves the feed when destroyed; harmless once the feed is gone.
  class Subscription {
   public:
    ~Subscription();
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;

   private:
    friend class ChangeFeed;
    struct Shared;
    Subscription(std::weak_ptr<Shared> feed, std::uint64_t number)
        : feed_(std::move(feed)), number_(number) {}
    std::weak_ptr<Shared> feed_;
    std::uint64_t number_;
  };

  // A subscriber taken in, with what it is sent first; or the refusal.
  struct Joined {
    std::unique_ptr<Subscription> subscription;  // none when refused
    std::string first;
    int refusal = 0;  // 503 or 429
    std::string message;
  };

  ChangeFeed(Storage& storage, Options options);
  ~ChangeFeed();
  ChangeFeed(const ChangeFeed&) = delete;
  ChangeFeed& operator=(const ChangeFeed&) = delete;

  // Takes a subscriber in. With `lastEventId` (the Last-Event-ID header; empty
  // when none was sent) it is first sent the changes after that one, or a
  // "reset" event when they are no longer known; otherwise only the id of the
  // newest change, from which a later reconnection resumes.
  Joined join(const std::string& client, std::string_view lastEventId, Deliver deliver);
  std::size_t subscriberCount() const;
  // Looks at the storage now rather than at the next interval: this server
  // has just written. Changes by other servers are seen within an interval.
  void nudge();

  // One change as an event: its id, and its kind and ids as JSON data.
  static std::string format(const ChangeRow& change);
  static constexpr std::string_view kKeepAlive = ": keep-alive\n\n";
  static constexpr std::string_view kReset = "event: reset\ndata: {}\n\n";

 private:
  void run();
  // Reads what changed since the last look and sends it to everyone, when
  // anyone follows.
  void look();
  // The reading and sending itself; lookMutex_ held.
  void catchUp();
  // The text of the changes not yet sent among those read, marking them sent.
  std::string unsent(const std::vector<ChangeRow>& changes);

  Storage& storage_;
  Options options_;
  std::shared_ptr<Subscription::Shared> shared_;
  // Held while looking and while a subscriber joins, so that a joiner gets
  // every change exactly once: in what it is sent first, or live.
  std::mutex lookMutex_;
  std::uint64_t version_ = 0;
  std::int64_t newest_ = 0;  // the newest change sent
  // Changes sent lately: one instance on PostgreSQL may commit a change
  // after another's change with a higher id, so a window below the newest
  // is read again each time.
  std::set<std::int64_t> recent_;
  static constexpr std::int64_t kLookBack = 256;

  std::mutex stopMutex_;
  std::condition_variable stopSignal_;
  bool stopping_ = false;
  bool nudged_ = false;
  std::thread thread_;
};

}  // namespace vantory::service
