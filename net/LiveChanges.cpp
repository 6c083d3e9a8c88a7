#include "LiveChanges.h"

#include <nlohmann/json.hpp>

#include "platform/DispatchQueue.h"
#include "platform/Url.h"

namespace vantory {

namespace {

struct Registry {
  std::mutex mutex;
  std::unique_ptr<LiveChanges> current;
  std::uint64_t nextToken = 1;
  std::map<std::uint64_t, LiveChanges::Observer> observers;
};

Registry& registry() {
  static Registry shared;
  return shared;
}

// An id the way records carry them: text, whatever the stream sent.
std::string idText(const nlohmann::json& data, const char* key) {
  const auto found = data.find(key);
  return found != data.end() && found->is_string() ? found->get<std::string>() : std::string();
}

}  // namespace

void LiveChanges::start(const std::string& baseAddress) {
  auto fresh = std::make_unique<LiveChanges>(baseAddress);
  std::unique_ptr<LiveChanges> old;
  {
    std::lock_guard lock(registry().mutex);
    old = std::move(registry().current);
    registry().current = std::move(fresh);
  }
}

void LiveChanges::stop() {
  std::unique_ptr<LiveChanges> old;
  std::lock_guard lock(registry().mutex);
  old = std::move(registry().current);
}

bool LiveChanges::following() {
  std::lock_guard lock(registry().mutex);
  return registry().current != nullptr;
}

void LiveChanges::reconnectNow() {
  std::lock_guard lock(registry().mutex);
  if (registry().current) {
    registry().current->source_->reconnectNow();
  }
}

std::uint64_t LiveChanges::addObserver(Observer observer) {
  std::lock_guard lock(registry().mutex);
  const std::uint64_t token = registry().nextToken++;
  registry().observers.emplace(token, std::move(observer));
  return token;
}

void LiveChanges::removeObserver(std::uint64_t token) {
  std::lock_guard lock(registry().mutex);
  registry().observers.erase(token);
}

LiveChanges::LiveChanges(const std::string& baseAddress)
    : source_(platform::EventSource::make(
          baseAddress + "/kelvane/qx/events",
          {// Whatever happened while the stream was closed is unknown: every
           // screen on show reads its list again once.
           [this] { add([](ChangeBatch& batch) { batch.everything = true; }); },
           [this](const platform::EventSource::Event& event) { received(event); }})) {
  const auto url = platform::Url::fromString(baseAddress);
  reachability_ = url ? Reachability::reachabilityWithHostname(url->host()) : nullptr;
  if (reachability_) {
    reachability_->setWhenReachable([](Reachability&) { LiveChanges::reconnectNow(); });
    try {
      reachability_->startNotifier();
    } catch (const std::exception&) {
      reachability_.reset();  // without it, the stream still reconnects by itself
    }
  }
}

LiveChanges::~LiveChanges() {
  reachability_.reset();
  source_.reset();
}

void LiveChanges::received(const platform::EventSource::Event& event) {
  if (event.type == "reset") {
    add([](ChangeBatch& batch) { batch.everything = true; });
    return;
  }
  if (event.type != "message") {
    return;
  }
  // Whatever a peer sends: data that is not a change is passed over.
  const auto data = nlohmann::json::parse(event.data, nullptr, false);
  if (!data.is_object() || !data.contains("kind") || !data["kind"].is_string()) {
    return;
  }
  Change change{data["kind"].get<std::string>(), idText(data, "storeId"), idText(data, "itemId")};
  add([&change](ChangeBatch& batch) { batch.changes.push_back(std::move(change)); });
}

void LiveChanges::add(const std::function<void(ChangeBatch& batch)>& change) {
  std::lock_guard lock(pending_->mutex);
  change(pending_->batch);
  if (pending_->handOverQueued) {
    return;  // it goes with the batch already on its way
  }
  pending_->handOverQueued = true;
  // One batch per interval: what comes sooner waits for the interval's end.
  const auto due = pending_->lastHandOver + kBatchInterval;
  const auto now = std::chrono::steady_clock::now();
  const auto delay = due > now ? std::chrono::ceil<std::chrono::milliseconds>(due - now)
                               : std::chrono::milliseconds(0);
  platform::DispatchQueue::main().asyncAfter(delay, [pending = pending_] { handOver(pending); });
}

void LiveChanges::handOver(const std::shared_ptr<Pending>& pending) {
  ChangeBatch batch;
  {
    std::lock_guard lock(pending->mutex);
    batch = std::move(pending->batch);
    pending->batch = {};
    pending->handOverQueued = false;
    pending->lastHandOver = std::chrono::steady_clock::now();
  }
  std::vector<Observer> observers;
  {
    std::lock_guard lock(registry().mutex);
    for (const auto& [token, observer] : registry().observers) {
      observers.push_back(observer);
    }
  }
  for (const auto& observer : observers) {
    observer(batch);
  }
}

}  // namespace vantory
