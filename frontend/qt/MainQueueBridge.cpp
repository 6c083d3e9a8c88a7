#include "MainQueueBridge.h"

#include <QCoreApplication>
#include <QMetaObject>

#include "platform/DispatchQueue.h"

namespace vantory::qt {

MainQueueBridge::MainQueueBridge() {
  platform::DispatchQueue::main().setWakeHandler([this] {
    // One posted drain at a time; it runs everything queued until then.
    if (!drainPosted_.exchange(true)) {
      QMetaObject::invokeMethod(
          QCoreApplication::instance(),
          [this] {
            drainPosted_ = false;
            platform::DispatchQueue::main().drain();
          },
          Qt::QueuedConnection);
    }
  });
  platform::DispatchQueue::main().drain();
}

MainQueueBridge::~MainQueueBridge() { platform::DispatchQueue::main().setWakeHandler({}); }

}  // namespace vantory::qt
