#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/Reachability.h"
#include "platform/EventSource.h"

namespace vantory {

// A change to the shared data, as the service tells those who follow it.
struct Change {
  std::string kind;  // "storeAdded", "dealEdited", "interestRemoved", ...
  std::string storeId;
  std::string itemId;

  bool isAbout(std::string_view prefix) const { return kind.rfind(prefix, 0) == 0; }
};

// What happened since the last batch: the changes; or, after the stream
// (re)opened, `everything`, since what happened meanwhile is unknown.
struct ChangeBatch {
  bool everything = false;
  std::vector<Change> changes;
};

// Follows the service's stream of changes for the whole app and hands
// batches of them to observers on the main queue, at most one batch every
// 250 ms. A stream that ended is opened again at once when the service's
// host becomes reachable again. With a service that has no stream nothing
// is ever handed over.
class LiveChanges {
 public:
  using Observer = std::function<void(const ChangeBatch& batch)>;

  // Follows the service at the base address (in place of any earlier one).
  static void start(const std::string& baseAddress);
  // Stops following; observers stay registered.
  static void stop();
  static bool following();
  // The stream, if followed, reconnects at once (the network is back).
  static void reconnectNow();

  static std::uint64_t addObserver(Observer observer);
  static void removeObserver(std::uint64_t token);

  explicit LiveChanges(const std::string& baseAddress);
  ~LiveChanges();
  LiveChanges(const LiveChanges&) = delete;
  LiveChanges& operator=(const LiveChanges&) = delete;

  static constexpr std::chrono::milliseconds kBatchInterval{250};

 private:
  // What arrived and is not handed over yet; shared with the hand-over
  // queued on the main queue, which may run after this object is gone.
  struct Pending {
    std::mutex mutex;
    ChangeBatch batch;
    bool handOverQueued = false;
    std::chrono::steady_clock::time_point lastHandOver;
  };

  void received(const platform::EventSource::Event& event);
  // Adds to the batch and sees that it is handed over in time.
  void add(const std::function<void(ChangeBatch& batch)>& change);
  static void handOver(const std::shared_ptr<Pending>& pending);

  std::shared_ptr<Pending> pending_ = std::make_shared<Pending>();
  std::unique_ptr<platform::EventSource> source_;
  std::unique_ptr<Reachability> reachability_;  // last: stops first
};

}  // namespace vantory
