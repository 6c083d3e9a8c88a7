#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "EventStreamParser.h"

namespace platform {

// Follows a stream of Server-Sent Events: hands each event over as it comes
// and, when the stream ends, opens it again after a while, resuming after
// the last event's id. A reply that is no stream at all (a service without
// one) is tried again only rarely, or never. Handlers may run on any
// thread; nothing is handed over once the source is destroyed.
class EventSource {
 public:
  using Event = EventStreamParser::Event;
  struct Handlers {
    std::function<void()> opened;  // each time a stream opens, the first or again
    std::function<void(const Event& event)> received;
  };
  struct Timing {
    std::chrono::milliseconds firstDelay{500};
    std::chrono::milliseconds longestDelay{30000};
    std::chrono::milliseconds notAStreamDelay{300000};
    // A stream silent for longer is taken for dead (the service sends a
    // comment every 15 s).
    double silenceSeconds = 45.0;
  };

  virtual ~EventSource() = default;

  // The platform's source: on the URL session where a stream can be read
  // as it arrives, the browser's own EventSource in a browser.
  static std::unique_ptr<EventSource> make(std::string url, Handlers handlers, Timing timing);
  static std::unique_ptr<EventSource> make(std::string url, Handlers handlers) {
    return make(std::move(url), std::move(handlers), Timing{});
  }

  // Opens the stream again at once if it is not open (the service is
  // reachable again); an open stream goes on.
  virtual void reconnectNow() = 0;
  virtual bool isOpen() const = 0;
};

}  // namespace platform
