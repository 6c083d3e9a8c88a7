// Serial queues in a browser: the page has one thread, so a serial queue's
// work runs in later turns of the event loop, in order, never inside the
// call that queued it.
#include <emscripten/emscripten.h>

#include <memory>
#include <set>

#include "platform/DispatchQueue.h"

namespace platform {

namespace {

// A turn scheduled for a queue that is gone by then does nothing.
std::set<DispatchQueue*>& liveQueues() {
  static std::set<DispatchQueue*> queues;
  return queues;
}

struct Delayed {
  DispatchQueue* queue;
  DispatchQueue::Work work;
};

void queueIfAlive(void* delayed) {
  std::unique_ptr<Delayed> due(static_cast<Delayed*>(delayed));
  if (due->queue == &DispatchQueue::main() || liveQueues().count(due->queue) > 0) {
    due->queue->async(std::move(due->work));
  }
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

void DispatchQueue::asyncAfter(std::chrono::milliseconds delay, Work work) {
  emscripten_async_call(queueIfAlive, new Delayed{this, std::move(work)},
                        static_cast<int>(delay.count()));
}

}  // namespace platform
