#include "BrowserEventSource.h"

#include <emscripten/bind.h>
#include <emscripten/em_js.h>
#include <emscripten/emscripten.h>

#include <map>

// clang-format off
EM_JS(void, openEventSource, (int id, const char* url), {
  const sources = Module.vantoryEventSources || (Module.vantoryEventSources = {});
  const source = new EventSource(UTF8ToString(url));
  sources[id] = source;
  source.onopen = () => Module.vantoryEventSourceOpened(id);
  const pass = (event) =>
    Module.vantoryEventSourceReceived(id, event.type, String(event.data), event.lastEventId);
  source.onmessage = pass;
  source.addEventListener("reset", pass);
});
EM_JS(void, closeEventSource, (int id), {
  const sources = Module.vantoryEventSources || {};
  if (sources[id]) {
    sources[id].close();
    delete sources[id];
  }
});
EM_JS(int, eventSourceIsOpen, (int id), {
  const source = (Module.vantoryEventSources || {})[id];
  return source && source.readyState === 1 ? 1 : 0;
});
// clang-format on

namespace platform {

namespace {

// The sources alive, by number: an event for one that is gone is dropped.
std::map<int, BrowserEventSource*>& sources() {
  static std::map<int, BrowserEventSource*> alive;
  return alive;
}

}  // namespace

std::unique_ptr<EventSource> EventSource::make(std::string url, Handlers handlers,
                                               Timing /*timing*/) {
  return std::make_unique<BrowserEventSource>(std::move(url), std::move(handlers));
}

BrowserEventSource::BrowserEventSource(std::string url, Handlers handlers)
    : url_(std::move(url)), handlers_(std::move(handlers)) {
  static int next = 0;
  id_ = ++next;
  sources()[id_] = this;
  openEventSource(id_, url_.c_str());
}

BrowserEventSource::~BrowserEventSource() {
  closeEventSource(id_);
  sources().erase(id_);
}

bool BrowserEventSource::isOpen() const { return eventSourceIsOpen(id_) != 0; }

void BrowserEventSource::opened(int id) {
  const auto found = sources().find(id);
  if (found != sources().end() && found->second->handlers_.opened) {
    found->second->handlers_.opened();
  }
}

void BrowserEventSource::received(int id, const std::string& type, const std::string& data,
                                  const std::string& lastEventId) {
  const auto found = sources().find(id);
  if (found != sources().end() && found->second->handlers_.received) {
    found->second->handlers_.received(Event{type, data, lastEventId});
  }
}

}  // namespace platform

EMSCRIPTEN_BINDINGS(vantory_event_source) {
  emscripten::function("vantoryEventSourceOpened", &platform::BrowserEventSource::opened);
  emscripten::function("vantoryEventSourceReceived", &platform::BrowserEventSource::received);
}
