#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "EventSource.h"

namespace platform {

// The event source on the URL session, reading the stream as it arrives: a
// thread of its own follows one stream after another, with a delay between
// them that doubles up to a limit and starts again once a stream opened,
// and sends the id of the last event with each new one.
class UrlSessionEventSource final : public EventSource {
 public:
  UrlSessionEventSource(std::string url, Handlers handlers, Timing timing);
  ~UrlSessionEventSource() override;
  UrlSessionEventSource(const UrlSessionEventSource&) = delete;
  UrlSessionEventSource& operator=(const UrlSessionEventSource&) = delete;

  void reconnectNow() override;
  bool isOpen() const override;

 private:
  void run();
  // Follows one stream until it ends; whether it ever opened.
  bool follow(bool& notAStream);

  std::string url_;
  Handlers handlers_;
  Timing timing_;
  std::string lastEventId_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool stopping_ = false;
  bool reconnectSoon_ = false;
  bool open_ = false;
  std::thread thread_;
};

}  // namespace platform
