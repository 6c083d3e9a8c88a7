#include "UrlSessionEventSource.h"

#include <algorithm>
#include <memory>

#include "UrlSession.h"

namespace platform {

std::unique_ptr<EventSource> EventSource::make(std::string url, Handlers handlers, Timing timing) {
  return std::make_unique<UrlSessionEventSource>(std::move(url), std::move(handlers), timing);
}

UrlSessionEventSource::UrlSessionEventSource(std::string url, Handlers handlers, Timing timing)
    : url_(std::move(url)), handlers_(std::move(handlers)), timing_(timing) {
  thread_ = std::thread([this] { run(); });
}

UrlSessionEventSource::~UrlSessionEventSource() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void UrlSessionEventSource::reconnectNow() {
  {
    std::lock_guard lock(mutex_);
    reconnectSoon_ = true;
  }
  changed_.notify_all();
}

bool UrlSessionEventSource::isOpen() const {
  std::lock_guard lock(mutex_);
  return open_;
}

void UrlSessionEventSource::run() {
  auto delay = timing_.firstDelay;
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    reconnectSoon_ = false;
    lock.unlock();
    bool notAStream = false;
    const bool opened = follow(notAStream);
    lock.lock();
    open_ = false;
    if (opened) {
      delay = timing_.firstDelay;
    }
    const auto wait = notAStream ? timing_.notAStreamDelay : delay;
    changed_.wait_for(lock, wait, [this] { return stopping_ || reconnectSoon_; });
    if (!opened) {
      delay = std::min(delay * 2, timing_.longestDelay);
    }
  }
}

bool UrlSessionEventSource::follow(bool& notAStream) {
  // What the transfer's callbacks share with this thread, which waits for
  // the transfer to end before the next one.
  struct Transfer {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
  };
  auto transfer = std::make_shared<Transfer>();
  bool opened = false;
  EventStreamParser parser([this](const Event& event) {
    if (handlers_.received) {
      handlers_.received(event);
    }
  });

  const auto url = Url::fromString(url_);
  if (!url) {
    notAStream = true;
    return false;
  }
  UrlRequest request(*url, 0, timing_.silenceSeconds);
  request.headers.emplace_back("Accept", "text/event-stream");
  if (!lastEventId_.empty()) {
    request.headers.emplace_back("Last-Event-ID", lastEventId_);
  }
  request.onBodyPart = [&](long status, std::string_view contentType, std::string_view part) {
    if (status != 200 || contentType.rfind("text/event-stream", 0) != 0) {
      notAStream = status == 404 || status == 405 || (status >= 200 && status < 300);
      return false;
    }
    if (!opened) {
      opened = true;
      {
        std::lock_guard lock(mutex_);
        open_ = true;
      }
      if (handlers_.opened) {
        handlers_.opened();
      }
    }
    const bool readable = parser.feed(part);
    lastEventId_ = parser.lastEventId();
    return readable;
  };
  request.cancelled = [this] {
    std::lock_guard lock(mutex_);
    return stopping_;
  };
  UrlSession::sharedSession()
      ->dataTaskWithRequest(
          std::move(request),
          [transfer](const std::optional<Data>&, const std::optional<HttpUrlResponse>&,
                     const std::optional<UrlError>&) {
            {
              std::lock_guard lock(transfer->mutex);
              transfer->done = true;
            }
            transfer->ended.notify_all();
          })
      ->resume();
  std::unique_lock lock(transfer->mutex);
  transfer->ended.wait(lock, [&] { return transfer->done; });
  return opened;
}

}  // namespace platform
