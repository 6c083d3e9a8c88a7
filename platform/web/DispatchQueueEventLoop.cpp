// Serial queues in a browser: the page has one thread, so a serial queue's
// work runs in later turns of the event loop, in order, never inside the
// call that queued it.
#include <emscripten/emscripten.h>

#include <set>

#include "platform/DispatchQueue.h"

namespace platform {

namespace {

// A turn scheduled for a queue that is gone by then does nothing.
std::set<DispatchQueue*>& liveQueues() {
  static std::set<DispatchQueue*> queues;
  return queues;
}

void drainIfAlive(void* queue) {
  auto* serial = static_cast<DispatchQueue*>(queue);
  if (liveQueues().count(serial) > 0) {
    serial->drain();
  }
}

}  // namespace

DispatchQueue::DispatchQueue(std::string label) : label_(std::move(label)) {
  liveQueues().insert(this);
  wakeHandler_ = [this] { emscripten_async_call(drainIfAlive, this, 0); };
}

DispatchQueue::~DispatchQueue() { liveQueues().erase(this); }

}  // namespace platform
