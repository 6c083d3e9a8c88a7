#pragma once

#include <string>

#include "platform/EventSource.h"

namespace platform {

// The browser's own EventSource: it reconnects by itself (also when the
// browser is back online) and resumes with the Last-Event-ID; a reply that
// is no stream closes it for good, and the app goes on without it. Its
// events come in turns of the page's event loop.
class BrowserEventSource final : public EventSource {
 public:
  BrowserEventSource(std::string url, Handlers handlers);
  ~BrowserEventSource() override;
  BrowserEventSource(const BrowserEventSource&) = delete;
  BrowserEventSource& operator=(const BrowserEventSource&) = delete;

  void reconnectNow() override {}  // the browser does, by itself
  bool isOpen() const override;

  // For the page: what its EventSource of that number did.
  static void opened(int id);
  static void received(int id, const std::string& type, const std::string& data,
                       const std::string& lastEventId);

 private:
  int id_;
  std::string url_;
  Handlers handlers_;
};

}  // namespace platform
