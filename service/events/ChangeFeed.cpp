#include "ChangeFeed.h"

#include <algorithm>
#include <charconv>
#include <vector>

namespace vantory::service {

struct ChangeFeed::Subscription::Shared {
  struct Subscriber {
    std::string client;
    Deliver deliver;
  };
  mutable std::mutex mutex;
  std::map<std::uint64_t, Subscriber> subscribers;
  std::map<std::string, std::size_t> perClient;
  std::uint64_t next = 0;

  void leave(std::uint64_t number) {
    std::lock_guard lock(mutex);
    const auto found = subscribers.find(number);
    if (found == subscribers.end()) {
      return;
    }
    if (const auto client = perClient.find(found->second.client);
        client != perClient.end() && --client->second == 0) {
      perClient.erase(client);
    }
    subscribers.erase(found);
  }
};

ChangeFeed::Subscription::~Subscription() {
  if (const auto feed = feed_.lock()) {
    feed->leave(number_);
  }
}

namespace {

// The Last-Event-ID a client sent, if it is one of ours: digits only.
std::optional<std::int64_t> eventId(std::string_view text) {
  std::int64_t id = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
  if (error != std::errc() || end != text.data() + text.size() || text.empty() ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  return id;
}

std::string idLine(std::int64_t id) { return "id: " + std::to_string(id) + "\n"; }

}  // namespace

ChangeFeed::ChangeFeed(Storage& storage, Options options)
    : storage_(storage),
      options_(options),
      shared_(std::make_shared<Subscription::Shared>()),
      version_(storage_.dataVersion()) {
  // What is already there was sent before this server started.
  const std::int64_t newest = storage_.changeSpan().newest;
  for (const ChangeRow& change : storage_.changesAfter(
           std::max<std::int64_t>(0, newest - kLookBack), Storage::kKeptChanges)) {
    recent_.insert(change.id);
    newest_ = std::max(newest_, change.id);
  }
  thread_ = std::thread([this] { run(); });
}

ChangeFeed::~ChangeFeed() {
  {
    std::lock_guard lock(stopMutex_);
    stopping_ = true;
  }
  stopSignal_.notify_all();
  thread_.join();
}

std::size_t ChangeFeed::subscriberCount() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->subscribers.size();
}

std::string ChangeFeed::format(const ChangeRow& change) {
  std::string data = R"({"kind":")" + change.kind + '"';
  for (const auto& [key, id] :
       {std::pair{"storeId", change.storeId}, std::pair{"itemId", change.itemId},
        std::pair{"id", change.recordId}}) {
    if (id != 0) {
      data += std::string(",\"") + key + "\":\"" + std::to_string(id) + '"';
    }
  }
  return idLine(change.id) + "data: " + data + "}\n\n";
}

ChangeFeed::Joined ChangeFeed::join(const std::string& client, std::string_view lastEventId,
                                    Deliver deliver) {
  std::lock_guard looking(lookMutex_);
  Joined joined;
  {
    std::lock_guard lock(shared_->mutex);
    if (shared_->subscribers.size() >= options_.maxSubscribers) {
      joined.refusal = 503;
      joined.message = "The service follows as many clients as it can; try again shortly.";
      return joined;
    }
    if (shared_->perClient[client] >= options_.maxSubscribersPerClient) {
      joined.refusal = 429;
      joined.message = "Too many live connections from your address; close some and try again.";
      return joined;
    }
  }
  // What changed while no one followed; those already following are sent it
  // now, as a look would.
  catchUp();
  // A reconnecting client is sent what it missed when that is still known;
  // a client that names a change this storage never had (another database,
  // a restored backup) or one pruned since must fetch everything again.
  joined.first = "retry: 2000\n";
  if (lastEventId.empty()) {
    joined.first += idLine(newest_) + "\n";
  } else {
    const auto after = eventId(lastEventId);
    const auto span = storage_.changeSpan();
    if (!after || *after > newest_ || (span.oldest > 0 && *after < span.oldest - 1)) {
      joined.first += idLine(newest_) + std::string(kReset);
    } else {
      joined.first += "\n";
      for (const ChangeRow& change : storage_.changesAfter(*after, Storage::kKeptChanges)) {
        if (change.id <= newest_) {
          joined.first += format(change);
        }
      }
    }
  }
  std::lock_guard lock(shared_->mutex);
  const std::uint64_t number = ++shared_->next;
  shared_->subscribers.emplace(number,
                               Subscription::Shared::Subscriber{client, std::move(deliver)});
  ++shared_->perClient[client];
  joined.subscription.reset(new Subscription(shared_, number));
  return joined;
}

void ChangeFeed::nudge() {
  {
    std::lock_guard lock(stopMutex_);
    nudged_ = true;
  }
  stopSignal_.notify_all();
}

void ChangeFeed::run() {
  std::unique_lock lock(stopMutex_);
  while (true) {
    stopSignal_.wait_for(lock, options_.interval, [this] { return stopping_ || nudged_; });
    if (stopping_) {
      return;
    }
    nudged_ = false;
    lock.unlock();
    try {
      look();
    } catch (const std::exception&) {
      // The storage is away for a moment: the next look reads what changed.
    }
    lock.lock();
  }
}

void ChangeFeed::look() {
  std::lock_guard looking(lookMutex_);
  // With no one following, what changed is read when someone joins: a
  // server taking thousands of writes a second does not also read its
  // recent changes after each of them for nobody.
  if (subscriberCount() == 0) {
    return;
  }
  catchUp();
}

void ChangeFeed::catchUp() {
  const std::uint64_t version = storage_.dataVersion();
  if (version == version_) {
    return;
  }
  std::string text;
  std::int64_t after = std::max<std::int64_t>(0, newest_ - kLookBack);
  for (;;) {
    const auto changes = storage_.changesAfter(after, 1000);
    text += unsent(changes);
    if (changes.size() < 1000) {
      break;
    }
    after = changes.back().id;
  }
  version_ = version;
  if (text.empty()) {
    return;
  }
  const auto shared = std::make_shared<const std::string>(std::move(text));
  std::vector<Deliver> receivers;
  {
    std::lock_guard lock(shared_->mutex);
    receivers.reserve(shared_->subscribers.size());
    for (const auto& [number, subscriber] : shared_->subscribers) {
      receivers.push_back(subscriber.deliver);
    }
  }
  for (const auto& deliver : receivers) {
    deliver(shared);
  }
}

std::string ChangeFeed::unsent(const std::vector<ChangeRow>& changes) {
  std::string text;
  for (const ChangeRow& change : changes) {
    if (change.id <= newest_ - kLookBack || !recent_.insert(change.id).second) {
      continue;
    }
    text += format(change);
    newest_ = std::max(newest_, change.id);
  }
  recent_.erase(recent_.begin(), recent_.lower_bound(newest_ - kLookBack));
  return text;
}

}  // namespace vantory::service
